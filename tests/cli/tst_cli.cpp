// The command-line tool, run as a separate process the way operators run it.

#include "files/LayoutData.h"
#include "files/LayoutLines.h"
#include "files/LayoutWriter.h"
#include "support/ToolProcess.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QRegularExpression>
#include <QTest>

#include <sys/stat.h>

#include <algorithm>
#include <functional>

using namespace tkl;
using namespace tkl::test;

namespace {

// A network with two bound variables, a port with a name no terminal should see raw,
// and a port that stores few lines (to make a download fail).
const QByteArray cliNetwork = R"({
  "nodes": [
    { "name": "Scale1", "address": "NET1.ST03", "capabilities": "17 weighing terminal",
      "variables": [
        { "name": "NetWeight", "internalAddress": 120, "offset": 0, "subDataType": 4, "bitNo": 0,
          "simulation": { "fixed": 1234.56 } },
        { "name": "Tare", "internalAddress": 122, "offset": 8, "subDataType": 4, "bitNo": 2,
          "simulation": { "fixed": -12.5 } } ] },
    { "name": "PrinterModule", "address": "NET1.ST07", "capabilities": "65 ticket printer", "variables": [] } ],
  "ports": [
    { "name": "Printer1", "node": "PrinterModule" },
    { "name": "Printer2", "node": "PrinterModule" },
    { "name": "Odd\u001b[2J", "node": "PrinterModule" },
    { "name": "Small", "node": "PrinterModule", "ticketLines": 1 } ]
})";

QStringList lines(const QByteArray &bytes)
{
    QStringList l = QString::fromUtf8(bytes).split(u'\n');
    if (l.last().isEmpty())
        l.removeLast();
    return l;
}

// No control character reaches the terminal, and no name breaks a line.
bool terminalSafe(const QByteArray &said)
{
    return std::none_of(said.begin(), said.end(), [](char c) { return uchar(c) < 32 && c != '\n'; });
}

// 40 characters per line, three text lines, slot 1 bound to Scale1.NetWeight as
// binding it now would store, slot 2 to Scale1.Tare.
LayoutData cleanLayout()
{
    LayoutData layout;
    layout.EditorWidth = 5170;
    layout.EditorHeight = 3155;
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

    // Writes `layout` with the editor's writer and returns its path.
    QString writeLayout(const QString &name, const LayoutData &layout) const
    {
        const auto bytes = LayoutWriter::toBytes(layout);
        if (!bytes.ok())
            qWarning("layout refused: %s", qPrintable(bytes.error().message));
        writeFile(path(name), bytes.ok() ? *bytes : QByteArray());
        return path(name);
    }

    // @layout, @warn, @bad, @missing, @values and @odd (a missing file with control
    // characters in its name) in `args` stand for files of this run.
    ToolRun run(QStringList args, const std::function<void()> &childSetup = {}) const
    {
        const char *files[][2] = {{"@layout", "ticket.txt"}, {"@warn", "warn.txt"}, {"@bad", "bad.txt"},
                                  {"@missing", "missing.txt"}, {"@values", "values.txt"},
                                  {"@odd", "odd\x1b[2J\nname.txt"}};
        for (QString &a : args) {
            for (const auto &f : files)
                a.replace(QLatin1String(f[0]), path(QString::fromUtf8(f[1])));
        }
        return ToolFolder::run(QStringLiteral(TKLCLI_PATH), args, childSetup);
    }
};

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void checkFindings_data();
    void checkFindings();
    void runs_data();
    void runs();
    void printWritesGolden();
    void downloadShowPreviewRoundTrip();
    void severalPorts();
    void jsonFindingsMatchTheText();
    void jsonDevice();
    void deviceStoreFailures();
    void partialDownloadShown();
};

using Mutation = std::function<void(LayoutData &)>;
using Findings = QList<std::pair<int, QString>>; // file line and a phrase of each warning

void TestCli::checkFindings_data()
{
    QTest::addColumn<Mutation>("mutate");
    QTest::addColumn<Findings>("expected"); // none: the layout passes

    using M = LayoutLines::Member;
    constexpr auto member = &LayoutLines::memberLine;
    auto row = [](const char *name, Mutation m, Findings f = {}) { QTest::newRow(name) << m << f; };
    row("clean", [](LayoutData &) {});
    // 40 characters per line: a field ending in column 40 fits, one in 41 does not.
    row("field ends on the last column", [](LayoutData &l) { l.UpdateBoxes[1].Pos = 32; });
    row("field one past the right edge", [](LayoutData &l) { l.UpdateBoxes[1].Pos = 33; },
        {{member(1, M::Pos), "ends in column 41, past the right edge of the ticket (40 characters"}});
    row("field left of the first column", [](LayoutData &l) { l.UpdateBoxes[2].Pos = 0; },
        {{member(2, M::Pos), "UpdateBox 2 starts in column 0"}});
    // slot 1 covers columns 6 to 14 of ticket line 2
    row("fields share one cell", [](LayoutData &l) { l.UpdateBoxes[2].Linie = 1, l.UpdateBoxes[2].Pos = 14; },
        {{member(2, M::Linie), "UpdateBox 2 overlaps UpdateBox 1 on ticket line 2 (columns 14 to 14)"}});
    row("fields side by side", [](LayoutData &l) { l.UpdateBoxes[2].Linie = 1, l.UpdateBoxes[2].Pos = 15; });
    row("undefined field on top of a defined one",
        [](LayoutData &l) { l.UpdateBoxes[5] = l.UpdateBoxes[1], l.UpdateBoxes[5].DataIn = false; });
    row("field on the line after the last", [](LayoutData &l) { l.UpdateBoxes[2].Linie = 3; },
        {{member(2, M::Linie), "UpdateBox 2 is on ticket line 4, but the text has 3 line(s)"}});
    row("text line wider than the ticket", [](LayoutData &l) { l.text += QStringLiteral("\r\n") + QString(41, u'='); },
        {{LayoutLines::FirstText + 3, "text line 4 has 41 characters"}});
    row("control characters in a name stay visible and harmless",
        [](LayoutData &l) { l.UpdateBoxes[2].VarName = QStringLiteral("Scale1.Tare") + QChar(27) + QStringLiteral("[2J"); },
        {{member(2, M::VarName), "\"Scale1.Tare[27][2J\", which the network does not know"}});
    row("defined but never bound", [](LayoutData &l) { l.UpdateBoxes[2].VarName.clear(); },
        {{member(2, M::VarName), "UpdateBox 2 is defined but bound to no variable"}});
    row("node number differs", [](LayoutData &l) { l.UpdateBoxes[1].NodeAdr = 4; },
        {{member(1, M::NodeAdr), "NodeAdr is 4, but the network now reports 3"}});
    row("capability code differs", [](LayoutData &l) { l.UpdateBoxes[1].Code = 65; },
        {{member(1, M::Code), "Code is 65, but the network now reports 17"}});
    row("start code left open", [](LayoutData &l) { l.StartCode = QStringLiteral("[27]@[13"); },
        {{LayoutLines::StartCode, "start code: \"[\" in column 6 is not closed"}});
    row("stop code above a byte", [](LayoutData &l) { l.StopCode = QStringLiteral("A[256]"); },
        {{LayoutLines::StopCode, "stop code: code 256 in column 2 is above 255"}});
    row("findings come in file order",
        [](LayoutData &l) { l.StopCode = QStringLiteral("["), l.UpdateBoxes[2].Offset = 1, l.UpdateBoxes[1].Pos = 40; },
        {{member(1, M::Pos), "past the right edge"},
         {member(2, M::Offset), "Offset is 1, but the network now reports 8"},
         {LayoutLines::StopCode, "not closed"}});
}

void TestCli::checkFindings()
{
    QFETCH(Mutation, mutate);
    QFETCH(Findings, expected);
    CliRunner cli;
    LayoutData layout = cleanLayout();
    mutate(layout);
    const QString file = cli.writeLayout(QStringLiteral("case.txt"), layout);

    const ToolRun run = cli.run({"check", "--port", "Printer1", file});
    QVERIFY2(run.err.isEmpty(), run.err.constData());
    const QStringList found = lines(run.out);
    QCOMPARE(found.size(), expected.size());
    for (int i = 0; i < found.size(); ++i) {
        const QString head = QStringLiteral("%1:%2: warning: ").arg(file).arg(expected[i].first);
        QVERIFY2(found[i].startsWith(head) && found[i].contains(expected[i].second), qPrintable(found[i]));
    }
    QVERIFY(terminalSafe(run.out));
    QCOMPARE(run.exitCode, expected.isEmpty() ? 0 : 1);
}

// Exit statuses, and what a run says. Unusable input (status 2) is said in one line, after
// any warnings: on standard output for check (which reports its files there), on standard
// error otherwise.
void TestCli::runs_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("said"); // a phrase of the output; a successful run starts with it
    QTest::addColumn<QString>("pipe"); // a file of the run made a named pipe, which would block a reader
    auto row = [](const char *name, const QStringList &args, int status, const char *said = "", const char *pipe = "") {
        QTest::newRow(name) << args << status << QString::fromUtf8(said) << QString::fromUtf8(pipe);
    };
    row("check: all clean", {"check", "--port", "Printer1", "@layout", "@layout"}, 0);
    row("check: a warning in the second", {"check", "--port", "Printer1", "@layout", "@warn"}, 1);
    row("check: every port, one holds too few lines", {"check", "@layout"}, 1);
    row("check: unknown port", {"check", "--port", "Printer9", "@layout"}, 2);
    row("check: one unreadable among readable", {"check", "@layout", "@bad"}, 1);
    row("check: none readable", {"check", "@bad", "@missing"}, 2);
    row("check: unknown option", {"check", "--fast", "@layout"}, 2);
    row("check: missing file", {"check", "/nonexistent/t.txt"}, 2, "does not exist");
    row("check: unknown format", {"check", "--format=xml", "@layout"}, 2, "--format is \"text\" or \"json\"");
    row("check: network description a pipe", {"check", "@layout"}, 2, "pipe or device", "network.json");
    row("download: done", {"download", "@layout", "--port", "Printer1"}, 0);
    row("download: a warning does not stop it", {"download", "@warn", "--port", "Printer1"}, 0);
    row("download: the device refuses", {"download", "@layout", "--port", "Small"}, 1);
    row("download: no port", {"download", "@layout"}, 2);
    row("download: directory", {"download", "/tmp", "--port", "Printer1"}, 2, "is a folder");
    row("download: unknown port", {"download", "@layout", "--port", "Printer9"}, 2, "no printer port \"Printer9\"");
    row("download: odd file name", {"download", "@odd", "--port", "Printer1"}, 2, "odd[27][2J[10]name.txt");
    row("preview: odd file name", {"preview", "@odd"}, 2, "odd[27][2J[10]name.txt");
    row("preview: binary junk", {"preview", TKLCLI_PATH}, 2, ":1: error: ");
    row("preview: node as port", {"preview", "--port", "Scale1"}, 2, "is a network node, not a printer port");
    row("preview: values file malformed", {"preview", "@layout", "--values", "@values"}, 2, "line 3");
    row("preview: values file a pipe", {"preview", "@layout", "--values", "@values"}, 2, "pipe or device", "values.txt");
    row("show: empty port", {"show", "--port", ""}, 2, "the port name is empty");
    row("show: device variable as port", {"show", "--port", "Printer1.lines"}, 2, "inside a printer device");
    row("show: device store a pipe", {"show", "--port", "Printer1"}, 2, "pipe or device", "devices.json");
    row("no command", {}, 2);
    row("unknown command", {"print"}, 2, "unknown command \"print\"");
    row("help", {"--help"}, 0, "Usage: tklcli COMMAND");
    row("help of a command", {"download", "--help"}, 0, "Usage: tklcli download");
    row("help alone", {"help"}, 0, "Usage: tklcli COMMAND");
    row("help COMMAND", {"help", "show"}, 0, "Usage: tklcli show");
    row("help of an unknown command", {"help", "print"}, 2, "unknown command");
    row("version", {"--version"}, 0, "tklcli 0.");
}

void TestCli::runs()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, said);
    QFETCH(QString, pipe);
    CliRunner cli;
    if (!pipe.isEmpty()) {
        QFile::remove(cli.path(pipe));
        QCOMPARE(mkfifo(QFile::encodeName(cli.path(pipe)).constData(), 0600), 0);
    }
    const ToolRun run = cli.run(args);
    QVERIFY(!run.crashed);
    QVERIFY2(run.exitCode == status, run.out + run.err);
    QVERIFY2(terminalSafe(run.out + run.err), run.out + run.err);
    if (said.isEmpty())
        return;
    if (status == 0) {
        QVERIFY2(run.out.startsWith(said.toUtf8()), run.out.constData());
        return;
    }
    const QStringList told = lines(run.out + run.err);
    QVERIFY2(told.filter(said).size() == 1, run.out + run.err);
    QCOMPARE(told.size() - told.filter(QRegularExpression(QStringLiteral("^tklcli: warning: "))).size(), 1);
    QVERIFY2(args.first() == u"check" || run.out.isEmpty(), run.out.constData());
}

void TestCli::printWritesGolden()
{
    CliRunner cli;
    const ToolRun run = cli.run({"download", TKL_CLI_TEST_DATA "/golden-layout.txt", "--port", "Printer1",
                                 "--print-writes"});
    QCOMPARE(run.exitCode, 0);
    const QStringList want = lines(contentsOf(QStringLiteral(TKL_CLI_TEST_DATA "/golden-writes.txt")));
    QCOMPARE(lines(run.out), want);
    // Piped, standard error carries the count alone: no bar, no carriage returns.
    QCOMPARE(run.err, QByteArray::number(want.size()) + " writes to Printer1\n");
}

// One line per port in the order given; one refusal fails the run but not the others.
void TestCli::severalPorts()
{
    CliRunner cli;
    const ToolRun run = cli.run({"download", "@layout", "--port", "Small", "--port", "Odd\x1b[2J"});
    QCOMPARE(run.exitCode, 1);
    QVERIFY(terminalSafe(run.err));
    const QStringList said = lines(run.err);
    QCOMPARE(said.size(), 2);
    QVERIFY2(said.at(0).startsWith(QStringLiteral("tklcli download: Small: ")), qPrintable(said.at(0)));
    QVERIFY2(said.at(1).endsWith(QStringLiteral(" writes to Odd[27][2J")), qPrintable(said.at(1)));
    const ToolRun show = cli.run({"show", "--port", "Odd\x1b[2J"});
    QCOMPARE(show.exitCode, 0);
    QVERIFY(terminalSafe(show.out));
    QCOMPARE(lines(show.out).first(), QStringLiteral("Port Odd[27][2J holds a ticket of 3 line(s)."));
    QCOMPARE(cli.run({"download", "@layout", "--port", "Printer1", "--port", "Printer1"}).exitCode, 2);
}

void TestCli::downloadShowPreviewRoundTrip()
{
    CliRunner cli;
    LayoutData layout = cleanLayout();
    layout.text += QStringLiteral("\r\nEnd\\\t") + QChar(27) + QStringLiteral("[2J");
    const QString file = cli.writeLayout(QStringLiteral("roundtrip.txt"), layout);
    const ToolRun download = cli.run({"download", file, "--port", "Printer1", "--print-writes"});
    QCOMPARE(download.exitCode, 0);
    // Control characters and backslashes escaped, one write per line.
    QVERIFY(lines(download.out).contains(QStringLiteral("Printer1.Ticket[4]\tstring\tEnd\\\\\\t\\x1B[2J")));
    QCOMPARE(lines(download.out).last(), QStringLiteral("Printer1.PrintCode.stop\tstring\t\\r"));

    // A new process finds the ticket in the device.
    const ToolRun show = cli.run({"show", "--port", "Printer1"});
    QCOMPARE(show.exitCode, 0);
    const QStringList shown = lines(show.out);
    for (const char *line : {"Port Printer1 holds a ticket of 4 line(s).", "  UpdateArr[1] Scale1.NetWeight",
                             "    line 2, column 6, 9 character(s), 2 decimal(s)",
                             "    NodeAdr 3  SWNo 122  Offset 8  Typ 4  BitNo 2  Code 17  DevType 0",
                             "  1 |WEIGHT TICKET", "  4 |End\\[9][27][2J", "  start [27]@  (ESC @)", "  stop  [13]  (CR)"})
        QVERIFY2(shown.contains(QString::fromUtf8(line)), qPrintable(QString::fromUtf8(line) + u'\n' + show.out));
    QVERIFY(terminalSafe(show.out));

    // The device prints what the layout previews: same lines, same codes.
    const ToolRun fromDevice = cli.run({"preview", "--port", "Printer1"});
    const ToolRun fromFile = cli.run({"preview", file});
    QCOMPARE(fromDevice.exitCode, 0);
    QCOMPARE(lines(fromDevice.out), lines(fromFile.out));
    QCOMPARE(lines(fromFile.out).mid(2, 2), QStringList({QStringLiteral("Net:   1234.56 kg"), QStringLiteral("Tare:    -12.5 kg")}));

    // Another port was never written: nothing to show.
    const ToolRun empty = cli.run({"show", "--port", "Small"});
    QCOMPARE(empty.exitCode, 1);
    QVERIFY(empty.err.contains("holds no ticket"));
}

// --format json gives the same findings as the text, one object a line, ready for jq.
void TestCli::jsonFindingsMatchTheText()
{
    CliRunner cli;
    const QStringList files{"--port", "Printer1", "@layout", "@warn", "@bad", "@missing"};
    const ToolRun text = cli.run(QStringList{"check"} + files);
    const ToolRun json = cli.run(QStringList{"check", "--format", "json"} + files);
    QCOMPARE(json.exitCode, text.exitCode);
    QVERIFY2(json.err.isEmpty(), json.err.constData());
    const QStringList textLines = lines(text.out);
    const QList<QByteArray> objects = json.out.trimmed().split('\n');
    QCOMPARE(textLines.size(), 3); // the warning, the unreadable file, the missing file
    QCOMPARE(objects.size(), textLines.size());
    for (qsizetype i = 0; i < objects.size(); ++i) {
        const QJsonObject o = QJsonDocument::fromJson(objects[i]).object();
        const int line = o.value(QStringLiteral("line")).toInt(-1);
        const QString where = o.value(QStringLiteral("file")).toString() + (line > 0 ? QStringLiteral(":%1").arg(line) : QString());
        QCOMPARE(QStringLiteral("%1: %2: %3").arg(where, o.value(QStringLiteral("severity")).toString(),
                                                 o.value(QStringLiteral("message")).toString()),
                 textLines[i]);
    }
    QVERIFY(textLines[0].contains(QStringLiteral(": warning: ")) && textLines[1].contains(QStringLiteral(": error: ")));
}

void TestCli::jsonDevice()
{
    CliRunner cli;
    QCOMPARE(cli.run({"download", "@layout", "--port", "Printer1"}).exitCode, 0);
    const ToolRun show = cli.run({"show", "--port", "Printer1", "--format", "json"});
    QCOMPARE(show.exitCode, 0);
    QCOMPARE(show.out.count('\n'), 1);
    // Lines counted from 1, as the device and the text output count them; an empty
    // code is sent as a CR.
    QCOMPARE(QJsonDocument::fromJson(show.out).object(), QJsonDocument::fromJson(R"({"port": "Printer1",
        "holdsTicket": true, "lastDownloadFinished": true,
        "lines": ["WEIGHT TICKET", "Net:           kg", "Tare:          kg"], "startCode": "[27]@", "stopCode": "\r",
        "fields": [{"slot": 1, "VarName": "Scale1.NetWeight", "line": 2, "column": 6, "Chars": 9, "Digits": 2,
                    "NodeAdr": 3, "SWNo": 120, "Offset": 0, "Typ": 4, "BitNo": 0, "Code": 17, "DevType": 0},
                   {"slot": 2, "VarName": "Scale1.Tare", "line": 3, "column": 6, "Chars": 9, "Digits": 1,
                    "NodeAdr": 3, "SWNo": 122, "Offset": 8, "Typ": 4, "BitNo": 2, "Code": 17, "DevType": 0}]})").object());

    const ToolRun empty = cli.run({"show", "--port", "Small", "--format", "json"});
    QCOMPARE(empty.exitCode, 1);
    QCOMPARE(QJsonDocument::fromJson(empty.out).object(),
             (QJsonObject{{QStringLiteral("port"), QStringLiteral("Small")}, {QStringLiteral("holdsTicket"), false}}));

    // A real device that cannot be reached holds nothing we know of: a diagnostic, no object.
    writeFile(cli.networkPath(), R"({"nodes": [{"name": "Far", "address": "NET1.ST09",
        "capabilities": "65 ticket printer", "modbus": {"host": "127.0.0.1", "port": 1, "timeoutMs": 300},
        "variables": []}], "ports": [{"name": "Remote", "node": "Far", "modbus": {"unit": 1, "base": 0}}]})");
    const ToolRun unreachable = cli.run({"show", "--port", "Remote", "--format", "json"});
    QCOMPARE(unreachable.exitCode, 1);
    QVERIFY(unreachable.out.isEmpty());
    QVERIFY2(unreachable.err.startsWith("tklcli show: Reading Remote.lines"), unreachable.err.constData());
}

void TestCli::deviceStoreFailures()
{
    // A damaged store is set aside with a warning (how: the store's own test); the device starts empty.
    CliRunner cli;
    writeFile(cli.storePath(), "{ \"version\": 1, \"ports\": ");
    const ToolRun run = cli.run({"show", "--port", "Printer1"});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.startsWith("tklcli: warning: "), run.err.constData());
    QCOMPARE(cli.run({"download", "@layout", "--port", "Printer1"}).exitCode, 0);
    QCOMPARE(cli.run({"show", "--port", "Printer1"}).exitCode, 0);

    // A store that cannot be written whole stays as it was, and that is no success.
    const QByteArray before = contentsOf(cli.storePath());
    const rlim_t limit = rlim_t(before.size() + 100);
    const ToolRun full = cli.run({"download", "@layout", "--port", "Printer2"}, [limit] { limitFileSize(limit); });
    QCOMPARE(full.exitCode, 1);
    QVERIFY2(full.err.contains("could not be saved"), full.err.constData());
    QCOMPARE(contentsOf(cli.storePath()), before);

    // Locked by a living program: unknown, not "no ticket".
    QLockFile held(cli.storePath() + QStringLiteral(".lock"));
    QVERIFY(held.tryLock(0));
    const ToolRun locked = cli.run({"show", "--port", "Printer1"});
    QCOMPARE(locked.exitCode, 2);
    QVERIFY2(locked.err.contains("could not be read") && !locked.err.contains("no ticket"), locked.err.constData());
    held.unlock();

    // A store that is no file cannot keep the ticket: the device is not written.
    CliRunner unwritable;
    QVERIFY(QDir().mkpath(unwritable.storePath()));
    const ToolRun lost = unwritable.run({"download", "@layout", "--port", "Printer1"});
    QCOMPARE(lost.exitCode, 2);
    QVERIFY2(lines(lost.err).last().contains(QStringLiteral("could not be read")), lost.err.constData());
}

// A download that stopped half-way leaves part of a ticket: shown as such, not hidden.
void TestCli::partialDownloadShown()
{
    CliRunner cli;
    // As a download that stopped after the first field's name leaves the device.
    writeFile(cli.storePath(), R"({"version": 1, "ports": {"Small": {
        "Small.UpdateArr[1].DataIn": true, "Small.UpdateArr[1].VarName": "Scale1.NetWeight",
        "Small.UpdateArr[2].DataIn": false, "Small.downloadFinished": false}}})");

    const ToolRun show = cli.run({"show", "--port", "Small"});
    QCOMPARE(show.exitCode, 1);
    const QStringList shown = lines(show.out);
    QVERIFY2(shown.size() > 1 && shown.at(1).startsWith(QStringLiteral("The last download to it did not finish")),
             show.out.constData());
    QVERIFY(shown.contains(QStringLiteral("  UpdateArr[1] Scale1.NetWeight")));
    const ToolRun json = cli.run({"show", "--port", "Small", "--format", "json"});
    QCOMPARE(json.exitCode, 1);
    QCOMPARE(QJsonDocument::fromJson(json.out).object().value(QStringLiteral("lastDownloadFinished")), false);

    const ToolRun preview = cli.run({"preview", "--port", "Small"});
    QCOMPARE(preview.exitCode, 1);
    QVERIFY2(preview.err.contains("did not finish"), preview.err.constData());
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
