#include "CodePage1252.h"

#include <array>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace tkl {

namespace {

// Characters of the bytes 0x80 to 0x9F; the rest of the code page is Latin-1.
constexpr std::array<char16_t, 32> HighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

} // namespace

QString CodePage1252::decode(QByteArrayView bytes)
{
    // The code page is Latin-1 except for 0x80 to 0x9F: let Qt's vectorised Latin-1
    // conversion do the bulk and patch only those bytes afterwards.
    QString s = QString::fromLatin1(bytes);
    char16_t *out = reinterpret_cast<char16_t *>(s.data());
    const auto *in = reinterpret_cast<const unsigned char *>(bytes.data());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
#ifdef __SSE2__
    // Sixteen bytes at a time: a bit mask of the bytes 0x80 to 0x9F, then only those.
    const __m128i topBits = _mm_set1_epi8(char(0xE0));
    const __m128i c1 = _mm_set1_epi8(char(0x80));
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + i));
        unsigned mask = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(v, topBits), c1)));
        while (mask) {
            const int k = __builtin_ctz(mask);
            out[i + k] = HighControls[in[i + k] - 0x80];
            mask &= mask - 1;
        }
    }
#endif
    for (; i < n; ++i) {
        if ((in[i] & 0xE0) == 0x80)
            out[i] = HighControls[in[i] - 0x80];
    }
    return s;
}

std::optional<char> CodePage1252::byteFor(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return char(c);
    for (int i = 0; i < 32; ++i) {
        if (HighControls[i] == c)
            return char(0x80 + i);
    }
    return std::nullopt;
}

qsizetype CodePage1252::encode(QStringView text, QByteArray &out)
{
    const qsizetype start = out.size();
    out.resize(start + text.size());
    char *dst = out.data() + start;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        // Plain ASCII and Latin-1 are most of every file; the table search only for the rest.
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            dst[i] = char(c);
            continue;
        }
        const std::optional<char> b = byteFor(c);
        if (!b) {
            out.resize(start + i);
            return i;
        }
        dst[i] = *b;
    }
    return -1;
}

QString CodePage1252::codePointName(QStringView text, qsizetype index)
{
    char32_t cp = text[index].unicode();
    if (text[index].isHighSurrogate() && index + 1 < text.size() && text[index + 1].isLowSurrogate())
        cp = QChar::surrogateToUcs4(text[index], text[index + 1]);
    return QStringLiteral("U+") + QString::number(uint(cp), 16).toUpper().rightJustified(4, u'0');
}

} // namespace tkl
