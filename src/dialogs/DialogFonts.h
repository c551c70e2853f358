#pragma once

#include <QFont>

class QLineEdit;
class QWidget;

namespace tkl {

/// The fixed-pitch font of the given family ("Courier" or "Courier New") and size,
/// resolved to the installed face.
QFont fixedFont(const QString &family, double points);

/// Width of the text "a" in `font` as `widget` draws it, in twips: the character
/// cell that field widths and the ticket width are counted in.
int cellWidthTwips(const QWidget &widget, const QFont &font);

/// Places the top-left corner of a top-level window's frame at a screen position in twips.
void moveToTwips(QWidget &window, int leftTwips, int topTwips);

/// Gives a widget the geometry of a layout table row, in twips.
void setGeometryTwips(QWidget &widget, int left, int top, int width, int height);

/// Fixes a window's client area, in twips.
void setFixedClientTwips(QWidget &window, int width, int height);

/// Fills a widget's background with the grey of the program's windows.
void setGreyBackground(QWidget &widget);

/// Closes a box to text that does not come from typed keys: no context menu to paste
/// from, no dropping, no input-method text.
void acceptTypedKeysOnly(QWidget &box);

/// Selects the whole text of a number box whenever it takes the focus, by keyboard or
/// by mouse, so that a typed number replaces what the box showed (" Not selected").
void selectAllOnFocus(QLineEdit &box);

} // namespace tkl
