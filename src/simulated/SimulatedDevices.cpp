#include "SimulatedDevices.h"

#include "DeviceFaults.h"
#include "DeviceStore.h"
#include "device/NetworkCatalogue.h"

#include <QJsonValue>

#include <cmath>
#include <limits>

namespace tkl {

namespace {

QString describeType(ValueType type)
{
    switch (type) {
    case ValueType::Boolean: return QStringLiteral("a Boolean");
    case ValueType::UInt8: return QStringLiteral("an 8-bit unsigned integer");
    case ValueType::Int16: return QStringLiteral("a 16-bit signed integer");
    case ValueType::String: return QStringLiteral("a string");
    case ValueType::UInt32: return QStringLiteral("a 32-bit unsigned integer");
    }
    return {};
}

QString describeVariant(const QVariant &value)
{
    if (!value.isValid())
        return QStringLiteral("no value");
    switch (value.metaType().id()) {
    case QMetaType::Bool: return describeType(ValueType::Boolean);
    case QMetaType::UChar: return describeType(ValueType::UInt8);
    case QMetaType::Short: return describeType(ValueType::Int16);
    case QMetaType::QString: return describeType(ValueType::String);
    case QMetaType::UInt: return describeType(ValueType::UInt32);
    default: return QStringLiteral("a value of type %1").arg(QString::fromLatin1(value.typeName()));
    }
}

// A stored value as the device variable holds it; invalid when it does not fit the
// variable (the network description may have changed since it was stored).
QVariant fromStored(const DeviceVariable &d, const QJsonValue &v)
{
    switch (d.type) {
    case ValueType::Boolean:
        return v.isBool() ? QVariant(v.toBool()) : QVariant();
    case ValueType::UInt8:
    case ValueType::Int16: {
        const double n = v.toDouble(std::numeric_limits<double>::quiet_NaN());
        if (!v.isDouble() || n != std::trunc(n) || n < d.minimum || n > d.maximum)
            return {};
        return d.type == ValueType::UInt8 ? QVariant::fromValue(quint8(n)) : QVariant::fromValue(qint16(n));
    }
    case ValueType::String:
        if (!v.isString() || v.toString().size() > d.maximum)
            return {};
        return v.toString();
    case ValueType::UInt32:
        return {}; // a simulated device keeps no checksum
    }
    return {};
}

QString finishedKey(const PrinterPort &port)
{
    return port.name + QStringLiteral(".downloadFinished");
}

// The download state and checksum: a simulated device keeps its memory's finished mark
// in their place and answers the state from it.
bool keptByDevice(const PrinterPort &port, const QString &name)
{
    return name == PortVariables::downloadStateName(port.name) || name == PortVariables::checksumName(port.name);
}

QJsonValue toStored(ValueType type, const QVariant &value)
{
    switch (type) {
    case ValueType::Boolean: return value.toBool();
    case ValueType::UInt8:
    case ValueType::Int16: return value.toInt();
    case ValueType::String: return value.toString();
    case ValueType::UInt32: return double(value.toUInt());
    }
    return {};
}

} // namespace

SimulatedDevices::SimulatedDevices(const NetworkCatalogue &catalogue)
    : m_catalogue(catalogue)
{
}

std::optional<QString> SimulatedDevices::write(const QString &name, const QVariant &value)
{
    if (m_faults) {
        if (auto refused = m_faults->refuseWrite(name))
            return refused;
    }

    const std::optional<DeviceVariable> d = m_catalogue.findDeviceVariable(name);
    if (!d) {
        if (m_catalogue.findVariable(name))
            return QStringLiteral("Variable \"%1\" is read-only").arg(name);
        return QStringLiteral("Variable \"%1\" does not exist").arg(name);
    }
    if (keptByDevice(m_catalogue.ports().at(d->port), name))
        return QStringLiteral("Variable \"%1\" is kept by the device itself").arg(name);
    if (value.metaType().id() != valueMetaTypeId(d->type)) {
        return QStringLiteral("Variable \"%1\" takes %2, not %3")
            .arg(name, describeType(d->type), describeVariant(value));
    }
    switch (d->type) {
    case ValueType::Boolean:
        break;
    case ValueType::UInt8:
    case ValueType::Int16: {
        const int v = value.toInt();
        if (v < d->minimum || v > d->maximum) {
            return QStringLiteral("Value %1 is out of range %2..%3 for variable \"%4\"")
                .arg(v)
                .arg(d->minimum)
                .arg(d->maximum)
                .arg(name);
        }
        break;
    }
    case ValueType::UInt32:
        break;
    case ValueType::String: {
        const qsizetype length = value.toString().size();
        if (length > d->maximum) {
            return QStringLiteral("Text of %1 characters is too long for variable \"%2\" (at most %3)")
                .arg(length)
                .arg(name)
                .arg(d->maximum);
        }
        break;
    }
    }
    m_memory[d->port].insert(name, Held{d->type, value});
    m_portWritten.insert(d->port);
    m_log.append(WriteRecord{name, d->type, value});
    return std::nullopt;
}

QVariant SimulatedDevices::readValue(const QString &fullName) const
{
    const std::optional<DeviceVariable> d = m_catalogue.findDeviceVariable(fullName);
    return d ? readValue(*d) : QVariant();
}

QVariant SimulatedDevices::readValue(const DeviceVariable &variable) const
{
    if (m_faults) {
        if (auto replaced = m_faults->readBack(variable.name))
            return *replaced;
    }
    const auto port = m_memory.constFind(variable.port);
    if (port == m_memory.constEnd())
        return {};
    const PrinterPort &printer = m_catalogue.ports().at(variable.port);
    if (keptByDevice(printer, variable.name)) {
        if (variable.name != PortVariables::downloadStateName(printer.name))
            return {};
        using State = PortVariables::DownloadState;
        return QVariant::fromValue(qint16(m_portUnfinished.contains(variable.port) ? State::Started : State::Finished));
    }
    const auto held = port->constFind(variable.name);
    return held == port->constEnd() ? QVariant() : held->value;
}

void SimulatedDevices::setPortValues(int port, const QJsonObject &values)
{
    // What the file holds for the port, as far as it fits the port as described now.
    PortMemory memory;
    for (auto it = values.constBegin(); it != values.constEnd(); ++it) {
        const std::optional<DeviceVariable> d = m_catalogue.findDeviceVariable(it.key());
        if (!d || d->port != port)
            continue;
        const QVariant value = fromStored(*d, it.value());
        if (value.isValid())
            memory.insert(d->name, Held{d->type, value});
    }
    if (memory.isEmpty())
        m_memory.remove(port);
    else
        m_memory.insert(port, std::move(memory));
    if (values.value(finishedKey(m_catalogue.ports().at(port))) == QJsonValue(false))
        m_portUnfinished.insert(port);
    else
        m_portUnfinished.remove(port);
}

QJsonObject SimulatedDevices::portValues(int port) const
{
    QJsonObject values;
    const PortMemory memory = m_memory.value(port);
    for (auto it = memory.constBegin(); it != memory.constEnd(); ++it)
        values.insert(it.key(), toStored(it->type, it->value));
    // Only then: the files of finished downloads stay as older programs wrote them.
    if (m_portUnfinished.contains(port))
        values.insert(finishedKey(m_catalogue.ports().at(port)), false);
    return values;
}

void SimulatedDevices::recordDownloadEnd(const QString &port, bool finished)
{
    const PrinterPort *p = m_catalogue.findPort(port);
    const int index = p ? int(p - m_catalogue.ports().constData()) : -1;
    if (!m_portWritten.contains(index))
        return;
    if (finished)
        m_portUnfinished.remove(index);
    else
        m_portUnfinished.insert(index);
}

bool SimulatedDevices::lastDownloadUnfinished(const QString &port) const
{
    const PrinterPort *p = m_catalogue.findPort(port);
    return p && m_portUnfinished.contains(int(p - m_catalogue.ports().constData()));
}

bool SimulatedDevices::attachStore(const QString &path)
{
    m_storePath = path;
    const DeviceStore::Contents contents = DeviceStore::load(path);
    m_storeWarning = contents.warning;
    m_storeRead = !contents.unread;
    const auto &ports = m_catalogue.ports();
    for (int port = 0; port < ports.size(); ++port)
        setPortValues(port, contents.ports.value(ports.at(port).name));
    m_portWritten.clear();
    return m_storeWarning.isEmpty();
}

bool SimulatedDevices::saveStore()
{
    if (m_storePath.isEmpty() || m_portWritten.isEmpty())
        return true;
    const auto &ports = m_catalogue.ports();
    DeviceStore::Ports written;
    for (int port : std::as_const(m_portWritten))
        written.insert(ports.at(port).name, portValues(port));
    const Result<DeviceStore::Contents> saved = DeviceStore::mergePorts(m_storePath, written);
    if (!saved.ok()) {
        m_storeWarning = QStringLiteral("What the devices hold could not be saved: %1").arg(saved.error().message);
        return false;
    }
    m_storeWarning = saved->warning;
    const DeviceStore::Ports &merged = saved->ports;
    // Other programs may have downloaded to the other ports meanwhile.
    for (int port = 0; port < ports.size(); ++port) {
        if (!m_portWritten.contains(port))
            setPortValues(port, merged.value(ports.at(port).name));
    }
    m_portWritten.clear();
    return true;
}

} // namespace tkl
