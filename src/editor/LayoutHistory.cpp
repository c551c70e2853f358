#include "LayoutHistory.h"

#include "editor/TicketTextBox.h"
#include "model/TicketModel.h"

#include <QTextCursor>
#include <QTextDocument>
#include <QUndoCommand>

#include <algorithm>

namespace tkl {

namespace {

/// A change of the layout other than the text: the states before and after it.
class LayoutStep : public QUndoCommand
{
public:
    LayoutStep(LayoutHistory &history, const QString &name, LayoutHistory::State before,
               LayoutHistory::State after)
        : QUndoCommand(name)
        , m_history(history)
        , m_before(std::move(before))
        , m_after(std::move(after))
    {
    }

    void undo() override { m_history.apply(m_before); }
    void redo() override
    {
        // Pushed once the change was made.
        if (m_done)
            m_history.apply(m_after);
        m_done = true;
    }

private:
    LayoutHistory &m_history;
    LayoutHistory::State m_before;
    LayoutHistory::State m_after;
    bool m_done = false;
};

/// A change of the text: at `position`, `removed` gave way to `added`. Typing and
/// deleting character by character continue the step before.
class TextStep : public QUndoCommand
{
public:
    static constexpr int TypingId = 1;

    TextStep(LayoutHistory &history, int position, QString removed, QString added)
        : QUndoCommand(QStringLiteral("Text"))
        , m_history(history)
        , m_position(position)
        , m_removed(std::move(removed))
        , m_added(std::move(added))
        , m_typing(m_removed.size() <= 1 && m_added.size() <= 1)
    {
    }

    // A step begun by one character typed or deleted takes the ones that follow.
    int id() const override { return m_typing ? TypingId : -1; }

    bool mergeWith(const QUndoCommand *other) override
    {
        const auto *next = static_cast<const TextStep *>(other);
        const bool deleting = m_added.isEmpty() && next->m_added.isEmpty();
        if (next->m_removed.isEmpty() && !m_added.isEmpty() && next->m_position == m_position + m_added.size()) {
            m_added += next->m_added; // typed on
        } else if (deleting && next->m_position + next->m_removed.size() == m_position) {
            m_position = next->m_position; // Backspace
            m_removed.prepend(next->m_removed);
        } else if (deleting && next->m_position == m_position) {
            m_removed += next->m_removed; // Delete
        } else {
            return false;
        }
        return true;
    }

    void undo() override { m_history.replaceText(m_position, int(m_added.size()), m_removed); }
    void redo() override
    {
        if (m_done)
            m_history.replaceText(m_position, int(m_removed.size()), m_added);
        m_done = true;
    }

private:
    LayoutHistory &m_history;
    int m_position;
    QString m_removed;
    QString m_added;
    bool m_typing;
    bool m_done = false;
};

} // namespace

LayoutHistory::LayoutHistory(TicketModel &model, EditorWindow &editor)
    : QObject(&editor)
    , m_model(model)
    , m_editor(editor)
{
    connect(&m_stack, &QUndoStack::indexChanged, this, [this] {
        if (m_stack.isClean())
            m_model.markSaved();
    });
    clear();
}

LayoutHistory::State LayoutHistory::capture() const
{
    State state;
    for (int slot = TicketModel::FirstSlot; slot <= TicketModel::LastSlot; ++slot)
        state.fields[size_t(slot)] = {m_model.UpdateBoxes[slot], m_model.BoxLoaded[slot], m_editor.fieldLook(slot)};
    state.startCode = m_model.StartCode;
    state.stopCode = m_model.StopCode;
    state.width = m_editor.widthTwips();
    return state;
}

void LayoutHistory::apply(const State &target)
{
    const State now = capture();
    for (int slot = TicketModel::FirstSlot; slot <= TicketModel::LastSlot; ++slot) {
        const Slot &to = target.fields[size_t(slot)];
        if (now.fields[size_t(slot)] == to)
            continue;
        m_editor.showFieldLook(slot, to.look);
        m_model.setRecord(slot, to.record);
        to.loaded == 1 ? m_model.loadSlot(slot) : m_model.freeSlot(slot);
    }
    m_model.setStartCode(target.startCode);
    m_model.setStopCode(target.stopCode);
    if (now.width != target.width)
        m_editor.setWidthTwips(target.width);
}

void LayoutHistory::replaceText(int position, int length, const QString &text)
{
    QTextCursor cursor(m_editor.textBox()->document());
    cursor.setPosition(position);
    cursor.setPosition(position + length, QTextCursor::KeepAnchor);
    if (text.isEmpty())
        cursor.removeSelectedText();
    else
        cursor.insertText(text);
    m_editor.textBox()->setTextCursor(cursor);
    m_model.textEdited();
}

void LayoutHistory::pushLayoutStep(const QString &name, const State &after)
{
    if (after == m_baseline)
        return;
    State before = std::exchange(m_baseline, after);
    m_stack.push(new LayoutStep(*this, name, std::move(before), after));
}

void LayoutHistory::record(const QString &name, const std::function<void()> &edit)
{
    if (m_applying || m_recording) {
        edit();
        return;
    }
    settle();
    m_recording = true;
    edit();
    m_recording = false;
    pushLayoutStep(name, capture());
}

void LayoutHistory::settle()
{
    if (!m_applying && !m_recording)
        pushLayoutStep(QStringLiteral("Edit"), capture());
}

void LayoutHistory::textChanged(int position, int removed, int added, bool byOperator)
{
    const QString now = m_editor.textBox()->document()->toRawText();
    const QString before = std::exchange(m_text, now);
    if (!byOperator || m_applying)
        return;
    // The document reports the whole text as changed when it lays out its first
    // block anew; where the reported span does not fit, find it from both ends.
    const qsizetype delta = now.size() - before.size();
    if (position < 0 || removed < 0 || added < 0 || added - removed != delta || position + removed > before.size()
        || QStringView(before).first(position) != QStringView(now).first(position)) {
        qsizetype head = 0;
        const qsizetype shorter = std::min(before.size(), now.size());
        while (head < shorter && before[head] == now[head])
            ++head;
        qsizetype tail = 0;
        while (tail < shorter - head && before[before.size() - 1 - tail] == now[now.size() - 1 - tail])
            ++tail;
        position = int(head);
        removed = int(before.size() - head - tail);
        added = int(now.size() - head - tail);
    }
    if (removed == 0 && added == 0)
        return;
    settle();
    m_stack.push(new TextStep(*this, position, before.mid(position, removed), now.mid(position, added)));
    m_model.textEdited();
}

void LayoutHistory::undo()
{
    apply(&QUndoStack::canUndo, &QUndoStack::undo);
}

void LayoutHistory::redo()
{
    apply(&QUndoStack::canRedo, &QUndoStack::redo);
}

void LayoutHistory::apply(bool (QUndoStack::*can)() const, void (QUndoStack::*step)())
{
    settle();
    if (!(m_stack.*can)())
        return;
    m_applying = true;
    (m_stack.*step)();
    m_applying = false;
    showModel();
}

void LayoutHistory::showModel()
{
    m_baseline = capture();
    // The text may have changed its line count: the bar, the fields and the readout
    // follow it as after a key.
    m_editor.RefreshReadout();
    m_editor.SyncScrollBar();
    m_editor.followScroll();
}

void LayoutHistory::clear()
{
    m_stack.clear();
    m_baseline = capture();
    m_text = m_editor.textBox()->document()->toRawText();
    m_model.markSaved();
}

void LayoutHistory::markSaved()
{
    // What the save itself changed (fields never defined are gone) is no step.
    m_baseline = capture();
    m_stack.setClean();
}

} // namespace tkl
