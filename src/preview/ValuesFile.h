#pragma once

#include "model/Result.h"

#include <QByteArrayView>
#include <QHash>
#include <QString>

namespace tkl {

/// Values for a preview, read from "name=value" lines.
///
/// A line holds a variable's full name, "=", and a decimal number ("12.5", "-3",
/// "1e3"); blanks around the name and the number are ignored. Blank lines and lines
/// whose first non-blank character is "#" are skipped. Lines end at LF, CR LF or CR.
/// A name given twice takes its last value. The text is UTF-8, with or without a byte
/// order mark.
class ValuesFile
{
public:
    /// Full name -> value.
    using Values = QHash<QString, double>;

    /// Reads a whole text. Stops at the first malformed line: a line without "=", an
    /// empty name, a value that is not a finite decimal number, a control character.
    /// The failure says "line <n>: <what>: <the line>".
    static Result<Values> parse(QByteArrayView bytes);

    /// Reads a file; one that cannot be opened, is a directory, a pipe or device, or
    /// larger than MaxFileSize is refused too. Every failure begins with "<path>: ".
    static Result<Values> read(const QString &path);

    static constexpr qint64 MaxFileSize = qint64(16) * 1024 * 1024;
};

} // namespace tkl
