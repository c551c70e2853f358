#pragma once

#include <QObject>
#include <QStringList>

class QPlainTextEdit;
class QTextBlock;

namespace tkl {

/// Questions about the ticket text box, counted in box lines: the lines as the box
/// breaks them on the screen, wrapped continuations included.
///
/// None of them touches the keyboard focus. The line counts come from the document
/// layout's per-block line counts, kept summed by the document, so a question costs
/// about log(blocks); only blocks changed since the last question are laid out again.
class TextBoxQueries : public QObject
{
    Q_OBJECT

public:
    explicit TextBoxQueries(QPlainTextEdit *box, QObject *parent = nullptr);

    /// 1-based number of the topmost visible box line.
    int GetFirstVisibleLine() const;

    /// Number of box lines of the whole text (at least 1).
    int GetLineCount() const;

    /// 1-based box line that holds the start of the selection (the caret when
    /// nothing is selected).
    int GetCurrentLine() const;

    /// Scrolls the text by `lines` box lines, positive towards the end; the box stops
    /// at the first and last line.
    void ScrollTextLines(int lines);

    /// The text of every box line, first to last.
    QStringList boxLines() const;

private:
    void noteChange(int from, int removed, int added);
    void ensureLaidOut() const;
    void layOut(const QTextBlock &block) const;

    QPlainTextEdit *m_box;
    // Character range (current positions) whose blocks may have lost their layout.
    mutable int m_dirtyFrom = -1;
    mutable int m_dirtyTo = -1;
    mutable bool m_allDirty = true;
    mutable double m_laidOutWidth = -1;
};

} // namespace tkl
