#include "TwipsGeometry.h"

#include "ScreenFit.h"

#include "model/CharGrid.h"
#include "model/Numbers.h"

#include <QFontMetrics>
#include <QWidget>

namespace tkl {

namespace {

int wholeTwips(int pixels, double dpi)
{
    return int(roundHalfEven(Twips::fromPixels(pixels, dpi)));
}

QSize pixelSize(const QWidget &widget, int width, int height)
{
    return {Twips::toPixels(width, widget.logicalDpiX()), Twips::toPixels(height, widget.logicalDpiY())};
}

} // namespace

int cellWidthTwips(const QWidget &widget, const QFont &font)
{
    // Integer metrics, as the grid is counted in whole pixels.
    const QFontMetrics metrics(font, &widget);
    return wholeTwips(metrics.horizontalAdvance(QStringLiteral("a")), widget.logicalDpiX());
}

void moveToTwips(QWidget &window, int leftTwips, int topTwips)
{
    placeOnScreen(window, QPoint(Twips::toPixels(leftTwips, window.logicalDpiX()),
                                 Twips::toPixels(topTwips, window.logicalDpiY())));
}

QPoint frameTopLeftTwips(const QWidget &window)
{
    const QPoint topLeft = window.frameGeometry().topLeft();
    return {wholeTwips(topLeft.x(), window.logicalDpiX()), wholeTwips(topLeft.y(), window.logicalDpiY())};
}

void setGeometryTwips(QWidget &widget, int left, int top, int width, int height)
{
    widget.setGeometry(QRect(QPoint(Twips::toPixels(left, widget.logicalDpiX()),
                                    Twips::toPixels(top, widget.logicalDpiY())),
                             pixelSize(widget, width, height)));
}

void resizeTwips(QWidget &window, int width, int height)
{
    window.resize(pixelSize(window, width, height));
}

void setFixedClientTwips(QWidget &window, int width, int height)
{
    window.setFixedSize(pixelSize(window, width, height));
}

} // namespace tkl
