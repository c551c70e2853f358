#include "Command.h"
#include "CommandSupport.h"
#include "ExitStatus.h"
#include "network/ProcessNetwork.h"
#include "files/LayoutWriter.h"
#include "model/WholeFileSave.h"
#include "preview/DeviceLayout.h"

#include <QFile>

namespace tkl::cli {

namespace {

constexpr char name[] = "upload";

constexpr const char help[] =
    "Usage: tklcli upload --port PORT [-o FILE] [--force]\n"
    "\n"
    "Reads what the printer device of PORT holds and writes it as a layout file:\n"
    "its fields, ticket lines and printer codes, so that downloading the file to\n"
    "PORT again writes exactly what the device holds. The file goes to standard\n"
    "output, or to FILE (replaced only once all of it is written).\n"
    "\n"
    "A device does not keep the editor window's width and height: the file has\n"
    "those of a new layout (5260 and 3155 twips). A printer code the device holds\n"
    "as a lone CR (what a download sends for no code) is an empty code again.\n"
    "\n"
    "A device whose last download did not finish, or that holds no ticket, is\n"
    "refused with the words `tklcli show` uses; with --force what it holds is\n"
    "written all the same and the warning stays on standard error.\n"
    "\n"
    "Exit status:\n"
    "  0  written\n"
    "  1  the device holds no ticket or only part of one (nothing written without\n"
    "     --force), or reading the real device failed\n"
    "  2  bad options, the network cannot be used, PORT is not a printer port, or\n"
    "     FILE cannot be written\n"
    "\n"
    "Options:\n"
    "  --port PORT      the printer port, e.g. Printer1\n"
    "  -o, --output FILE  the layout file to write; standard output without it\n"
    "  --force          write what a device whose download did not finish holds\n"
    "  -h, --help       this text\n";

QList<QCommandLineOption> options()
{
    return {CommandSupport::portOption(),
            QCommandLineOption({QStringLiteral("o"), QStringLiteral("output")}, QString(), QStringLiteral("FILE")),
            QCommandLineOption(QStringLiteral("force"))};
}

// Writes `bytes` to FILE or standard output; the exit status.
int put(const QCommandLineParser &parser, const QString &command, Console &console, const QByteArray &bytes)
{
    if (!parser.isSet(QStringLiteral("output"))) {
        console.out.flush();
        QFile out;
        if (!out.open(stdout, QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.flush()) {
            CommandSupport::fail(console, command, QStringLiteral("cannot write the layout to standard output"));
            return ProblemsFound;
        }
        return Success;
    }
    const QString path = parser.value(QStringLiteral("output"));
    const Result<void> saved = saveWholeFile(path, bytes);
    if (!saved.ok()) {
        CommandSupport::fail(console, command, saved.error().message);
        return UnusableInput;
    }
    return Success;
}

int run(const QCommandLineParser &parser, Console &console)
{
    const QString command = QLatin1String(name);
    const auto network = CommandSupport::loadNetworkForPortOption(
        parser, command, QStringLiteral("the file to write is given with -o"), console);
    if (!network)
        return UnusableInput;
    const QString port = parser.value(QStringLiteral("port"));
    QString error;
    const auto ticket = ticketFromDevice(*network, port, &error);
    if (!ticket) {
        CommandSupport::fail(console, command, error);
        return ProblemsFound;
    }
    const bool force = parser.isSet(QStringLiteral("force"));
    if (!ticket->finished()) {
        const QString note = QStringLiteral("The last download to %1 did not finish: this is what it wrote before it "
                                            "stopped")
                                 .arg(CommandSupport::printable(port));
        if (!force) {
            CommandSupport::fail(console, command, note + QStringLiteral("; nothing written (--force writes it)"));
            return ProblemsFound;
        }
        CommandSupport::warn(console, note);
    }
    const auto bytes = LayoutWriter::toBytes(uploadedLayout(*ticket));
    if (!bytes.ok()) {
        CommandSupport::fail(console, command, bytes.error().message);
        return ProblemsFound;
    }
    return put(parser, command, console, bytes.value());
}

} // namespace

const Command uploadCommand{name, "--port P [-o FILE]", "the ticket the device of port P holds, as a layout file",
                            help, options, run};

} // namespace tkl::cli
