#pragma once

#include "Console.h"

#include <QStringList>

namespace tkl::cli {

/// `tklcli preview LAYOUT | --port P`: the ticket as the device prints it, with
/// values in the fields.
class PreviewCommand
{
public:
    static const char *help();

    /// Returns the exit status.
    static int run(const QStringList &args, Console &console);
};

} // namespace tkl::cli
