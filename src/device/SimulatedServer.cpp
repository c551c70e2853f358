#include "SimulatedServer.h"

#include "ProcessNetwork.h"


namespace tkl {

namespace {

bool is(const QString &name, QLatin1String property)
{
    return name.compare(property, Qt::CaseInsensitive) == 0;
}

} // namespace

SimulatedServer::SimulatedServer(ProcessNetwork &network)
    : m_network(network)
{
}

void SimulatedServer::fail(const QString &text)
{
    m_errorString = text;
    if (m_enableExceptions)
        throw AutomationError(text);
}

void SimulatedServer::setProperty(const QString &name, const QVariant &value)
{
    if (is(name, QLatin1String("EnableExceptions"))) {
        // A Boolean, or a number as older callers pass it (-1 for true).
        const int type = value.metaType().id();
        if (type != QMetaType::Bool && type != QMetaType::Int && type != QMetaType::Short)
            return fail(QStringLiteral("\"EnableExceptions\" takes a Boolean"));
        m_enableExceptions = value.toBool();
    } else if (is(name, QLatin1String("PhysId"))) {
        if (value.metaType().id() != QMetaType::QString)
            return fail(QStringLiteral("\"PhysId\" takes the name of a variable as a string"));
        m_physId = value.toString();
    } else if (is(name, QLatin1String("Value"))) {
        if (const auto error = m_network.write(m_physId, value))
            fail(*error);
    } else if (is(name, QLatin1String("ErrorString")) || is(name, QLatin1String("NodeAddress"))
               || is(name, QLatin1String("InternalAddress")) || is(name, QLatin1String("Offset"))
               || is(name, QLatin1String("SubDataType")) || is(name, QLatin1String("BitNo"))
               || is(name, QLatin1String("Nodecapabilities"))) {
        fail(QStringLiteral("Property \"%1\" is read-only").arg(name));
    } else {
        fail(QStringLiteral("Unknown property \"%1\"").arg(name));
    }
}

QVariant SimulatedServer::property(const QString &name)
{
    if (is(name, QLatin1String("EnableExceptions")))
        return m_enableExceptions;
    if (is(name, QLatin1String("PhysId")))
        return m_physId;
    if (is(name, QLatin1String("ErrorString")))
        return m_errorString;

    const bool known = is(name, QLatin1String("Value")) || is(name, QLatin1String("NodeAddress"))
        || is(name, QLatin1String("Nodecapabilities")) || is(name, QLatin1String("InternalAddress"))
        || is(name, QLatin1String("Offset")) || is(name, QLatin1String("SubDataType"))
        || is(name, QLatin1String("BitNo"));
    if (!known) {
        fail(QStringLiteral("Unknown property \"%1\"").arg(name));
        return {};
    }

    const NetworkVariable *variable = m_network.findVariable(m_physId);
    const std::optional<DeviceVariable> device =
        variable ? std::nullopt : m_network.findDeviceVariable(m_physId);
    if (!variable && !device) {
        fail(m_physId.isEmpty() ? QStringLiteral("No variable selected: set \"PhysId\" first")
                                : QStringLiteral("Variable \"%1\" does not exist").arg(m_physId));
        return {};
    }

    const int nodeIndex = variable ? variable->node : m_network.ports().at(device->port).node;
    const NetworkNode &node = m_network.nodes().at(nodeIndex);
    if (is(name, QLatin1String("NodeAddress")))
        return node.address;
    if (is(name, QLatin1String("Nodecapabilities")))
        return node.capabilities;

    if (variable) {
        if (is(name, QLatin1String("Value")))
            return variable->simulation.valueAt(ProcessNetwork::networkTime());
        if (is(name, QLatin1String("InternalAddress")))
            return int(variable->internalAddress);
        if (is(name, QLatin1String("Offset")))
            return int(variable->offset);
        if (is(name, QLatin1String("SubDataType")))
            return int(variable->subDataType);
        return int(variable->bitNo);
    }

    // A device variable: addressed by its place in the device, its type as sub-type.
    if (is(name, QLatin1String("Value"))) {
        const QVariant value = m_network.readValue(*device);
        if (!value.isValid()) {
            fail(QStringLiteral("Variable \"%1\" holds no value yet").arg(m_physId));
            return {};
        }
        return value;
    }
    if (is(name, QLatin1String("InternalAddress")))
        return device->ordinal;
    if (is(name, QLatin1String("SubDataType")))
        return int(device->type) + 1;
    return 0; // Offset, BitNo
}

} // namespace tkl
