#pragma once

#include "Console.h"
#include "files/LayoutData.h"
#include "files/LayoutError.h"
#include "model/Result.h"

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace tkl {
class ProcessNetwork;
struct PrinterPort;
}

namespace tkl::cli {

/// What every subcommand needs: its command line, the network and layouts, each
/// failure turned into one line on standard error.
class CommandSupport
{
public:
    /// Parses `args` (the subcommand's own arguments) with `parser`, which must already
    /// hold the subcommand's options; adds -h/--help. Returns the exit status when the
    /// command is done already: after a one-line message when the command line is wrong,
    /// or after printing `help` when it was asked for. Nothing when the command goes on.
    static std::optional<int> parse(QCommandLineParser &parser, const QString &command, const QStringList &args,
                                    Console &console, const char *help);

    /// --port PORT, as every command that talks to a device takes it.
    static QCommandLineOption portOption();

    /// The network the editor would use (TKL_NETWORK or the operator's file, else the
    /// built-in sample); nothing, after a message, when it cannot be used.
    static std::unique_ptr<ProcessNetwork> loadNetwork(Console &console);

    /// Reads one layout with the editor's reader: the file `path`, or standard input
    /// when `path` is "-".
    static Result<LayoutData, LayoutError> readLayoutArgument(const QString &path);

    /// How findings and messages name the layout argument `path`: "<stdin>" for "-".
    static QString layoutName(const QString &path);

    /// "file:line: error: ..." on standard error for the layout argument `path`.
    static void reportUnreadable(const QString &path, const LayoutError &error, Console &console);

    /// readLayoutArgument(); nothing, after a "file:line: error: ..." line, when it
    /// cannot be read.
    static std::optional<LayoutData> readLayout(const QString &path, Console &console);

    /// The network and the printer port named by `--port`; nothing, after a message,
    /// when either cannot be used or what a simulated device holds could not be read (the
    /// device store stayed locked, cannot be opened, ...). A damaged device store is reported
    /// but no failure: it was set aside and the devices start empty.
    static std::unique_ptr<ProcessNetwork> loadNetworkForPort(const QString &command, const QString &port,
                                                              Console &console);

    /// loadNetworkForPort() for a command that reads the one device named by --port and
    /// takes no file: nothing, after a message, also when a file is given (`noFileText`
    /// says what to do instead) or --port is missing.
    static std::unique_ptr<ProcessNetwork> loadNetworkForPortOption(const QCommandLineParser &parser,
                                                                    const QString &command,
                                                                    const QString &noFileText, Console &console);

    /// The printer port `port` of `network`, as loadNetworkForPort() checks it; nothing,
    /// after a message, when it cannot be used.
    static const PrinterPort *findPort(const ProcessNetwork &network, const QString &command, const QString &port,
                                       Console &console);

    /// `text` safe to put on a terminal: control characters in the bracket notation of
    /// printer codes ("[27]"), as the editor shows them.
    static QString printable(const QString &text);

    /// "tklcli <command>: <text>" on standard error, on one line.
    static void fail(Console &console, const QString &command, const QString &text);

    /// "tklcli: warning: <text>" on standard error, on one line.
    static void warn(Console &console, const QString &text);
};

} // namespace tkl::cli
