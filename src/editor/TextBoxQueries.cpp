#include "TextBoxQueries.h"

#include <QPlainTextDocumentLayout>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>
#include <climits>

namespace tkl {

TextBoxQueries::TextBoxQueries(QPlainTextEdit *box, QObject *parent)
    : QObject(parent)
    , m_box(box)
{
    connect(box->document(), &QTextDocument::contentsChange, this, &TextBoxQueries::noteChange);
}

void TextBoxQueries::noteChange(int from, int removed, int added)
{
    const int end = from + added;
    if (m_dirtyFrom < 0) {
        m_dirtyFrom = from;
        m_dirtyTo = end;
        return;
    }
    // Carry the range already noted over to the positions after this change.
    auto shifted = [&](int pos) {
        if (pos >= from + removed)
            return pos + added - removed;
        return std::min(pos, end);
    };
    m_dirtyFrom = std::min(shifted(m_dirtyFrom), from);
    m_dirtyTo = std::max(shifted(m_dirtyTo), end);
}

void TextBoxQueries::layOut(const QTextBlock &block) const
{
    // A block the layout has not broken into lines yet counts as one line in the
    // document's line totals; asking for its rectangle lays it out and corrects them.
    if (block.isValid() && block.layout()->lineCount() == 0)
        m_box->document()->documentLayout()->blockBoundingRect(block);
}

void TextBoxQueries::ensureLaidOut() const
{
    QTextDocument *doc = m_box->document();
    const auto *layout = qobject_cast<QPlainTextDocumentLayout *>(doc->documentLayout());
    // A new text width makes the layout forget every block's lines. The document
    // size reports the width the layout was last given (lines wrap within it).
    const double width = layout ? layout->documentSize().width() : 0;
    if (width != m_laidOutWidth) {
        m_laidOutWidth = width;
        m_allDirty = true;
    }
    if (m_allDirty) {
        for (QTextBlock b = doc->begin(); b.isValid(); b = b.next())
            layOut(b);
        m_allDirty = false;
        m_dirtyFrom = m_dirtyTo = -1;
        return;
    }
    if (m_dirtyFrom < 0)
        return;
    QTextBlock b = doc->findBlock(std::max(m_dirtyFrom, 0));
    QTextBlock last = doc->findBlock(m_dirtyTo);
    if (!last.isValid())
        last = doc->lastBlock();
    if (!b.isValid())
        b = doc->lastBlock();
    for (; b.isValid(); b = b.next()) {
        layOut(b);
        if (b == last)
            break;
    }
    m_dirtyFrom = m_dirtyTo = -1;
}

int TextBoxQueries::GetFirstVisibleLine() const
{
    ensureLaidOut();
    // The box scrolls by whole lines; its own (hidden) bar holds the top line.
    return m_box->verticalScrollBar()->value() + 1;
}

int TextBoxQueries::GetLineCount() const
{
    ensureLaidOut();
    return std::max(1, m_box->document()->lineCount());
}

int TextBoxQueries::GetCurrentLine() const
{
    ensureLaidOut();
    QTextDocument *doc = m_box->document();
    const int pos = m_box->textCursor().selectionStart();
    QTextBlock block = doc->findBlock(pos);
    if (!block.isValid())
        block = doc->lastBlock();
    layOut(block);
    int lineInBlock = 0;
    if (const QTextLayout *tl = block.layout(); tl && tl->lineCount() > 0) {
        const QTextLine line = tl->lineForTextPosition(pos - block.position());
        if (line.isValid())
            lineInBlock = line.lineNumber();
    }
    return block.firstLineNumber() + lineInBlock + 1;
}

void TextBoxQueries::ScrollTextLines(int lines)
{
    ensureLaidOut();
    QScrollBar *bar = m_box->verticalScrollBar();
    const qint64 target = qint64(bar->value()) + lines;
    bar->setValue(int(std::clamp<qint64>(target, INT_MIN, INT_MAX)));
}

QStringList TextBoxQueries::boxLines() const
{
    ensureLaidOut();
    QStringList lines;
    for (QTextBlock b = m_box->document()->begin(); b.isValid(); b = b.next()) {
        const QString text = b.text();
        const QTextLayout *tl = b.layout();
        if (!tl || tl->lineCount() == 0) {
            lines << text;
            continue;
        }
        for (int i = 0; i < tl->lineCount(); ++i) {
            const QTextLine line = tl->lineAt(i);
            lines << text.mid(line.textStart(), line.textLength());
        }
    }
    return lines;
}

} // namespace tkl
