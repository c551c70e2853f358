#pragma once

#include "device/NetworkCatalogue.h"

#include <QString>

#include <optional>

struct _modbus;

namespace tkl {

/// One Modbus TCP connection to a device unit, over the distribution's libmodbus
/// (blocking calls: no event loop runs while a request waits). Connects at the first
/// request and stays connected until close() or destruction. A connection that failed
/// (refused, dropped, a request that timed out) is not opened again behind the caller's
/// back: every later request fails until close(). A Modbus exception reply leaves the
/// connection usable. Not shared between threads; one object per thread is fine.
class ModbusTransport
{
public:
    ModbusTransport(const ModbusEndpoint &endpoint, int unit);
    ~ModbusTransport();
    ModbusTransport(const ModbusTransport &) = delete;
    ModbusTransport &operator=(const ModbusTransport &) = delete;

    /// Largest counts one request carries (the protocol's limits).
    static constexpr int MaxWrite = 123;
    static constexpr int MaxRead = 125;

    /// "host:port (unit N)", as messages name the device.
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
    std::optional<QString> connect();
    QString failure(int error);
    /// What a request that returned `rc` for `count` registers comes to: nothing when
    /// the device answered for all of them.
    std::optional<QString> answered(int rc, int count);

    ModbusEndpoint m_endpoint;
    int m_unit = 1;
    _modbus *m_ctx = nullptr;
    QString m_broken; ///< why the connection is unusable; empty while it is fine
    int m_requests = 0;
};

} // namespace tkl
