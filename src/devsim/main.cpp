// tkldevsim: printing devices on loopback (Modbus TCP) or on serial lines (Modbus RTU), for tests and demonstrations.

#include "devsim/DeviceServer.h"
#include "devsim/ServedNodes.h"
#include "device/PortVariables.h"
#include "network/ProcessNetwork.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHash>

#include <csignal>
#include <cstdio>
#include <variant>

namespace {

tkl::devsim::DeviceServer *runningServer = nullptr; // for the signal handler only

extern "C" void stopOnSignal(int)
{
    if (runningServer)
        runningServer->stop();
}

void say(FILE *stream, const QString &line)
{
    std::fputs(qPrintable(line + u'\n'), stream);
    std::fflush(stream);
}

// A whole number of at least 0 from option `name`; nothing (and a message) when it is not one.
bool count(const QCommandLineParser &parser, const QString &name, int *out)
{
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    *out = parser.value(name).toInt(&ok);
    if (!ok || *out < 0) {
        say(stderr, QStringLiteral("tkldevsim: --%1 takes a whole number of at least 0, not \"%2\"")
                        .arg(name, parser.value(name)));
        return false;
    }
    return true;
}

// What the command line asks for.
struct Options
{
    QString networkPath;
    tkl::devsim::FaultOptions faults;
    QStringList serial; ///< [LINE=]PATH, as given
    bool verbose = false;
};

// The options of the command line; the exit status, after the help text or a message,
// when there is nothing to serve.
std::variant<Options, int> parseOptions()
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Printing devices that speak Modbus TCP or RTU, for tests and demonstrations.\n"
        "\n"
        "Serves every node of the network description that has a \"modbus\" endpoint on\n"
        "127.0.0.1 at the node's port. Each printer port of such a node is a block of\n"
        "holding registers at its \"base\", addressed by its \"unit\", laid out by the\n"
        "register map the program downloads with. Nodes on a serial line (\"serial\")\n"
        "speak Modbus RTU on the path --serial gives for their line. Stops cleanly on\n"
        "SIGINT or SIGTERM.\n"
        "\n"
        "The description is the file given with --network, else the one the editor\n"
        "uses: TKL_NETWORK, else network.json in the editor's configuration folder.\n"
        "\n"
        "Requests are counted per connection from 1. Exit status: 0 after a clean stop,\n"
        "1 when a node cannot listen, 2 on unusable options or description."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("network"), QStringLiteral("The network description to serve."), QStringLiteral("FILE")},
        {QStringLiteral("verbose"), QStringLiteral("Print one line per request: node, request number, unit, "
                                                   "function, address, count, the device variables it touches, "
                                                   "and the outcome.")},
        {QStringLiteral("delay-ms"), QStringLiteral("Wait N milliseconds before every reply."), QStringLiteral("N")},
        {QStringLiteral("exception-at"),
         QStringLiteral("Answer the N-th write request of a connection with exception 4 (server device failure)."),
         QStringLiteral("N")},
        {QStringLiteral("drop-at"), QStringLiteral("Close the connection on its N-th request instead of replying."),
         QStringLiteral("N")},
        {QStringLiteral("refuse"), QStringLiteral("Do not listen: every connection is refused.")},
        {QStringLiteral("idle-ms"),
         QStringLiteral("Close a connection that sends no request for N milliseconds (default 60000)."),
         QStringLiteral("N")},
        {QStringLiteral("serial"),
         QStringLiteral("Serve the serial line LINE of the description (its nodes' \"serial\") on the device PATH, "
                        "e.g. one end of a pseudo-terminal pair; LINE= may be left out when the description has one "
                        "line. Repeat for more lines."),
         QStringLiteral("[LINE=]PATH")},
    });
    if (!parser.parse(QCoreApplication::arguments())) {
        say(stderr, QStringLiteral("tkldevsim: %1 (see tkldevsim --help)").arg(parser.errorText()));
        return 2;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        say(stdout, parser.helpText().trimmed());
        return 0;
    }
    if (!parser.positionalArguments().isEmpty()) {
        say(stderr, QStringLiteral("tkldevsim: unexpected argument \"%1\" (see tkldevsim --help)")
                        .arg(parser.positionalArguments().first()));
        return 2;
    }

    Options options;
    if (!count(parser, QStringLiteral("delay-ms"), &options.faults.delayMs)
        || !count(parser, QStringLiteral("exception-at"), &options.faults.exceptionAt)
        || !count(parser, QStringLiteral("drop-at"), &options.faults.dropAt)
        || !count(parser, QStringLiteral("idle-ms"), &options.faults.idleMs))
        return 2;
    if (parser.isSet(QStringLiteral("idle-ms")) && options.faults.idleMs == 0) {
        say(stderr, QStringLiteral("tkldevsim: --idle-ms takes a whole number of at least 1, not \"0\""));
        return 2;
    }
    options.serial = parser.values(QStringLiteral("serial"));
    options.faults.refuse = parser.isSet(QStringLiteral("refuse"));
    options.verbose = parser.isSet(QStringLiteral("verbose"));
    options.networkPath = parser.isSet(QStringLiteral("network")) ? parser.value(QStringLiteral("network"))
                                                                  : tkl::ProcessNetwork::userFilePath();
    return options;
}

// One line per node: where it serves (or refuses) and its printer ports' registers.
void announce(const QList<tkl::devsim::ServedNode> &nodes, const QHash<QString, QString> &paths, bool refuse)
{
    for (const auto &node : nodes) {
        QStringList ports;
        for (const auto &p : node.ports) {
            ports << QStringLiteral("%1 (unit %2, registers %3..%4)")
                         .arg(p.name)
                         .arg(tkl::devsim::addressOf(p).unit)
                         .arg(tkl::devsim::addressOf(p).base)
                         .arg(tkl::devsim::addressOf(p).base + tkl::PortVariables::registerCount(p) - 1);
        }
        QString where;
        if (!node.isSerial())
            where = QStringLiteral("%1 127.0.0.1:%2")
                        .arg(refuse ? QStringLiteral("refuses connections on") : QStringLiteral("serves"))
                        .arg(node.tcpPort);
        else if (paths.contains(node.serial))
            where = QStringLiteral("serves serial line %1 on %2").arg(node.serial, paths.value(node.serial));
        else
            where = QStringLiteral("is on serial line %1, not served (see --serial)").arg(node.serial);
        say(stdout, QStringLiteral("tkldevsim: %1 %2: %3")
                        .arg(node.name, where, ports.isEmpty() ? QStringLiteral("no printer ports") : ports.join(u", ")));
    }
}

// The path to open for each serial line named by --serial [LINE=]PATH; a message when
// an option names no line of `nodes`.
std::variant<QHash<QString, QString>, QString> serialPaths(const QList<tkl::devsim::ServedNode> &nodes,
                                                            const QStringList &given)
{
    QStringList lines;
    for (const auto &node : nodes) {
        if (node.isSerial() && !lines.contains(node.serial))
            lines << node.serial;
    }
    QHash<QString, QString> paths;
    for (const QString &option : given) {
        const qsizetype equals = option.indexOf(u'=');
        QString line = equals < 0 ? QString() : option.left(equals);
        const QString path = equals < 0 ? option : option.mid(equals + 1);
        if (line.isEmpty()) {
            if (lines.size() != 1)
                return QStringLiteral("--serial %1: the description has %2 serial lines; say which as LINE=PATH")
                    .arg(option)
                    .arg(lines.size());
            line = lines.first();
        }
        if (!lines.contains(line))
            return QStringLiteral("--serial %1: no node of the description is on serial line \"%2\"").arg(option, line);
        if (path.isEmpty())
            return QStringLiteral("--serial %1: no path to serve the line on").arg(option);
        paths.insert(line, path);
    }
    return paths;
}

// SIGINT and SIGTERM stop `server`; a client that vanishes mid-reply is an error on
// that connection only.
void stopOnSignals(tkl::devsim::DeviceServer &server)
{
    runningServer = &server;
    struct sigaction action{};
    action.sa_handler = stopOnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // The editor's name: the same configuration folder, so the same network description.
    QCoreApplication::setApplicationName(QStringLiteral("tkledit"));

    const std::variant<Options, int> parsed = parseOptions();
    if (const int *status = std::get_if<int>(&parsed))
        return *status;
    const Options &options = std::get<Options>(parsed);

    const auto nodes = tkl::devsim::servedNodes(options.networkPath);
    if (!nodes.ok()) {
        say(stderr, QStringLiteral("tkldevsim: %1").arg(nodes.error().message));
        return 2;
    }

    const auto paths = serialPaths(*nodes, options.serial);
    if (const QString *why = std::get_if<QString>(&paths)) {
        say(stderr, QStringLiteral("tkldevsim: %1").arg(*why));
        return 2;
    }
    const auto &lines = std::get<QHash<QString, QString>>(paths);
    tkl::devsim::DeviceServer server(*nodes, options.faults, lines);
    if (options.verbose)
        server.setVerbose([](const QString &line) { say(stdout, line); });
    QString error;
    if (!server.listen(&error)) {
        say(stderr, QStringLiteral("tkldevsim: %1").arg(error));
        return 1;
    }
    announce(*nodes, lines, options.faults.refuse);

    stopOnSignals(server);
    say(stdout, QStringLiteral("tkldevsim: ready; stop with Ctrl+C"));
    server.run();
    runningServer = nullptr;
    say(stdout, QStringLiteral("tkldevsim: stopped after %1 requests").arg(server.requests()));
    return 0;
}
