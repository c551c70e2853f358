#pragma once

#include <QStringView>
#include <QtGlobal>

#include <optional>

namespace tkl {

/// Rounds to the nearest whole number, halves to the even one (2.5 -> 2, 3.5 -> 4).
double roundHalfEven(double value);

/// `value` rounded halves to even and held to the 16-bit range; 0 when it is not finite.
qint16 toInt16(double value);

/// The numeric value of the number that a text begins with, as typed into a dialog:
/// leading blanks skipped, an optional sign, digits and an optional fraction.
/// A text that does not begin with a number gives 0.
double leadingNumber(QStringView text);

/// A whole number of a field of the given range, or nothing when `value` rounded
/// halves to even falls outside [min, max] or is not finite.
std::optional<int> fitRounded(double value, int min, int max);

/// Strict decimal number of a stored value: blanks around it ignored, optional sign,
/// digits with an optional fraction. Nothing for an empty or non-numeric text.
std::optional<double> parseDecimal(QStringView text);

} // namespace tkl
