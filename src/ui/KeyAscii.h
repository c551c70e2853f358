#pragma once

class QKeyEvent;

namespace tkl {

/// The character code a key press types, the way the dialogs' key rules see it:
/// Enter 13, Escape 27, Backspace 8, Ctrl+A..Ctrl+Z 1..26, Ctrl+[ \ ] 27..29, a
/// printable key its character. -1 for keys that type nothing (arrows, Home, Delete,
/// function keys, Alt combinations) and for Tab, which stays keyboard navigation.
int keyAscii(const QKeyEvent &event);

/// True when the key would put something into a text box: a character code, or printable
/// text that has no single code (characters outside the basic plane).
bool typesCharacter(const QKeyEvent &event);

/// True for the keys "0" to "9".
inline bool isDigitCode(int code)
{
    return code >= '0' && code <= '9';
}

} // namespace tkl
