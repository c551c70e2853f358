#include "Command.h"
#include "CommandSupport.h"
#include "ExitStatus.h"
#include "JsonOutput.h"
#include "network/ProcessNetwork.h"
#include "preview/DeviceLayout.h"
#include "preview/PrinterCodeText.h"

namespace tkl::cli {

namespace {

QString codeLine(const char *which, const QString &code)
{
    return QStringLiteral("  %1 %2  (%3)")
        .arg(QLatin1String(which), CommandSupport::printable(code), CommandSupport::printable(decodePrinterCodes(code)));
}

constexpr char name[] = "show";

constexpr const char help[] =
    "Usage: tklcli show [--format FORMAT] --port PORT\n"
    "\n"
    "Shows what the printer device of PORT holds now: the defined fields with\n"
    "every member (lines and columns counted from 1, as the device counts them),\n"
    "the ticket lines, and the start and stop codes as stored and decoded.\n"
    "Control characters are shown as [n].\n"
    "\n"
    "The simulated devices keep what was downloaded into them, from the editor or\n"
    "from this tool, in a file of their own: TKL_DEVICE_STORE names it, else\n"
    "tkledit/devices.json in the user's state folder ($XDG_STATE_HOME, else\n"
    "~/.local/state). A port on a node with a \"modbus\" endpoint is a real\n"
    "device: its holding registers are read over Modbus TCP.\n"
    "Both kinds keep whether their last download finished: a device that never\n"
    "got one holds no ticket, and one whose last download stopped on the way\n"
    "holds only part of one.\n"
    "\n"
    "Exit status:\n"
    "  0  shown\n"
    "  1  the device holds no ticket, reading the real device failed, or the last\n"
    "     download to it did not finish (what it holds is shown)\n"
    "  2  bad options, the network cannot be used, PORT is not a printer port, or\n"
    "     what its simulated device holds could not be read (its memory file\n"
    "     stayed locked, ...)\n"
    "\n"
    "Options:\n"
    "  --port PORT      the printer port, e.g. Printer1\n"
    "  --format FORMAT  text (the default) or json: one JSON object a line, a port\n"
    "                   each, with the members port, holdsTicket (true or false)\n"
    "                   and, when it holds one: lines (the ticket's text lines),\n"
    "                   fields (each with slot, VarName, line, column, Chars,\n"
    "                   Digits, NodeAdr, SWNo, Offset, Typ, BitNo, Code, DevType),\n"
    "                   startCode, stopCode as stored (\"[27]@\") and\n"
    "                   lastDownloadFinished (false when the last download to the\n"
    "                   port stopped before it ended: the device holds what it\n"
    "                   wrote until then); always downloadState (0 never written,\n"
    "                   1 under way, 2 finished) and checksum (the layout checksum\n"
    "                   a real device keeps; null for a simulated one)\n"
    "  -h, --help       this text\n";

// The defined fields, every member, lines and columns counted from 1.
void printFields(QTextStream &out, const LayoutData &layout)
{
    int fields = 0;
    for (int slot = LayoutData::FirstSlot; slot <= LayoutData::LastSlot; ++slot) {
        const UpdateBox &b = layout.UpdateBoxes[slot];
        if (!b.DataIn)
            continue;
        ++fields;
        out << QStringLiteral("  UpdateArr[%1] %2\n").arg(slot).arg(CommandSupport::printable(b.VarName));
        out << QStringLiteral("    line %1, column %2, %3 character(s), %4 decimal(s)\n")
                   .arg(int(b.Linie) + 1)
                   .arg(b.Pos)
                   .arg(b.Chars)
                   .arg(b.Digits);
        out << QStringLiteral("    NodeAdr %1  SWNo %2  Offset %3  Typ %4  BitNo %5  Code %6  DevType %7\n")
                   .arg(b.NodeAdr)
                   .arg(b.SWNo)
                   .arg(b.Offset)
                   .arg(b.Typ)
                   .arg(b.BitNo)
                   .arg(b.Code)
                   .arg(b.DevType);
    }
    if (fields == 0)
        out << "  none\n";
}

// What the device of `port` holds, as `tklcli show` prints it.
void printTicket(QTextStream &out, const QString &port, const LayoutData &layout, bool unfinished)
{
    out << QStringLiteral("Port %1 holds a ticket of %2 line(s).\n")
               .arg(CommandSupport::printable(port))
               .arg(layout.TicketLines);
    if (unfinished)
        out << "The last download to it did not finish: this is what it wrote before it stopped.\n";
    out << "\nFields:\n";
    printFields(out, layout);

    out << "\nLines:\n";
    const QStringList lines = layout.TicketLines > 0 ? layout.text.split(QStringLiteral("\r\n")) : QStringList();
    if (lines.isEmpty())
        out << "  none\n";
    const int width = int(QString::number(lines.size()).size());
    for (qsizetype i = 0; i < lines.size(); ++i)
        out << QStringLiteral("  %1 |%2\n").arg(i + 1, width).arg(CommandSupport::printable(lines[i]));

    out << "\nCodes:\n" << codeLine("start", layout.StartCode) << '\n' << codeLine("stop ", layout.StopCode) << '\n';
}

QList<QCommandLineOption> options()
{
    return {CommandSupport::portOption(), JsonOutput::formatOption()};
}

int run(const QCommandLineParser &parser, Console &console)
{
    const QString command = QLatin1String(name);
    const std::optional<bool> json = JsonOutput::wantsJson(parser, command, console);
    if (!json)
        return UnusableInput;
    const auto network = CommandSupport::loadNetworkForPortOption(
        parser, command, QStringLiteral("a device is named with --port"), console);
    if (!network)
        return UnusableInput;
    const QString port = parser.value(QStringLiteral("port"));
    QString error;
    const auto ticket = ticketFromDevice(*network, port, &error);
    const bool unfinished = ticket && !ticket->finished();
    // A device that cannot be read is a diagnostic in either format; one that holds no
    // ticket is an answer.
    if (*json && (ticket || error == noTicketError(port))) {
        console.out << JsonOutput::device(port, ticket ? &*ticket : nullptr);
        console.out.flush();
        return ticket && !unfinished ? Success : ProblemsFound;
    }
    if (!ticket) {
        CommandSupport::fail(console, command, error);
        return ProblemsFound;
    }

    printTicket(console.out, port, ticket->layout, unfinished);
    console.out.flush();
    return unfinished ? ProblemsFound : Success;
}

} // namespace

const Command showCommand{name, "--port P", "what the device of port P holds now", help, options, run};

} // namespace tkl::cli
