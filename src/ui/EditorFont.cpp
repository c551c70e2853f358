#include "EditorFont.h"

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
    return font;
}

QFont editorFont()
{
    return typewriterFont(QStringLiteral("Courier"), 9.75);
}

} // namespace tkl
