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
/// part of the text, so a layout reads back exactly as it was written.
class LayoutReader
{
public:
    /// Larger inputs are refused rather than read into memory.
    static constexpr qint64 MaxFileSize = qint64(256) * 1024 * 1024;

    /// The whole layout, or why it could not be read.
    static Result<LayoutData, LayoutError> read(QByteArrayView bytes);

    /// Reads the rest of an open device.
    static Result<LayoutData, LayoutError> read(QIODevice &device);
};

} // namespace tkl
