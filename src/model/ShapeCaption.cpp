#include "ShapeCaption.h"

#include <algorithm>

namespace tkl {

QString ShapeCaption(int chars, int digits)
{
    if (chars <= digits)
        return QString(std::max(digits, 0), u'X');
    if (digits == 0)
        return QString(std::max(chars, 0), u'X');
    return QString(std::max(chars - digits - 1, 0), u'X') + u'.' + QString(std::max(digits, 0), u'X');
}

QString slotCaption(int slot)
{
    return QStringLiteral("UpdateBox") + QString::number(slot);
}

} // namespace tkl
