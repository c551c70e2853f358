#pragma once

#include <QFont>

class QWidget;

namespace tkl {

/// Maps the layout's font names ("Courier", "Courier New") to the installed
/// fixed-pitch face. Safe to call more than once; call it before creating fonts.
void installFontSubstitutions();

/// The fixed-pitch font of `family` ("Courier" or "Courier New") at `points`, resolved
/// to the installed face; installs the substitutions first.
QFont typewriterFont(const QString &family, double points);

/// The editor's font: "Courier" 9.75 pt, the font the character cell is measured in.
QFont editorFont();

/// Fills a widget's background with the grey of the program's windows.
void setGreyBackground(QWidget &widget);

} // namespace tkl
