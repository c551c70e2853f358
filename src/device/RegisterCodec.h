#pragma once

#include "device/PortVariables.h"

#include <QList>
#include <QString>
#include <QVariant>

#include <optional>

namespace tkl {

/// Device values to and from Modbus holding registers, as the register map lays them
/// out (docs/register-map.md). Shared by the Modbus client and the device simulator.
///
/// - A string: one register with its length in bytes, then its Windows-1252 bytes two
///   to a register, the first in the high half; an odd last byte has 0 in the low half.
///   A write sends only the registers the text needs: 1 + ceil(length / 2).
/// - Boolean: 0 or 1. UInt8: 0..255. Int16: the value in two's complement.
/// - UInt32: two registers, the high word first.
namespace RegisterCodec {

using Registers = QList<quint16>;

/// Registers a string of `bytes` bytes takes: 1 + ceil(bytes / 2).
int stringRegisters(qsizetype bytes);

/// The registers a write of `text` sends. Refuses (returns the reason, nothing written
/// to `out`) a text longer than `maxLength` characters or with a character Windows-1252
/// cannot hold, e.g. "holds U+20AC at position 3, which ..." (positions from 1).
std::optional<QString> encodeString(const QString &text, int maxLength, Registers *out);

/// The registers a write of `value` (typed as the device variable: bool, quint8,
/// qint16 or QString) sends; the reason when it cannot be sent.
std::optional<QString> encode(ValueType type, const QVariant &value, int maxLength, Registers *out);

/// The value a one-register number holds as `type` (bool, quint8 or qint16), or nothing
/// when it is no such value (a Boolean other than 0/1, an 8-bit value above 255).
std::optional<QVariant> decodeNumber(ValueType type, quint16 word);

/// The UInt32 two registers hold, the high word first.
quint32 decodeUInt32(quint16 high, quint16 low);

/// The string `registers` hold (the length register first). Nothing, with `error`
/// set, when the length exceeds `maxLength` or there are too few registers for it.
std::optional<QString> decodeString(const Registers &registers, int maxLength, QString *error);

} // namespace RegisterCodec

} // namespace tkl
