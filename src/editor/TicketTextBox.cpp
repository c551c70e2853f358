#include "TicketTextBox.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QTextBlock>
#include <QTextLayout>

#include <algorithm>

namespace tkl {

namespace {

struct Depth
{
    explicit Depth(int &depth) : m_depth(depth) { ++m_depth; }
    ~Depth() { --m_depth; }
    Depth(const Depth &) = delete;
    Depth &operator=(const Depth &) = delete;
    int &m_depth;
};

} // namespace

TicketTextBox::TicketTextBox(QWidget *parent)
    : QPlainTextEdit(parent)
{
    connect(document(), &QTextDocument::contentsChange, this, &TicketTextBox::onContentsChange);
}

bool TicketTextBox::hasLongRun(QStringView text)
{
    qsizetype run = 0;
    for (const QChar c : text) {
        if (c == u' ' || c == u'\t' || c == u'\n' || c == QChar::ParagraphSeparator)
            run = 0;
        else if (++run > LongestWrappedWord)
            return true;
    }
    return false;
}

void TicketTextBox::wrapAnywhere(bool anywhere)
{
    if (anywhere == m_anywhere)
        return;
    if (anywhere)
        m_wordWrap = wordWrapMode();
    m_anywhere = anywhere;
    setWordWrapMode(anywhere ? QTextOption::WrapAnywhere : m_wordWrap);
}

void TicketTextBox::onContentsChange(int position, int removed, int added)
{
    Q_UNUSED(removed);
    if (!m_anywhere) {
        // Only the blocks that changed can have made a run long.
        const QTextBlock last = document()->findBlock(position + added);
        for (QTextBlock b = document()->findBlock(position); b.isValid(); b = b.next()) {
            if (hasLongRun(b.text())) {
                wrapAnywhere(true);
                return;
            }
            if (b == last)
                break;
        }
        return;
    }
    for (QTextBlock b = document()->begin(); b.isValid(); b = b.next()) {
        if (hasLongRun(b.text()))
            return;
    }
    wrapAnywhere(false);
}

void TicketTextBox::setLayoutText(const QString &text)
{
    QString box;
    box.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n') {
            box += u'\n';
            ++i;
        } else if (c == u'\n') {
            box += QChar(LineFeedStandIn);
        } else {
            box += c;
        }
    }
    // Decided before the text is laid out, which is where the cost would be.
    wrapAnywhere(hasLongRun(box));
    setPlainText(box);
}

QString TicketTextBox::layoutText() const
{
    // The raw text: toPlainText() would turn a no-break space into a blank.
    QString raw = document()->toRawText();
    QString text;
    text.reserve(raw.size() + raw.size() / 16);
    for (const QChar c : std::as_const(raw)) {
        if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator)
            text += QStringLiteral("\r\n");
        else if (c == LineFeedStandIn)
            text += u'\n';
        else
            text += c;
    }
    return text;
}

QString TicketTextBox::deviceLine(QString boxLine)
{
    boxLine.replace(QChar(LineFeedStandIn), QChar(u'\n'));
    return boxLine;
}

QString TicketTextBox::plainTextOf(const QMimeData *source)
{
    if (!source || !source->hasText())
        return {};
    QString text = source->text();
    // Other programs end their lines with LF, CR LF or CR: each is one line end here
    // (inserting a CR LF as it stands would make two).
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(u'\r', u'\n');
    return text;
}

void TicketTextBox::insertPlain(const QString &text)
{
    if (text.isEmpty() || isReadOnly())
        return;
    if (hasLongRun(text))
        wrapAnywhere(true);
    QTextCursor cursor = textCursor();
    cursor.insertText(text);
    setTextCursor(cursor);
    ensureCursorVisible();
}

void TicketTextBox::pasteFrom(QClipboard::Mode mode)
{
    const QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard || (mode == QClipboard::Selection && !clipboard->supportsSelection()))
        return;
    insertPlain(plainTextOf(clipboard->mimeData(mode)));
}

bool TicketTextBox::canInsertFromMimeData(const QMimeData *source) const
{
    return !plainTextOf(source).isEmpty();
}

void TicketTextBox::insertFromMimeData(const QMimeData *source)
{
    insertPlain(plainTextOf(source));
}

void TicketTextBox::keyPressEvent(QKeyEvent *event)
{
    // Pasting goes through pasteFrom(), never the text control's own paste.
    if (event == QKeySequence::Paste) {
        const bool selection = event->key() == Qt::Key_Insert
            && event->modifiers() == (Qt::ControlModifier | Qt::ShiftModifier);
        pasteFrom(selection ? QClipboard::Selection : QClipboard::Clipboard);
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void TicketTextBox::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::MiddleButton) {
        event->accept();
        return;
    }
    QPlainTextEdit::mousePressEvent(event);
}

void TicketTextBox::mouseReleaseEvent(QMouseEvent *event)
{
    // The middle button pastes the X selection where it is released.
    if (event->button() == Qt::MiddleButton) {
        event->accept();
        const QClipboard *clipboard = QGuiApplication::clipboard();
        if (isReadOnly() || !clipboard || !clipboard->supportsSelection())
            return;
        const QString text = plainTextOf(clipboard->mimeData(QClipboard::Selection));
        if (text.isEmpty())
            return;
        setTextCursor(cursorForPosition(event->position().toPoint()));
        insertPlain(text);
        return;
    }
    QPlainTextEdit::mouseReleaseEvent(event);
}

void TicketTextBox::dragEnterEvent(QDragEnterEvent *event)
{
    if (!canInsertFromMimeData(event->mimeData())) {
        event->ignore();
        return;
    }
    QPlainTextEdit::dragEnterEvent(event);
}

void TicketTextBox::dragMoveEvent(QDragMoveEvent *event)
{
    if (!canInsertFromMimeData(event->mimeData())) {
        event->ignore();
        return;
    }
    QPlainTextEdit::dragMoveEvent(event);
}

void TicketTextBox::dropEvent(QDropEvent *event)
{
    if (!canInsertFromMimeData(event->mimeData())) {
        event->ignore();
        return;
    }
    QPlainTextEdit::dropEvent(event);
}

bool TicketTextBox::event(QEvent *event)
{
    const Depth depth(m_depth);
    return QPlainTextEdit::event(event);
}

bool TicketTextBox::viewportEvent(QEvent *event)
{
    const Depth depth(m_depth);
    return QPlainTextEdit::viewportEvent(event);
}

void TicketTextBox::paintEvent(QPaintEvent *event)
{
    QPlainTextEdit::paintEvent(event);

    // The stand-in takes one cell of the box's font, which has no picture for it, and a
    // tab one blank cell: draw "LF" and "HT" small in their cells, one letter above the
    // other, as the symbols for them are drawn.
    QPainter painter(viewport());
    QFont small = font();
    small.setLetterSpacing(QFont::AbsoluteSpacing, 0);
    small.setPixelSize(std::max(6, fontMetrics().height() / 2 + 1));
    small.setStyleStrategy(QFont::NoAntialias);
    painter.setFont(small);
    const QPointF offset = contentOffset();
    const int bottom = event->rect().bottom();
    for (QTextBlock block = firstVisibleBlock(); block.isValid(); block = block.next()) {
        const QRectF box = blockBoundingGeometry(block).translated(offset);
        if (box.top() > bottom)
            break;
        const QString text = block.text();
        const QTextLayout *layout = block.layout();
        for (qsizetype at = 0; at < text.size() && layout; ++at) {
            const QChar c = text.at(at);
            if (c != LineFeedStandIn && c != u'\t')
                continue;
            const QTextLine line = layout->lineForTextPosition(int(at));
            if (!line.isValid())
                continue;
            const qreal left = box.left() + line.cursorToX(int(at));
            const qreal right = box.left() + line.cursorToX(int(at) + 1);
            const QRectF cell(left, box.top() + line.y(), right - left, line.height());
            painter.fillRect(cell, QColor(0xDD, 0xE6, 0xF6));
            painter.setPen(QColor(0x20, 0x40, 0x90));
            QRectF top = cell;
            top.setBottom(cell.center().y() + 1);
            QRectF low = cell;
            low.setTop(cell.center().y() - 1);
            const bool lf = c == LineFeedStandIn;
            painter.drawText(top, Qt::AlignLeft | Qt::AlignVCenter, lf ? QStringLiteral("L") : QStringLiteral("H"));
            painter.drawText(low, Qt::AlignRight | Qt::AlignVCenter, lf ? QStringLiteral("F") : QStringLiteral("T"));
        }
    }
}

} // namespace tkl
