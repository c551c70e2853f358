#include "ScreenFit.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace tkl {

QPoint fitInside(QPoint wanted, QSize frame, const QRect &available)
{
    // Right and bottom first, so that a window too large for the area ends at its
    // top-left, where its caption and its first controls are.
    const int x = std::max(std::min(wanted.x(), available.right() + 1 - frame.width()), available.left());
    const int y = std::max(std::min(wanted.y(), available.bottom() + 1 - frame.height()), available.top());
    return {x, y};
}

QRect availableAreaAt(QPoint point)
{
    const QScreen *screen = QGuiApplication::screenAt(point);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

void placeOnScreen(QWidget &window, QPoint topLeft)
{
    const QRect available = availableAreaAt(topLeft);
    if (available.isEmpty()) {
        window.move(topLeft);
        return;
    }
    // The frame's margins are known once the window system has shown the window.
    const QSize margins = window.frameGeometry().size() - window.size();
    const QSize room = available.size() - margins;
    if (window.minimumSize() != window.maximumSize()
        && (window.width() > room.width() || window.height() > room.height())) {
        window.resize(std::min(window.width(), room.width()), std::min(window.height(), room.height()));
    }
    window.move(fitInside(topLeft, window.size() + margins, available));
}

void keepOnScreen(QWidget &window)
{
    placeOnScreen(window, window.frameGeometry().topLeft());
}

} // namespace tkl
