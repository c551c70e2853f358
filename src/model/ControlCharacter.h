#pragma once

namespace tkl {

/// Whether a character is a control character: C0 (below 32), DEL (127) or C1 (128 to
/// 159). Such a character is never put on a terminal or into a one-line message as it
/// stands (an ESC or a CSI starts a terminal's escape sequence, a CR overwrites the
/// line); every text the programs show escapes exactly these.
constexpr bool isControlCharacter(char16_t c)
{
    return c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0);
}

} // namespace tkl
