#pragma once

#include "Console.h"

#include <QStringList>

namespace tkl::cli {

/// `tklcli show --port P`: what the printer device of port P holds now, readable.
class ShowCommand
{
public:
    static const char *help();

    /// Returns the exit status.
    static int run(const QStringList &args, Console &console);
};

} // namespace tkl::cli
