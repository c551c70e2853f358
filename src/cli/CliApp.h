#pragma once

#include <QString>
#include <QStringList>

namespace tkl::cli {

/// The tklcli tool: picks the subcommand from the table in Command.h and runs it.
class CliApp
{
public:
    /// `args` without the program name. Returns the exit status.
    static int run(const QStringList &args);

    /// `tklcli --help`: the usage, every command of the table, the exit statuses.
    static QString help();
};

} // namespace tkl::cli
