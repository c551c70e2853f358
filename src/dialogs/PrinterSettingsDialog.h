#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;

namespace tkl {

class TicketModel;

/// The printer settings window (Form4): the start and stop codes of the ticket.
///
/// The two boxes are the codes: every change is copied into StartCode / StopCode at
/// once, there is nothing to confirm. A control key (code below 32 other than
/// Backspace) adds its code in brackets, "[27]" for Escape, to the end of the text
/// wherever the caret is, so that codes that cannot be typed are stored as readable
/// text. Created once and then only shown and hidden.
class PrinterSettingsDialog : public QWidget
{
    Q_OBJECT

public:
    explicit PrinterSettingsDialog(TicketModel &model, QWidget *parent = nullptr);

    /// Fills the boxes from StartCode and StopCode, shows the window with its frame at
    /// the given screen position (twips) and brings it to the front.
    void openAt(int leftTwips, int topTwips);

    /// The bracket notation of a control code: "[" + code + "]".
    static QString codeNotation(int code);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    TicketModel &m_model;
    QLabel *m_startLabel;
    QLineEdit *m_startBox;
    QLabel *m_stopLabel;
    QLineEdit *m_stopBox;
};

} // namespace tkl
