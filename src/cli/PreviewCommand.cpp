#include "Command.h"
#include "CommandSupport.h"
#include "ExitStatus.h"
#include "network/ProcessNetwork.h"
#include "preview/DeviceLayout.h"
#include "preview/TicketRenderer.h"
#include "preview/ValuesFile.h"

namespace tkl::cli {

namespace {

constexpr char name[] = "preview";

constexpr const char help[] =
    "Usage: tklcli preview [options] LAYOUT\n"
    "       tklcli preview [options] --port PORT\n"
    "\n"
    "Prints the ticket as the device prints it: the text lines with every defined\n"
    "field's value written into its cells (the value of the variable at the\n"
    "field's address, NodeAdr, SWNo, Offset, Typ and BitNo, as the device finds\n"
    "it, whatever the field's name says), right-aligned with the field's decimals\n"
    "(rounded half away from zero, a minus sign taking a cell). A value that does\n"
    "not fit fills the field with \"*\", a variable without a value with \"?\".\n"
    "The ticket is that of a layout file (\"-\": standard input), or the one the\n"
    "device of PORT holds.\n"
    "\n"
    "The values are the network's simulated ones at this moment (a fixed value or\n"
    "a ramp, so a later preview may differ), or those of --values FILE.\n"
    "The printer codes are shown decoded (\"[27]E\" as ESC E, an empty code as the\n"
    "CR a download sends) on a line before and after the ticket. Control\n"
    "characters in the text are shown as [n].\n"
    "Fields that did not fit or had no value are listed on standard error.\n"
    "\n"
    "Exit status:\n"
    "  0  printed, every field shows its value\n"
    "  1  printed, but a field did not fit, had no value or lies partly off the\n"
    "     ticket; or the device holds no ticket, or only part of one (its last\n"
    "     download did not finish)\n"
    "  2  bad options, the layout or values file cannot be read, the network\n"
    "     cannot be used, or PORT is not a printer port\n"
    "\n"
    "Options:\n"
    "  --port PORT    preview the ticket the device of PORT holds\n"
    "  --values FILE  values from FILE: one NAME=VALUE a line, NAME a variable's\n"
    "                 full name, VALUE a decimal number; blank lines and lines\n"
    "                 starting with # are skipped\n"
    "  --no-codes     leave out the printer code lines\n"
    "  -h, --help     this text\n";

QList<QCommandLineOption> options()
{
    return {CommandSupport::portOption(), QCommandLineOption(QStringLiteral("values"), QString(), QStringLiteral("FILE")),
            QCommandLineOption(QStringLiteral("no-codes"))};
}

// The values of --values; nothing when none are given. False, after a message, when the
// file cannot be used.
bool readValues(const QCommandLineParser &parser, const QString &command, Console &console,
                std::optional<ValuesFile::Values> &valuesFile)
{
    if (!parser.isSet(QStringLiteral("values")))
        return true;
    Result<ValuesFile::Values> read = ValuesFile::read(parser.value(QStringLiteral("values")));
    if (read.ok()) {
        valuesFile = std::move(read).value();
        return true;
    }
    CommandSupport::fail(console, command, read.error().message);
    return false;
}

// The ticket to show and the network it is shown with.
struct Ticket
{
    std::optional<LayoutData> layout;
    std::unique_ptr<ProcessNetwork> network;
    bool partial = false; ///< the device holds what an unfinished download wrote
};

// The ticket of the layout file or of the device of --port. Returns the exit status, after
// a message, when there is none to show; nothing when `ticket` holds it.
std::optional<int> loadTicket(const QCommandLineParser &parser, const QString &command, Console &console,
                              Ticket &ticket)
{
    if (!parser.isSet(QStringLiteral("port"))) {
        ticket.layout = CommandSupport::readLayout(parser.positionalArguments().first(), console);
        if (!ticket.layout)
            return UnusableInput;
        ticket.network = CommandSupport::loadNetwork(console);
        if (!ticket.network)
            return UnusableInput;
        return std::nullopt;
    }
    const QString port = parser.value(QStringLiteral("port"));
    ticket.network = CommandSupport::loadNetworkForPort(command, port, console);
    if (!ticket.network)
        return UnusableInput;
    QString error;
    std::optional<DeviceTicket> held = ticketFromDevice(*ticket.network, port, &error);
    if (!held) {
        CommandSupport::fail(console, command, error);
        return ProblemsFound;
    }
    ticket.partial = !held->finished();
    ticket.layout = std::move(held->layout);
    return std::nullopt;
}

// What is wrong with how a field printed; empty when nothing is.
QString fieldProblem(const RenderedField &f)
{
    QString what;
    if (f.missing && f.source.isEmpty())
        what = QStringLiteral("the network has no variable at the address of %1, shown as ?")
                   .arg(CommandSupport::printable(f.varName));
    else if (f.missing)
        what = QStringLiteral("no value for %1, shown as ?").arg(CommandSupport::printable(f.source));
    else if (f.overflow)
        what = QStringLiteral("%1 = %2 does not fit in %3 cell(s), shown as *")
                   .arg(CommandSupport::printable(f.source))
                   .arg(f.value.value_or(0), 0, 'g', 15)
                   .arg(f.chars);
    if (f.clipped) {
        what += QStringLiteral("%1partly off the ticket (line %2, column %3), not all of it printed")
                    .arg(what.isEmpty() ? QString() : QStringLiteral("; "))
                    .arg(f.line + 1)
                    .arg(f.column);
    }
    return what;
}

int run(const QCommandLineParser &parser, Console &console)
{
    const QString command = QLatin1String(name);
    const QStringList files = parser.positionalArguments();
    if (parser.isSet(QStringLiteral("port")) == !files.isEmpty() || files.size() > 1) {
        CommandSupport::fail(console, command,
                             QStringLiteral("give either one layout file or --port (see tklcli preview --help)"));
        return UnusableInput;
    }

    // Everything that can be refused is looked at before anything is printed.
    std::optional<ValuesFile::Values> valuesFile;
    if (!readValues(parser, command, console, valuesFile))
        return UnusableInput;
    Ticket source;
    if (const auto done = loadTicket(parser, command, console, source))
        return *done;

    const ValueSource values = valuesFile ? fixedValues(*valuesFile)
                                          : networkValues(*source.network, ProcessNetwork::networkTime());
    const RenderedTicket ticket = renderTicket(*source.layout, values, source.network.get());

    QTextStream &out = console.out;
    for (const QString &line : showTicket(ticket, !parser.isSet(QStringLiteral("no-codes"))).lines)
        out << line << '\n';
    out.flush();

    bool problems = source.partial;
    if (source.partial) {
        CommandSupport::fail(console, command, QStringLiteral("the last download to this port did not finish; "
                                                              "shown is what it wrote before it stopped"));
    }
    for (const RenderedField &f : ticket.fields) {
        if (const QString what = fieldProblem(f); !what.isEmpty()) {
            console.message(QStringLiteral("UpdateBox %1: %2").arg(f.slot).arg(what));
            problems = true;
        }
    }
    return problems ? ProblemsFound : Success;
}

} // namespace

const Command previewCommand{name, "LAYOUT | --port P", "the ticket as the device prints it", help, options, run};

} // namespace tkl::cli
