#pragma once

#include "network/ProcessNetwork.h"

#include <QString>

namespace tkl::cli {

/// How device writes are listed on standard output: one line per write,
/// "name<TAB>type<TAB>value", the name escaped as string values are (a port's name
/// comes from the network description and may hold control characters).
class WriteFormat
{
public:
    /// "bool", "u8", "i16", "string" or "u32".
    static QString typeName(ValueType type);

    /// A Boolean as true/false, numbers in plain decimal, a string with
    /// backslash escapes: \\ for a backslash, \r \n \t, \xHH for every other control character (below 32, DEL, 128 to 159).
    static QString value(ValueType type, const QVariant &value);

    /// Backslash-escaped text, as value() writes strings.
    static QString escaped(const QString &text);

    /// The whole line of one write, without the line end.
    static QString line(const WriteRecord &write);
};

} // namespace tkl::cli
