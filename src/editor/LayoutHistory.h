#pragma once

#include "editor/EditorWindow.h"
#include "model/UpdateBox.h"

#include <QObject>
#include <QString>
#include <QUndoStack>

#include <array>
#include <functional>

namespace tkl {

class TicketModel;

/// One history of the layout, for undo and redo: the text and the fields alike.
///
/// Every step is made of the model's calls and the editor's fields. The operator's
/// text edits arrive from the text box (textChanged), whose own undo is switched
/// off; consecutive typing is one step. The editor's commands (insert, move, delete,
/// duplicate, ticket size) are recorded around their work (record). The windows that
/// write into the model as the operator types (the UpdateBox and printer code
/// windows) are one step each time they close (settle); any other step, and undo and
/// redo, first settles what they did so far.
///
/// The history's clean state is the saved layout: reaching it again by undo or redo
/// clears LayoutChanged; leaving it changes the layout, which sets it.
class LayoutHistory : public QObject
{
    Q_OBJECT

public:
    /// What the history keeps of the layout besides the text: each slot's record,
    /// marker and field as shown, the codes and the editor's width.
    struct Slot
    {
        UpdateBox record;
        qint16 loaded = 0;
        EditorWindow::FieldLook look;
        friend bool operator==(const Slot &, const Slot &) = default;
    };
    struct State
    {
        std::array<Slot, 31> fields{};
        QString startCode;
        QString stopCode;
        double width = 0;
        friend bool operator==(const State &, const State &) = default;
    };

    LayoutHistory(TicketModel &model, EditorWindow &editor);

    QUndoStack &stack() { return m_stack; }

    /// Runs `edit` and keeps what it changed of the layout as one step.
    void record(const QString &name, const std::function<void()> &edit);

    /// Keeps what the windows changed of the layout since the last step as one step.
    void settle();

    /// The text box's text changed; `byOperator`: the operator changed it (a step),
    /// else the program did (followed, no step).
    void textChanged(int position, int removed, int added, bool byOperator);

    void undo();
    void redo();

    /// A fresh history over the layout as it is now, which is the saved one (start-up,
    /// New, Open).
    void clear();

    /// The layout as it is now was saved: the clean state.
    void markSaved();

    /// True while a step is undone or redone.
    bool isApplying() const { return m_applying; }

    // Used by the steps.
    State capture() const;
    void apply(const State &target);
    void replaceText(int position, int length, const QString &text);

private:
    /// Takes one step back or forward, when there is one, and shows the model.
    void apply(bool (QUndoStack::*can)() const, void (QUndoStack::*step)());
    void showModel();
    void pushLayoutStep(const QString &name, const State &after);

    TicketModel &m_model;
    EditorWindow &m_editor;
    QUndoStack m_stack;
    State m_baseline;   ///< the layout after the last step
    QString m_text;     ///< the box's raw text after the last change
    bool m_applying = false;
    bool m_recording = false;
};

} // namespace tkl
