#include "LayoutLines.h"

#include <array>

namespace tkl {

QString LayoutLines::fieldName(int line)
{
    static const std::array<const char *, BlockSize> members = {
        "VarName", "NodeAdr", "SWNo", "Offset", "Typ", "BitNo", "Code",
        "DevType", "Chars", "Digits", "DataIn", "Linie", "Pos",
    };
    if (line == EditorWidth)
        return QStringLiteral("EditorWidth");
    if (line == EditorHeight)
        return QStringLiteral("EditorHeight");
    if (line == TicketLines)
        return QStringLiteral("TicketLines");
    if (line >= FirstMarker && line < FirstBlock)
        return QStringLiteral("BoxLoaded of UpdateBox %1").arg(line - FirstMarker + 1);
    if (line >= FirstBlock && line < StartCode) {
        const int k = line - FirstBlock;
        return QStringLiteral("%1 of UpdateBox %2").arg(QLatin1StringView(members[k % BlockSize])).arg(k / BlockSize + 1);
    }
    if (line == StartCode)
        return QStringLiteral("start code");
    if (line == StopCode)
        return QStringLiteral("stop code");
    return QStringLiteral("ticket text");
}

} // namespace tkl
