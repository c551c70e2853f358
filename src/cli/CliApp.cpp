#include "CliApp.h"

#include "CheckCommand.h"
#include "Console.h"
#include "DownloadCommand.h"
#include "ExitStatus.h"
#include "PreviewCommand.h"
#include "ShowCommand.h"
#include "WriteFormat.h"

#include <exception>

namespace tkl::cli {

const char *CliApp::help()
{
    return "Usage: tklcli COMMAND [options] [arguments]\n"
           "\n"
           "Checks, downloads and previews printer ticket layouts without the editor.\n"
           "\n"
           "Commands:\n"
           "  check LAYOUT...            report what is wrong with layout files\n"
           "  download LAYOUT --port P   write a layout into the printer device of port P\n"
           "  show --port P              what the device of port P holds now\n"
           "  preview LAYOUT | --port P  the ticket as the device prints it\n"
           "\n"
           "`tklcli help COMMAND` (or `tklcli COMMAND --help`) describes each command and\n"
           "its exit statuses.\n"
           "Exit status: 0 success, 1 problems found, 2 unusable input.\n"
           "\n"
           "Output: what a command finds or produces (check's findings, the writes of\n"
           "--print-writes, what a device holds, the ticket) on standard output;\n"
           "diagnostics (wrong options, files or ports that cannot be used, warnings,\n"
           "progress and counts) on standard error. check and show also write JSON\n"
           "(--format json), one object a line.\n"
           "\n"
           "Environment:\n"
           "  TKL_NETWORK       the network description file to use instead of the\n"
           "                    operator's network.json or the built-in sample\n"
           "  TKL_DEVICE_STORE  the file the simulated devices keep their contents in\n"
           "\n"
           "Options:\n"
           "  -h, --help  this text\n"
           "  --version   the program's version\n";
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
        if (command == u"check")
            return CheckCommand::run(rest, console);
        if (command == u"download")
            return DownloadCommand::run(rest, console);
        if (command == u"show")
            return ShowCommand::run(rest, console);
        if (command == u"preview")
            return PreviewCommand::run(rest, console);
    } catch (const std::exception &e) {
        // Nothing should get here; if something does, one line and no trace.
        console.message(QStringLiteral("tklcli %1: internal error: %2").arg(command, QString::fromLocal8Bit(e.what())));
        return UnusableInput;
    }
    console.message(QStringLiteral("tklcli: unknown command \"%1\" (see tklcli --help)").arg(WriteFormat::escaped(command)));
    return UnusableInput;
}

} // namespace tkl::cli
