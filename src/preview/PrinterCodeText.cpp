#include "PrinterCodeText.h"

#include "files/CodePage1252.h"

#include <QStringList>

#include <algorithm>
#include <array>

namespace tkl {

QString controlCodeName(int code)
{
    static constexpr std::array<const char *, 32> names = {
        "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "HT",  "LF",
        "VT",  "FF",  "CR",  "SO",  "SI",  "DLE", "DC1", "DC2", "DC3", "DC4", "NAK",
        "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US",
    };
    if (code >= 0 && code < 32)
        return QString::fromLatin1(names[size_t(code)]);
    if (code == 127)
        return QStringLiteral("DEL");
    return {};
}

QString decodePrinterCodes(const QString &code)
{
    QStringList words;
    QString run;
    auto flush = [&] {
        if (!run.isEmpty())
            words << run;
        run.clear();
    };
    // A character of the code page: control codes and the code page's free C1 codes
    // stand alone as words, everything else joins the current run.
    auto character = [&](char16_t c) {
        const QString name = controlCodeName(c);
        if (!name.isEmpty()) {
            flush();
            words << name;
        } else if (c >= 0x80 && c <= 0x9F) {
            flush();
            words << QLatin1Char('x') + QString::number(int(c), 16).toUpper();
        } else {
            run += QChar(c);
        }
    };

    const qsizetype n = code.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = code.at(i);
        if (c == QLatin1Char('[')) {
            qsizetype j = i + 1;
            int value = 0;
            while (j < n && code.at(j) >= QLatin1Char('0') && code.at(j) <= QLatin1Char('9')) {
                // Held just above the limit, so that a long run of digits cannot overflow.
                value = std::min(value * 10 + (code.at(j).unicode() - '0'), 256);
                ++j;
            }
            const bool closed = j > i + 1 && j < n && code.at(j) == QLatin1Char(']');
            if (closed && value <= 255) {
                const char byte = char(value);
                character(CodePage1252::decode(QByteArrayView(&byte, 1)).at(0).unicode());
                i = j;
                continue;
            }
        }
        character(c.unicode());
    }
    flush();
    return words.join(QLatin1Char(' '));
}

} // namespace tkl
