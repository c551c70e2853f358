#include "CommandSupport.h"

#include "LayoutCheck.h"
#include "device/ProcessNetwork.h"
#include "files/LayoutFile.h"

namespace tkl::cli {

bool CommandSupport::parse(QCommandLineParser &parser, const QString &command, const QStringList &args,
                           Console &console, bool *help)
{
    const QCommandLineOption helpOption(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    parser.addOption(helpOption);
    QStringList full{QStringLiteral("tklcli")};
    full += args;
    if (!parser.parse(full)) {
        fail(console, command, parser.errorText() + QStringLiteral(" (see tklcli %1 --help)").arg(command));
        return false;
    }
    *help = parser.isSet(helpOption);
    return true;
}

std::unique_ptr<ProcessNetwork> CommandSupport::loadNetwork(Console &console)
{
    QString error;
    auto network = ProcessNetwork::load(&error);
    if (!network) {
        // The loader's text names the file; keep it to one line.
        console.message(QStringLiteral("tklcli: the network description cannot be used: %1")
                            .arg(error.simplified()));
    }
    return network;
}

std::optional<LayoutData> CommandSupport::readLayout(const QString &path, Console &console)
{
    LayoutReadResult result = readLayoutFile(path);
    if (!result) {
        CheckFinding finding = LayoutCheck::readError(result.error);
        finding.message = finding.message.simplified();
        console.message(finding.format(path));
        return std::nullopt;
    }
    return std::move(result.layout);
}

void CommandSupport::fail(Console &console, const QString &command, const QString &text)
{
    console.message(QStringLiteral("tklcli %1: %2").arg(command, text.simplified()));
}

} // namespace tkl::cli
