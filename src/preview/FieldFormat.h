#pragma once

#include <QString>

namespace tkl {

/// A field's value as the printer writes it into the field's cells: `digits` decimals
/// (a negative count is taken as 0), rounded half away from zero on the value as it is
/// written in decimal (9.995 with 2 decimals gives "10.00", 1.005 gives "1.01"),
/// right-aligned in `chars` cells with blanks; a minus sign takes a cell, and a value
/// that rounds to zero prints without one.
///
/// A value that does not fit, or is not a finite number, fills all `chars` cells with
/// "*". With `digits` >= `chars` nothing fits (the point and a digit before it need two
/// more cells), so such a field always shows stars. `chars` <= 0 gives an empty text.
/// `overflow` (when given) is set to whether the stars were used.
QString formatFieldValue(double value, int chars, int digits, bool *overflow = nullptr);

} // namespace tkl
