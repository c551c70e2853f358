#pragma once

#include "Console.h"

#include <QCommandLineOption>
#include <QList>

class QCommandLineParser;

namespace tkl::cli {

/// One subcommand of tklcli, a row of the table CliApp picks from. CliApp parses the
/// subcommand's arguments with `options` and -h/--help, prints `help` when asked and a
/// one-line message when the command line is wrong, and otherwise calls `run`.
struct Command
{
    const char *name;     ///< the word after "tklcli"
    const char *synopsis; ///< its arguments, in the command list of `tklcli --help`
    const char *summary;  ///< what it does, in that list
    const char *help;     ///< the text of `tklcli NAME --help`
    QList<QCommandLineOption> (*options)();
    /// Returns the exit status.
    int (*run)(const QCommandLineParser &parser, Console &console);
};

/// `tklcli check LAYOUT...`: reads each layout as the editor does and lists what is
/// wrong with it, one "file:line: warning|error: ..." line per finding.
extern const Command checkCommand;

/// `tklcli download LAYOUT --port P [--print-writes]`: the editor's download of a
/// layout file into printer devices of the network.
extern const Command downloadCommand;

/// `tklcli show --port P`: what the printer device of port P holds now, readable.
extern const Command showCommand;

/// `tklcli preview LAYOUT | --port P`: the ticket as the device prints it, with
/// values in the fields.
extern const Command previewCommand;
extern const Command uploadCommand;
extern const Command diffCommand;

/// `tklcli ports`: the network's printer ports, the names --port takes.
extern const Command portsCommand;

} // namespace tkl::cli
