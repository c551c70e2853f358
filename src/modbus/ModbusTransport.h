#pragma once

#include "modbus/ModbusLink.h"
#include "modbus/ModbusPdu.h"
#include "device/NetworkCatalogue.h"

#include <QString>

#include <memory>
#include <optional>

namespace tkl {

/// A Modbus client of one device unit, over TCP or a serial line (ModbusLink). Connects
/// at the first request and stays connected until close() or destruction. Every answer
/// is checked against its request, field by field, and must be in whole within the
/// endpoint's timeoutMs. A connection that failed (refused, dropped, timed out, an
/// answer that does not fit its request) is not opened again behind the caller's back:
/// every later request fails until close(). A Modbus exception reply leaves the
/// connection usable. Not shared between threads; one object per thread is fine.
class ModbusTransport
{
public:
    ModbusTransport(const ModbusEndpoint &endpoint, int unit);
    ~ModbusTransport();
    ModbusTransport(const ModbusTransport &) = delete;
    ModbusTransport &operator=(const ModbusTransport &) = delete;

    /// Largest counts one request carries (the protocol's limits).
    static constexpr int MaxWrite = ModbusPdu::MaxWrite;
    static constexpr int MaxRead = ModbusPdu::MaxRead;

    /// "host:port (unit N)" or "/dev/ttyUSB0 (unit N)", as messages name the device.
    QString where() const;

    /// Writes `count` (1..MaxWrite) holding registers from `address` (function 16).
    /// Nothing on success, else what happened, e.g. "the device answered with Modbus
    /// exception 2 (illegal data address)" or "no answer within 1000 ms".
    std::optional<QString> write(int address, const quint16 *values, int count);

    /// Reads `count` (1..MaxRead) holding registers from `address` (function 3).
    std::optional<QString> read(int address, int count, quint16 *values);

    /// Closes the connection; the next request connects again.
    void close();

    /// Requests sent (answered or not) since construction.
    int requests() const { return m_requests; }

private:
    std::optional<QString> request(const QByteArray &pdu, quint16 *values);

    std::unique_ptr<ModbusLink> m_link;
    int m_unit = 1;
    bool m_open = false;
    QString m_broken; ///< why the connection is unusable; empty while it is fine
    int m_requests = 0;
};

} // namespace tkl
