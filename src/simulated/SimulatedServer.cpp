#include "SimulatedServer.h"

#include "SimulatedDevices.h"
#include "device/NetworkCatalogue.h"

namespace tkl {

namespace {

constexpr auto is = &ServerProperties::is;

} // namespace

SimulatedServer::SimulatedServer(SimulatedDevices &devices)
    : m_devices(devices)
    , m_catalogue(devices.catalogue())
{
}

void SimulatedServer::setProperty(const QString &name, const QVariant &value)
{
    if (m_properties.setProperty(name, value))
        return;
    if (is(name, QLatin1String("Value"))) {
        if (const auto error = m_devices.write(m_properties.physId(), value))
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
    if (const std::optional<QVariant> common = m_properties.property(name))
        return *common;

    const QString &physId = m_properties.physId();
    const bool known = is(name, QLatin1String("Value")) || is(name, QLatin1String("NodeAddress"))
        || is(name, QLatin1String("Nodecapabilities")) || is(name, QLatin1String("InternalAddress"))
        || is(name, QLatin1String("Offset")) || is(name, QLatin1String("SubDataType"))
        || is(name, QLatin1String("BitNo"));
    if (!known) {
        fail(QStringLiteral("Unknown property \"%1\"").arg(name));
        return {};
    }

    const NetworkVariable *variable = m_catalogue.findVariable(physId);
    const std::optional<DeviceVariable> device =
        variable ? std::nullopt : m_catalogue.findDeviceVariable(physId);
    if (!variable && !device) {
        fail(physId.isEmpty() ? QStringLiteral("No variable selected: set \"PhysId\" first")
                                : QStringLiteral("Variable \"%1\" does not exist").arg(physId));
        return {};
    }

    const int nodeIndex = variable ? variable->node : m_catalogue.ports().at(device->port).node;
    const NetworkNode &node = m_catalogue.nodes().at(nodeIndex);
    if (is(name, QLatin1String("NodeAddress")))
        return node.address;
    if (is(name, QLatin1String("Nodecapabilities")))
        return node.capabilities;

    if (variable) {
        if (is(name, QLatin1String("Value")))
            return variable->simulation.valueAt(NetworkCatalogue::networkTime());
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
        const QVariant value = m_devices.readValue(*device);
        if (!value.isValid()) {
            fail(QStringLiteral("Variable \"%1\" holds no value yet").arg(physId));
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
