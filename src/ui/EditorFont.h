#pragma once

#include <QFont>

namespace tkl {

/// Maps the layout's font names ("Courier", "Courier New") to the installed
/// fixed-pitch face. Safe to call more than once; call it before creating fonts.
void installFontSubstitutions();

/// A typewriter-style font of `family` at `points`, with the substitutions installed.
QFont typewriterFont(const QString &family, double points);

/// The editor's font: "Courier" 9.75 pt. Installs the substitutions first.
QFont editorFont();

} // namespace tkl
