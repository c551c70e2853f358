#include "LayoutError.h"

#include "model/ControlCharacter.h"

#include <algorithm>

namespace tkl {

LayoutError LayoutError::general(const QString &message)
{
    LayoutError e;
    e.message = message;
    return e;
}

QString LayoutError::quote(QStringView text, qsizetype maxChars)
{
    QString out;
    qsizetype n = std::min(text.size(), maxChars);
    if (n > 0 && n < text.size() && text[n - 1].isHighSurrogate())
        --n; // never cut a character in half
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (isControlCharacter(c))
            out += u'[' + QString::number(c) + u']';
        else
            out += text[i];
    }
    if (text.size() > maxChars)
        out += QStringLiteral("...");
    return out;
}

} // namespace tkl
