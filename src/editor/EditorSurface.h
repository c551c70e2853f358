#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace tkl {

/// What the dialogs and the download need of the ticket editor (Form2), so that they
/// can be built and tested without the editor window itself.
/// All geometry is in twips.
class EditorSurface
{
public:
    virtual ~EditorSurface() = default;

    /// Top of the editor window on the screen.
    virtual int editorTopTwips() const = 0;

    /// Top of the field frame Frame1(slot) inside the editor window.
    virtual int fieldTopTwips(int slot) const = 0;

    /// Sets the width of Frame1(slot) and Label1(slot) and the label's caption.
    virtual void setFieldShape(int slot, int widthTwips, const QString &caption) = 0;

    /// Sets only the caption of Label1(slot).
    virtual void setFieldCaption(int slot, const QString &caption) = 0;

    /// Gives the keyboard focus to the ticket text (Text1).
    virtual void focusText() = 0;

    /// Asks for an editor window width; the editor snaps it to whole cells and
    /// derives CharsPerLine.
    virtual void requestEditorWidth(double twips) = 0;

    /// Number of lines of the text box as it breaks them (GetLineCount).
    virtual int lineCount() const = 0;

    /// The text of every line of the text box as it breaks them, first to last, as the
    /// device gets them (a line feed inside a line is an LF again, see TicketTextBox).
    virtual QStringList boxLines() const = 0;

    /// Slots whose field reaches past the text onto the scroll bar, ascending.
    virtual QList<int> fieldsOverScrollBar() const { return {}; }
};

} // namespace tkl
