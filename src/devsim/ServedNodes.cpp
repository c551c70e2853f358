#include "ServedNodes.h"

#include "device/NetworkDescription.h"

namespace tkl::devsim {

Result<QList<ServedNode>> servedNodes(const QString &path)
{
    const Result<NetworkCatalogue> catalogue = NetworkDescription::fromFile(path);
    if (!catalogue.ok())
        return catalogue.error();

    QList<ServedNode> served;
    for (qsizetype i = 0; i < catalogue->nodes().size(); ++i) {
        const NetworkNode &node = catalogue->nodes()[i];
        if (!node.modbus)
            continue;
        ServedNode s{node.name, node.modbus->host, node.modbus->port, {}, node.modbus->serial, node.modbus->baud};
        for (const PrinterPort &port : catalogue->ports()) {
            if (port.node == i)
                s.ports.append(port);
        }
        for (const ServedNode &other : served) {
            if (!s.isSerial() && !other.isSerial() && other.tcpPort == s.tcpPort) {
                return Failure{QStringLiteral("%1: nodes %2 and %3 both want port %4")
                                   .arg(path, other.name, s.name)
                                   .arg(s.tcpPort)};
            }
        }
        served.append(s);
    }
    if (served.isEmpty()) {
        return Failure{QStringLiteral("%1: no node has a \"modbus\" endpoint: nothing to serve").arg(path)};
    }
    return served;
}

} // namespace tkl::devsim
