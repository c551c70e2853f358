#pragma once

#include <QStringList>

namespace tkl::cli {

/// The tklcli tool: picks the subcommand and runs it.
class CliApp
{
public:
    /// `args` without the program name. Returns the exit status.
    static int run(const QStringList &args);

    static const char *help();
};

} // namespace tkl::cli
