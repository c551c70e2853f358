#include "Command.h"
#include "CommandSupport.h"
#include "ExitStatus.h"
#include "JsonOutput.h"
#include "LayoutCheck.h"
#include "network/ProcessNetwork.h"
#include "model/TicketModel.h"
#include "preview/DeviceDiff.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <thread>
#include <vector>

namespace tkl::cli {

namespace {

using DeviceDiff::Outcome;

constexpr char name[] = "diff";

constexpr const char help[] =
    "Usage: tklcli diff [--format FORMAT] LAYOUT --port PORT [--port PORT ...]\n"
    "\n"
    "Tells whether the printer device of each PORT holds exactly what a download\n"
    "of LAYOUT would leave in it: every variable the download writes is read from\n"
    "the device and compared. A real device must also have finished its last\n"
    "download and hold the layout's checksum; the registers are read all the same,\n"
    "so that one changed behind the program's back is found whatever the checksum\n"
    "says. What a download leaves alone (the members of an element that is no\n"
    "field, the ticket entries beyond the line count) is not compared.\n"
    "\n"
    "One line per port, in the order given:\n"
    "  Printer7: holds this layout\n"
    "  Printer7: differs: line 4 text, field 2 Chars 9 \u2192 7, start code\n"
    "  Printer7: the last download to it did not finish\n"
    "  Printer7: holds no ticket\n"
    "The ports are read at the same time, each real device over a connection of\n"
    "its own (the simulated ports one after another).\n"
    "\n"
    "Exit status:\n"
    "  0  every device holds the layout\n"
    "  1  a device holds something else, its last download did not finish, it\n"
    "     holds no ticket, or it could not be read\n"
    "  2  bad options, the layout cannot be read or breaks a rule of a port's\n"
    "     device, the network cannot be used, or a PORT is not a printer port or\n"
    "     is named twice\n"
    "\n"
    "Options:\n"
    "  --port PORT      the printer port, e.g. Printer1; may be given several times\n"
    "  --format FORMAT  text (the default) or json: one object a line, a port each:\n"
    "                   port, holds (true or false), state (holds, differs,\n"
    "                   unfinished, noTicket or unreadable), differences (each\n"
    "                   {what, layout, device}) and error where there is one\n"
    "  -h, --help       this text\n";

QList<QCommandLineOption> options()
{
    return {CommandSupport::portOption(), JsonOutput::formatOption()};
}

QJsonValue jsonValue(const QVariant &v)
{
    if (!v.isValid())
        return QJsonValue();
    switch (v.metaType().id()) {
    case QMetaType::Bool: return v.toBool();
    case QMetaType::QString: return v.toString();
    default: return double(v.toLongLong());
    }
}

QString stateName(Outcome::Kind kind)
{
    switch (kind) {
    case Outcome::Kind::Holds: return QStringLiteral("holds");
    case Outcome::Kind::Differs: return QStringLiteral("differs");
    case Outcome::Kind::Unfinished: return QStringLiteral("unfinished");
    case Outcome::Kind::NoTicket: return QStringLiteral("noTicket");
    case Outcome::Kind::Unreadable: return QStringLiteral("unreadable");
    case Outcome::Kind::Unusable: return QStringLiteral("unusable");
    }
    return {};
}

QByteArray json(const QString &port, const Outcome &o)
{
    QJsonArray differences;
    for (const DeviceDiff::Difference &d : o.differences) {
        differences.append(QJsonObject{{QStringLiteral("what"), d.what},
                                       {QStringLiteral("layout"), jsonValue(d.layout)},
                                       {QStringLiteral("device"), jsonValue(d.device)}});
    }
    QJsonObject object{{QStringLiteral("port"), port},
                       {QStringLiteral("holds"), o.kind == Outcome::Kind::Holds},
                       {QStringLiteral("state"), stateName(o.kind)},
                       {QStringLiteral("differences"), differences}};
    if (!o.error.isEmpty())
        object.insert(QStringLiteral("error"), o.error);
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

QString text(const QString &port, const Outcome &o)
{
    const QString p = CommandSupport::printable(port) + QStringLiteral(": ");
    switch (o.kind) {
    case Outcome::Kind::Holds: return p + QStringLiteral("holds this layout");
    case Outcome::Kind::Unfinished: return p + QStringLiteral("the last download to it did not finish");
    case Outcome::Kind::NoTicket: return p + QStringLiteral("holds no ticket");
    case Outcome::Kind::Unreadable:
    case Outcome::Kind::Unusable: return p + CommandSupport::printable(o.error);
    case Outcome::Kind::Differs: break;
    }
    QStringList what;
    for (const DeviceDiff::Difference &d : o.differences)
        what << CommandSupport::printable(DeviceDiff::describe(d));
    return p + QStringLiteral("differs: ") + what.join(QStringLiteral(", "));
}

// Every port compared; real devices at once, each on a thread of its own, the simulated
// ones (which share the network object) on this thread meanwhile.
std::vector<Outcome> compareAll(ProcessNetwork &network, const TicketModel &model, const QStringList &lines,
                                const QStringList &ports)
{
    std::vector<Outcome> outcomes(std::size_t(ports.size()));
    std::vector<std::thread> threads;
    for (qsizetype i = 0; i < ports.size(); ++i) {
        const PrinterPort &port = *network.findPort(ports.at(i));
        if (network.endpointOf(port)) {
            threads.emplace_back([&, i, p = &port] { outcomes[std::size_t(i)] = DeviceDiff::compare(network, model, lines, *p); });
        }
    }
    for (qsizetype i = 0; i < ports.size(); ++i) {
        const PrinterPort &port = *network.findPort(ports.at(i));
        if (!network.endpointOf(port))
            outcomes[std::size_t(i)] = DeviceDiff::compare(network, model, lines, port);
    }
    for (std::thread &t : threads)
        t.join();
    return outcomes;
}

int run(const QCommandLineParser &parser, Console &console)
{
    const QString command = QLatin1String(name);
    const std::optional<bool> asJson = JsonOutput::wantsJson(parser, command, console);
    if (!asJson)
        return UnusableInput;
    const QStringList files = parser.positionalArguments();
    if (files.size() != 1 || !parser.isSet(QStringLiteral("port"))) {
        CommandSupport::fail(console, command,
                             QStringLiteral("give one layout file and at least one --port (see tklcli diff --help)"));
        return UnusableInput;
    }
    QStringList ports = parser.values(QStringLiteral("port"));
    if (ports.removeDuplicates() != 0) {
        CommandSupport::fail(console, command, QStringLiteral("a port is named twice"));
        return UnusableInput;
    }
    const auto layout = CommandSupport::readLayout(files.first(), console);
    if (!layout)
        return UnusableInput;
    const auto network = CommandSupport::loadNetworkForPort(command, ports.first(), console);
    if (!network)
        return UnusableInput;
    for (const QString &port : ports.mid(1)) {
        if (!CommandSupport::findPort(*network, command, port, console))
            return UnusableInput;
    }

    TicketModel model;
    layout->applyTo(model);
    const QStringList lines = LayoutCheck::textLines(layout->text);
    const std::vector<Outcome> outcomes = compareAll(*network, model, lines, ports);

    int status = Success;
    for (qsizetype i = 0; i < ports.size(); ++i) {
        const Outcome &o = outcomes.at(std::size_t(i));
        if (o.kind == Outcome::Kind::Unusable) {
            CommandSupport::fail(console, command, text(ports.at(i), o));
            status = UnusableInput;
            continue;
        }
        if (o.kind != Outcome::Kind::Holds && status == Success)
            status = ProblemsFound;
        if (*asJson)
            console.out << json(ports.at(i), o);
        else
            console.out << text(ports.at(i), o) << '\n';
    }
    console.out.flush();
    return status;
}

} // namespace

const Command diffCommand{name, "LAYOUT --port P", "whether the device of port P holds exactly LAYOUT", help, options,
                          run};

} // namespace tkl::cli
