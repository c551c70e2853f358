#pragma once

#include "device/PortVariables.h"

#include <QList>
#include <QString>

#include <optional>

namespace tkl {
class ProcessNetwork;
}

namespace tkl::devsim {

/// A printer port as a device serves it: a block of holding registers at `base`,
/// addressed by its unit id.
struct ServedPort
{
    PrinterPort port;
    int unit = 1;
    int base = 0;
};

/// A node of the network description that names a Modbus TCP endpoint.
struct ServedNode
{
    QString name;
    QString host;     ///< as the description states it; the simulator always serves on 127.0.0.1
    int tcpPort = 0;
    QList<ServedPort> ports;
};

/// The nodes of the description in `path` that have a "modbus" endpoint, with their
/// ports. Nothing, with `error` set, when the file cannot be read, names no such node,
/// or two of them cannot be served side by side (the same TCP port, blocks of one unit
/// that overlap or run past the last register).
std::optional<QList<ServedNode>> servedNodes(const QString &path, QString *error);

} // namespace tkl::devsim
