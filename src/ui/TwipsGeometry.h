#pragma once

#include <QPoint>

class QFont;
class QWidget;

namespace tkl {

/// Widgets placed and sized in twips, the unit of every layout table; the pixels come
/// from the widget's own logical resolution (model/CharGrid.h's Twips).

/// Width of the text "a" in `font` as `widget` draws it, in twips: the character
/// cell that field widths and the ticket width are counted in.
int cellWidthTwips(const QWidget &widget, const QFont &font);

/// Places the top-left corner of a top-level window's frame at a screen position in
/// twips, or as near as keeps the window on the screen (placeOnScreen()).
void moveToTwips(QWidget &window, int leftTwips, int topTwips);

/// The top-left corner of a top-level window's frame on the screen, in twips.
QPoint frameTopLeftTwips(const QWidget &window);

/// Gives a widget the geometry of a layout table row, in twips.
void setGeometryTwips(QWidget &widget, int left, int top, int width, int height);

/// Resizes a window's client area, in twips; the user may resize it further.
void resizeTwips(QWidget &window, int width, int height);

/// Fixes a window's client area, in twips.
void setFixedClientTwips(QWidget &window, int width, int height);

} // namespace tkl
