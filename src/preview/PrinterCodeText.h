#pragma once

#include <QString>

namespace tkl {

/// A printer code as a reader wants to see it: "[27]E" becomes "ESC E".
///
/// Each bracketed code and each control character held raw (a device holds a lone CR
/// for an empty code) becomes one word: its name for 0..31 ("NUL", "SOH" ... "ESC",
/// "FS", "GS", "RS", "US") and 127 ("DEL"), else the character of code page 1252
/// (C1 codes the page leaves free as "x81"-style words). A run of plain characters is
/// one word. Words are separated by single blanks. A "[" that does not begin a closed
/// code of decimal digits of at most 255 (unclosed, empty, not a number, too large)
/// stays as written, with what follows it read as plain characters.
/// An empty code gives an empty text.
QString decodePrinterCodes(const QString &code);

/// The name of a control code 0..31 or 127; empty for any other code.
QString controlCodeName(int code);

} // namespace tkl
