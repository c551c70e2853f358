#include "PreviewCommand.h"

#include "CommandSupport.h"
#include "ExitStatus.h"
#include "device/ProcessNetwork.h"
#include "preview/DeviceLayout.h"
#include "preview/TicketRenderer.h"
#include "preview/ValuesFile.h"

namespace tkl::cli {

const char *PreviewCommand::help()
{
    return "Usage: tklcli preview [options] LAYOUT\n"
           "       tklcli preview [options] --port PORT\n"
           "\n"
           "Prints the ticket as the device prints it: the text lines with every defined\n"
           "field's value written into its cells, right-aligned with the field's decimals\n"
           "(rounded half away from zero, a minus sign taking a cell). A value that does\n"
           "not fit fills the field with \"*\", a variable without a value with \"?\".\n"
           "The ticket is that of a layout file, or the one the device of PORT holds.\n"
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
}

int PreviewCommand::run(const QStringList &args, Console &console)
{
    const QString command = QStringLiteral("preview");
    QCommandLineParser parser;
    const QCommandLineOption portOption(QStringLiteral("port"), QString(), QStringLiteral("PORT"));
    const QCommandLineOption valuesOption(QStringLiteral("values"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption noCodesOption(QStringLiteral("no-codes"));
    parser.addOption(portOption);
    parser.addOption(valuesOption);
    parser.addOption(noCodesOption);
    if (const auto done = CommandSupport::parse(parser, command, args, console, help()))
        return *done;
    const QStringList files = parser.positionalArguments();
    const bool fromPort = parser.isSet(portOption);
    if (fromPort == !files.isEmpty() || files.size() > 1) {
        CommandSupport::fail(console, command,
                             QStringLiteral("give either one layout file or --port (see tklcli preview --help)"));
        return UnusableInput;
    }

    // Everything that can be refused is looked at before anything is printed.
    std::optional<ValuesFile> valuesFile;
    if (parser.isSet(valuesOption)) {
        valuesFile = ValuesFile::read(parser.value(valuesOption));
        if (!valuesFile->ok()) {
            // Parse errors name the line only; read errors name the file already.
            const QString text = valuesFile->errorLine > 0
                ? parser.value(valuesOption) + QStringLiteral(": ") + valuesFile->error
                : valuesFile->error;
            CommandSupport::fail(console, command, text);
            return UnusableInput;
        }
    }

    std::optional<LayoutData> layout;
    std::unique_ptr<ProcessNetwork> network;
    bool partial = false;
    if (fromPort) {
        const QString port = parser.value(portOption);
        network = CommandSupport::loadNetworkForPort(command, port, console);
        if (!network)
            return UnusableInput;
        QString error;
        layout = layoutFromDevice(*network, port, &error);
        if (!layout) {
            CommandSupport::fail(console, command, error);
            return ProblemsFound;
        }
        partial = network->lastDownloadUnfinished(port);
    } else {
        layout = CommandSupport::readLayout(files.first(), console);
        if (!layout)
            return UnusableInput;
        network = CommandSupport::loadNetwork(console);
        if (!network)
            return UnusableInput;
    }

    const ValueSource values = valuesFile ? fixedValues(valuesFile->values)
                                          : networkValues(*network, ProcessNetwork::networkTime());
    const RenderedTicket ticket = renderTicket(*layout, values);

    QTextStream &out = console.out;
    for (const QString &line : showTicket(ticket, !parser.isSet(noCodesOption)).lines)
        out << line << '\n';
    out.flush();

    bool problems = partial;
    if (partial) {
        CommandSupport::fail(console, command, QStringLiteral("the last download to this port did not finish; "
                                                              "shown is what it wrote before it stopped"));
    }
    for (const RenderedField &f : ticket.fields) {
        QString what;
        if (f.missing)
            what = QStringLiteral("no value for %1, shown as ?").arg(CommandSupport::printable(f.varName));
        else if (f.overflow)
            what = QStringLiteral("%1 = %2 does not fit in %3 cell(s), shown as *")
                       .arg(CommandSupport::printable(f.varName))
                       .arg(f.value.value_or(0), 0, 'g', 15)
                       .arg(f.chars);
        if (f.clipped) {
            what += QStringLiteral("%1partly off the ticket (line %2, column %3), not all of it printed")
                        .arg(what.isEmpty() ? QString() : QStringLiteral("; "))
                        .arg(f.line + 1)
                        .arg(f.column);
        }
        if (!what.isEmpty()) {
            console.message(QStringLiteral("UpdateBox %1: %2").arg(f.slot).arg(what));
            problems = true;
        }
    }
    return problems ? ProblemsFound : Success;
}

} // namespace tkl::cli
