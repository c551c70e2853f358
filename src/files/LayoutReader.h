#pragma once

#include "LayoutData.h"
#include "LayoutError.h"
#include "model/Result.h"

#include <QByteArrayView>

class QIODevice;

namespace tkl {

/// Reads a layout file into a new value.
///
/// Lines end at CR LF or a lone CR, never at a lone LF. Numbers are decimal with
/// blanks around them allowed and fractions rounded halves to even, and must fit
/// their field; DataIn is True/False in any case or a number. The ticket text is
/// every line from 426 on, joined with CR LF; the line end of the last line is not
/// part of the text, so a layout reads back exactly as it was written. A line longer
/// than MaxLineLength or a text of more than MaxTextLines lines, which no device could
/// hold, is refused with the line it happens on.
class LayoutReader
{
public:
    /// Larger inputs are refused before they are read. The largest port keeps its whole
    /// ticket in 65,536 registers of two bytes, 128 KiB; a file adds its line ends and the
    /// fixed lines, and 1 MiB leaves ample room beside that.
    static constexpr qint64 MaxFileSize = qint64(1024) * 1024;

    /// The longest line taken, in characters: a device stores a line in one string, whose
    /// length is a 16-bit number.
    static constexpr int MaxLineLength = 32767;

    /// The most ticket text lines taken: a field's line (Linie) and a port's line count
    /// (lines) are 16-bit numbers.
    static constexpr int MaxTextLines = 32767;

    /// The whole layout, or why it could not be read.
    static Result<LayoutData, LayoutError> read(QByteArrayView bytes);

    /// Reads the rest of an open device.
    static Result<LayoutData, LayoutError> read(QIODevice &device);
};

} // namespace tkl
