#pragma once

#include "device/PortVariables.h"

#include <QList>
#include <QString>
#include <QVariant>

#include <utility>

namespace tkl {

/// The layout checksum a real device keeps after a finished download: the CRC-32 (the
/// one of zlib and Ethernet) of the registers the download wrote, each variable with the
/// value last written to it, taken in ascending register order, every register as two
/// bytes, the high byte first. A string counts with the registers its write sends (its
/// length and its bytes), not the ones behind them. The download state and the checksum
/// themselves are not part of it. Both the download and whoever compares a device with a
/// layout compute it from the same list of writes, so that it cannot depend on the order
/// in which they were made.
namespace LayoutChecksum {

using Writes = QList<std::pair<QString, QVariant>>;

/// The checksum of `writes` (names and values in the order made) into `port`'s device.
/// Names the port does not hold and values its registers cannot take are left out.
quint32 of(const PrinterPort &port, const Writes &writes);

} // namespace LayoutChecksum

} // namespace tkl
