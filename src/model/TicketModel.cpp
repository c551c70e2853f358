#include "TicketModel.h"

namespace tkl {

TicketModel::TicketModel(QObject *parent)
    : QObject(parent)
{
    reset();
}

void TicketModel::reset()
{
    bool differs = false;
    for (int i = 0; i <= LastSlot; ++i) {
        differs |= assign(m_updateBoxes[size_t(i)], UpdateBox{});
        differs |= assign(m_boxLoaded[size_t(i)], qint16(0));
    }
    differs |= assign(m_ticketLines, qint16(0));
    differs |= assign(m_charsPerLine, qint16(0));
    differs |= assign(m_editorWidth, qint16(0));
    differs |= assign(m_editorHeight, qint16(0));
    differs |= assign(m_startCode, QString());
    differs |= assign(m_stopCode, QString());
    differs |= assign(m_layoutChanged, false);
    ScrollPos = VisibleLines;
    ScrollDelta = 0;
    CurrentBox = 0;
    DeleteMode = false;
    NewBoxSlot = 0;
    announceIf(differs);
}

int TicketModel::lowestFreeSlot() const
{
    for (int i = FirstSlot; i <= LastSlot; ++i) {
        if (BoxLoaded[i] == 0)
            return i;
    }
    return 0;
}

int TicketModel::loadedCount() const
{
    int n = 0;
    for (int i = FirstSlot; i <= LastSlot; ++i)
        n += BoxLoaded[i] == 1 ? 1 : 0;
    return n;
}

void TicketModel::setRecord(int slot, const UpdateBox &record)
{
    if (isSlot(slot))
        edited(assign(m_updateBoxes[size_t(slot)], record));
}

void TicketModel::loadSlot(int slot)
{
    if (isSlot(slot))
        edited(assign(m_boxLoaded[size_t(slot)], qint16(1)));
}

void TicketModel::freeSlot(int slot)
{
    if (isSlot(slot))
        edited(assign(m_boxLoaded[size_t(slot)], qint16(0)));
}

void TicketModel::moveField(int slot, qint16 linie, qint16 pos)
{
    if (!isSlot(slot))
        return;
    UpdateBox &record = m_updateBoxes[size_t(slot)];
    bool differs = assign(record.Linie, linie);
    differs |= assign(record.Pos, pos);
    differs |= assign(m_layoutChanged, true);
    announceIf(differs);
}

void TicketModel::deleteField(int slot)
{
    if (!isSlot(slot))
        return;
    bool differs = assign(m_layoutChanged, true);
    differs |= assign(m_boxLoaded[size_t(slot)], qint16(0));
    UpdateBox &record = m_updateBoxes[size_t(slot)];
    if (record.DataIn) {
        record.DataIn = false;
        record.VarName.clear();
        record.Chars = 0;
        record.Digits = 0;
        differs = true;
    }
    announceIf(differs);
}

void TicketModel::setStartCode(const QString &code) { edited(assign(m_startCode, code)); }
void TicketModel::setStopCode(const QString &code) { edited(assign(m_stopCode, code)); }
void TicketModel::setCharsPerLine(qint16 chars) { edited(assign(m_charsPerLine, chars)); }
void TicketModel::setEditorWidth(qint16 twips) { edited(assign(m_editorWidth, twips)); }
void TicketModel::setEditorHeight(qint16 twips) { edited(assign(m_editorHeight, twips)); }

void TicketModel::setTicketLines(qint16 lines)
{
    // Counted from the text at a save or a download; the text's own edits are what
    // mark the layout, so a save the operator cancels leaves it as it was.
    announceIf(assign(m_ticketLines, lines));
}

void TicketModel::textEdited()
{
    // The text lives in the editor's box: whether it really differs is not known
    // here, so every edit is announced.
    m_layoutChanged = true;
    emit changed();
}

void TicketModel::markSaved()
{
    announceIf(assign(m_layoutChanged, false));
}

} // namespace tkl
