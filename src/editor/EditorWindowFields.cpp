// The fields over the ticket text: their frames and labels, insert and delete, and a
// label's press, drag and drop.
#include "EditorWindow.h"

#include "editor/LayoutHistory.h"
#include "editor/TextBoxQueries.h"
#include "editor/TicketTextBox.h"
#include "model/CharGrid.h"
#include "model/Numbers.h"
#include "model/ShapeCaption.h"
#include "model/TicketModel.h"

#include <QCursor>
#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QMouseEvent>
#include <QPixmap>
#include <QRubberBand>
#include <QScrollBar>

#include <algorithm>

namespace tkl {

namespace {

constexpr int FieldHeight = 195; // frame and label height of every field
// Hot spot of the eraser pointer: the lower left tip of the drawn eraser (32 x 32).
constexpr int EraserHotX = 7;
constexpr int EraserHotY = 25;

bool isSlot(int slot)
{
    return TicketModel::isSlot(slot);
}

} // namespace

// --- fields ------------------------------------------------------------------------

int EditorWindow::insertField()
{
    m_model.NewBoxSlot = 0;
    restoreDefaultPointer();
    const int slot = m_model.lowestFreeSlot();
    if (!isSlot(slot))
        return 0;
    m_model.NewBoxSlot = qint16(slot);
    m_history->record(QStringLiteral("Insert field"), [&] {
        createField(slot, slot * 50, slot * 100 + lineHeightTwips(), CharGrid::TemplateFieldWidth, slotCaption(slot));
    });
    return slot;
}

int EditorWindow::duplicateField(int slot)
{
    if (!fieldFrame(slot))
        return -1;
    const int copy = m_model.lowestFreeSlot();
    if (!isSlot(copy))
        return 0;
    m_history->record(QStringLiteral("Duplicate field"), [&] {
        const Field &from = m_fields[slot];
        UpdateBox record = m_model.UpdateBoxes[slot];
        record.Linie = toInt16(double(record.Linie) + 1);
        // A field without a shape shows its own slot, not the original's.
        const QString caption = from.label->text() == slotCaption(slot) ? slotCaption(copy) : from.label->text();
        createField(copy, from.left, from.top + lineHeightTwips(), from.width, caption);
        m_model.setRecord(copy, record);
    });
    m_model.CurrentBox = qint16(copy);
    return copy;
}

void EditorWindow::armDelete(const QString &appFolder)
{
    const QPixmap eraser(appFolder + QStringLiteral("/erase01.ico"));
    if (eraser.isNull())
        restoreDefaultPointer();
    else
        setCursor(QCursor(eraser, EraserHotX * eraser.width() / 32, EraserHotY * eraser.height() / 32));
    m_model.DeleteMode = true;
}

void EditorWindow::restoreDefaultPointer()
{
    unsetCursor();
}

void EditorWindow::unloadField(int slot)
{
    if (!isSlot(slot))
        return;
    destroyField(slot);
}

void EditorWindow::loadFieldFromRecord(int slot, int left, int top, int width, const QString &caption)
{
    if (!isSlot(slot))
        return;
    createField(slot, left, top, width, caption);
}

QWidget *EditorWindow::fieldFrame(int slot) const
{
    if (!isSlot(slot))
        return nullptr;
    return m_fields[slot].frame;
}

QLabel *EditorWindow::fieldLabel(int slot) const
{
    if (!isSlot(slot))
        return nullptr;
    return m_fields[slot].label;
}

EditorWindow::FieldLook EditorWindow::fieldLook(int slot) const
{
    if (!fieldFrame(slot))
        return {};
    const Field &f = m_fields[slot];
    // Fields move up as the text scrolls down (ScrollPos past its first 22 lines).
    const double scrolled = double(lineHeightTwips()) * (m_model.ScrollPos - TicketModel::VisibleLines);
    return {true, f.left, f.top + scrolled, f.width, f.label->text()};
}

void EditorWindow::showFieldLook(int slot, const FieldLook &look)
{
    if (!isSlot(slot))
        return;
    if (!look.shown) {
        destroyField(slot);
        return;
    }
    const double top = look.textTop - double(lineHeightTwips()) * (m_model.ScrollPos - TicketModel::VisibleLines);
    if (!fieldFrame(slot)) {
        createField(slot, look.left, top, look.width, look.caption);
        return;
    }
    Field &f = m_fields[slot];
    f.left = look.left;
    f.top = top;
    f.width = look.width;
    f.label->setText(look.caption);
    placeField(slot);
}

int EditorWindow::fieldLeftTwips(int slot) const
{
    if (!fieldFrame(slot))
        return 0;
    return int(roundHalfEven(m_fields[slot].left));
}

int EditorWindow::fieldTopTwips(int slot) const
{
    if (!fieldFrame(slot))
        return 0;
    return int(roundHalfEven(m_fields[slot].top));
}

bool EditorWindow::isDragging() const { return m_dragSlot != 0; }

void EditorWindow::createField(int slot, double left, double top, double width, const QString &caption)
{
    destroyField(slot);

    auto *frame = new QFrame(this);
    frame->setObjectName(QString::fromLatin1(FrameName));
    frame->setProperty("slot", slot);
    frame->setFrameShape(QFrame::NoFrame);

    auto *label = new QLabel(caption, frame);
    label->setObjectName(QString::fromLatin1(LabelName));
    label->setProperty("slot", slot);
    label->setFont(font());
    label->setAutoFillBackground(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    frame->installEventFilter(this);
    label->installEventFilter(this);

    m_fields[slot] = Field{frame, label, left, top, width};
    markField(slot, false);
    label->setToolTip(fieldTip(slot, m_model.UpdateBoxes[slot]));
    // Also while the preview is the active window, where its findings name the slot.
    label->setAttribute(Qt::WA_AlwaysShowToolTips);
    placeField(slot);
    frame->show();
    frame->raise();
    // A field that reaches past the text lies under the scroll bar, which stays usable.
    m_scroll->raise();
    m_model.loadSlot(slot);
}

void EditorWindow::destroyField(int slot)
{
    Field &field = m_fields[slot];
    if (field.frame) {
        if (m_dragSlot == slot)
            endDrag();
        QFrame *frame = field.frame;
        frame->hide();
        frame->removeEventFilter(this);
        field.label->removeEventFilter(this);
        // Off the editor at once; the objects go when control is back in the event
        // loop, as the press being handled may be on this very label.
        frame->setParent(nullptr);
        m_retired.removeAll(QPointer<QFrame>());
        m_retired.append(frame);
        frame->deleteLater();
    }
    field = Field{};
    m_model.freeSlot(slot);
}

void EditorWindow::placeField(int slot)
{
    const Field &f = m_fields[slot];
    if (!f.frame)
        return;
    const QRect rect(px(f.left), px(f.top, true), px(f.width), px(FieldHeight, true));
    // A field past the text goes under the scroll bar and ends with it, never beside it.
    QRect shown = rect;
    shown.setRight(std::min(rect.right(), m_scroll->geometry().right()));
    f.frame->setGeometry(shown);
    f.label->setGeometry(0, 0, rect.width(), rect.height());
}

void EditorWindow::setFieldShape(int slot, int widthTwips, const QString &caption)
{
    if (!fieldFrame(slot))
        return;
    m_fields[slot].width = widthTwips;
    m_fields[slot].label->setText(caption);
    placeField(slot);
}

void EditorWindow::setFieldCaption(int slot, const QString &caption)
{
    if (QLabel *label = fieldLabel(slot))
        label->setText(caption);
}

int EditorWindow::slotOf(const QObject *object) const
{
    for (int slot = TicketModel::FirstSlot; slot <= TicketModel::LastSlot; ++slot) {
        if (m_fields[slot].frame == object || m_fields[slot].label == object)
            return slot;
    }
    return 0;
}

// --- mouse and keys -------------------------------------------------------------------

void EditorWindow::labelPressed(int slot, QMouseEvent *event)
{
    endDrag();
    restoreDefaultPointer();
    m_model.CurrentBox = qint16(slot);
    const Qt::MouseButton button = event->button();
    bool deleted = false;
    if (m_model.DeleteMode) {
        m_model.DeleteMode = false;
        m_history->record(QStringLiteral("Delete field"), [&] {
            destroyField(slot);
            m_model.deleteField(slot);
        });
        deleted = true;
    } else {
        const QPoint inLabel = event->position().toPoint();
        m_dragOffsetX = twipsX(inLabel.x());
        m_dragOffsetY = twipsY(inLabel.y());
        const Field &f = m_fields[slot];
        m_dragSlot = slot;
        m_dragButton = button;
        m_dragPressPos = f.label->mapTo(this, inLabel);
        m_dragFrameOrigin = f.frame->pos();
        m_outline->setGeometry(f.frame->geometry());
        m_outline->show();
        m_outline->raise();
    }
    if (!deleted && button != Qt::RightButton)
        focusText();
    emit fieldPressed(slot, button, deleted);
}

void EditorWindow::dragMove(const QPoint &editorPos)
{
    if (!m_dragSlot)
        return;
    m_outline->move(m_dragFrameOrigin + (editorPos - m_dragPressPos));
}

void EditorWindow::endDrag()
{
    m_dragSlot = 0;
    m_dragButton = Qt::NoButton;
    m_outline->hide();
}

bool EditorWindow::isOverText(const QPoint &editorPos) const
{
    if (!rect().contains(editorPos))
        return false;
    const QWidget *target = childAt(editorPos);
    return target && (target == m_text || m_text->isAncestorOf(target));
}

void EditorWindow::dragRelease(const QPoint &editorPos)
{
    const int slot = m_dragSlot;
    endDrag();
    if (!fieldFrame(slot) || !isOverText(editorPos))
        return; // only the text accepts a dropped field

    const QPoint inText = m_text->mapFrom(this, editorPos);
    const DropResult r = grid().drop(twipsX(inText.x()), twipsY(inText.y()), m_dragOffsetX,
                                     m_dragOffsetY, m_queries->GetFirstVisibleLine());
    m_history->record(QStringLiteral("Move field"), [&] {
        m_fields[slot].left = r.left;
        m_fields[slot].top = r.top;
        placeField(slot);
        m_model.moveField(slot, toInt16(r.Linie), toInt16(r.Pos));
    });
    focusText();
}

QString EditorWindow::fieldTip(int slot, const UpdateBox &box)
{
    // A field's name on the ticket is its caption's shape; the findings name its slot.
    const QString variable = box.DataIn && !box.VarName.isEmpty() ? box.VarName : QStringLiteral("none");
    return QStringLiteral("UpdateBox %1\nVariable: %2\nChars: %3, Digits: %4")
        .arg(slot)
        .arg(variable)
        .arg(box.Chars)
        .arg(box.Digits);
}

void EditorWindow::refreshFieldTips()
{
    for (int slot = TicketModel::FirstSlot; slot <= TicketModel::LastSlot; ++slot) {
        if (QLabel *label = fieldLabel(slot))
            label->setToolTip(fieldTip(slot, m_model.UpdateBoxes[slot]));
    }
}

void EditorWindow::markField(int slot, bool chosen)
{
    QLabel *label = fieldLabel(slot);
    if (!label)
        return;
    QPalette pal = label->palette();
    pal.setColor(QPalette::Window, chosen ? QColor(0x00, 0x00, 0x80) : QColor(0xC0, 0xC0, 0xC0));
    pal.setColor(QPalette::WindowText, chosen ? Qt::white : Qt::black);
    label->setPalette(pal);
}

void EditorWindow::showField(int slot)
{
    if (!fieldFrame(slot))
        return;
    m_model.CurrentBox = toInt16(slot);
    const int line = m_model.UpdateBoxes[slot].Linie;
    const int first = m_queries->GetFirstVisibleLine() - 1; // from 0, as Linie counts
    constexpr int VisibleLines = TicketModel::VisibleLines;
    if (line < first || line >= first + VisibleLines) {
        // The field's line in the middle of the box where the text allows.
        const int last = std::max(0, m_queries->GetLineCount() - VisibleLines);
        const int wanted = std::clamp(line - VisibleLines / 2, 0, last);
        m_queries->ScrollTextLines(wanted - first);
        SyncScrollBar();
        followScroll();
    }
    fieldFrame(slot)->raise();
    m_scroll->raise();
    markField(slot, true);
    QPointer<QLabel> label = fieldLabel(slot);
    QTimer::singleShot(ChosenMarkMs, this, [this, slot, label] {
        if (label && label == fieldLabel(slot))
            markField(slot, false);
    });
}

} // namespace tkl
