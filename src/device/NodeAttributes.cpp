#include "NodeAttributes.h"

#include "model/Numbers.h"

namespace tkl {

std::optional<quint8> nodeNumberFromAddress(const QString &address)
{
    const auto isDigit = [](QChar c) { return c >= u'0' && c <= u'9'; };
    if (address.size() < 2 || !isDigit(address.at(address.size() - 2)) || !isDigit(address.back()))
        return std::nullopt;
    return quint8(address.right(2).toInt());
}

std::optional<quint8> capabilityCodeFrom(const QString &capabilities)
{
    const auto fitted = fitRounded(leadingNumber(capabilities), 0, 255);
    if (!fitted)
        return std::nullopt;
    return quint8(*fitted);
}

} // namespace tkl
