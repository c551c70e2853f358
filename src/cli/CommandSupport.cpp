#include "CommandSupport.h"

#include "ExitStatus.h"
#include "LayoutCheck.h"
#include "PortLookup.h"
#include "network/ProcessNetwork.h"
#include "files/LayoutError.h"
#include "files/LayoutFile.h"
#include "files/LayoutReader.h"

#include <QFile>
#include <QRegularExpression>

#include <cstdio>

namespace tkl::cli {

std::optional<int> CommandSupport::parse(QCommandLineParser &parser, const QString &command,
                                         const QStringList &args, Console &console, const char *help)
{
    const QCommandLineOption helpOption(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    parser.addOption(helpOption);
    QStringList full{QStringLiteral("tklcli")};
    full += args;
    if (!parser.parse(full)) {
        // The parser's sentence in the style of every other message: lower case, names
        // in double quotes, no full stop.
        QString text = parser.errorText();
        if (text.endsWith(u'.'))
            text.chop(1);
        if (!text.isEmpty())
            text[0] = text[0].toLower();
        static const QRegularExpression quoted(QStringLiteral("'([^']*)'"));
        text.replace(quoted, QStringLiteral("\"\\1\""));
        fail(console, command, text + QStringLiteral(" (see tklcli %1 --help)").arg(command));
        return UnusableInput;
    }
    if (parser.isSet(helpOption)) {
        console.out << help;
        return Success;
    }
    return std::nullopt;
}

QCommandLineOption CommandSupport::portOption()
{
    return QCommandLineOption(QStringLiteral("port"), QString(), QStringLiteral("PORT"));
}

std::unique_ptr<ProcessNetwork> CommandSupport::loadNetwork(Console &console)
{
    auto loaded = ProcessNetwork::load();
    if (!loaded.ok()) {
        // The loader's text names the file; keep it to one line.
        console.message(QStringLiteral("tklcli: the network description cannot be used: %1")
                            .arg(printable(loaded.error().message.simplified())));
        return nullptr;
    }
    std::unique_ptr<ProcessNetwork> network = std::move(loaded).value();
    if (!network->storeWarning().isEmpty()) {
        warn(console, network->storeWarning());
        network->clearStoreWarning();
    }
    return network;
}

Result<LayoutData, LayoutError> CommandSupport::readLayoutArgument(const QString &path)
{
    if (path != u"-")
        return readLayoutFile(path);
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly))
        return LayoutError::general(QStringLiteral("Standard input cannot be read: %1").arg(in.errorString()));
    // A pipe has no size to refuse up front: read no more than a layout may hold, so
    // that an endless input ends in a message and not in an exhausted memory.
    QByteArray bytes;
    for (;;) {
        const QByteArray chunk = in.read(64 * 1024);
        if (chunk.isEmpty())
            break;
        bytes += chunk;
        if (bytes.size() > LayoutReader::MaxFileSize)
            return LayoutError::general(QStringLiteral("Standard input is too large for a layout (at most %1 MB)")
                                            .arg(LayoutReader::MaxFileSize / (1024 * 1024)));
    }
    if (in.error() != QFileDevice::NoError)
        return LayoutError::general(QStringLiteral("Standard input cannot be read: %1").arg(in.errorString()));
    return LayoutReader::read(QByteArrayView(bytes));
}

QString CommandSupport::layoutName(const QString &path)
{
    return path == u"-" ? QStringLiteral("<stdin>") : path;
}

void CommandSupport::reportUnreadable(const QString &path, const LayoutError &error, Console &console)
{
    CheckFinding finding = LayoutCheck::readError(error);
    finding.message = finding.message.simplified();
    console.message(printable(finding.format(layoutName(path))));
}

std::optional<LayoutData> CommandSupport::readLayout(const QString &path, Console &console)
{
    Result<LayoutData, LayoutError> result = readLayoutArgument(path);
    if (!result.ok()) {
        reportUnreadable(path, result.error(), console);
        return std::nullopt;
    }
    return std::move(result).value();
}

std::unique_ptr<ProcessNetwork> CommandSupport::loadNetworkForPort(const QString &command, const QString &port,
                                                                   Console &console)
{
    auto network = loadNetwork(console);
    if (!network)
        return network;
    if (!findPort(*network, command, port, console))
        return nullptr;
    return network;
}

std::unique_ptr<ProcessNetwork> CommandSupport::loadNetworkForPortOption(const QCommandLineParser &parser,
                                                                         const QString &command,
                                                                         const QString &noFileText, Console &console)
{
    if (!parser.positionalArguments().isEmpty()) {
        fail(console, command, QStringLiteral("takes no file; ") + noFileText);
        return nullptr;
    }
    if (!parser.isSet(QStringLiteral("port"))) {
        fail(console, command, QStringLiteral("--port is missing (see tklcli %1 --help)").arg(command));
        return nullptr;
    }
    return loadNetworkForPort(command, parser.value(QStringLiteral("port")), console);
}

const PrinterPort *CommandSupport::findPort(const ProcessNetwork &network, const QString &command, const QString &port,
                                            Console &console)
{
    QString error;
    const PrinterPort *found = PortLookup::find(network, port, &error);
    if (!found) {
        fail(console, command, error);
        return nullptr;
    }
    // Unknown is not empty: neither shown as "no ticket" nor written over. A real
    // device keeps its memory itself.
    if (!network.storeRead() && !network.endpointOf(*found)) {
        fail(console, command, QStringLiteral("what the device of port \"%1\" holds could not be read").arg(port));
        return nullptr;
    }
    return found;
}

QString CommandSupport::printable(const QString &text)
{
    // The whole text: a terminal line is not cut short as a quote in a message is.
    return LayoutError::quote(text, text.size());
}

void CommandSupport::fail(Console &console, const QString &command, const QString &text)
{
    console.message(QStringLiteral("tklcli %1: %2").arg(command, printable(text.simplified())));
}

void CommandSupport::warn(Console &console, const QString &text)
{
    console.message(QStringLiteral("tklcli: warning: %1").arg(printable(text.simplified())));
}

} // namespace tkl::cli
