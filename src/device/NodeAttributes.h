#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

namespace tkl {

/// How a field bound to a network variable takes its node's attributes, shared by the
/// binding in the UpdateBox dialog and the layout check that compares stored fields
/// with the network.

/// The node number in a "NodeAddress" text: its last two characters as a decimal
/// number. Nothing when they are not both digits.
std::optional<quint8> nodeNumberFromAddress(const QString &address);

/// The capability code in a "Nodecapabilities" text: the number it begins with,
/// rounded halves to even (a text without one gives 0). Nothing when it does not fit
/// 0 to 255.
std::optional<quint8> capabilityCodeFrom(const QString &capabilities);

} // namespace tkl
