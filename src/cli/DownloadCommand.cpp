#include "DownloadCommand.h"

#include "CommandSupport.h"
#include "ExitStatus.h"
#include "LayoutCheck.h"
#include "TerminalProgress.h"
#include "WriteFormat.h"
#include "device/AutomationFactory.h"
#include "device/ProcessNetwork.h"
#include "device/TicketDownload.h"
#include "model/TicketModel.h"

namespace tkl::cli {

namespace {

void failure(Console &console, const QString &command, const DownloadResult &result)
{
    if (result.status == DownloadResult::Status::Rejected) {
        CommandSupport::fail(console, command,
                             QStringLiteral("refused before the first write, the device was not touched: %1: %2")
                                 .arg(WriteFormat::escaped(result.failedName), WriteFormat::escaped(result.errorString)));
        return;
    }
    const QString where = result.failedName.isEmpty()
        ? QStringLiteral("before the first write")
        : QStringLiteral("at %1 after %2 writes").arg(WriteFormat::escaped(result.failedName)).arg(result.writesDone);
    CommandSupport::fail(console, command,
                         QStringLiteral("failed %1: %2").arg(where, WriteFormat::escaped(result.errorString)));
}

} // namespace

const char *DownloadCommand::help()
{
    return "Usage: tklcli download [options] LAYOUT --port PORT\n"
           "\n"
           "Writes the layout into the printer device of PORT with the editor's download:\n"
           "every field slot cleared, the defined fields, the line count, the ticket lines\n"
           "and the printer start and stop codes.\n"
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
           "one is refused with that error and nothing is written.\n"
           "\n"
           "Exit status:\n"
           "  0  downloaded\n"
           "  1  the layout breaks a rule of the device (nothing written), the download\n"
           "     failed at a write or at the read-back, or the device store could not\n"
           "     keep what was written\n"
           "  2  bad options, the layout cannot be read, the network cannot be used, or\n"
           "     PORT is not a printer port of the network\n"
           "\n"
           "Options:\n"
           "  --port PORT     the printer port, e.g. Printer1\n"
           "  --print-writes  every device write on standard output, in order, one line\n"
           "                  each: NAME<TAB>TYPE<TAB>VALUE, TYPE one of bool, u8, i16,\n"
           "                  string; Booleans true/false, numbers in decimal, strings\n"
           "                  with \\\\ \\r \\n \\t and \\xHH escapes for characters below 32\n"
           "  -h, --help      this text\n";
}

int DownloadCommand::run(const QStringList &args, Console &console)
{
    const QString command = QStringLiteral("download");
    QCommandLineParser parser;
    const QCommandLineOption portOption(QStringLiteral("port"), QString(), QStringLiteral("PORT"));
    const QCommandLineOption printOption(QStringLiteral("print-writes"));
    parser.addOption(portOption);
    parser.addOption(printOption);
    if (const auto done = CommandSupport::parse(parser, command, args, console, help()))
        return *done;
    const QStringList files = parser.positionalArguments();
    if (files.size() != 1) {
        CommandSupport::fail(console, command,
                             files.isEmpty() ? QStringLiteral("no layout file given (see tklcli download --help)")
                                             : QStringLiteral("one layout file at a time"));
        return UnusableInput;
    }
    if (!parser.isSet(portOption)) {
        CommandSupport::fail(console, command, QStringLiteral("--port is missing (see tklcli download --help)"));
        return UnusableInput;
    }
    const QString portName = parser.value(portOption);

    const auto layout = CommandSupport::readLayout(files.first(), console);
    if (!layout)
        return UnusableInput;
    const auto network = CommandSupport::loadNetworkForPort(command, portName, console);
    if (!network)
        return UnusableInput;

    TicketModel model;
    layout->applyTo(model);
    const QStringList lines = LayoutCheck::textLines(layout->text);
    model.TicketLines = qint16(std::min<qsizetype>(lines.size(), 32767));

    AutomationFactory factory(*network);
    TicketDownload download(factory);
    TerminalProgress progress(console.errFile);
    TicketDownload::Callbacks callbacks;
    callbacks.progress = [&progress](double percent) { progress.update(percent); };
    network->clearWriteLog();
    const DownloadResult result = download.run(model, lines, portName, callbacks);
    if (result.ok())
        progress.update(100);
    progress.finish();

    if (parser.isSet(printOption)) {
        for (const WriteRecord &write : network->writeLog())
            console.out << WriteFormat::line(write) << '\n';
        console.out.flush();
    }

    if (result.ok())
        console.message(QStringLiteral("%1 writes to %2").arg(result.writesDone).arg(portName));
    else
        failure(console, command, result);
    // The device's memory lives in the store: a ticket it could not keep there is gone
    // when this process ends, so that is no success.
    if (!network->storeWarning().isEmpty()) {
        CommandSupport::warn(console, network->storeWarning());
        return ProblemsFound;
    }
    return result.ok() ? Success : ProblemsFound;
}

} // namespace tkl::cli
