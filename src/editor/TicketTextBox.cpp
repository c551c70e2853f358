#include "TicketTextBox.h"

#include <QPainter>
#include <QPaintEvent>
#include <QTextBlock>
#include <QTextLayout>

#include <algorithm>

namespace tkl {

namespace {

struct Depth
{
    explicit Depth(int &depth) : m_depth(depth) { ++m_depth; }
    ~Depth() { --m_depth; }
    Depth(const Depth &) = delete;
    Depth &operator=(const Depth &) = delete;
    int &m_depth;
};

} // namespace

void TicketTextBox::setLayoutText(const QString &text)
{
    QString box;
    box.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n') {
            box += u'\n';
            ++i;
        } else if (c == u'\n') {
            box += QChar(LineFeedStandIn);
        } else {
            box += c;
        }
    }
    setPlainText(box);
}

QString TicketTextBox::layoutText() const
{
    // The raw text: toPlainText() would turn a no-break space into a blank.
    QString raw = document()->toRawText();
    QString text;
    text.reserve(raw.size() + raw.size() / 16);
    for (const QChar c : std::as_const(raw)) {
        if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator)
            text += QStringLiteral("\r\n");
        else if (c == LineFeedStandIn)
            text += u'\n';
        else
            text += c;
    }
    return text;
}

QString TicketTextBox::deviceLine(QString boxLine)
{
    boxLine.replace(QChar(LineFeedStandIn), QChar(u'\n'));
    return boxLine;
}

bool TicketTextBox::event(QEvent *event)
{
    const Depth depth(m_depth);
    return QPlainTextEdit::event(event);
}

bool TicketTextBox::viewportEvent(QEvent *event)
{
    const Depth depth(m_depth);
    return QPlainTextEdit::viewportEvent(event);
}

void TicketTextBox::paintEvent(QPaintEvent *event)
{
    QPlainTextEdit::paintEvent(event);

    // The stand-in takes one cell of the box's font, which has no picture for it, and a
    // tab one blank cell: draw "LF" and "HT" small in their cells, one letter above the
    // other, as the symbols for them are drawn.
    QPainter painter(viewport());
    QFont small = font();
    small.setLetterSpacing(QFont::AbsoluteSpacing, 0);
    small.setPixelSize(std::max(6, fontMetrics().height() / 2 + 1));
    small.setStyleStrategy(QFont::NoAntialias);
    painter.setFont(small);
    const QPointF offset = contentOffset();
    const int bottom = event->rect().bottom();
    for (QTextBlock block = firstVisibleBlock(); block.isValid(); block = block.next()) {
        const QRectF box = blockBoundingGeometry(block).translated(offset);
        if (box.top() > bottom)
            break;
        const QString text = block.text();
        const QTextLayout *layout = block.layout();
        for (qsizetype at = 0; at < text.size() && layout; ++at) {
            const QChar c = text.at(at);
            if (c != LineFeedStandIn && c != u'\t')
                continue;
            const QTextLine line = layout->lineForTextPosition(int(at));
            if (!line.isValid())
                continue;
            const qreal left = box.left() + line.cursorToX(int(at));
            const qreal right = box.left() + line.cursorToX(int(at) + 1);
            const QRectF cell(left, box.top() + line.y(), right - left, line.height());
            painter.fillRect(cell, QColor(0xDD, 0xE6, 0xF6));
            painter.setPen(QColor(0x20, 0x40, 0x90));
            QRectF top = cell;
            top.setBottom(cell.center().y() + 1);
            QRectF low = cell;
            low.setTop(cell.center().y() - 1);
            const bool lf = c == LineFeedStandIn;
            painter.drawText(top, Qt::AlignLeft | Qt::AlignVCenter, lf ? QStringLiteral("L") : QStringLiteral("H"));
            painter.drawText(low, Qt::AlignRight | Qt::AlignVCenter, lf ? QStringLiteral("F") : QStringLiteral("T"));
        }
    }
}

} // namespace tkl
