#pragma once

#include <QString>

namespace tkl {

/// The caption that shows a field's shape: X for every character cell and a point
/// where the decimals begin.
///   chars > digits, digits == 0: chars times X
///   chars > digits, digits != 0: (chars - digits - 1) X, ".", digits X
///   chars <= digits:             digits times X
QString ShapeCaption(int chars, int digits);

/// The caption of a field that has no width yet: "UpdateBox" directly followed by the slot.
QString slotCaption(int slot);

} // namespace tkl
