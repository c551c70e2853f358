#include "ServedNodes.h"

#include "device/ProcessNetwork.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace tkl::devsim {

namespace {

QString overlap(const QList<ServedPort> &ports)
{
    for (qsizetype i = 0; i < ports.size(); ++i) {
        const ServedPort &a = ports[i];
        const int aEnd = a.base + PortVariables::registerCount(a.port);
        if (aEnd > 65536) {
            return QStringLiteral("port %1 needs registers %2 to %3, past the last register 65535")
                .arg(a.port.name).arg(a.base).arg(aEnd - 1);
        }
        for (qsizetype j = 0; j < i; ++j) {
            const ServedPort &b = ports[j];
            const int bEnd = b.base + PortVariables::registerCount(b.port);
            if (a.unit == b.unit && a.base < bEnd && b.base < aEnd) {
                return QStringLiteral("ports %1 and %2 share registers of unit %3")
                    .arg(b.port.name, a.port.name).arg(a.unit);
            }
        }
    }
    return {};
}

} // namespace

std::optional<QList<ServedNode>> servedNodes(const QString &path, QString *error)
{
    auto network = ProcessNetwork::fromFile(path, error);
    if (!network)
        return std::nullopt;

    // The endpoints: "modbus" of a node and of each of its ports.
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
    QHash<QString, QJsonObject> nodeEndpoints, portEndpoints;
    for (const QJsonValue &n : root.value(u"nodes").toArray())
        if (n.toObject().contains(u"modbus"))
            nodeEndpoints.insert(n[u"name"].toString(), n[u"modbus"].toObject());
    for (const QJsonValue &p : root.value(u"ports").toArray())
        portEndpoints.insert(p[u"name"].toString(), p[u"modbus"].toObject());

    QList<ServedNode> served;
    for (qsizetype i = 0; i < network->nodes().size(); ++i) {
        const NetworkNode &node = network->nodes()[i];
        if (!nodeEndpoints.contains(node.name))
            continue;
        const QJsonObject endpoint = nodeEndpoints.value(node.name);
        ServedNode s{node.name, endpoint.value(u"host").toString(), endpoint.value(u"port").toInt(), {}};
        for (const PrinterPort &port : network->ports()) {
            if (port.node != i)
                continue;
            const QJsonObject p = portEndpoints.value(port.name);
            s.ports.append({port, p.value(u"unit").toInt(1), p.value(u"base").toInt(0)});
        }
        for (const ServedNode &other : served) {
            if (other.tcpPort == s.tcpPort) {
                *error = QStringLiteral("%1: nodes %2 and %3 both want port %4")
                             .arg(path, other.name, s.name).arg(s.tcpPort);
                return std::nullopt;
            }
        }
        if (const QString what = overlap(s.ports); !what.isEmpty()) {
            *error = QStringLiteral("%1: node %2: %3").arg(path, s.name, what);
            return std::nullopt;
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
