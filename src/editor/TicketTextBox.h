#pragma once

#include <QPlainTextEdit>

namespace tkl {

/// The ticket text box (Text1): a plain text edit that knows whether it is busy
/// with an event of its own, so that the editor can tell the user's edits (typing,
/// pasting from the menu or the middle button, dropping text) from text set by
/// the program.
class TicketTextBox : public QPlainTextEdit
{
    Q_OBJECT

public:
    using QPlainTextEdit::QPlainTextEdit;

    /// True while the box or its viewport handles an event.
    bool handlingEvent() const { return m_depth > 0; }

protected:
    bool event(QEvent *event) override;
    bool viewportEvent(QEvent *event) override;

private:
    int m_depth = 0;
};

} // namespace tkl
