#pragma once

#include <QString>
#include <QTreeWidget>

class QKeyEvent;

namespace tkl {

class ProcessNetwork;

/// The tree of the process network the operator picks a variable or a printer port
/// from (object name `Vatrix1`).
///
/// In Variables mode it lists the nodes with their variables; in Ports mode the printer
/// module nodes with their ports. A double-click, or Enter / Return, on a variable item
/// raises VariableSelected() and on a port item NodeSelected(), with SelectedName()
/// already holding the item's full name. Node items only open and close.
class VariableTree : public QTreeWidget
{
    Q_OBJECT
    Q_PROPERTY(QString FileName MEMBER m_fileName)
    Q_PROPERTY(QString ApplicationName MEMBER m_applicationName)
    Q_PROPERTY(QString Workspace MEMBER m_workspace)
    Q_PROPERTY(QString SelectedName READ SelectedName)

public:
    enum class Mode { Variables, Ports };

    /// The network must outlive the tree.
    VariableTree(const ProcessNetwork &network, Mode mode, QWidget *parent = nullptr);

    /// The full name of the item the operator chose last; empty before the first choice.
    QString SelectedName() const { return m_selectedName; }

    /// The item that stands for the variable or port of that full name, or nullptr.
    QTreeWidgetItem *itemForName(const QString &fullName) const;

    /// The design-time settings: a file name, an application name and a workspace.
    /// They are kept for whoever configures the tree; the simulated network needs none.
    void setDesignSettings(const QString &fileName, const QString &applicationName, const QString &workspace);

    /// Rebuilds the items from the network, e.g. after it was reloaded.
    void reload();

signals:
    void VariableSelected();
    void NodeSelected();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    enum ItemKind { NodeItem = QTreeWidgetItem::UserType + 1, VariableItem, PortItem };

    void choose(QTreeWidgetItem *item);

    const ProcessNetwork &m_network;
    Mode m_mode;
    QString m_selectedName;
    QString m_fileName;
    QString m_applicationName;
    QString m_workspace;
};

} // namespace tkl
