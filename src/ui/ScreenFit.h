#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace tkl {

/// Every window the program places stays inside the available area of its screen (the
/// screen less panels and docks), whatever the screen's size and scale: the fixed
/// places of the layout tables were made for one screen, and a window placed off the
/// screen cannot be reached.

/// The top-left corner for a window whose frame is `frame` wanted at `wanted` (the
/// frame's top-left), moved in by the least that keeps it inside `available`; a frame
/// larger than the area keeps to its top and left edges.
QPoint fitInside(QPoint wanted, QSize frame, const QRect &available);

/// The available area of the screen at `point`, or of the primary screen when no
/// screen is there.
QRect availableAreaAt(QPoint point);

/// Moves the top-level `window` so that its frame's top-left is at `topLeft` (pixels),
/// or as near as keeps it inside the available area of the screen there; a resizable
/// window larger than that area is made smaller first.
void placeOnScreen(QWidget &window, QPoint topLeft);

/// placeOnScreen() at the window's own place: after it grew.
void keepOnScreen(QWidget &window);

} // namespace tkl
