#include "PreviewWindow.h"

#include "network/ProcessNetwork.h"
#include "editor/EditorSurface.h"
#include "files/LayoutData.h"
#include "ui/WindowLook.h"
#include "model/TicketModel.h"
#include "preview/TicketCheck.h"
#include "preview/TicketRenderer.h"

#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStyle>
#include <QTextBlock>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

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

    m_findings = new QListWidget(this);
    m_findings->setObjectName(QStringLiteral("PreviewFindings"));
    m_findings->setFocusPolicy(Qt::NoFocus);
    m_findings->setSelectionMode(QAbstractItemView::SingleSelection);
    // A finding about a field leads to it; a second click on the same one too.
    connect(m_findings, &QListWidget::itemClicked, this, [this](QListWidgetItem *item) {
        if (const int slot = item->data(Qt::UserRole).toInt(); slot > 0)
            emit fieldChosen(slot);
    });
    m_findings->setWordWrap(true);
    m_findings->setIconSize(QSize(16, 16));
    m_findings->hide();

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(m_view, 3);
    layout->addWidget(m_status);
    layout->addWidget(m_findings, 1);

    // A change of the layout shows at once; the timer brings the network's live values.
    connect(&m_model, &TicketModel::changed, this, [this] {
        if (isVisible())
            refresh();
    });
    m_timer = new QTimer(this);
    m_timer->setInterval(RefreshMs);
    connect(m_timer, &QTimer::timeout, this, &PreviewWindow::refresh);

    const QFontMetrics fm(m_view->font());
    resize(fm.horizontalAdvance(QString(56, u'X')) + 40, fm.lineSpacing() * 36 + 40);
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
    const LayoutData layout = LayoutData::fromModel(m_model, m_editor.boxLines().join(QStringLiteral("\r\n")));
    // Each field shows what the device finds at its address, as it will print it.
    const RenderedTicket ticket = renderTicket(layout, networkValues(m_network, m_network.networkTime()), &m_network);

    // The same text as `tklcli preview` prints, codes included.
    const ShownTicket shown = showTicket(ticket);
    const int top = m_view->verticalScrollBar()->value();
    m_view->setPlainText(shown.lines.join(u'\n'));
    m_view->verticalScrollBar()->setValue(top);
    highlight(ticket, shown);

    const QList<LayoutFinding> found = findings(layout, m_editor, m_network);
    listFindings(found);
    m_status->setText(QStringLiteral("%1 fields, %2 do not fit, %3 without a value; %4")
                          .arg(ticket.fields.size())
                          .arg(ticket.overflowCount())
                          .arg(ticket.missingCount())
                          .arg(found.isEmpty() ? QStringLiteral("no problems found")
                               : found.size() == 1 ? QStringLiteral("1 problem:")
                                                   : QStringLiteral("%1 problems:").arg(found.size())));
}

QList<LayoutFinding> PreviewWindow::findings(const TicketModel &model, const EditorSurface &editor,
                                             const ProcessNetwork &network)
{
    // The lines as the box breaks them, as everywhere in the editor.
    return findings(LayoutData::fromModel(model, editor.boxLines().join(QStringLiteral("\r\n"))), editor, network);
}

QList<LayoutFinding> PreviewWindow::findings(const LayoutData &layout, const EditorSurface &editor,
                                             const ProcessNetwork &network)
{
    QList<LayoutFinding> found = TicketCheck::findings(layout, network);
    for (int slot : editor.fieldsOverScrollBar()) {
        // A field past the right edge is over the bar too; one finding says enough.
        const bool told = std::any_of(found.cbegin(), found.cend(), [slot](const LayoutFinding &f) {
            return f.subject == LayoutFinding::Subject::Field && f.index == slot
                   && f.member == PortVariables::Member::Pos;
        });
        if (told)
            continue;
        LayoutFinding f;
        f.severity = LayoutFinding::Severity::Warning;
        f.kind = LayoutFinding::Kind::ScrollBar;
        f.subject = LayoutFinding::Subject::Field;
        f.index = slot;
        f.message = QStringLiteral("UpdateBox %1 reaches over the editor's scroll bar").arg(slot);
        found.append(f);
    }
    return found;
}

QStringList PreviewWindow::shownFindings() const
{
    QStringList texts;
    for (int i = 0; i < m_findings->count(); ++i)
        texts << m_findings->item(i)->text();
    return texts;
}

void PreviewWindow::listFindings(const QList<LayoutFinding> &found)
{
    // Rebuilt only when something changed, so that the list keeps its place.
    if (found == m_listed)
        return;
    m_listed = found;
    m_findings->clear();
    const QIcon warning = style()->standardIcon(QStyle::SP_MessageBoxWarning);
    const QIcon error = style()->standardIcon(QStyle::SP_MessageBoxCritical);
    for (const LayoutFinding &f : found) {
        // The message may quote the layout's text: no control character reaches the list.
        auto *item = new QListWidgetItem(f.isError() ? error : warning,
                                         (f.isError() ? QStringLiteral("Error: ") : QStringLiteral("Warning: "))
                                             + shownLine(f.message),
                                         m_findings);
        item->setToolTip(item->text());
        if (f.subject == LayoutFinding::Subject::Field)
            item->setData(Qt::UserRole, f.index);
    }
    m_findings->setVisible(!found.isEmpty());
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
