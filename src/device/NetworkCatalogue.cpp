#include "NetworkCatalogue.h"

#include <QDateTime>

#include <cmath>

namespace tkl {

double SimulatedValue::valueAt(qint64 msecs) const
{
    if (kind == Kind::Fixed || periodSeconds <= 0)
        return from;
    const double phase = std::fmod(double(msecs) / 1000.0, periodSeconds) / periodSeconds;
    return from + (to - from) * phase;
}

int NetworkCatalogue::addNode(const QString &name, const QString &address, const QString &capabilities,
                              const std::optional<ModbusEndpoint> &modbus)
{
    m_nodes.append(NetworkNode{name, address, capabilities, {}, modbus});
    return int(m_nodes.size() - 1);
}

int NetworkCatalogue::addVariable(int node, const QString &name, qint32 internalAddress, qint32 offset,
                                  qint32 subDataType, qint32 bitNo, const SimulatedValue &simulation)
{
    Q_ASSERT(node >= 0 && node < m_nodes.size());
    NetworkVariable v;
    v.name = name;
    v.fullName = m_nodes[node].name + QLatin1Char('.') + name;
    v.node = node;
    v.internalAddress = internalAddress;
    v.offset = offset;
    v.subDataType = subDataType;
    v.bitNo = bitNo;
    v.simulation = simulation;
    const int index = int(m_variables.size());
    m_variables.append(v);
    m_variableIndex.insert(v.fullName, index);
    m_nodes[node].variables.append(index);
    return index;
}

int NetworkCatalogue::addPort(const QString &name, int node, int updateElements, int ticketLines, int stringLength,
                              const std::optional<ModbusPortAddress> &modbus)
{
    Q_ASSERT(node >= 0 && node < m_nodes.size());
    const int port = int(m_ports.size());
    m_ports.append(PrinterPort{name, node, updateElements, ticketLines, stringLength, modbus});

    if (!m_portIndex.contains(name))
        m_portIndex.insert(name, port);
    m_firstDeviceIndex.append(m_deviceVariableCount);
    // The elements, lines, the ticket lines, two codes, the download state and checksum.
    const int count = updateElements * PortVariables::MemberCount + 1 + ticketLines + 4;
    m_deviceVariableCount += count;
    return port;
}

const NetworkVariable *NetworkCatalogue::findVariable(const QString &fullName) const
{
    const auto it = m_variableIndex.constFind(fullName);
    return it == m_variableIndex.constEnd() ? nullptr : &m_variables[*it];
}

std::optional<DeviceVariable> NetworkCatalogue::findDeviceVariable(const QString &fullName) const
{
    // A port's name holds no ".": it is everything before the first one.
    const qsizetype dot = fullName.indexOf(u'.');
    if (dot < 0)
        return std::nullopt;
    const auto it = m_portIndex.constFind(QStringView(fullName).left(dot).toString());
    if (it == m_portIndex.constEnd())
        return std::nullopt;
    const PrinterPort &port = m_ports.at(*it);
    const auto place = PortVariables::placeOf(port, fullName);
    if (!place)
        return std::nullopt;

    using Kind = PortVariables::Place::Kind;
    const int elements = port.updateElements * PortVariables::MemberCount;
    DeviceVariable d;
    switch (place->kind) {
    case Kind::Member: d.ordinal = (place->index - 1) * PortVariables::MemberCount + int(place->member) + 1; break;
    case Kind::Lines: d.ordinal = elements + 1; break;
    case Kind::Ticket: d.ordinal = elements + 1 + place->index; break;
    case Kind::StartCode: d.ordinal = elements + port.ticketLines + 2; break;
    case Kind::StopCode: d.ordinal = elements + port.ticketLines + 3; break;
    case Kind::DownloadState: d.ordinal = elements + port.ticketLines + 4; break;
    case Kind::Checksum: d.ordinal = elements + port.ticketLines + 5; break;
    }
    d.name = fullName;
    d.port = *it;
    d.index = m_firstDeviceIndex.at(*it) + d.ordinal - 1;
    d.type = place->type;
    d.minimum = place->bounds.minimum;
    d.maximum = place->bounds.maximum;
    return d;
}

const PrinterPort *NetworkCatalogue::findPort(const QString &name) const
{
    const auto it = m_portIndex.constFind(name);
    return it == m_portIndex.constEnd() ? nullptr : &m_ports[*it];
}

const ModbusEndpoint *NetworkCatalogue::endpointOf(const PrinterPort &port) const
{
    if (port.node < 0 || port.node >= m_nodes.size() || !port.modbus)
        return nullptr;
    const auto &endpoint = m_nodes.at(port.node).modbus;
    return endpoint ? &*endpoint : nullptr;
}

qint64 NetworkCatalogue::networkTime()
{
    return QDateTime::currentMSecsSinceEpoch();
}

std::optional<double> NetworkCatalogue::simulatedValue(const QString &fullName, qint64 msecs) const
{
    const NetworkVariable *v = findVariable(fullName);
    if (!v)
        return std::nullopt;
    return v->simulation.valueAt(msecs);
}

} // namespace tkl
