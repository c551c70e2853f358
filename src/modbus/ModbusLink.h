#pragma once

#include "device/NetworkCatalogue.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>

#include <memory>
#include <optional>

namespace tkl {

/// The wire under a Modbus client: carries one request PDU to a unit and brings back the
/// PDU that answers it, framed and checked as the wire requires (the TCP header, or the
/// serial line's unit, CRC and silences). Whether the PDU answers the request is the
/// caller's to check. Blocking, one request at a time; not shared between threads.
class ModbusLink
{
public:
    /// The link `endpoint` asks for: TCP, or RTU on a serial line.
    static std::unique_ptr<ModbusLink> create(const ModbusEndpoint &endpoint);

    explicit ModbusLink(const ModbusEndpoint &endpoint)
        : m_endpoint(endpoint)
    {
    }
    virtual ~ModbusLink() = default;
    ModbusLink(const ModbusLink &) = delete;
    ModbusLink &operator=(const ModbusLink &) = delete;

    /// "host:port" or the serial line's path, as messages name the device.
    QString where() const { return m_endpoint.text(); }

    /// Connects (or opens the line); nothing on success, else why not.
    virtual std::optional<QString> open() = 0;

    /// Sends `pdu` to `unit` and puts the PDU of the answer in `reply`. The whole answer
    /// must be in within the endpoint's timeoutMs of the request's end. Nothing on
    /// success, else what went wrong; after a failure the link is of no further use.
    virtual std::optional<QString> exchange(int unit, const QByteArray &pdu, QByteArray *reply) = 0;

    /// Ends the connection (or releases the line).
    virtual void close() = 0;

protected:
    enum class Received { All, TimedOut, Closed, Failed };

    /// Reads exactly `size` bytes from the non-blocking `fd` into `into` before `deadline`.
    static Received receive(int fd, char *into, qsizetype size, const QDeadlineTimer &deadline);

    /// The sentence for a receive() that did not get everything.
    QString receiveFailure(Received what) const;

    ModbusEndpoint m_endpoint;
};

} // namespace tkl
