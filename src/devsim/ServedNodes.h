#pragma once

#include "device/PortVariables.h"
#include "model/Result.h"

#include <QList>
#include <QString>

#include <optional>

namespace tkl::devsim {

/// A node of the network description that names a Modbus endpoint (TCP or a serial
/// line), with its printer ports; each port's `modbus` says at which unit and base its
/// registers lie.
struct ServedNode
{
    QString name;
    QString host;     ///< as the description states it; the simulator always serves on 127.0.0.1
    int tcpPort = 0;
    QList<PrinterPort> ports;
    QString serial;   ///< the serial line as the description names it; empty for TCP
    int baud = 19200; ///< the line's speed, for its silences between frames

    bool isSerial() const { return !serial.isEmpty(); }
    /// The TCP port or the serial line, as lines name the node's endpoint.
    QString where() const { return isSerial() ? serial : QString::number(tcpPort); }
};

/// The unit and base of `port` (the defaults where the description gives none).
inline ModbusPortAddress addressOf(const PrinterPort &port)
{
    return port.modbus.value_or(ModbusPortAddress{});
}

/// The nodes of the description in `path` that have a "modbus" endpoint. Fails when the
/// reader refuses the file, it names no such node, or two of them want the same TCP
/// port (the simulator serves them all on 127.0.0.1).
Result<QList<ServedNode>> servedNodes(const QString &path);

} // namespace tkl::devsim
