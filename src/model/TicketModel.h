#pragma once

#include "UpdateBox.h"

#include <QObject>
#include <QString>

#include <array>

namespace tkl {

/// The one open ticket layout and the editor's bookkeeping.
///
/// Created once at start-up and handed by reference to every window. The layout's
/// items (the records, the markers, the geometry, the codes and LayoutChanged) are
/// read under their own names, `model.UpdateBoxes[slot]`, `model.StartCode`, but
/// written only through the calls below, so that two rules live here and nowhere
/// else:
///  - `changed` is emitted once by every call that leaves any of those items, or the
///    LayoutChanged flag, different from before; a call that changes nothing emits
///    nothing. Windows that show the layout react to it.
///  - every call that changes a layout item also sets LayoutChanged, whoever made
///    the call: a record filled, a slot loaded or freed, a code, the ticket size, a
///    field dropped (even where it was) or deleted, the text edited. Only the line
///    count (setTicketLines) is not an edit: it is counted from the text, which is
///    tracked by textEdited. Save, New, Open and an undo back to the saved state clear
///    it (markSaved).
///
/// The ticket text itself lives in the editor's text box, which calls textEdited.
///
/// The editor's bookkeeping (ScrollPos, ScrollDelta, CurrentBox, DeleteMode,
/// NewBoxSlot) stays plain fields: it is the editor's state of the moment, no file
/// holds it and no window shows it, so there is nothing to announce.
class TicketModel : public QObject
{
    Q_OBJECT

public:
    static constexpr int FirstSlot = 1;
    static constexpr int LastSlot = 30;
    static constexpr int SlotCount = 30;
    static constexpr qint16 VisibleLines = 22;

    using Records = std::array<UpdateBox, LastSlot + 1>;
    using Markers = std::array<qint16, LastSlot + 1>;

private:
    Records m_updateBoxes{};
    Markers m_boxLoaded{};
    qint16 m_ticketLines = 0;
    qint16 m_charsPerLine = 0;
    qint16 m_editorWidth = 0;
    qint16 m_editorHeight = 0;
    QString m_startCode;
    QString m_stopCode;
    bool m_layoutChanged = false;

public:
    explicit TicketModel(QObject *parent = nullptr);

    // --- the layout, read-only (slots 0 to 30; slot 0 is never used) -------------
    const Records &UpdateBoxes = m_updateBoxes;
    const Markers &BoxLoaded = m_boxLoaded;
    const qint16 &TicketLines = m_ticketLines;
    const qint16 &CharsPerLine = m_charsPerLine;
    const qint16 &EditorWidth = m_editorWidth;
    const qint16 &EditorHeight = m_editorHeight;
    const QString &StartCode = m_startCode;
    const QString &StopCode = m_stopCode;
    const bool &LayoutChanged = m_layoutChanged;

    // --- the editor's bookkeeping -------------------------------------------------
    qint16 ScrollPos = VisibleLines;
    qint32 ScrollDelta = 0;
    qint16 CurrentBox = 0;
    bool DeleteMode = false;
    qint16 NewBoxSlot = 0;

    /// Start-up state: every slot free and cleared, codes empty, sizes 0, ScrollPos
    /// 22, nothing changed.
    void reset();

    /// Lowest slot whose BoxLoaded is 0, or 0 when all 30 are in use.
    int lowestFreeSlot() const;

    /// Number of slots with BoxLoaded 1.
    int loadedCount() const;

    // --- changes ------------------------------------------------------------------
    // A slot outside 1 to 30 is the caller's fault; the calls ignore it.

    /// Replaces the record of `slot`.
    void setRecord(int slot, const UpdateBox &record);
    /// Changes the record of `slot` in place: `edit(UpdateBox &)` on a copy, which
    /// then replaces the record.
    template<typename Edit>
    void editRecord(int slot, Edit edit)
    {
        if (!isSlot(slot))
            return;
        UpdateBox record = m_updateBoxes[size_t(slot)];
        edit(record);
        setRecord(slot, record);
    }
    /// BoxLoaded(slot) 1: the slot's field is on the editor.
    void loadSlot(int slot);
    /// BoxLoaded(slot) 0: the slot is free.
    void freeSlot(int slot);
    /// The operator dropped the field of `slot` on the text: its Linie and Pos, and
    /// LayoutChanged, even when it landed where it was.
    void moveField(int slot, qint16 linie, qint16 pos);
    /// The operator deleted the field of `slot`: the slot is freed and, when the field
    /// was defined, DataIn, VarName, Chars and Digits are cleared (the rest of the
    /// record stays for the next field in the slot); LayoutChanged is set.
    void deleteField(int slot);

    void setStartCode(const QString &code);
    void setStopCode(const QString &code);
    void setTicketLines(qint16 lines);
    void setCharsPerLine(qint16 chars);
    void setEditorWidth(qint16 twips);
    void setEditorHeight(qint16 twips);

    /// The ticket text was changed: LayoutChanged is set. Moving the caret, scrolling
    /// and clicking are not changes.
    void textEdited();
    /// The layout is saved, or replaced or discarded: LayoutChanged is cleared.
    void markSaved();

    static bool isSlot(int slot) { return slot >= FirstSlot && slot <= LastSlot; }

signals:
    /// Some item of the layout, or LayoutChanged, is now different.
    void changed();

private:
    template<typename T>
    bool assign(T &item, const T &value)
    {
        if (item == value)
            return false;
        item = value;
        return true;
    }
    void announceIf(bool differs)
    {
        if (differs)
            emit changed();
    }
    /// A layout item changed: LayoutChanged is set and the change announced.
    void edited(bool differs)
    {
        if (differs)
            m_layoutChanged = true;
        announceIf(differs);
    }
};

} // namespace tkl
