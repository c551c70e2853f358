#include "Numbers.h"

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <string>

namespace tkl {

double roundHalfEven(double value)
{
    // nearbyint honours the current rounding mode, which is round-to-nearest-even
    // unless somebody changed it; make sure of that rather than assume it.
    const int mode = std::fegetround();
    if (mode != FE_TONEAREST)
        std::fesetround(FE_TONEAREST);
    const double r = std::nearbyint(value);
    if (mode != FE_TONEAREST)
        std::fesetround(mode);
    return r;
}

qint16 toInt16(double value)
{
    if (!std::isfinite(value))
        return 0;
    return qint16(std::clamp(roundHalfEven(value), -32768.0, 32767.0));
}

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

// Scans [sign] digits [. digits] from `i`; returns the characters consumed
// (0 when no digit was seen) and appends the accepted text to `out`.
qsizetype scanNumber(QStringView text, qsizetype i, std::string &out)
{
    const qsizetype start = i;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) {
        out += char(text[i].unicode());
        ++i;
    }
    bool digits = false;
    while (i < text.size() && text[i] >= u'0' && text[i] <= u'9') {
        out += char(text[i].unicode());
        ++i;
        digits = true;
    }
    if (i < text.size() && text[i] == u'.') {
        qsizetype j = i + 1;
        std::string frac;
        while (j < text.size() && text[j] >= u'0' && text[j] <= u'9') {
            frac += char(text[j].unicode());
            ++j;
        }
        if (!frac.empty() || digits) {
            out += '.';
            out += frac;
            digits = digits || !frac.empty();
            i = j;
        }
    }
    return digits ? i - start : 0;
}

} // namespace

double leadingNumber(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    std::string number;
    if (scanNumber(text, i, number) == 0)
        return 0.0;
    return std::strtod(number.c_str(), nullptr);
}

std::optional<int> fitRounded(double value, int min, int max)
{
    if (!std::isfinite(value))
        return std::nullopt;
    const double r = roundHalfEven(value);
    if (r < min || r > max)
        return std::nullopt;
    return int(r);
}

std::optional<double> parseDecimal(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    std::string number;
    const qsizetype used = scanNumber(text, i, number);
    if (used == 0)
        return std::nullopt;
    i += used;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    if (i != text.size())
        return std::nullopt;
    return std::strtod(number.c_str(), nullptr);
}

} // namespace tkl
