#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

namespace tkl {

class AutomationObject;
class EditorSurface;
class NumberBox;
class ProcessNetwork;
class Prompts;
class TicketModel;
class VariableTree;

/// The UpdateBox window (Form3): the network variable, width and decimals of the field
/// in slot CurrentBox.
///
/// Every edit goes straight into UpdateBoxes(CurrentBox); there is no OK or Cancel.
/// Leaving the characters box, or closing the window, resizes the field on the editor
/// and shows its shape; leaving the digits box shows where the point goes. The tree
/// button expands the window to show the variable tree; choosing a variable there binds
/// the field to it, reading the variable's addresses from the shared automation server.
///
/// Heights are the window's outer heights as the layout gives them (1260 collapsed,
/// 5880 expanded, twips); the client area is FrameAllowance less, so that collapsed it
/// shows exactly the three rows and the tree lies below the visible area.
class UpdateBoxDialog : public QWidget
{
    Q_OBJECT

public:
    static constexpr int ClientWidth = 7275;
    static constexpr int CollapsedHeight = 1260;
    static constexpr int ExpandedHeight = 5880;
    /// Caption bar and borders, counted into the heights above.
    static constexpr int FrameAllowance = 345;

    UpdateBoxDialog(TicketModel &model, AutomationObject &sharedServer, const ProcessNetwork &network,
                    EditorSurface &editor, Prompts &prompts, QWidget *parent = nullptr);
    ~UpdateBoxDialog() override;

    /// Opens the window for `slot`, which the caller has made CurrentBox: level with the
    /// field (left unchanged), collapsed, captioned "UpdateBox <slot>", the three boxes
    /// showing the record or, for a field not defined yet, the placeholders.
    void openForSlot(int slot);

    /// Collapsed shows the three rows only; expanded also the tree.
    void setCollapsed(bool collapsed);
    bool isCollapsed() const { return m_heightTwips == CollapsedHeight; }

    /// The window height in twips as last set: CollapsedHeight or ExpandedHeight.
    int heightTwips() const { return m_heightTwips; }

    /// The caption the digits box gives the field when it is left: the X before the
    /// point, the point and the decimals; with as many decimals as characters there is
    /// nothing before the point.
    static QString digitsCaption(int chars, int digits);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void layOutControls();
    void writeEditsToRecord();
    void connectLeavingRules();

    bool slotUsable() const;
    /// Typing into a box marks the field in use (DataIn).
    void markInUse();
    /// Resizes the field on the editor for its Chars and shows its shape.
    void RefreshShape();
    void leaveDigits();
    void expandTree();
    void bindSelectedVariable();
    void showError(const QString &text);
    /// The rule of leaving a box: the characters box reshapes the field, the digits
    /// box captions it; the variable box has none.
    void leaveBox(const QWidget *box);
    void leaveForEditor(QWidget *box);

    TicketModel &m_model;
    AutomationObject &m_server;
    EditorSurface &m_editor;
    Prompts &m_prompts;
    int m_heightTwips = CollapsedHeight;

    // Created in this order, which is also the order they are stacked in.
    QLabel *m_charsLabel;
    QLabel *m_digitsLabel;
    QLineEdit *m_variableBox;
    NumberBox *m_charsBox;
    NumberBox *m_digitsBox;
    QPushButton *m_treeButton;
    VariableTree *m_tree;
};

} // namespace tkl
