#pragma once

#include "modbus/ModbusLink.h"

#include <chrono>

struct _modbus;

namespace tkl {

/// Modbus RTU on a serial line (RS-485 through an adapter), opened and set up by the
/// distribution's libmodbus. A frame is the unit, the PDU and its CRC; frames are kept
/// apart by a silence of 3.5 characters (1.75 ms above 19200 baud). An answer must come
/// from the unit asked, carry a CRC that matches and end in that silence.
///
/// A line has one master and carries one conversation at a time: while a link holds its
/// line open, another link of this process to the same line waits in open() until it is
/// closed, so that ports on one line are served one after another.
class ModbusRtuLink : public ModbusLink
{
public:
    explicit ModbusRtuLink(const ModbusEndpoint &endpoint);
    ~ModbusRtuLink() override;

    std::optional<QString> open() override;
    std::optional<QString> exchange(int unit, const QByteArray &pdu, QByteArray *reply) override;
    void close() override;

    /// The silence between frames at the endpoint's settings, in microseconds.
    static int frameGapMicros(const ModbusEndpoint &endpoint);

private:
    /// Reads exactly `size` bytes of an answer into `into` before `deadline`.
    Received take(char *into, qsizetype size, const QDeadlineTimer &deadline);
    /// Bytes that arrive within one frame gap; how many were taken (-1 on a read error).
    int takeUntilSilence();

    _modbus *m_ctx = nullptr;
    int m_fd = -1;
    bool m_hasTurn = false; ///< this link holds its line
    std::chrono::steady_clock::time_point m_lastFrame;
};

} // namespace tkl
