#pragma once

#include <QString>

namespace tkl {

/// Why a layout could not be read or written, for the operator and for tools.
struct LayoutError
{
    int line = 0;      ///< file line the problem is on; 0 when it concerns no single line
    QString field;     ///< what the line holds, e.g. "NodeAdr of UpdateBox 2"; empty for file-level problems
    QString found;     ///< what the line held, shortened and with control characters as [n]
    QString expected;  ///< what would have been accepted, e.g. "a number from 0 to 255"
    QString message;   ///< the whole sentence to show
    /// The file's lines end in LF alone (as a Linux editor saves them), which is the
    /// likely cause: a layout's lines end in CR LF, so the first line runs on.
    bool lfLineEnds = false;

    /// A problem with no line of its own (the file is missing, the disk is full).
    static LayoutError general(const QString &message);

    /// `text` as it can be quoted in a message: at most `maxChars` characters, then "...";
    /// control characters written as "[" code "]", as printer codes are.
    static QString quote(QStringView text, qsizetype maxChars = 40);
};

} // namespace tkl
