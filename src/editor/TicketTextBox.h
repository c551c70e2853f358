#pragma once

#include <QClipboard>
#include <QPlainTextEdit>

namespace tkl {

/// The ticket text box (Text1): a plain text edit that knows whether it is busy
/// with an event of its own, so that the editor can tell the user's edits (typing,
/// pasting from the menu or the middle button, dropping text) from text set by
/// the program.
///
/// A layout ends a line only at CR LF (or a lone CR); a lone LF is a character of its
/// line. The box holds such a character as LineFeedStandIn, one cell wide like every
/// other character, and draws it as a small "LF", so that the box's lines, the caret's
/// line and the fields' lines are the layout's. setLayoutText() and layoutText() convert.
class TicketTextBox : public QPlainTextEdit
{
    Q_OBJECT

public:
    /// What the box holds for a lone LF of the layout (U+240A, SYMBOL FOR LINE FEED). It
    /// is not a character of the layout's code page, so it never stands for anything else.
    static constexpr char16_t LineFeedStandIn = u'\u240A';

    /// Longest run of characters without a blank or tab that the box still wraps at word
    /// boundaries. Qt seeks the end of a word once for every line of the box the word
    /// fills, so a word of n characters costs n squared: a 32767-character line without
    /// a blank took seconds. While the text holds a longer run, the box wraps anywhere;
    /// a line without a blank wraps the same either way.
    static constexpr int LongestWrappedWord = 256;

    explicit TicketTextBox(QWidget *parent = nullptr);

    /// True while the box or its viewport handles an event.
    bool handlingEvent() const { return m_depth > 0; }

    /// Replaces the text with a layout's text: lines apart by CR LF, a lone LF one
    /// character of its line.
    void setLayoutText(const QString &text);

    /// The text as a layout holds it, every character as the box holds it (no blank
    /// put for a no-break space): lines apart by CR LF, the stand-in back to LF.
    QString layoutText() const;

    /// A line of the box as the device gets it: the stand-in back to LF.
    static QString deviceLine(QString boxLine);

    /// Inserts what the clipboard (or, with QClipboard::Selection, the X selection)
    /// holds as plain text at the caret; does nothing when it holds no text.
    void pasteFrom(QClipboard::Mode mode);

protected:
    bool canInsertFromMimeData(const QMimeData *source) const override;
    void insertFromMimeData(const QMimeData *source) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool event(QEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    /// The plain text of `source`, line ends made the box's; empty when there is none.
    static QString plainTextOf(const QMimeData *source);
    void insertPlain(const QString &text);
    /// Whether `text` has a run longer than LongestWrappedWord.
    static bool hasLongRun(QStringView text);
    void wrapAnywhere(bool anywhere);
    void onContentsChange(int position, int removed, int added);

    bool m_anywhere = false;
    QTextOption::WrapMode m_wordWrap = QTextOption::WrapAtWordBoundaryOrAnywhere;

    int m_depth = 0;
};

} // namespace tkl
