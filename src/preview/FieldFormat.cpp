#include "FieldFormat.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

namespace tkl {

namespace {

// Rounds the decimal digits `intPart`.`fracPart` to `digits` decimals, halves away from
// zero (the digits are of the magnitude, so "up" is away from zero).
void roundDecimal(QString &intPart, QString &fracPart, int digits)
{
    if (fracPart.size() <= digits) {
        fracPart = fracPart.leftJustified(digits, QLatin1Char('0'));
        return;
    }
    const bool up = fracPart.at(digits) >= QLatin1Char('5');
    fracPart.truncate(digits);
    if (!up)
        return;
    QString all = intPart + fracPart;
    qsizetype i = all.size() - 1;
    for (; i >= 0; --i) {
        if (all.at(i) == QLatin1Char('9')) {
            all[i] = QLatin1Char('0');
        } else {
            all[i] = QChar(all.at(i).unicode() + 1);
            break;
        }
    }
    if (i < 0)
        all.prepend(QLatin1Char('1'));
    intPart = all.left(all.size() - digits);
    fracPart = all.right(digits);
}

} // namespace

QString formatFieldValue(double value, int chars, int digits, bool *overflow)
{
    if (overflow)
        *overflow = false;
    if (chars <= 0)
        return {};
    digits = std::max(digits, 0);
    auto stars = [&] {
        if (overflow)
            *overflow = true;
        return QString(chars, QLatin1Char('*'));
    };
    // Nothing fits: spare the decimal expansion of a huge count of digits.
    if (!std::isfinite(value) || digits >= chars)
        return stars();

    // The shortest decimal that reads back as `value` is the number the operator
    // sees and means; rounding it, not the binary value, makes 9.995 give 10.00.
    const QString shortest = QString::number(std::fabs(value), 'f', QLocale::FloatingPointShortest);
    const qsizetype point = shortest.indexOf(QLatin1Char('.'));
    QString intPart = point < 0 ? shortest : shortest.left(point);
    QString fracPart = point < 0 ? QString() : shortest.mid(point + 1);
    // A magnitude too large for the cells cannot come back by rounding: stop early.
    if (intPart.size() > chars)
        return stars();
    roundDecimal(intPart, fracPart, digits);

    const QString allDigits = intPart + fracPart;
    const bool zero = std::all_of(allDigits.cbegin(), allDigits.cend(), [](QChar c) { return c == QLatin1Char('0'); });
    QString text;
    if (value < 0 && !zero)
        text += QLatin1Char('-');
    text += intPart;
    if (digits > 0)
        text += QLatin1Char('.') + fracPart;
    if (text.size() > chars)
        return stars();
    return text.rightJustified(chars, QLatin1Char(' '));
}

} // namespace tkl
