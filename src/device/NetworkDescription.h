#pragma once

#include "device/NetworkCatalogue.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace tkl {

/// Reads a network description (JSON) into a catalogue. docs/network-description.md
/// describes the format: every key, its default and its bounds.
namespace NetworkDescription {

/// Reads a description. `sourceName` names the file in error texts. On failure
/// returns nothing and sets `error` to "<sourceName>: <line>:<column>: <what>" (the
/// position where the JSON parser gives one) or "<sourceName>: <what>", where <what>
/// names the place, e.g. "ports[1].modbus: unknown key \"bsae\"".
std::optional<NetworkCatalogue> fromJson(const QByteArray &json, const QString &sourceName, QString *error);

/// Reads a description file; a missing or unreadable file is an error too.
std::optional<NetworkCatalogue> fromFile(const QString &path, QString *error);

} // namespace NetworkDescription

} // namespace tkl
