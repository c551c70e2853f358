#include "Command.h"
#include "CommandSupport.h"
#include "ExitStatus.h"
#include "LayoutCheck.h"
#include "TerminalProgress.h"
#include "WriteFormat.h"
#include "network/NetworkFactory.h"
#include "network/ProcessNetwork.h"
#include "device/TicketDownload.h"
#include "files/LayoutData.h"
#include "model/TicketModel.h"

#include <thread>
#include <vector>

namespace tkl::cli {

namespace {

// One line per failed port; `port` is named when several were downloaded to.
void failure(Console &console, const QString &command, const DownloadResult &result, const QString &port)
{
    const QString to = port.isEmpty() ? QString() : port + QStringLiteral(": ");
    if (result.status == DownloadResult::Status::Rejected) {
        CommandSupport::fail(console, command,
                             QStringLiteral("%1refused before the first write, the device was not touched: %2: %3")
                                 .arg(to, WriteFormat::escaped(result.failedName), WriteFormat::escaped(result.errorString)));
        return;
    }
    const QString where = result.failedName.isEmpty()
        ? QStringLiteral("before the first write")
        : QStringLiteral("at %1 after %2 writes").arg(WriteFormat::escaped(result.failedName)).arg(result.writesDone);
    CommandSupport::fail(console, command,
                         QStringLiteral("%1failed %2: %3").arg(to, where, WriteFormat::escaped(result.errorString)));
}

constexpr char name[] = "download";

constexpr const char help[] =
    "Usage: tklcli download [options] LAYOUT --port PORT [--port PORT ...]\n"
    "\n"
    "Writes the layout into the printer device of PORT with the editor's download:\n"
    "every field slot cleared, the defined fields, the line count, the ticket lines\n"
    "and the printer start and stop codes. LAYOUT \"-\" reads the layout from\n"
    "standard input.\n"
    "\n"
    "The ticket lines are the text's lines as the file stores them; they are not\n"
    "wrapped to the ticket width as the editor's text box does, and the line count\n"
    "sent is the number of those lines (the count saved in the file is not used).\n"
    "`tklcli check` warns about lines that the editor would wrap.\n"
    "\n"
    "Progress is drawn on standard error when it is a terminal; the number of\n"
    "writes follows at the end. After the last write the device's variables are\n"
    "read back and compared with what was written. When the device refuses a\n"
    "write or reads back something else, the server's error text and the variable\n"
    "concerned are shown; the writes made stay in the device.\n"
    "\n"
    "Before the first write the layout is checked against the rules of PORT's\n"
    "device, as `tklcli check --port PORT` reports them; a layout that breaks\n"
    "one is refused with that error and nothing is written. Each warning of\n"
    "that check (the ticket will not print as intended) goes to standard error\n"
    "as FILE:LINE: warning: ..., and the download goes on; with --strict any\n"
    "finding, warning or error, refuses the whole download and nothing is\n"
    "written to any port.\n"
    "\n"
    "A port on a node with a \"modbus\" endpoint is a real device: the ticket goes\n"
    "over Modbus TCP, one connection per download, and a failure names the\n"
    "variable, the endpoint (host:port, unit) and what happened. Such a device\n"
    "keeps a download state: the first write sets it to 1 (under way), and only\n"
    "once everything read back as written do the layout checksum and the state 2\n"
    "(finished) follow; a device prints a ticket only in state 2.\n"
    "\n"
    "With several --port options the devices are written at once, each real\n"
    "device over a connection of its own (the simulated ports one after another),\n"
    "and one result line per port follows, in the order given.\n"
    "\n"
    "Exit status:\n"
    "  0  downloaded (to every port)\n"
    "  1  the layout breaks a rule of a device (nothing written to it), --strict\n"
    "     and the layout has a finding (nothing written), a download\n"
    "     failed at a write or at the read-back, or the device store could not\n"
    "     keep what was written\n"
    "  2  bad options, the layout cannot be read, the network cannot be used, a\n"
    "     PORT is not a printer port of the network or is named twice, or what\n"
    "     its device holds could not be read (the device store stayed locked, ...)\n"
    "\n"
    "Options:\n"
    "  --port PORT     the printer port, e.g. Printer1; may be given several times\n"
    "  --strict        refuse a layout with any finding of `tklcli check --port`\n"
    "  --print-writes  every device write made on standard output, port by port in\n"
    "                  the order given, one line each: NAME<TAB>TYPE<TAB>VALUE,\n"
    "                  TYPE one of bool, u8, i16, string, u32 (a real device's\n"
    "                  layout checksum); Booleans true/false, numbers in decimal,\n"
    "                  strings with \\\\ \\r \\n \\t and \\xHH escapes for\n"
    "                  characters below 32\n"
    "  -h, --help      this text\n";

QList<QCommandLineOption> options()
{
    return {CommandSupport::portOption(), QCommandLineOption(QStringLiteral("print-writes")),
            QCommandLineOption(QStringLiteral("strict"))};
}

// What is wrong with the layout for these ports, each finding once (the warnings are
// the same for every port). Without --strict the warnings are told and the download
// goes on (the errors come with the refusal of their port); with it every finding is
// told and nothing is written. False when the download is off.
bool passesCheck(const QCommandLineParser &parser, const LayoutData &layout, const ProcessNetwork &network,
                 const QStringList &ports, const QString &command, Console &console)
{
    const bool strict = parser.isSet(QStringLiteral("strict"));
    const QString file = parser.positionalArguments().first();
    QList<CheckFinding> found;
    for (const QString &port : ports) {
        for (const CheckFinding &f : LayoutCheck::findings(layout, network, network.findPort(port))) {
            if ((strict || f.severity == CheckFinding::Severity::Warning) && !found.contains(f))
                found << f;
        }
    }
    for (const CheckFinding &f : found)
        console.message(CommandSupport::printable(f.format(file)));
    if (!strict || found.isEmpty())
        return true;
    CommandSupport::fail(console, command,
                         QStringLiteral("--strict: the layout has %1 finding(s); nothing was written").arg(found.size()));
    return false;
}

// The ports named, once the command line has a layout file and at least one port, each
// named once; nothing, after a message, when it has not.
std::optional<QStringList> portsOf(const QCommandLineParser &parser, const QString &command, Console &console)
{
    const QStringList files = parser.positionalArguments();
    if (files.size() != 1) {
        CommandSupport::fail(console, command,
                             files.isEmpty() ? QStringLiteral("no layout file given (see tklcli download --help)")
                                             : QStringLiteral("one layout file at a time"));
        return std::nullopt;
    }
    if (!parser.isSet(QStringLiteral("port"))) {
        CommandSupport::fail(console, command, QStringLiteral("--port is missing (see tklcli download --help)"));
        return std::nullopt;
    }
    const QStringList ports = parser.values(QStringLiteral("port"));
    for (qsizetype i = 1; i < ports.size(); ++i) {
        if (ports.indexOf(ports[i]) < i) {
            CommandSupport::fail(console, command,
                                 QStringLiteral("the port \"%1\" is named twice").arg(WriteFormat::escaped(ports[i])));
            return std::nullopt;
        }
    }
    return ports;
}

// One result per port, in the order of `ports`. Every real device gets a thread and a
// connection of its own; the simulated ports share the network object, which is not
// thread-safe, and take their turns on this thread meanwhile. A download to a real
// device reads the network only. The progress bar is drawn for a single port only.
std::vector<DownloadResult> downloadAll(ProcessNetwork &network, const TicketModel &model, const QStringList &lines,
                                        const QStringList &ports, Console &console)
{
    const bool single = ports.size() == 1;
    TerminalProgress progress(console.errFile);
    std::vector<DownloadResult> results(std::size_t(ports.size()));
    std::vector<std::thread> threads;
    auto downloadTo = [&](qsizetype i, bool showProgress) {
        NetworkFactory factory(network);
        TicketDownload download(factory);
        TicketDownload::Callbacks callbacks;
        if (showProgress)
            callbacks.progress = [&progress](double percent) { progress.update(percent); };
        results[std::size_t(i)] = download.run(model, lines, ports.at(i), callbacks);
    };
    for (qsizetype i = 0; i < ports.size(); ++i) {
        if (network.endpointOf(*network.findPort(ports.at(i))))
            threads.emplace_back(downloadTo, i, single);
    }
    network.clearWriteLog();
    for (qsizetype i = 0; i < ports.size(); ++i) {
        if (!network.endpointOf(*network.findPort(ports.at(i))))
            downloadTo(i, single);
    }
    for (std::thread &t : threads)
        t.join();
    if (single && results.front().ok())
        progress.update(100);
    progress.finish();
    return results;
}

// Every write made, port by port in the order given: a simulated port's from the network's
// log (its ports were written one after another, in that order), a real device's from
// its download.
void printWrites(const ProcessNetwork &network, const QStringList &ports, const std::vector<DownloadResult> &results,
                 Console &console)
{
    for (qsizetype i = 0; i < ports.size(); ++i) {
        const PrinterPort *port = network.findPort(ports.at(i));
        if (network.endpointOf(*port)) {
            for (const WriteRecord &write : results.at(std::size_t(i)).written)
                console.out << WriteFormat::line(write) << '\n';
            continue;
        }
        for (const WriteRecord &write : network.writeLog()) {
            const auto variable = network.findDeviceVariable(write.name);
            if (variable && network.ports().at(variable->port).name == port->name)
                console.out << WriteFormat::line(write) << '\n';
        }
    }
    console.out.flush();
}

// A line per port on standard error; true when every download was done.
bool reportResults(const std::vector<DownloadResult> &results, const QStringList &ports, const QString &command,
                   Console &console)
{
    bool allDone = true;
    for (qsizetype i = 0; i < ports.size(); ++i) {
        const DownloadResult &result = results.at(std::size_t(i));
        allDone = allDone && result.ok();
        if (result.ok()) {
            console.message(QStringLiteral("%1 writes to %2")
                                .arg(result.writesDone)
                                .arg(CommandSupport::printable(ports.at(i))));
        } else {
            failure(console, command, result, ports.size() == 1 ? QString() : ports.at(i));
        }
    }
    return allDone;
}

int run(const QCommandLineParser &parser, Console &console)
{
    const QString command = QLatin1String(name);
    const std::optional<QStringList> ports = portsOf(parser, command, console);
    if (!ports)
        return UnusableInput;
    const auto layout = CommandSupport::readLayout(parser.positionalArguments().first(), console);
    if (!layout)
        return UnusableInput;
    const auto network = CommandSupport::loadNetworkForPort(command, ports->first(), console);
    if (!network)
        return UnusableInput;
    for (const QString &port : ports->mid(1)) {
        if (!CommandSupport::findPort(*network, command, port, console))
            return UnusableInput;
    }

    if (!passesCheck(parser, *layout, *network, *ports, command, console))
        return ProblemsFound;

    TicketModel model;
    layout->applyTo(model);
    const QStringList lines = LayoutCheck::textLines(layout->text);
    model.setTicketLines(qint16(std::min<qsizetype>(lines.size(), 32767)));
    const std::vector<DownloadResult> results = downloadAll(*network, model, lines, *ports, console);

    if (parser.isSet(QStringLiteral("print-writes")))
        printWrites(*network, *ports, results, console);
    const bool allDone = reportResults(results, *ports, command, console);
    // The simulated devices' memory lives in the store: a ticket it could not keep there
    // is gone when this process ends, so that is no success.
    if (!network->storeWarning().isEmpty()) {
        CommandSupport::warn(console, network->storeWarning());
        return ProblemsFound;
    }
    return allDone ? Success : ProblemsFound;
}

} // namespace

const Command downloadCommand{name, "LAYOUT --port P", "write a layout into the printer device of port P", help, options, run};

} // namespace tkl::cli
