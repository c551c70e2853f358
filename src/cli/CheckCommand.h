#pragma once

#include "Console.h"

#include <QStringList>

namespace tkl::cli {

/// `tklcli check LAYOUT...`: reads each layout as the editor does and lists what is
/// wrong with it, one "file:line: warning|error: ..." line per finding.
class CheckCommand
{
public:
    static const char *help();

    /// Returns the exit status.
    static int run(const QStringList &args, Console &console);
};

} // namespace tkl::cli
