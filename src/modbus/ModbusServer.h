#pragma once

#include "device/AutomationObject.h"
#include "device/RegisterCodec.h"
#include "device/ServerProperties.h"
#include "modbus/ModbusTransport.h"

#include <QList>
#include <QString>

#include <memory>

namespace tkl {

class NetworkCatalogue;

/// The automation server for a printer port on a real device: the port's device
/// variables are holding registers behind the node's Modbus endpoint, laid out by the
/// register map (PortVariables, RegisterCodec; docs/register-map.md).
///
/// The properties are the simulated network's (SimulatedServer), with the same
/// "EnableExceptions" and "ErrorString" behaviour. A "Value" of a device variable of this
/// port is written to and read from the device; everything else (network variables,
/// attributes, the variables of simulated ports) is answered by the server it is given
/// for them.
///
/// Writes to registers that follow each other are joined into one request: a write
/// that continues the registers of the write before it waits, and goes out with it when
/// a write elsewhere, a read, or close() comes. A request that fails is reported at the
/// access that sent it; its text and the AutomationError's physId() name the first
/// variable the request carried. Values are checked (type, bounds, length, Windows-1252)
/// before anything is sent; a refused value first sends what waits.
///
/// Reads fetch up to 125 registers at once and answer the following reads from them
/// until the next write.
///
/// Blocking: no event loop runs while a request waits. One connection per object,
/// opened at the first request, closed by close() or destruction.
class ModbusServer : public AutomationObject
{
public:
    /// A server for `port` of `catalogue` (which must outlive it), whose node has
    /// `endpoint`; `others` answers what is not this port's device.
    ModbusServer(const NetworkCatalogue &catalogue, const PrinterPort &port, const ModbusEndpoint &endpoint,
                 std::unique_ptr<AutomationObject> others);

    void setProperty(const QString &name, const QVariant &value) override;
    QVariant property(const QString &name) override;
    void sync() override;
    void close() override;

    /// Modbus requests sent so far.
    int requests() const { return m_transport.requests(); }

private:
    void fail(const QString &text, const QString &physId = {}) { m_properties.fail(text, physId); }
    void writeValue(const QVariant &value);
    QVariant readValue();
    bool flush();
    bool ensureRead(int address, int count);

    const NetworkCatalogue &m_catalogue;
    PrinterPort m_port;
    ModbusTransport m_transport;
    std::unique_ptr<AutomationObject> m_others;
    ServerProperties m_properties;

    // The write that waits: registers from m_pendingStart, and where each variable's begin.
    int m_pendingStart = -1;
    RegisterCodec::Registers m_pending;
    QList<std::pair<int, QString>> m_pendingNames;

    // Registers last read, from m_cacheStart.
    int m_cacheStart = 0;
    QList<quint16> m_cache;
};

} // namespace tkl
