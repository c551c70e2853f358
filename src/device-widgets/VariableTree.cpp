#include "VariableTree.h"

#include "network/ProcessNetwork.h"

#include <QKeyEvent>

namespace tkl {

namespace {
constexpr int FullNameRole = Qt::UserRole;
}

VariableTree::VariableTree(const ProcessNetwork &network, Mode mode, QWidget *parent)
    : QTreeWidget(parent)
    , m_network(network)
    , m_mode(mode)
{
    setObjectName(QStringLiteral("Vatrix1"));
    setColumnCount(1);
    setHeaderHidden(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setExpandsOnDoubleClick(true);
    connect(this, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem *item) { choose(item); });
    reload();
}

void VariableTree::setDesignSettings(const QString &fileName, const QString &applicationName,
                                     const QString &workspace)
{
    m_fileName = fileName;
    m_applicationName = applicationName;
    m_workspace = workspace;
}

void VariableTree::reload()
{
    clear();
    const QList<NetworkNode> &nodes = m_network.nodes();
    QList<QTreeWidgetItem *> nodeItems(nodes.size(), nullptr);
    auto nodeItem = [&](int node) {
        if (!nodeItems[node]) {
            const NetworkNode &n = nodes.at(node);
            auto *item = new QTreeWidgetItem(this, {n.name}, NodeItem);
            item->setToolTip(0, QStringLiteral("%1 (%2)").arg(n.address, n.capabilities));
            item->setData(0, FullNameRole, n.name);
            nodeItems[node] = item;
        }
        return nodeItems[node];
    };

    if (m_mode == Mode::Variables) {
        for (int node = 0; node < nodes.size(); ++node) {
            QTreeWidgetItem *parent = nodeItem(node);
            for (int index : nodes.at(node).variables) {
                const NetworkVariable &v = m_network.variables().at(index);
                auto *item = new QTreeWidgetItem(parent, {v.name}, VariableItem);
                item->setData(0, FullNameRole, v.fullName);
                item->setToolTip(0, v.fullName);
            }
        }
    } else {
        for (const PrinterPort &p : m_network.ports()) {
            auto *item = new QTreeWidgetItem(nodeItem(p.node), {p.name}, PortItem);
            item->setData(0, FullNameRole, p.name);
            item->setToolTip(0, tr("%1: %2 ticket lines, %3 fields").arg(p.name).arg(p.ticketLines).arg(p.updateElements));
        }
    }
    expandAll();
}

QTreeWidgetItem *VariableTree::itemForName(const QString &fullName) const
{
    for (int i = 0; i < topLevelItemCount(); ++i) {
        QTreeWidgetItem *node = topLevelItem(i);
        for (int j = 0; j < node->childCount(); ++j) {
            if (node->child(j)->data(0, FullNameRole).toString() == fullName)
                return node->child(j);
        }
    }
    return nullptr;
}

void VariableTree::keyPressEvent(QKeyEvent *event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentItem()
        && currentItem()->type() != NodeItem) {
        choose(currentItem());
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

void VariableTree::choose(QTreeWidgetItem *item)
{
    if (!item || item->type() == NodeItem)
        return;
    m_selectedName = item->data(0, FullNameRole).toString();
    if (item->type() == VariableItem)
        emit VariableSelected();
    else
        emit NodeSelected();
}

} // namespace tkl
