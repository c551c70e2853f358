#include "Command.h"
#include "CommandSupport.h"
#include "ExitStatus.h"
#include "JsonOutput.h"
#include "network/ProcessNetwork.h"

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
    "device store), \"Modbus TCP\" (a real device; ENDPOINT is host:port, unit U,\n"
    "register R, where its registers begin) or \"Modbus RTU\" (a real device on\n"
    "a serial line; ENDPOINT is the line's path, its settings such as 19200 8E1,\n"
    "unit U, register R). Nothing is read from the devices.\n"
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
    "                   each, with the members port, node, kind (\"simulated\",\n"
    "                   \"modbus-tcp\" or \"modbus-rtu\"), updateElements,\n"
    "                   ticketLines, stringLength, and for a real device endpoint\n"
    "                   (\"host:port\" or the serial line's path), unit, base\n"
    "  -h, --help       this text\n";

QString kindText(const ModbusEndpoint *endpoint)
{
    if (!endpoint)
        return QStringLiteral("simulated");
    return endpoint->isSerial() ? QStringLiteral("Modbus RTU") : QStringLiteral("Modbus TCP");
}

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
                           .arg(port.name, network->nodes().at(port.node).name, kindText(endpoint))
                           .arg(port.updateElements)
                           .arg(port.ticketLines)
                           .arg(port.stringLength);
        if (endpoint && port.modbus) {
            QString where = endpoint->text();
            if (endpoint->isSerial()) {
                where += QStringLiteral(" %1 %2%3%4")
                             .arg(endpoint->baud)
                             .arg(endpoint->dataBits)
                             .arg(QLatin1Char(endpoint->parity))
                             .arg(endpoint->stopBits);
            }
            line += QStringLiteral(", %1, unit %2, register %3")
                        .arg(where)
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
