#include "Command.h"
#include "CommandSupport.h"
#include "ExitStatus.h"
#include "JsonOutput.h"
#include "LayoutCheck.h"
#include "PortLookup.h"
#include "network/ProcessNetwork.h"
#include "files/LayoutFile.h"

namespace tkl::cli {

namespace {

constexpr char name[] = "check";

constexpr const char help[] =
    "Usage: tklcli check [options] LAYOUT...\n"
    "\n"
    "Reads each layout file as the editor opens it (LAYOUT \"-\": standard input,\n"
    "named <stdin>) and reports on standard output, one line each,\n"
    "  FILE:LINE: error: ...    the file is no valid layout, or a download would\n"
    "                           be refused: VARIABLE: what is wrong\n"
    "  FILE:LINE: warning: ...  the editor allows it, but the ticket will not print\n"
    "                           as intended\n"
    "LINE is the line of the file: of the field's record member, of the printer\n"
    "code or of the text line concerned. A file that cannot be used at all\n"
    "(missing, a folder, unreadable) is said on standard error, as by every command.\n"
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
    "  2  no file could be read as a layout, bad options, the network cannot be\n"
    "     used, or PORT is not a printer port of the network\n"
    "\n"
    "Options:\n"
    "  --port PORT      check against this printer port only, e.g. Printer1\n"
    "  --format FORMAT  text (the default) or json: one JSON object a line, a\n"
    "                   finding each, with the members file, line (0 when the\n"
    "                   finding concerns no single line), severity (\"error\" or\n"
    "                   \"warning\"), kind (below), message, and where there is\n"
    "                   one slot (the field, 1 to 30) and port (an error's port)\n"
    "  -h, --help       this text\n"
    "\n"
    "Kinds (the member kind; one word each, kept from version to version):\n"
    "  format     the file is no valid layout\n"
    "  width      the ticket width leaves no room for a character\n"
    "  wrap       a text line is wider than the ticket\n"
    "  edge       a field reaches past the right edge or starts left of column 1\n"
    "  below      a field is on a line past the end of the text\n"
    "  overlap    two fields share a cell\n"
    "  unbound    a defined field is bound to no variable\n"
    "  unknown    a field's variable is not in the network\n"
    "  address    a field's name is not that of the variable at its address, whose\n"
    "             value the device prints\n"
    "  node       the network's node address of a field's variable is unusable\n"
    "  stale      a field's stored addresses differ from what binding it stores now\n"
    "  code       a printer code with an unclosed \"[\" or a code above 255\n"
    "  elements   the port has too few field elements to take a ticket\n"
    "  range      a value outside what the port's variable takes\n"
    "  overflow   a value that does not fit its 16-bit variable\n"
    "  lines      more text lines than the port holds\n"
    "  length     a string longer than the port stores\n"
    "  linebreak  a line break in a variable name or printer code\n";

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
    for (const QString &argument : files) {
        const QString file = CommandSupport::layoutName(argument);
        const Result<LayoutData, LayoutError> read = CommandSupport::readLayoutArgument(argument);
        if (!read.ok() && read.error().line == 0) {
            // Not a layout with problems but no layout at all (missing, a folder, too
            // large): a diagnostic, as every command reports a file it cannot use.
            CommandSupport::reportUnreadable(argument, read.error(), console);
            found = true;
            continue;
        }
        QList<CheckFinding> findings;
        if (read.ok()) {
            ++readable;
            findings = LayoutCheck::findings(*read, *network, port);
        } else {
            // What is wrong inside the file is a finding like any other.
            findings << LayoutCheck::readError(read.error());
            findings.last().message = findings.last().message.simplified();
        }
        for (const CheckFinding &finding : findings) {
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
