#pragma once

#include <QWidget>

class QLabel;

namespace tkl {

class EditorSurface;
class NumberBox;
class TicketModel;

/// The ticket size window (Form6): the number of characters on a ticket line.
///
/// The number is not stored: leaving the box asks the editor for a window width of
/// (number + 1) cells + 250 twips, and the editor's layout rule takes the one cell off
/// again and derives CharsPerLine. Enter applies and hides; the window also hides when
/// it loses the focus. Only the digits reach the box.
class TicketSizeDialog : public QWidget
{
    Q_OBJECT

public:
    TicketSizeDialog(TicketModel &model, EditorSurface &editor, QWidget *parent = nullptr);
    ~TicketSizeDialog() override;

    /// Places the window's frame at the given screen position (twips), fills the box
    /// with CharsPerLine and shows the window.
    void openAt(int leftTwips, int topTwips);

    /// The editor width asked for by `text` with a cell `cellWidth` twips wide. A
    /// number too large for the record asks for more than any main window allows, so
    /// the editor ends at its widest.
    static double requestedWidth(const QString &text, int cellWidth);

protected:
    void changeEvent(QEvent *event) override;

private:
    void applyNumber();

    TicketModel &m_model;
    EditorSurface &m_editor;
    QLabel *m_charsLabel;
    NumberBox *m_charsBox;
};

} // namespace tkl
