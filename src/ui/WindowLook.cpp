#include "WindowLook.h"

#include <QPalette>
#include <QWidget>

namespace tkl {

void installFontSubstitutions()
{
    QFont::insertSubstitution(QStringLiteral("Courier"), QStringLiteral("Liberation Mono"));
    QFont::insertSubstitution(QStringLiteral("Courier New"), QStringLiteral("Liberation Mono"));
}

QFont typewriterFont(const QString &family, double points)
{
    installFontSubstitutions();
    QFont font(family);
    font.setPointSizeF(points);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    return font;
}

QFont editorFont()
{
    return typewriterFont(QStringLiteral("Courier"), 9.75);
}

void setGreyBackground(QWidget &widget)
{
    widget.setAutoFillBackground(true);
    QPalette pal = widget.palette();
    pal.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
    widget.setPalette(pal);
}

} // namespace tkl
