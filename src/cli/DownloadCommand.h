#pragma once

#include "Console.h"

#include <QStringList>

namespace tkl::cli {

/// `tklcli download LAYOUT --port P [--print-writes]`: the editor's download of a
/// layout file into one printer device of the network.
class DownloadCommand
{
public:
    static const char *help();

    /// Returns the exit status.
    static int run(const QStringList &args, Console &console);
};

} // namespace tkl::cli
