#pragma once

#include "device/NetworkCatalogue.h"
#include "model/Result.h"

#include <QByteArray>
#include <QString>

namespace tkl {

/// Reads a network description (JSON) into a catalogue. docs/network-description.md
/// describes the format: every key, its default and its bounds.
namespace NetworkDescription {

/// The largest description read, in bytes. A description of the largest network (100
/// nodes, 100,000 variables, each with a simulation) written out generously takes about
/// 30 MB; a larger file is refused before it is read.
inline constexpr qint64 MaxFileSize = qint64(64) * 1024 * 1024;

/// Reads a description. `sourceName` names the file in error texts. A failure's
/// message is "<sourceName>: <line>:<column>: <what>" (the position where the JSON
/// parser gives one) or "<sourceName>: <what>", where <what> names the place, e.g.
/// "ports[1].modbus: unknown key \"bsae\"". A key given twice in one object is refused
/// with its line and column.
Result<NetworkCatalogue> fromJson(const QByteArray &json, const QString &sourceName);

/// Reads a description file; a missing or unreadable file is an error too.
Result<NetworkCatalogue> fromFile(const QString &path);

} // namespace NetworkDescription

} // namespace tkl
