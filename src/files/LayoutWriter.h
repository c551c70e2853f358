#pragma once

#include "LayoutData.h"
#include "LayoutError.h"
#include "model/Result.h"

#include <QByteArray>

class QIODevice;

namespace tkl {

/// Writes a layout file: 425 fixed lines, then the ticket text, CR LF after every line.
class LayoutWriter
{
public:
    /// The whole file as bytes, or why the layout cannot be stored: a VarName or printer
    /// code with a line break (it would shift every later line), or a character the
    /// code page cannot store (named, with its line and column or its field).
    /// Nothing partial is ever produced.
    static Result<QByteArray, LayoutError> toBytes(const LayoutData &layout);

    /// Writes the layout to an open device; on a refused layout nothing is written.
    static Result<void, LayoutError> write(QIODevice &device, const LayoutData &layout);
};

} // namespace tkl
