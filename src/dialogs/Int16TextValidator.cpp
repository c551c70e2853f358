#include "Int16TextValidator.h"

#include "model/Numbers.h"

#include <limits>

namespace tkl {

std::optional<qint16> Int16TextValidator::valueOf(const QString &text)
{
    const auto value = fitRounded(leadingNumber(text), std::numeric_limits<qint16>::min(),
                                  std::numeric_limits<qint16>::max());
    if (!value)
        return std::nullopt;
    return qint16(*value);
}

QValidator::State Int16TextValidator::validate(QString &input, int &) const
{
    return valueOf(input) ? Acceptable : Invalid;
}

} // namespace tkl
