#include "CliApp.h"

#include "Command.h"
#include "CommandSupport.h"
#include "Console.h"
#include "ExitStatus.h"
#include "WriteFormat.h"

#include <QCommandLineParser>

#include <exception>

namespace tkl::cli {

namespace {

// Every subcommand, in the order `tklcli --help` lists them.
const Command *const commands[] = {&checkCommand,   &downloadCommand, &showCommand, &previewCommand,
                                   &portsCommand,   &uploadCommand,   &diffCommand};

constexpr const char helpBeforeCommands[] =
    "Usage: tklcli COMMAND [options] [arguments]\n"
    "\n"
    "Checks, downloads and previews printer ticket layouts without the editor.\n"
    "\n"
    "Commands:\n";

constexpr const char helpAfterCommands[] =
    "\n"
    "`tklcli help COMMAND` (or `tklcli COMMAND --help`) describes each command and\n"
    "its exit statuses.\n"
    "Exit status: 0 success, 1 problems found, 2 unusable input.\n"
    "\n"
    "Output: what a command finds or produces (check's findings, also what makes\n"
    "a file no valid layout; the writes of --print-writes, what a device holds,\n"
    "the ticket, the ports) on standard output; diagnostics (wrong options, files,\n"
    "networks or ports that cannot be used at all, warnings, progress and counts)\n"
    "on standard error. check, show and ports also write JSON (--format json), one\n"
    "object a line. A LAYOUT of \"-\" is read from standard input.\n"
    "\n"
    "Environment:\n"
    "  TKL_NETWORK       the network description file to use instead of the\n"
    "                    operator's network.json or the built-in sample\n"
    "  TKL_DEVICE_STORE  the file the simulated devices keep their contents in\n"
    "  TKL_LOCK_WAIT     seconds to wait while other programs use that file\n"
    "                    (default 30; 0 tries once)\n"
    "\n"
    "Options:\n"
    "  -h, --help  this text\n"
    "  --version   the program's version\n";

const Command *findCommand(const QString &name)
{
    for (const Command *command : commands) {
        if (name == QLatin1String(command->name))
            return command;
    }
    return nullptr;
}

int runCommand(const Command &command, const QStringList &args, Console &console)
{
    QCommandLineParser parser;
    parser.addOptions(command.options());
    if (const auto done = CommandSupport::parse(parser, QLatin1String(command.name), args, console, command.help))
        return *done;
    return command.run(parser, console);
}

} // namespace

QString CliApp::help()
{
    QString text = QLatin1String(helpBeforeCommands);
    for (const Command *command : commands) {
        const QString usage = QLatin1String(command->name) + u' ' + QLatin1String(command->synopsis);
        text += QStringLiteral("  ") + usage.leftJustified(27) + QLatin1String(command->summary) + u'\n';
    }
    return text + QLatin1String(helpAfterCommands);
}

int CliApp::run(const QStringList &args)
{
    Console console;
    if (args.isEmpty()) {
        console.err << help();
        return UnusableInput;
    }
    const QString command = args.first();
    const QStringList rest = args.mid(1);
    try {
        if (command == u"--version") {
            console.out << "tklcli " TKL_VERSION "\n";
            return Success;
        }
        if (command == u"help" && !rest.isEmpty() && !rest.first().startsWith(u'-'))
            return run({rest.first(), QStringLiteral("--help")});
        if (command == u"-h" || command == u"--help" || command == u"help") {
            console.out << help();
            return Success;
        }
        if (const Command *found = findCommand(command))
            return runCommand(*found, rest, console);
    } catch (const std::exception &e) {
        // Nothing should get here; if something does, one line and no trace.
        console.message(QStringLiteral("tklcli %1: internal error: %2").arg(command, QString::fromLocal8Bit(e.what())));
        return UnusableInput;
    }
    console.message(QStringLiteral("tklcli: unknown command \"%1\" (see tklcli --help)").arg(WriteFormat::escaped(command)));
    return UnusableInput;
}

} // namespace tkl::cli
