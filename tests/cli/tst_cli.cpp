// The command-line tool, run as a separate process the way operators run it: its
// arguments, exit statuses, what goes to standard output and what to standard error, and
// the device store one run leaves to the next. What `check` finds is tested in-process
// (tst_check.cpp).

#include "files/LayoutData.h"
#include "files/LayoutLines.h"
#include "files/LayoutWriter.h"
#include "support/ToolProcess.h"

#include <QDir>
#include <QTest>

#include <sys/stat.h>

#include <algorithm>
#include <functional>

using namespace tkl;
using namespace tkl::test;

namespace {

// Two bound variables, a port with a name no terminal should see raw, a port that stores
// few lines (to make a download fail) and a real device nobody answers for.
const QByteArray cliNetwork = R"({
  "nodes": [
    { "name": "Scale1", "address": "NET1.ST03", "capabilities": "17 weighing terminal",
      "variables": [
        { "name": "NetWeight", "internalAddress": 120, "offset": 0, "subDataType": 4, "bitNo": 0,
          "simulation": { "fixed": 1234.56 } },
        { "name": "Tare", "internalAddress": 122, "offset": 8, "subDataType": 4, "bitNo": 2,
          "simulation": { "fixed": -12.5 } } ] },
    { "name": "PrinterModule", "address": "NET1.ST07", "capabilities": "65 ticket printer", "variables": [] },
    { "name": "Far", "address": "NET1.ST09", "capabilities": "65 ticket printer", "variables": [],
      "modbus": { "host": "127.0.0.1", "port": 1, "timeoutMs": 300 } },
    { "name": "Bus", "address": "NET1.ST11", "capabilities": "65 ticket printer", "variables": [],
      "modbus": { "serial": "/dev/ttyTKL0", "baud": 9600, "parity": "N" } } ],
  "ports": [
    { "name": "Printer1", "node": "PrinterModule" },
    { "name": "Odd\u001b[2J", "node": "PrinterModule" },
    { "name": "Small", "node": "PrinterModule", "ticketLines": 1 },
    { "name": "Remote", "node": "Far", "modbus": { "unit": 1, "base": 0 } },
    { "name": "Wired", "node": "Bus", "modbus": { "unit": 2, "base": 0 } } ]
})";

// What a download that stopped after the first field's name leaves in the device of Small.
const QByteArray partialStore = R"({"version": 1, "ports": {"Small": {
    "Small.UpdateArr[1].DataIn": true, "Small.UpdateArr[1].VarName": "Scale1.NetWeight",
    "Small.UpdateArr[2].DataIn": false, "Small.downloadFinished": false}}})";

QStringList lines(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes).split(u'\n', Qt::SkipEmptyParts);
}

// 40 characters per line, three text lines, slot 1 bound to Scale1.NetWeight as
// binding it now would store, slot 2 to Scale1.Tare.
LayoutData cleanLayout()
{
    LayoutData layout;
    layout.EditorWidth = 5170;
    layout.TicketLines = 3;
    layout.text = QStringLiteral("WEIGHT TICKET\r\nNet:           kg\r\nTare:          kg");
    layout.UpdateBoxes[1] = UpdateBox{QStringLiteral("Scale1.NetWeight"), 3, 120, 0, 4, 0, 17, 0, 9, 2, true, 1, 6};
    layout.UpdateBoxes[2] = UpdateBox{QStringLiteral("Scale1.Tare"), 3, 122, 8, 4, 2, 17, 0, 9, 1, true, 2, 6};
    layout.BoxLoaded[1] = layout.BoxLoaded[2] = 1;
    layout.StartCode = QStringLiteral("[27]@");
    return layout;
}

// The tool with a private network description and device store.
class CliRunner : public ToolFolder
{
public:
    CliRunner()
    {
        LayoutData warn = cleanLayout();
        warn.UpdateBoxes[1].Pos = 39;
        writeFile(networkPath(), cliNetwork);
        writeLayout(QStringLiteral("ticket.txt"), cleanLayout());
        writeLayout(QStringLiteral("warn.txt"), warn);
        writeFile(path(QStringLiteral("bad.txt")), "5170\r\n3155\r\nthree\r\n");
        writeFile(path(QStringLiteral("values.txt")), "# values\nScale1.Tare = 3\nScale1.NetWeight 12\n");
    }

    QString writeLayout(const QString &name, const LayoutData &layout) const
    {
        writeFile(path(name), LayoutWriter::toBytes(layout).value());
        return path(name);
    }

    // @layout, @warn, @bad, @missing, @values and @odd (a missing file with control
    // characters in its name) stand for files of this run.
    QString files(QString text) const
    {
        const char *files[][2] = {{"@layout", "ticket.txt"}, {"@warn", "warn.txt"}, {"@bad", "bad.txt"},
                                  {"@missing", "missing.txt"}, {"@values", "values.txt"},
                                  {"@odd", "odd\x1b[2J\nname.txt"}};
        for (const auto &f : files)
            text.replace(QLatin1String(f[0]), path(QString::fromUtf8(f[1])));
        return text;
    }

    ToolRun run(QStringList args, const std::function<void()> &childSetup = {}) const
    {
        for (QString &a : args)
            a = files(a);
        return ToolFolder::run(QStringLiteral(TKLCLI_PATH), args, childSetup);
    }
};

using Setup = std::function<void(CliRunner &)>;

// The file `name` of the run made a named pipe, which would block a reader.
Setup fifo(const char *name)
{
    return [name](const CliRunner &cli) {
        QFile::remove(cli.path(QString::fromUtf8(name)));
        QCOMPARE(mkfifo(QFile::encodeName(cli.path(QString::fromUtf8(name))).constData(), 0600), 0);
    };
}

// Standard input from the file `name` of the run.
Setup input(const char *name)
{
    return [name](CliRunner &cli) { cli.setInput(cli.path(QString::fromUtf8(name))); };
}

Setup store(const QByteArray &bytes)
{
    return [bytes](const CliRunner &cli) { writeFile(cli.storePath(), bytes); };
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void runs_data();
    void runs();
    void printWritesGolden();
    void downloadShowPreviewRoundTrip();
    void deviceStoreKeptOnFailure();
};

// Exit statuses, and what a run says on each stream ("": nothing). Unusable input
// (status 2) is said in one line, after any warnings.
void TestCli::runs_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::addColumn<Setup>("setup");
    auto row = [](const char *name, const QStringList &args, int status, const QString &out, const QString &err,
                  Setup setup = {}) { QTest::newRow(name) << args << status << out << err << setup; };
    const int pos1 = LayoutLines::memberLine(1, LayoutLines::Member::Pos);
    const QString past = QStringLiteral("UpdateBox 1 ends in column 47, past the right edge of the ticket (40 characters per line)");
    // Findings go to standard output, each file's own, the finding's file line in front.
    row("check: clean", {"check", "--port", "Printer1", "@layout", "@layout"}, 0, "", "");
    row("check: a warning in the second", {"check", "--port", "Printer1", "@layout", "@warn"}, 1,
        QStringLiteral("@warn:%1: warning: %2\n").arg(pos1).arg(past), "");
    row("check: every port, one holds too few lines", {"check", "@layout"}, 1,
        "error: Small.lines: the ticket has 3 lines; port Small holds at most 1", "");
    // What is wrong inside a file is a finding; a file that cannot be used at all, a diagnostic.
    row("check: json", {"check", "--format", "json", "--port", "Printer1", "@warn", "@missing"}, 1,
        QStringLiteral(R"({"file":"@warn","kind":"edge","line":%1,"message":"%2","severity":"warning","slot":1})"
                       "\n").arg(pos1).arg(past),
        "@missing: error: The file \"@missing\" does not exist\n");
    row("check: json, an error's field and port", {"check", "--format", "json", "--port", "Small", "@layout"}, 1,
        R"(ticket line 2; port Small takes 1 to 1","port":"Small","severity":"error","slot":1})", "");
    row("check: json, an error of no field", {"check", "--format", "json", "--port", "Small", "@layout"}, 1,
        R"(holds at most 1","port":"Small","severity":"error"})", "");
    row("check: json, no layout", {"check", "--format", "json", "@bad"}, 2,
        R"({"file":"@bad","kind":"format","line":3,)", "");
    row("check: one unreadable among readable", {"check", "--port", "Printer1", "@layout", "@bad"}, 1, "@bad:3: error: ", "");
    row("check: odd file name", {"check", "@odd"}, 2, "", "odd[27][2J[10]name.txt: error: The file \"");
    row("check: none readable", {"check", "@bad", "@missing"}, 2, "@bad:3: error: ",
        "@missing: error: The file \"@missing\" does not exist");
    row("check: standard input", {"check", "--port", "Printer1", "-"}, 1,
        QStringLiteral("<stdin>:%1: warning: %2\n").arg(pos1).arg(past), "", input("warn.txt"));
    row("check: unknown port", {"check", "--port", "Printer9", "@layout"}, 2, "",
        "tklcli check: the network has no printer port \"Printer9\" (printer ports: Printer1, Odd[27][2J, Small, Remote, Wired)\n");
    row("check: unknown option", {"check", "--fast", "@layout"}, 2, "",
        "tklcli check: unknown option \"fast\" (see tklcli check --help)\n");
    row("check: unknown format", {"check", "--format=xml", "@layout"}, 2, "",
        "tklcli check: --format is \"text\" or \"json\", not \"xml\"\n");
    row("check: network description a pipe", {"check", "@layout"}, 2, "", "pipe or device", fifo("network.json"));
    row("download: the device refuses", {"download", "@layout", "--port", "Small"}, 1, "",
        "tklcli download: refused before the first write, the device was not touched: Small.UpdateArr[1].Linie: "
        "UpdateBox 1: Linie 1 is ticket line 2; port Small takes 1 to 1\n");
    // Warnings are told and the download goes on; --strict refuses on any finding, of
    // every port named, before anything is written (--print-writes would show it).
    row("download: a warning told", {"download", "@warn", "--port", "Printer1"}, 0, "",
        QStringLiteral("@warn:%1: warning: %2\n").arg(pos1).arg(past));
    row("download --strict: a warning", {"download", "@warn", "--port", "Printer1", "--strict", "--print-writes"}, 1,
        "", QStringLiteral("@warn:%1: warning: %2\ntklcli download: --strict: the layout has 1 finding(s); "
                           "nothing was written\n").arg(pos1).arg(past));
    row("download --strict: an error of the second port",
        {"download", "@layout", "--port", "Printer1", "--port", "Small", "--strict", "--print-writes"}, 1, "",
        "error: Small.lines: the ticket has 3 lines; port Small holds at most 1\ntklcli download: --strict");
    row("download --strict: nothing found", {"download", "@layout", "--port", "Printer1", "--strict"}, 0, "",
        "writes to Printer1\n");
    row("download: no port", {"download", "@layout"}, 2, "", "tklcli download: --port is missing");
    row("download: a port named twice", {"download", "@layout", "--port", "Printer1", "--port", "Printer1"}, 2, "",
        "tklcli download: the port \"Printer1\" is named twice\n");
    row("download: standard input", {"download", "-", "--port", "Printer1"}, 0, "", " writes to Printer1\n",
        input("ticket.txt"));
    row("download: directory", {"download", "/tmp", "--port", "Printer1"}, 2, "", "is a folder");
    row("download: odd file name", {"download", "@odd", "--port", "Printer1"}, 2, "", "odd[27][2J[10]name.txt");
    row("download: device store a folder", {"download", "@layout", "--port", "Printer1"}, 2, "",
        "tklcli download: what the device of port \"Printer1\" holds could not be read\n",
        [](const CliRunner &cli) { QVERIFY(QDir().mkpath(cli.storePath())); });
    row("preview: binary junk larger than a layout", {"preview", TKLCLI_PATH}, 2, "",
        "error: The file is too large for a layout");
    row("preview: node as port", {"preview", "--port", "Scale1"}, 2, "", "\"Scale1\" is a network node, not a printer port");
    row("preview: values file malformed", {"preview", "@layout", "--values", "@values"}, 2, "", "line 3");
    row("preview: values file a pipe", {"preview", "@layout", "--values", "@values"}, 2, "", "pipe or device",
        fifo("values.txt"));
    row("preview: part of a ticket", {"preview", "--port", "Small"}, 1, "<start: CR>\n",
        "tklcli preview: the last download to this port did not finish", store(partialStore));
    row("show: help", {"show", "--help"}, 0, "lastDownloadFinished", "");
    row("ports: simulated, a real device and a serial line", {"ports"}, 0,
        "Printer1  node PrinterModule, simulated, 30 fields, 100 lines of 255 characters\n"
        "Odd[27][2J  node PrinterModule, simulated, 30 fields, 100 lines of 255 characters\n"
        "Small  node PrinterModule, simulated, 30 fields, 1 lines of 255 characters\n"
        "Remote  node Far, Modbus TCP, 30 fields, 100 lines of 255 characters, 127.0.0.1:1, unit 1, register 0\n"
        "Wired  node Bus, Modbus RTU, 30 fields, 100 lines of 255 characters, /dev/ttyTKL0 9600 8N1, unit 2, register 0\n", "");
    row("ports: json, a serial line", {"ports", "--format", "json"}, 0,
        R"("endpoint":"/dev/ttyTKL0","kind":"modbus-rtu","node":"Bus","port":"Wired",)", "");
    row("ports: json", {"ports", "--format", "json"}, 0,
        R"({"kind":"simulated","node":"PrinterModule","port":"Small","stringLength":255,"ticketLines":1,"updateElements":30})"
        "\n", "");
    row("ports: json, a real device", {"ports", "--format", "json"}, 0,
        R"({"base":0,"endpoint":"127.0.0.1:1","kind":"modbus-tcp","node":"Far","port":"Remote","stringLength":255,)", "");
    row("show: empty port", {"show", "--port", ""}, 2, "", "tklcli show: the port name is empty");
    row("show: device variable as port", {"show", "--port", "Printer1.lines"}, 2, "", "inside a printer device");
    row("show: device store a pipe", {"show", "--port", "Printer1"}, 2, "", "pipe or device", fifo("devices.json"));
    row("show: no ticket", {"show", "--port", "Small"}, 1, "", "tklcli show: Port \"Small\" holds no ticket\n");
    row("show: json, no ticket", {"show", "--port", "Small", "--format", "json"}, 1,
        "{\"checksum\":null,\"downloadState\":0,\"holdsTicket\":false,\"port\":\"Small\"}\n", "");
    // A damaged store is set aside (how: the store's own test); the device starts empty.
    row("show: damaged store", {"show", "--port", "Printer1"}, 1, "",
        "tklcli: warning: ", store("{ \"version\": 1, \"ports\": "));
    row("show: part of a ticket", {"show", "--port", "Small"}, 1,
        "line(s).\nThe last download to it did not finish: this is what it wrote before it stopped.\n"
        "\nFields:\n  UpdateArr[1] Scale1.NetWeight\n", "", store(partialStore));
    row("show: json, part of a ticket", {"show", "--port", "Small", "--format", "json"}, 1,
        "\"lastDownloadFinished\":false", "", store(partialStore));
    // A real device that cannot be reached holds nothing we know of: a diagnostic, no object.
    row("show: json, real device unreachable", {"show", "--port", "Remote", "--format", "json"}, 1, "",
        "tklcli show: Reading Remote.Download.state");
    row("no command", {}, 2, "", "Usage: tklcli COMMAND");
    row("unknown command", {"print"}, 2, "", "tklcli: unknown command \"print\" (see tklcli --help)\n");
    row("help", {"--help"}, 0, "Usage: tklcli COMMAND", "");
    row("help of a command", {"download", "--help"}, 0, "Usage: tklcli download", "");
    row("help alone", {"help"}, 0, "Usage: tklcli COMMAND", "");
    row("help COMMAND", {"help", "show"}, 0, "Usage: tklcli show", "");
    row("help of an unknown command", {"help", "print"}, 2, "", "unknown command \"print\"");
    row("version", {"--version"}, 0, "tklcli 0.", "");
}

void TestCli::runs()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QFETCH(Setup, setup);
    CliRunner cli;
    if (setup)
        setup(cli);
    const ToolRun run = cli.run(args);
    const QByteArray said = run.out + "\n--- stderr:\n" + run.err;
    QVERIFY(!run.crashed);
    QVERIFY2(run.exitCode == status, said.constData());
    // No control character reaches the terminal, and no name breaks a line.
    QVERIFY2(std::none_of(said.begin(), said.end(), [](char c) { return uchar(c) < 32 && c != '\n'; }), said.constData());
    QVERIFY2(out.isEmpty() ? run.out.isEmpty() : QString::fromUtf8(run.out).contains(cli.files(out)), said.constData());
    QVERIFY2(err.isEmpty() ? run.err.isEmpty() : QString::fromUtf8(run.err).contains(cli.files(err)), said.constData());
    if (status == 2 && !run.err.startsWith("Usage:"))
        QVERIFY2(lines(run.err).filter(QStringLiteral("tklcli: warning: ")).size() >= lines(run.err).size() - 1,
                 said.constData());
}

void TestCli::printWritesGolden()
{
    CliRunner cli;
    const ToolRun run = cli.run({"download", TKL_CLI_TEST_DATA "/golden-layout.txt", "--port", "Printer1",
                                 "--print-writes"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, contentsOf(QStringLiteral(TKL_CLI_TEST_DATA "/golden-writes.txt")));
    // Piped, standard error carries the count alone: no bar, no carriage returns.
    QCOMPARE(run.err, QByteArray::number(run.out.count('\n')) + " writes to Printer1\n");
}

// A download into two ports, one of which refuses it; then what a new process finds in the
// device that took it: shown, as JSON, and previewed as the layout file previews.
void TestCli::downloadShowPreviewRoundTrip()
{
    CliRunner cli;
    LayoutData layout = cleanLayout();
    layout.text += QStringLiteral("\r\nEnd\\\t") + QChar(27) + QStringLiteral("[2J");
    const QString file = cli.writeLayout(QStringLiteral("roundtrip.txt"), layout);
    const QString odd = QStringLiteral("Odd\x1b[2J");
    const ToolRun download = cli.run({"download", file, "--port", "Small", "--port", odd});
    QCOMPARE(download.exitCode, 1);
    // One line per port in the order given; one refusal fails the run but not the others.
    QVERIFY2(download.err.startsWith("tklcli download: Small: refused") && download.err.count('\n') == 2
                 && download.err.endsWith(" writes to Odd[27][2J\n"), download.err.constData());
    // Control characters and backslashes escaped, in the written value and in the variable's name.
    const ToolRun writes = cli.run({"download", file, "--port", odd, "--print-writes"});
    QVERIFY(!writes.out.contains('\x1b'));
    QVERIFY(lines(writes.out).contains(QStringLiteral("Odd\\x1B[2J.Ticket[4]\tstring\tEnd\\\\\\t\\x1B[2J")));

    const ToolRun show = cli.run({"show", "--port", odd});
    QCOMPARE(show.exitCode, 0);
    QCOMPARE(show.out, contentsOf(QStringLiteral(TKL_CLI_TEST_DATA "/golden-show.txt")));

    // One compact object a line; lines counted from 1, as the device and the text output
    // count them; an empty code is sent as a CR.
    const ToolRun json = cli.run({"show", "--port", odd, "--format", "json"});
    QCOMPARE(json.exitCode, 0);
    QCOMPARE(json.out, contentsOf(QStringLiteral(TKL_CLI_TEST_DATA "/golden-show.json")));

    // The device prints what the layout previews: same lines, same codes.
    const ToolRun fromDevice = cli.run({"preview", "--port", odd});
    const ToolRun fromFile = cli.run({"preview", file});
    QCOMPARE(fromDevice.exitCode, 0);
    QCOMPARE(fromDevice.out, fromFile.out);
    QCOMPARE(lines(fromFile.out).mid(2, 2), QStringList({QStringLiteral("Net:   1234.56 kg"), QStringLiteral("Tare:    -12.5 kg")}));

    // DEL and the C1 codes (of which the code page keeps five) are control characters too.
    layout.text = QStringLiteral("A\x7f" "B\u0081" "C\u009d" "D\u00a0" "E");
    const ToolRun controls = cli.run({"download", cli.writeLayout(QStringLiteral("controls.txt"), layout), "--port",
                                      odd, "--print-writes"});
    QVERIFY2(lines(controls.out).contains(QStringLiteral("Odd\\x1B[2J.Ticket[1]\tstring\tA\\x7FB\\x81C\\x9DD\u00a0" "E")),
             controls.out.constData());
}

void TestCli::deviceStoreKeptOnFailure()
{
    CliRunner cli;
    QCOMPARE(cli.run({"download", "@layout", "--port", "Printer1"}).exitCode, 0);

    // A store that cannot be written whole stays as it was, and that is no success.
    const QByteArray before = contentsOf(cli.storePath());
    const rlim_t limit = rlim_t(before.size() + 100);
    const ToolRun full = cli.run({"download", "@layout", "--port", "Odd\x1b[2J"}, [limit] { limitFileSize(limit); });
    QCOMPARE(full.exitCode, 1);
    QVERIFY2(full.err.contains("could not be saved"), full.err.constData());
    QCOMPARE(contentsOf(cli.storePath()), before);
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
