#include "Command.h"
#include "CommandSupport.h"
#include "ExitStatus.h"
#include "JsonOutput.h"
#include "LayoutCheck.h"
#include "PortLookup.h"
#include "device/ProcessNetwork.h"
#include "files/LayoutFile.h"

namespace tkl::cli {

namespace {

constexpr char name[] = "check";

constexpr const char help[] =
    "Usage: tklcli check [options] LAYOUT...\n"
    "\n"
    "Reads each layout file as the editor opens it and reports, one line each,\n"
    "  FILE:LINE: error: ...    the file cannot be read as a layout, or a download\n"
    "                           would be refused: VARIABLE: what is wrong\n"
    "  FILE:LINE: warning: ...  the editor allows it, but the ticket will not print\n"
    "                           as intended\n"
    "All on standard output. LINE is the line of the file: of the field's record member, of the printer\n"
    "code or of the text line concerned.\n"
    "\n"
    "Errors name the device variable a download would stop at and the port:\n"
    "a value outside what the port's device takes (Chars, Digits and Pos 0 to\n"
    "the port's string length, Linie within its ticket lines), more text lines\n"
    "than the port holds, a variable name, text line or printer code longer than\n"
    "its strings, a line break in a variable name or printer code, a value that\n"
    "does not fit its 16-bit variable, a port with fewer than 30 field elements.\n"
    "A layout without errors downloads whole; one with errors is refused by\n"
    "`tklcli download` and the editor before anything is written.\n"
    "With --port the layout is checked against that port; without it, against\n"
    "every printer port of the network.\n"
    "\n"
    "Warnings: a field past the right edge of the ticket (the width counted in\n"
    "120-twip cells of the saved editor width) or left of the first column; fields\n"
    "that overlap on one line; a field on a line past the end of the text; a text\n"
    "line wider than the ticket (the editor wraps it, a download from here does\n"
    "not); a defined field whose variable the network does not know, whose\n"
    "address (NodeAdr, SWNo, Offset, Typ, BitNo) is that of another variable than\n"
    "its name (the device prints that one's value), or whose\n"
    "stored addresses (NodeAdr, SWNo, Offset, Typ, BitNo, Code) differ from what\n"
    "binding it now would store; a printer code with an unclosed \"[\" or a code\n"
    "above 255.\n"
    "\n"
    "The network is the one the editor uses: the file named by TKL_NETWORK, else\n"
    "the operator's network.json, else the built-in sample.\n"
    "\n"
    "Exit status:\n"
    "  0  every file was read and nothing was found\n"
    "  1  at least one file was read, and something was found in some file\n"
    "     (a warning, an error, or another file that could not be read)\n"
    "  2  no file could be read, bad options, the network cannot be used, or\n"
    "     PORT is not a printer port of the network\n"
    "\n"
    "Options:\n"
    "  --port PORT      check against this printer port only, e.g. Printer1\n"
    "  --format FORMAT  text (the default) or json: one JSON object a line, a\n"
    "                   finding each, with the members file, line (0 when the\n"
    "                   finding concerns no single line), severity (\"error\" or\n"
    "                   \"warning\") and message\n"
    "  -h, --help       this text\n";

QList<QCommandLineOption> options()
{
    return {JsonOutput::formatOption(), CommandSupport::portOption()};
}

int run(const QCommandLineParser &parser, Console &console)
{
    const QString command = QLatin1String(name);
    const std::optional<bool> json = JsonOutput::wantsJson(parser, command, console);
    if (!json)
        return UnusableInput;
    const QStringList files = parser.positionalArguments();
    if (files.isEmpty()) {
        CommandSupport::fail(console, command, QStringLiteral("no layout file given (see tklcli check --help)"));
        return UnusableInput;
    }
    const auto network = CommandSupport::loadNetwork(console);
    if (!network)
        return UnusableInput;
    const PrinterPort *port = nullptr;
    if (parser.isSet(QStringLiteral("port"))) {
        QString error;
        port = PortLookup::find(*network, parser.value(QStringLiteral("port")), &error);
        if (!port) {
            CommandSupport::fail(console, command, error);
            return UnusableInput;
        }
    }

    int readable = 0;
    bool found = false;
    for (const QString &file : files) {
        // Read errors go with the warnings on standard output: they are the findings.
        const Result<LayoutData, LayoutError> read = readLayoutFile(file);
        if (!read.ok()) {
            CheckFinding error = LayoutCheck::readError(read.error());
            error.message = error.message.simplified();
            if (*json)
                console.out << JsonOutput::finding(file, error);
            else
                console.out << CommandSupport::printable(error.format(file)) << '\n';
            found = true;
            continue;
        }
        ++readable;
        for (const CheckFinding &finding : LayoutCheck::findings(*read, *network, port)) {
            // A name or file name may hold control characters; none reaches the terminal raw.
            if (*json)
                console.out << JsonOutput::finding(file, finding);
            else
                console.out << CommandSupport::printable(finding.format(file)) << '\n';
            found = true;
        }
    }
    console.out.flush();
    if (readable == 0)
        return UnusableInput;
    return found ? ProblemsFound : Success;
}

} // namespace

const Command checkCommand{name, "LAYOUT...", "report what is wrong with layout files", help, options, run};

} // namespace tkl::cli
