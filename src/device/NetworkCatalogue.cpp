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

    const PrinterPort &p = m_ports.last();
    int ordinal = 0;
    auto add = [&](QString varName, ValueType type, PortVariables::Bounds bounds) {
        DeviceVariable d;
        d.name = std::move(varName);
        d.index = int(m_deviceVariables.size());
        d.port = port;
        d.ordinal = ++ordinal;
        d.type = type;
        d.minimum = bounds.minimum;
        d.maximum = bounds.maximum;
        m_deviceIndex.insert(d.name, d.index);
        m_deviceVariables.append(d);
    };
    using namespace PortVariables;
    for (int n = 1; n <= updateElements; ++n) {
        for (const MemberInfo &m : members())
            add(elementName(name, n, m.member), m.type, memberBounds(p, m.member));
    }
    add(linesName(name), ValueType::Int16, linesBounds(p));
    for (int n = 1; n <= ticketLines; ++n)
        add(ticketName(name, n), ValueType::String, stringBounds(p));
    add(startCodeName(name), ValueType::String, stringBounds(p));
    add(stopCodeName(name), ValueType::String, stringBounds(p));
    return port;
}

const NetworkVariable *NetworkCatalogue::findVariable(const QString &fullName) const
{
    const auto it = m_variableIndex.constFind(fullName);
    return it == m_variableIndex.constEnd() ? nullptr : &m_variables[*it];
}

const DeviceVariable *NetworkCatalogue::findDeviceVariable(const QString &fullName) const
{
    const auto it = m_deviceIndex.constFind(fullName);
    return it == m_deviceIndex.constEnd() ? nullptr : &m_deviceVariables[*it];
}

const PrinterPort *NetworkCatalogue::findPort(const QString &name) const
{
    for (const PrinterPort &p : m_ports) {
        if (p.name == name)
            return &p;
    }
    return nullptr;
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
