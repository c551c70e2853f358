#include "EditorFont.h"

namespace tkl {

void installFontSubstitutions()
{
    QFont::insertSubstitution(QStringLiteral("Courier"), QStringLiteral("Liberation Mono"));
    QFont::insertSubstitution(QStringLiteral("Courier New"), QStringLiteral("Liberation Mono"));
}

QFont editorFont()
{
    installFontSubstitutions();
    QFont font(QStringLiteral("Courier"));
    font.setPointSizeF(9.75);
    font.setStyleHint(QFont::TypeWriter);
    return font;
}

} // namespace tkl
