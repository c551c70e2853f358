#include "EditorWindow.h"

#include "editor/LayoutHistory.h"
#include "editor/TextBoxQueries.h"
#include "editor/TicketTextBox.h"
#include "model/CharGrid.h"
#include "ui/WindowLook.h"
#include "model/Numbers.h"
#include "model/ShapeCaption.h"
#include "model/TicketModel.h"

#include <QCoreApplication>
#include <QCursor>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QRubberBand>
#include <QScrollBar>
#include <QTextDocument>

#include <algorithm>
#include <climits>
#include <cmath>

namespace tkl {

namespace {

constexpr int TextBoxHeightInset = 120;   // text box and bar are this much lower than the window
constexpr int ScrollBarWidth = 255;
constexpr int VisibleLines = TicketModel::VisibleLines;

// The editor font laid on the whole-pixel cell that CharWidth measures: the text then
// sits on the same grid as the fields and breaks exactly after CharsPerLine cells.
QFont gridFont()
{
    QFont font = editorFont();
    const qreal exact = QFontMetricsF(font).horizontalAdvance(QLatin1Char('a'));
    const int whole = QFontMetrics(font).horizontalAdvance(QLatin1Char('a'));
    if (exact > 0 && whole > 0 && !qFuzzyCompare(exact, qreal(whole)))
        font.setLetterSpacing(QFont::AbsoluteSpacing, whole - exact);
    return font;
}

} // namespace

EditorWindow::EditorWindow(TicketModel &model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
{
    setObjectName(QStringLiteral("Form2"));
    setFont(gridFont());

    m_text = new TicketTextBox(this);
    m_text->setObjectName(QStringLiteral("Text1"));
    // Every character takes one cell, as on the device: a character the font lacks
    // (the line-feed stand-in; none of the code page's) is the font's own one-cell box,
    // never a wider one from another font, and a tab moves to the next cell.
    QFont textFont = font();
    textFont.setStyleStrategy(QFont::NoFontMerging);
    m_text->setFont(textFont);
    m_text->setTabStopDistance(QFontMetrics(textFont).horizontalAdvance(QLatin1Char('a')));
    m_text->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    // A word longer than the line still breaks, so a very long line wraps too.
    m_text->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_text->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // A one-pixel border and no document margin put the first cell where the
    // fields' 20-twip inset expects it.
    m_text->setFrameStyle(QFrame::Box | QFrame::Plain);
    m_text->setLineWidth(1);
    m_text->document()->setDocumentMargin(0);
    m_text->viewport()->setMouseTracking(true);
    m_text->installEventFilter(this);
    m_text->viewport()->installEventFilter(this);
    // Every change of the text the operator makes marks the layout changed: typed,
    // pasted from the menu or the middle button, dropped.
    // The one history of the layout keeps the text's edits: the box keeps none of its own.
    m_text->document()->setUndoRedoEnabled(false);
    connect(m_text->document(), &QTextDocument::contentsChange, this, [this](int at, int removed, int added) {
        if (m_history)
            m_history->textChanged(at, removed, added, m_text->handlingEvent());
    });

    m_scroll = new QScrollBar(Qt::Vertical, this);
    m_scroll->setObjectName(QStringLiteral("VScroll1"));
    m_scroll->setRange(VisibleLines, VisibleLines);
    m_scroll->setValue(VisibleLines);
    m_scroll->setPageStep(VisibleLines);
    m_scroll->setSingleStep(1);
    // Like the other controls, the bar takes the focus when clicked; its change
    // notification only acts while it has it.
    m_scroll->setFocusPolicy(Qt::StrongFocus);
    m_scroll->installEventFilter(this);
    connect(m_scroll, &QScrollBar::sliderMoved, this, &EditorWindow::onSliderMoved);
    connect(m_scroll, &QScrollBar::valueChanged, this, &EditorWindow::onValueChanged);

    m_queries = new TextBoxQueries(m_text, this);
    // A field's tooltip tells its binding and shape as they are now.
    connect(&m_model, &TicketModel::changed, this, &EditorWindow::refreshFieldTips);

    m_outline = new QRubberBand(QRubberBand::Rectangle, this);
    m_outline->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_outline->hide();

    runResize(NewTicketWidth);
    // The width the editor starts with is the empty layout's, not an edit.
    m_history = new LayoutHistory(m_model, *this);
}

EditorWindow::~EditorWindow()
{
    // The model and the text's document outlive this part of the window (the model for
    // good, the document until QWidget's destructor deletes the box): nothing they
    // announce from here on may reach the window half torn down.
    disconnect(&m_model, nullptr, this, nullptr);
    m_text->document()->disconnect(this);
    for (const QPointer<QFrame> &frame : std::as_const(m_retired))
        delete frame.data();
}

QPlainTextEdit *EditorWindow::textBox() const { return m_text; }
LayoutHistory &EditorWindow::history() const { return *m_history; }
QScrollBar *EditorWindow::scrollBar() const { return m_scroll; }
TextBoxQueries &EditorWindow::queries() { return *m_queries; }

// --- units -----------------------------------------------------------------------

double EditorWindow::dpiX() const { return logicalDpiX() > 0 ? logicalDpiX() : 96; }
double EditorWindow::dpiY() const { return logicalDpiY() > 0 ? logicalDpiY() : 96; }

int EditorWindow::px(double twips, bool vertical) const
{
    return Twips::toPixels(twips, vertical ? dpiY() : dpiX());
}

double EditorWindow::twipsX(int pixels) const { return Twips::fromPixels(pixels, dpiX()); }
double EditorWindow::twipsY(int pixels) const { return Twips::fromPixels(pixels, dpiY()); }

int EditorWindow::charWidthTwips() const
{
    const QFontMetrics fm(font(), this);
    return int(roundHalfEven(twipsX(fm.horizontalAdvance(QLatin1Char('a')))));
}

int EditorWindow::lineHeightTwips() const
{
    const QFontMetrics fm(font(), this);
    return int(roundHalfEven(twipsY(fm.height())));
}

CharGrid EditorWindow::grid() const
{
    return CharGrid(charWidthTwips(), lineHeightTwips());
}

// --- geometry --------------------------------------------------------------------

void EditorWindow::setMaxWidthTwips(int mainWindowWidth)
{
    m_maxWidthTwips = mainWindowWidth;
    if (m_maxWidthTwips > 0 && m_widthTwips > m_maxWidthTwips)
        runResize(m_widthTwips);
}

void EditorWindow::setWidthTwips(double requested)
{
    runResize(requested);
}

void EditorWindow::setHeightTwips(double)
{
    runResize(m_widthTwips);
}

double EditorWindow::widthTwips() const { return m_widthTwips; }
double EditorWindow::heightTwips() const { return m_heightTwips; }

void EditorWindow::runResize(double requested)
{
    const CharGrid g = grid();
    if (!std::isfinite(requested))
        requested = m_widthTwips > 0 ? m_widthTwips : NewTicketWidth;
    // At least one cell, so the box never turns inside out. One cell is what a ticket
    // size of 0 asks for: CharsPerLine 0, though the box still shows a character a line.
    requested = std::clamp(requested, double(g.charWidth() + CharGrid::TextBoxInset), double(INT_MAX / 2));
    const int maxWidth = m_maxWidthTwips > 0 ? m_maxWidthTwips : INT_MAX / 2;
    m_widthTwips = g.snapEditorWidth(requested, maxWidth);
    m_heightTwips = g.editorHeight();

    m_inResize = true;
    resize(px(m_widthTwips), px(m_heightTwips, true));
    m_inResize = false;
    layoutChildren();
    RefreshReadout();
}

void EditorWindow::layoutChildren()
{
    const double boxWidth = m_widthTwips - CharGrid::TextBoxInset;
    const double boxHeight = m_heightTwips - TextBoxHeightInset;
    m_text->setGeometry(0, 0, px(boxWidth), px(boxHeight, true));
    m_scroll->setGeometry(px(boxWidth), 0, px(ScrollBarWidth), px(boxHeight, true));
    for (int slot = TicketModel::FirstSlot; slot <= TicketModel::LastSlot; ++slot)
        placeField(slot);
}

void EditorWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // The width is set only through setWidthTwips; whatever size the widget is
    // given, the controls keep the logical layout.
    if (!m_inResize)
        layoutChildren();
}

// --- readout and scrolling ---------------------------------------------------------

void EditorWindow::RefreshReadout()
{
    const CharGrid g = grid();
    m_model.setCharsPerLine(toInt16(g.charsPerLine(m_widthTwips - CharGrid::TextBoxInset)));
    m_readout = QStringLiteral("Ch:%1\r\nLn:%2").arg(m_model.CharsPerLine).arg(m_queries->GetCurrentLine());
    m_model.setEditorWidth(toInt16(m_widthTwips));
    emit readoutChanged(m_readout);
}

QString EditorWindow::readoutText() const { return m_readout; }

void EditorWindow::SyncScrollBar()
{
    const int n = m_queries->GetLineCount();
    const int f = m_queries->GetFirstVisibleLine();
    if (n <= VisibleLines) {
        // The whole text fits: it is back at its top. ScrollPos is left to the following
        // of the scroll, so that fields moved up while the text was scrolled come back
        // over their lines when it shrinks to one screen.
        m_scroll->setMaximum(VisibleLines);
        m_scroll->setValue(VisibleLines);
    } else {
        m_scroll->setMaximum(n);
        m_scroll->setValue(f < 2 ? VisibleLines : f + VisibleLines - 1);
    }
}

void EditorWindow::followScroll()
{
    fieldsFollow(m_scroll->value());
}

void EditorWindow::fieldsFollow(int value)
{
    m_model.ScrollDelta = value - m_model.ScrollPos;
    if (m_model.ScrollDelta != 0)
        moveFieldsBy(m_model.ScrollDelta);
    m_model.ScrollPos = toInt16(value);
}

void EditorWindow::resetScrollBar(int ticketLines)
{
    m_scroll->setMaximum(ticketLines > VisibleLines ? ticketLines : VisibleLines);
    m_scroll->setPageStep(VisibleLines);
    m_scroll->setSingleStep(1);
    m_scroll->setValue(VisibleLines);
    m_model.ScrollPos = VisibleLines;
}

void EditorWindow::moveFieldsBy(int lines)
{
    const double step = double(lineHeightTwips()) * lines;
    for (int slot = TicketModel::FirstSlot; slot <= TicketModel::LastSlot; ++slot) {
        if (m_model.BoxLoaded[slot] != 1 || !m_fields[slot].frame)
            continue;
        m_fields[slot].top -= step;
        placeField(slot);
    }
}

void EditorWindow::scrollBarWork(int value)
{
    m_queries->ScrollTextLines(value - m_model.ScrollPos);
    fieldsFollow(value);
    focusText();
}

void EditorWindow::onSliderMoved(int position)
{
    // Emitted before the bar's value follows the thumb: the position is the new value.
    scrollBarWork(position);
}

void EditorWindow::onValueChanged(int value)
{
    // Values set by the editor itself (while the text has the focus) are not a scroll.
    if (window()->focusWidget() == m_scroll || m_wheelFromText)
        scrollBarWork(value);
}

// --- EditorSurface -------------------------------------------------------------------

int EditorWindow::editorTopTwips() const
{
    return int(roundHalfEven(twipsY(mapToGlobal(QPoint(0, 0)).y())));
}

void EditorWindow::focusText()
{
    m_text->setFocus(Qt::OtherFocusReason);
}

void EditorWindow::requestEditorWidth(double twips)
{
    m_history->record(QStringLiteral("Ticket size"), [&] { setWidthTwips(twips); });
}

int EditorWindow::lineCount() const
{
    return m_queries->GetLineCount();
}

QStringList EditorWindow::boxLines() const
{
    QStringList lines = m_queries->boxLines();
    for (QString &line : lines)
        line = TicketTextBox::deviceLine(std::move(line));
    return lines;
}

QList<int> EditorWindow::fieldsOverScrollBar() const
{
    QList<int> over;
    const double textRight = m_widthTwips - CharGrid::TextBoxInset;
    for (int slot = TicketModel::FirstSlot; slot <= TicketModel::LastSlot; ++slot) {
        const Field &f = m_fields[slot];
        if (f.frame && f.left + f.width > textRight)
            over.append(slot);
    }
    return over;
}

TicketTextBox *EditorWindow::ticketBox() const
{
    return m_text;
}

bool EditorWindow::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    const bool mouse = type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease
                       || type == QEvent::MouseMove || type == QEvent::MouseButtonDblClick;
    auto *widget = qobject_cast<QWidget *>(watched);

    // A drag owns the mouse until its button is released, wherever the events land.
    if (m_dragSlot && widget && (type == QEvent::MouseMove || type == QEvent::MouseButtonRelease)) {
        const auto *me = static_cast<QMouseEvent *>(event);
        const QPoint pos = widget->mapTo(this, me->position().toPoint());
        if (type == QEvent::MouseMove) {
            dragMove(pos);
        } else if (me->button() == m_dragButton) {
            dragRelease(pos);
        }
        return true;
    }

    if (watched == m_text) {
        if (type == QEvent::KeyPress)
            m_keysDown.insert(static_cast<QKeyEvent *>(event)->key());
        // A release whose press went to another window (Enter that closed a file
        // dialog, say) is no work on the ticket. Only a change of the text marks the
        // layout changed (contentsChange): the caret keys and a bare Ctrl do not.
        if (type == QEvent::KeyRelease && !static_cast<QKeyEvent *>(event)->isAutoRepeat()
            && m_keysDown.remove(static_cast<QKeyEvent *>(event)->key())) {
            // Held keys repeat presses only; the bookkeeping runs once, on the real release.
            RefreshReadout();
            SyncScrollBar();
            followScroll();
        }
        return false;
    }

    if (watched == m_text->viewport()) {
        if (type == QEvent::Wheel) {
            // The wheel over the text moves the scroll bar, so that the fields follow
            // the text at once rather than at the next key release.
            m_wheelFromText = true;
            QCoreApplication::sendEvent(m_scroll, event);
            m_wheelFromText = false;
            return true;
        }
        if (type == QEvent::MouseButtonPress) {
            emit textPressed();
        } else if (type == QEvent::MouseButtonRelease) {
            restoreDefaultPointer();
            RefreshReadout();
        } else if (type == QEvent::MouseMove) {
            emit textMouseMoved();
        }
        return false;
    }

    if (watched == m_scroll) {
        // Turning the wheel over the bar moves it as a click would: the bar takes the
        // focus, so its change notification scrolls the text and the fields.
        if (type == QEvent::Wheel)
            m_scroll->setFocus(Qt::MouseFocusReason);
        return false;
    }

    if (!mouse)
        return false;
    const int slot = slotOf(watched);
    if (!slot)
        return false;
    // The second press of a double click is not a new press on the field.
    if (type == QEvent::MouseButtonPress) {
        if (watched == m_fields[slot].label)
            labelPressed(slot, static_cast<QMouseEvent *>(event));
        else
            focusText();
    }
    return true;
}

void EditorWindow::mousePressEvent(QMouseEvent *event)
{
    event->accept();
    emit backgroundPressed();
}

void EditorWindow::mouseMoveEvent(QMouseEvent *event)
{
    if (m_dragSlot)
        dragMove(event->position().toPoint());
}

void EditorWindow::mouseReleaseEvent(QMouseEvent *event)
{
    if (m_dragSlot && event->button() == m_dragButton)
        dragRelease(event->position().toPoint());
}

} // namespace tkl
