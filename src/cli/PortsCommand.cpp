#include "Command.h"
#include "CommandSupport.h"
#include "ExitStatus.h"
#include "JsonOutput.h"
#include "device/ProcessNetwork.h"

namespace tkl::cli {

namespace {

constexpr char name[] = "ports";

constexpr const char help[] =
    "Usage: tklcli ports [--format FORMAT]\n"
    "\n"
    "Lists the printer ports of the network, the names --port takes, one line\n"
    "each in the order of the description:\n"
    "  PORT  node NODE, KIND, N fields, N lines of N characters[, ENDPOINT]\n"
    "KIND is \"simulated\" (a device this program plays, its memory kept in the\n"
    "device store) or \"Modbus TCP\" (a real device; ENDPOINT is host:port,\n"
    "unit U, register R, where its registers begin). Nothing is read from the\n"
    "devices.\n"
    "\n"
    "The network is the one the editor uses: the file named by TKL_NETWORK, else\n"
    "the operator's network.json, else the built-in sample.\n"
    "\n"
    "Exit status:\n"
    "  0  listed (also when the network has no printer port)\n"
    "  2  bad options, or the network cannot be used\n"
    "\n"
    "Options:\n"
    "  --format FORMAT  text (the default) or json: one JSON object a line, a port\n"
    "                   each, with the members port, node, kind (\"simulated\" or\n"
    "                   \"modbus-tcp\"), updateElements, ticketLines, stringLength,\n"
    "                   and for a real device endpoint (\"host:port\"), unit, base\n"
    "  -h, --help       this text\n";

QList<QCommandLineOption> options()
{
    return {JsonOutput::formatOption()};
}

int run(const QCommandLineParser &parser, Console &console)
{
    const QString command = QLatin1String(name);
    const std::optional<bool> json = JsonOutput::wantsJson(parser, command, console);
    if (!json)
        return UnusableInput;
    if (!parser.positionalArguments().isEmpty()) {
        CommandSupport::fail(console, command, QStringLiteral("takes no arguments (see tklcli ports --help)"));
        return UnusableInput;
    }
    const auto network = CommandSupport::loadNetwork(console);
    if (!network)
        return UnusableInput;
    for (const PrinterPort &port : network->ports()) {
        const ModbusEndpoint *endpoint = network->endpointOf(port);
        if (*json) {
            console.out << JsonOutput::port(port, network->nodes().at(port.node).name, endpoint);
            continue;
        }
        QString line = QStringLiteral("%1  node %2, %3, %4 fields, %5 lines of %6 characters")
                           .arg(port.name, network->nodes().at(port.node).name,
                                endpoint ? QStringLiteral("Modbus TCP") : QStringLiteral("simulated"))
                           .arg(port.updateElements)
                           .arg(port.ticketLines)
                           .arg(port.stringLength);
        if (endpoint && port.modbus) {
            line += QStringLiteral(", %1, unit %2, register %3")
                        .arg(endpoint->text())
                        .arg(port.modbus->unit)
                        .arg(port.modbus->base);
        }
        // Names come from a description file: nothing in them reaches the terminal raw.
        console.out << CommandSupport::printable(line) << '\n';
    }
    console.out.flush();
    return Success;
}

} // namespace

const Command portsCommand{name, "", "list the network's printer ports", help, options, run};

} // namespace tkl::cli
