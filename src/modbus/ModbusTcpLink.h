#pragma once

#include "modbus/ModbusLink.h"

namespace tkl {

/// Modbus over TCP: every PDU behind the 7-byte header of transaction id, protocol id 0,
/// length and unit. An answer must repeat the request's transaction id and unit, carry
/// protocol id 0 and a length that matches its PDU, and come alone: bytes beyond it, or
/// between answers, fail the request they arrive with.
class ModbusTcpLink : public ModbusLink
{
public:
    using ModbusLink::ModbusLink;
    ~ModbusTcpLink() override { close(); }

    std::optional<QString> open() override;
    std::optional<QString> exchange(int unit, const QByteArray &pdu, QByteArray *reply) override;
    void close() override;

private:
    /// Connects to one address of the host before `deadline`; errno-style code on failure.
    int connectTo(const void *address, unsigned length, int family, const QDeadlineTimer &deadline);
    /// Takes whatever the device sent unasked; how many bytes (-1: it closed the connection).
    int strayBytes();
    /// Moves the next `size` bytes of the answer into `into`, reading as much as has
    /// arrived at a time, before `deadline`.
    Received take(char *into, qsizetype size, const QDeadlineTimer &deadline);

    int m_fd = -1;
    QByteArray m_inbox; ///< bytes read and not yet taken
    quint16 m_transaction = 0;
};

} // namespace tkl
