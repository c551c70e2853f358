#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>

namespace tkl {

/// The 8-bit code page of layout files.
///
/// Every byte decodes to one character; the five bytes the code page leaves
/// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) decode to the C1 control of the same
/// number, so that any file reads and writes back unchanged. Our own table keeps
/// the result independent of the platform's converters.
class CodePage1252
{
public:
    /// Decodes `bytes`, one character per byte.
    static QString decode(QByteArrayView bytes);

    /// Appends `text` encoded to `out`. Returns the index in `text` of the first
    /// character that the code page cannot store (nothing written from there on),
    /// or -1 when all of it was encoded.
    static qsizetype encode(QStringView text, QByteArray &out);

    /// The byte that stores `c`, or nothing.
    static std::optional<char> byteFor(char16_t c);

    /// "U+20AC"-style name of the code point starting at `index` in `text`
    /// (a surrogate pair is named by its whole code point).
    static QString codePointName(QStringView text, qsizetype index);
};

} // namespace tkl
