#include "ModbusServer.h"

#include "device/NetworkCatalogue.h"

#include <algorithm>

namespace tkl {

namespace {

constexpr auto is = &ServerProperties::is;

} // namespace

ModbusServer::ModbusServer(const NetworkCatalogue &catalogue, const PrinterPort &port,
                           const ModbusEndpoint &endpoint, std::unique_ptr<AutomationObject> others)
    : m_catalogue(catalogue)
    , m_port(port)
    , m_transport(endpoint, port.modbus ? port.modbus->unit : 1)
    , m_others(std::move(others))
{
    m_others->setProperty(QStringLiteral("EnableExceptions"), true);
}

void ModbusServer::setProperty(const QString &name, const QVariant &value)
{
    if (m_properties.setProperty(name, value))
        return;
    if (is(name, QLatin1String("Value")) && PortVariables::placeOf(m_port, m_properties.physId()))
        return writeValue(value);
    try {
        m_others->setProperty(QStringLiteral("PhysId"), m_properties.physId());
        if (is(name, QLatin1String("Value"))) {
            const std::optional<DeviceVariable> d = m_catalogue.findDeviceVariable(m_properties.physId());
            if (d && m_catalogue.endpointOf(m_catalogue.ports().at(d->port)))
                return fail(QStringLiteral("Variable \"%1\" is on another device than %2")
                                .arg(m_properties.physId(), m_transport.where()));
        }
        m_others->setProperty(name, value);
    } catch (const AutomationError &e) {
        fail(e.text());
    }
}

QVariant ModbusServer::property(const QString &name)
{
    if (const std::optional<QVariant> common = m_properties.property(name))
        return *common;
    if (is(name, QLatin1String("Value")) && PortVariables::placeOf(m_port, m_properties.physId()))
        return readValue();
    try {
        m_others->setProperty(QStringLiteral("PhysId"), m_properties.physId());
        return m_others->property(name);
    } catch (const AutomationError &e) {
        fail(e.text());
    }
    return {};
}

void ModbusServer::sync()
{
    flush();
}

void ModbusServer::close()
{
    const bool exceptions = m_properties.exceptionsEnabled();
    m_properties.enableExceptions(false);
    flush();
    m_properties.enableExceptions(exceptions);
    m_transport.close();
    m_cache.clear();
}

void ModbusServer::writeValue(const QVariant &value)
{
    const auto place = PortVariables::placeOf(m_port, m_properties.physId());
    const QString name = m_properties.physId();
    // A refused value ends the writes: what waits goes out first, so that the writes
    // before it are made as they were reported.
    auto refuse = [&](const QString &text) {
        if (flush())
            fail(text);
    };
    if (value.metaType().id() != valueMetaTypeId(place->type))
        return refuse(QStringLiteral("Variable \"%1\" takes a value of type %2").arg(name, valueTypeName(place->type)));
    if (place->type == ValueType::UInt8 || place->type == ValueType::Int16) {
        const int v = value.toInt();
        if (v < place->bounds.minimum || v > place->bounds.maximum) {
            return refuse(QStringLiteral("Value %1 is out of range %2..%3 for variable \"%4\"")
                              .arg(v)
                              .arg(place->bounds.minimum)
                              .arg(place->bounds.maximum)
                              .arg(name));
        }
    }
    RegisterCodec::Registers registers;
    if (const auto why = RegisterCodec::encode(place->type, value, m_port.stringLength, &registers))
        return refuse(QStringLiteral("Cannot write %1 to %2: %3").arg(name, m_transport.where(), *why));

    m_cache.clear();
    const int address = m_port.modbus->base + place->firstRegister;
    if (m_pendingStart >= 0 && address == m_pendingStart + m_pending.size()) {
        m_pendingNames.append({int(m_pending.size()), name});
        m_pending.append(registers);
        return;
    }
    if (!flush())
        return;
    m_pendingStart = address;
    m_pending = std::move(registers);
    m_pendingNames = {{0, name}};
}

bool ModbusServer::flush()
{
    if (m_pendingStart < 0)
        return true;
    const int start = std::exchange(m_pendingStart, -1);
    const RegisterCodec::Registers registers = std::exchange(m_pending, {});
    const auto names = std::exchange(m_pendingNames, {});
    for (int offset = 0; offset < registers.size(); offset += ModbusTransport::MaxWrite) {
        const int count = std::min<int>(ModbusTransport::MaxWrite, int(registers.size()) - offset);
        const auto error = m_transport.write(start + offset, registers.constData() + offset, count);
        if (!error)
            continue;
        // The variables whose registers the failed request carried.
        qsizetype first = 0, last = 0;
        for (qsizetype i = 0; i < names.size(); ++i) {
            if (names.at(i).first <= offset)
                first = i;
            if (names.at(i).first < offset + count)
                last = i;
        }
        const QString which = first == last ? names.at(first).second
                                            : QStringLiteral("%1 to %2").arg(names.at(first).second, names.at(last).second);
        fail(QStringLiteral("Writing %1 to %2 failed: %3").arg(which, m_transport.where(), *error), names.at(first).second);
        return false;
    }
    return true;
}

bool ModbusServer::ensureRead(int address, int count)
{
    if (address >= m_cacheStart && address + count <= m_cacheStart + m_cache.size())
        return true;
    const int portEnd = m_port.modbus->base + PortVariables::registerCount(m_port);
    const int total = std::max(count, std::min(ModbusTransport::MaxRead, portEnd - address));
    QList<quint16> registers(total);
    m_cache.clear();
    for (int offset = 0; offset < total; offset += ModbusTransport::MaxRead) {
        const int n = std::min(ModbusTransport::MaxRead, total - offset);
        if (const auto error = m_transport.read(address + offset, n, registers.data() + offset)) {
            fail(QStringLiteral("Reading %1 from %2 failed: %3").arg(m_properties.physId(), m_transport.where(), *error));
            return false;
        }
    }
    m_cacheStart = address;
    m_cache = std::move(registers);
    return true;
}

QVariant ModbusServer::readValue()
{
    if (!flush())
        return {};
    const auto place = PortVariables::placeOf(m_port, m_properties.physId());
    const int address = m_port.modbus->base + place->firstRegister;
    if (!ensureRead(address, 1))
        return {};
    auto bad = [&](const QString &what) {
        fail(QStringLiteral("Reading %1 from %2: %3").arg(m_properties.physId(), m_transport.where(), what));
        return QVariant();
    };
    if (place->type == ValueType::UInt32) {
        if (!ensureRead(address, 2))
            return {};
        const qsizetype at = address - m_cacheStart;
        return QVariant::fromValue(RegisterCodec::decodeUInt32(m_cache.at(at), m_cache.at(at + 1)));
    }
    if (place->type != ValueType::String) {
        const quint16 word = m_cache.at(address - m_cacheStart);
        if (const auto value = RegisterCodec::decodeNumber(place->type, word))
            return *value;
        return bad(QStringLiteral("the register holds %1, which is no %2").arg(word).arg(valueTypeName(place->type)));
    }
    const int length = m_cache.at(address - m_cacheStart);
    if (length > m_port.stringLength) {
        return bad(QStringLiteral("the length register holds %1, more than the %2 bytes a string may have")
                       .arg(length)
                       .arg(m_port.stringLength));
    }
    const int count = RegisterCodec::stringRegisters(length);
    if (!ensureRead(address, count))
        return {};
    const qsizetype from = address - m_cacheStart;
    QString why;
    const auto text = RegisterCodec::decodeString(m_cache.mid(from, count), m_port.stringLength, &why);
    return text ? QVariant(*text) : bad(why);
}

} // namespace tkl
