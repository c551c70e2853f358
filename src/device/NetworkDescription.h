#pragma once

#include "device/NetworkCatalogue.h"
#include "model/Result.h"

#include <QByteArray>
#include <QString>

namespace tkl {

/// Reads a network description (JSON) into a catalogue. docs/network-description.md
/// describes the format: every key, its default and its bounds.
namespace NetworkDescription {

/// Reads a description. `sourceName` names the file in error texts. A failure's
/// message is "<sourceName>: <line>:<column>: <what>" (the position where the JSON
/// parser gives one) or "<sourceName>: <what>", where <what> names the place, e.g.
/// "ports[1].modbus: unknown key \"bsae\"".
Result<NetworkCatalogue> fromJson(const QByteArray &json, const QString &sourceName);

/// Reads a description file; a missing or unreadable file is an error too.
Result<NetworkCatalogue> fromFile(const QString &path);

} // namespace NetworkDescription

} // namespace tkl
