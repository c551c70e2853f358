#pragma once

#include "device/PortVariables.h"
#include "model/Result.h"

#include <QList>
#include <QString>

#include <optional>

namespace tkl::devsim {

/// A node of the network description that names a Modbus TCP endpoint, with its printer
/// ports; each port's `modbus` says at which unit and base its registers lie.
struct ServedNode
{
    QString name;
    QString host;     ///< as the description states it; the simulator always serves on 127.0.0.1
    int tcpPort = 0;
    QList<PrinterPort> ports;
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
