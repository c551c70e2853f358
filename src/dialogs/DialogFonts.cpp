#include "DialogFonts.h"

#include "model/CharGrid.h"
#include "ui/EditorFont.h"
#include "model/Numbers.h"

#include <QFontMetrics>
#include <QWidget>

namespace tkl {

QFont fixedFont(const QString &family, double points)
{
    QFont font = typewriterFont(family, points);
    font.setFixedPitch(true);
    return font;
}

int cellWidthTwips(const QWidget &widget, const QFont &font)
{
    // Integer metrics, as the grid is counted in whole pixels.
    const QFontMetrics metrics(font, &widget);
    const int pixels = metrics.horizontalAdvance(QStringLiteral("a"));
    return int(roundHalfEven(Twips::fromPixels(pixels, widget.logicalDpiX())));
}

void moveToTwips(QWidget &window, int leftTwips, int topTwips)
{
    window.move(Twips::toPixels(leftTwips, window.logicalDpiX()), Twips::toPixels(topTwips, window.logicalDpiY()));
}

void setGeometryTwips(QWidget &widget, int left, int top, int width, int height)
{
    const double dx = widget.logicalDpiX();
    const double dy = widget.logicalDpiY();
    widget.setGeometry(Twips::toPixels(left, dx), Twips::toPixels(top, dy), Twips::toPixels(width, dx),
                       Twips::toPixels(height, dy));
}

void setFixedClientTwips(QWidget &window, int width, int height)
{
    window.setFixedSize(Twips::toPixels(width, window.logicalDpiX()), Twips::toPixels(height, window.logicalDpiY()));
}

void setGreyBackground(QWidget &widget)
{
    widget.setAutoFillBackground(true);
    QPalette pal = widget.palette();
    pal.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
    widget.setPalette(pal);
}

void acceptTypedKeysOnly(QWidget &box)
{
    box.setContextMenuPolicy(Qt::NoContextMenu);
    box.setAcceptDrops(false);
    box.setAttribute(Qt::WA_InputMethodEnabled, false);
}

} // namespace tkl
