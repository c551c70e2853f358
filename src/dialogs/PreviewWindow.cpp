#include "PreviewWindow.h"

#include "device/ProcessNetwork.h"
#include "editor/EditorSurface.h"
#include "files/LayoutData.h"
#include "ui/EditorFont.h"
#include "model/TicketModel.h"
#include "preview/TicketRenderer.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTimer>
#include <QVBoxLayout>

namespace tkl {

PreviewWindow::PreviewWindow(const TicketModel &model, const EditorSurface &editor, const ProcessNetwork &network,
                             QWidget *parent)
    : QWidget(parent, Qt::Tool)
    , m_model(model)
    , m_editor(editor)
    , m_network(network)
{
    setObjectName(QStringLiteral("PreviewWindow"));
    setWindowTitle(QStringLiteral("Preview Ticket"));

    m_view = new QPlainTextEdit(this);
    m_view->setObjectName(QStringLiteral("PreviewText"));
    m_view->setReadOnly(true);
    m_view->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_view->setFont(editorFont());
    m_view->setFocusPolicy(Qt::NoFocus);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("PreviewStatus"));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(m_view);
    layout->addWidget(m_status);

    m_timer = new QTimer(this);
    m_timer->setInterval(RefreshMs);
    connect(m_timer, &QTimer::timeout, this, &PreviewWindow::refresh);

    const QFontMetrics fm(m_view->font());
    resize(fm.horizontalAdvance(QString(48, u'X')) + 40, fm.lineSpacing() * 28 + 40);
}

void PreviewWindow::showPreview()
{
    refresh();
    show();
    raise();
    m_timer->start();
}

void PreviewWindow::refresh()
{
    // The lines as the box breaks them: what the download sends and what Linie counts.
    LayoutData layout = LayoutData::fromModel(m_model, m_editor.boxLines().join(QStringLiteral("\r\n")));
    const RenderedTicket ticket = renderTicket(layout, networkValues(m_network, m_network.networkTime()));

    // The same text as `tklcli preview` prints, codes included.
    const ShownTicket shown = showTicket(ticket);
    const int top = m_view->verticalScrollBar()->value();
    m_view->setPlainText(shown.lines.join(u'\n'));
    m_view->verticalScrollBar()->setValue(top);
    highlight(ticket, shown);

    m_status->setText(QStringLiteral("%1 fields, %2 do not fit, %3 without a value")
                          .arg(ticket.fields.size())
                          .arg(ticket.overflowCount())
                          .arg(ticket.missingCount()));
}

QString PreviewWindow::shownText() const
{
    return m_view->toPlainText();
}

void PreviewWindow::hideEvent(QHideEvent *event)
{
    m_timer->stop();
    QWidget::hideEvent(event);
}

void PreviewWindow::highlight(const RenderedTicket &ticket, const ShownTicket &shown)
{
    QList<QTextEdit::ExtraSelection> marks;
    for (const ShownField &f : shown.fields) {
        const QTextBlock block = m_view->document()->findBlockByNumber(f.line);
        if (!block.isValid() || f.length <= 0)
            continue;
        QTextEdit::ExtraSelection mark;
        mark.cursor = QTextCursor(block);
        mark.cursor.setPosition(block.position() + f.start);
        mark.cursor.setPosition(block.position() + f.start + f.length, QTextCursor::KeepAnchor);
        // Fields stand out as the editor shows them; trouble stands out more.
        const QColor back = f.overflow ? QColor(0xF0, 0x80, 0x80) : f.missing ? QColor(0xF0, 0xE0, 0x70)
                                                                               : QColor(0xC0, 0xC0, 0xC0);
        mark.format.setBackground(back);
        marks << mark;
    }
    m_marked = ticket.overflowCount() + ticket.missingCount();
    m_view->setExtraSelections(marks);
}

} // namespace tkl
