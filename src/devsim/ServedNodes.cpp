#include "ServedNodes.h"

#include "device/NetworkDescription.h"

namespace tkl::devsim {

std::optional<QList<ServedNode>> servedNodes(const QString &path, QString *error)
{
    const auto catalogue = NetworkDescription::fromFile(path, error);
    if (!catalogue)
        return std::nullopt;

    QList<ServedNode> served;
    for (qsizetype i = 0; i < catalogue->nodes().size(); ++i) {
        const NetworkNode &node = catalogue->nodes()[i];
        if (!node.modbus)
            continue;
        ServedNode s{node.name, node.modbus->host, node.modbus->port, {}};
        for (const PrinterPort &port : catalogue->ports()) {
            if (port.node == i)
                s.ports.append(port);
        }
        for (const ServedNode &other : served) {
            if (other.tcpPort == s.tcpPort) {
                *error = QStringLiteral("%1: nodes %2 and %3 both want port %4")
                             .arg(path, other.name, s.name).arg(s.tcpPort);
                return std::nullopt;
            }
        }
        served.append(s);
    }
    if (served.isEmpty()) {
        *error = QStringLiteral("%1: no node has a \"modbus\" endpoint: nothing to serve").arg(path);
        return std::nullopt;
    }
    return served;
}

} // namespace tkl::devsim
