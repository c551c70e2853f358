// The command-line tool, run as a separate process the way operators run it.

#include "files/LayoutData.h"
#include "files/LayoutLines.h"
#include "files/LayoutWriter.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <csignal>
#include <functional>

using namespace tkl;

namespace {

// A network with two bound variables, a port that stores few lines (to make a download
// fail) and one that stores many.
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

struct CliRun
{
    int exitCode = -1;
    bool crashed = false;
    QByteArray out;
    QByteArray err;
};

// Runs the built tool with a private network description and device store.
class CliRunner
{
public:
    CliRunner() { writeFile(networkPath(), cliNetwork); }

    QString path(const QString &name) const { return m_dir.filePath(name); }
    QString networkPath() const { return path(QStringLiteral("network.json")); }
    QString storePath() const { return path(QStringLiteral("devices.json")); }

    static void writeFile(const QString &file, const QByteArray &bytes)
    {
        QFile f(file);
        QVERIFY2(f.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(file));
        QCOMPARE(f.write(bytes), bytes.size());
    }

    // Writes `layout` with the editor's writer and returns its path.
    QString writeLayout(const QString &name, const LayoutData &layout) const
    {
        QByteArray bytes;
        if (const auto error = LayoutWriter::toBytes(layout, bytes))
            qWarning("layout refused: %s", qPrintable(error->message));
        writeFile(path(name), bytes);
        return path(name);
    }

    // `childSetup` runs in the tool's process before it starts.
    CliRun run(const QStringList &args, const std::function<void()> &childSetup = {}) const
    {
        QProcess process;
        if (childSetup)
            process.setChildProcessModifier(childSetup);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TKL_NETWORK"), networkPath());
        env.insert(QStringLiteral("TKL_DEVICE_STORE"), storePath());
        // Nothing of the user's own configuration may leak in.
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), path(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), path(QStringLiteral("data")));
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(TKLCLI_PATH), args);
        CliRun result;
        if (!process.waitForFinished(30000)) {
            process.kill();
            process.waitForFinished();
        }
        result.crashed = process.exitStatus() != QProcess::NormalExit;
        result.exitCode = process.exitCode();
        result.out = process.readAllStandardOutput();
        result.err = process.readAllStandardError();
        return result;
    }

    // Replaces @layout, @warn, @bad, @missing, @values and @odd (a missing file with
    // control characters in its name) in `args` by files of this run.
    QStringList withFiles(QStringList args) const
    {
        LayoutData warn = cleanLayout();
        warn.UpdateBoxes[1].Pos = 39;
        const QString files[][2] = {
            {QStringLiteral("@layout"), writeLayout(QStringLiteral("ticket.txt"), cleanLayout())},
            {QStringLiteral("@warn"), writeLayout(QStringLiteral("warn.txt"), warn)},
            {QStringLiteral("@bad"), path(QStringLiteral("bad.txt"))},
            {QStringLiteral("@missing"), path(QStringLiteral("missing.txt"))},
            {QStringLiteral("@values"), path(QStringLiteral("values.txt"))},
            {QStringLiteral("@odd"), path(QStringLiteral("odd\x1b[2J\nname.txt"))},
        };
        writeFile(path(QStringLiteral("bad.txt")), "5170\r\n3155\r\nthree\r\n");
        writeFile(path(QStringLiteral("values.txt")), "# values\nScale1.Tare = 3\nScale1.NetWeight 12\n");
        for (QString &a : args) {
            for (const auto &f : files)
                a.replace(f[0], f[1]);
        }
        return args;
    }

    // 40 characters per line, three text lines, slot 1 bound to Scale1.NetWeight as
    // binding it now would store, slot 2 to Scale1.Tare.
    static LayoutData cleanLayout()
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

private:
    QTemporaryDir m_dir;
};

QStringList cmd(std::initializer_list<const char *> args)
{
    QStringList list;
    for (const char *a : args)
        list << QString::fromUtf8(a);
    return list;
}

// One finding expected on standard output: the file line and a phrase of the warning.
struct Expect
{
    int line;
    const char *phrase;
};

struct CheckCase
{
    const char *name;
    std::function<void(LayoutData &)> mutate;
    QList<Expect> expected; // empty: the layout must pass
};

const QList<CheckCase> &checkCases()
{
    using M = LayoutLines::Member;
    constexpr auto member = &LayoutLines::memberLine;
    static const QList<CheckCase> cases = {
        {"clean", [](LayoutData &) {}, {}},
        // 40 characters per line: a field ending in column 40 fits, one in 41 does not.
        {"field ends on the last column", [](LayoutData &l) { l.UpdateBoxes[1].Pos = 32; }, {}},
        {"field one past the right edge", [](LayoutData &l) { l.UpdateBoxes[1].Pos = 33; },
         {{member(1, M::Pos), "ends in column 41, past the right edge of the ticket (40 characters"}}},
        {"field left of the first column", [](LayoutData &l) { l.UpdateBoxes[2].Pos = 0; },
         {{member(2, M::Pos), "UpdateBox 2 starts in column 0"}}},
        // slot 1 covers columns 6 to 14 of ticket line 2
        {"fields share one cell", [](LayoutData &l) { l.UpdateBoxes[2].Linie = 1, l.UpdateBoxes[2].Pos = 14; },
         {{member(2, M::Linie), "UpdateBox 2 overlaps UpdateBox 1 on ticket line 2 (columns 14 to 14)"}}},
        {"fields side by side", [](LayoutData &l) { l.UpdateBoxes[2].Linie = 1, l.UpdateBoxes[2].Pos = 15; }, {}},
        {"undefined field on top of a defined one",
         [](LayoutData &l) { l.UpdateBoxes[5] = l.UpdateBoxes[1], l.UpdateBoxes[5].DataIn = false; }, {}},
        {"field on the line after the last", [](LayoutData &l) { l.UpdateBoxes[2].Linie = 3; },
         {{member(2, M::Linie), "UpdateBox 2 is on ticket line 4, but the text has 3 line(s)"}}},
        {"text line wider than the ticket", [](LayoutData &l) { l.text += QStringLiteral("\r\n") + QString(41, u'='); },
         {{LayoutLines::FirstText + 3, "text line 4 has 41 characters"}}},
        {"control characters in a name stay visible and harmless",
         [](LayoutData &l) { l.UpdateBoxes[2].VarName = QStringLiteral("Scale1.Tare") + QChar(27) + QStringLiteral("[2J"); },
         {{member(2, M::VarName), "\"Scale1.Tare[27][2J\", which the network does not know"}}},
        {"defined but never bound", [](LayoutData &l) { l.UpdateBoxes[2].VarName.clear(); },
         {{member(2, M::VarName), "UpdateBox 2 is defined but bound to no variable"}}},
        {"node number differs", [](LayoutData &l) { l.UpdateBoxes[1].NodeAdr = 4; },
         {{member(1, M::NodeAdr), "NodeAdr is 4, but the network now reports 3"}}},
        {"capability code differs", [](LayoutData &l) { l.UpdateBoxes[1].Code = 65; },
         {{member(1, M::Code), "Code is 65, but the network now reports 17"}}},
        {"start code left open", [](LayoutData &l) { l.StartCode = QStringLiteral("[27]@[13"); },
         {{LayoutLines::StartCode, "start code: \"[\" in column 6 is not closed"}}},
        {"stop code above a byte", [](LayoutData &l) { l.StopCode = QStringLiteral("A[256]"); },
         {{LayoutLines::StopCode, "stop code: code 256 in column 2 is above 255"}}},
        {"findings come in file order",
         [](LayoutData &l) { l.StopCode = QStringLiteral("["), l.UpdateBoxes[2].Offset = 1, l.UpdateBoxes[1].Pos = 40; },
         {{member(1, M::Pos), "past the right edge"},
          {member(2, M::Offset), "Offset is 1, but the network now reports 8"},
          {LayoutLines::StopCode, "not closed"}}},
    };
    return cases;
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void checkFindings_data();
    void checkFindings();
    void exitStatus_data();
    void exitStatus();
    void printWritesGolden();
    void downloadShowPreviewRoundTrip();
    void severalPorts();
    void jsonFindingsMatchTheText();
    void jsonDevice();
    void helpAndVersion_data();
    void helpAndVersion();
    void deviceStoreFailures();
    void badInput_data();
    void badInput();
    void notRegularFileRefused_data();
    void notRegularFileRefused();
    void namesPrintedEscaped_data();
    void namesPrintedEscaped();
    void partialDownloadShown();
};

void TestCli::checkFindings_data()
{
    QTest::addColumn<int>("index");
    for (int i = 0; i < checkCases().size(); ++i)
        QTest::newRow(checkCases().at(i).name) << i;
}

void TestCli::checkFindings()
{
    QFETCH(int, index);
    const CheckCase &c = checkCases().at(index);
    CliRunner cli;
    LayoutData layout = CliRunner::cleanLayout();
    c.mutate(layout);
    const QString file = cli.writeLayout(QStringLiteral("ticket.txt"), layout);

    const CliRun run = cli.run({QStringLiteral("check"), QStringLiteral("--port"), QStringLiteral("Printer1"), file});
    QVERIFY2(run.err.isEmpty(), run.err.constData());
    const QStringList found = lines(run.out);
    QCOMPARE(found.size(), c.expected.size());
    for (int i = 0; i < found.size(); ++i) {
        const Expect &e = c.expected.at(i);
        const QString head = QStringLiteral("%1:%2: warning: ").arg(file).arg(e.line);
        QVERIFY2(found[i].startsWith(head) && found[i].contains(QLatin1String(e.phrase)), qPrintable(found[i]));
    }
    QCOMPARE(run.exitCode, c.expected.isEmpty() ? 0 : 1);
}

void TestCli::exitStatus_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");

    QTest::newRow("check: all clean") << cmd({"check", "--port", "Printer1", "@layout", "@layout"}) << 0;
    QTest::newRow("check: a warning in the second") << cmd({"check", "--port", "Printer1", "@layout", "@warn"}) << 1;
    QTest::newRow("check: every port, one holds too few lines") << cmd({"check", "@layout"}) << 1;
    QTest::newRow("check: unknown port") << cmd({"check", "--port", "Printer9", "@layout"}) << 2;
    QTest::newRow("check: one unreadable among readable") << cmd({"check", "@layout", "@bad"}) << 1;
    QTest::newRow("check: none readable") << cmd({"check", "@bad", "@missing"}) << 2;
    QTest::newRow("check: unknown option") << cmd({"check", "--fast", "@layout"}) << 2;
    QTest::newRow("download: done") << cmd({"download", "@layout", "--port", "Printer1"}) << 0;
    QTest::newRow("download: a warning does not stop it") << cmd({"download", "@warn", "--port", "Printer1"}) << 0;
    QTest::newRow("download: the device refuses") << cmd({"download", "@layout", "--port", "Small"}) << 1;
    QTest::newRow("download: no port") << cmd({"download", "@layout"}) << 2;
    QTest::newRow("no command") << QStringList() << 2;
    QTest::newRow("unknown command") << cmd({"print"}) << 2;
    QTest::newRow("help") << cmd({"--help"}) << 0;
    QTest::newRow("help of a command") << cmd({"download", "--help"}) << 0;
}

void TestCli::exitStatus()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    CliRunner cli;
    const CliRun run = cli.run(cli.withFiles(args));
    QVERIFY(!run.crashed);
    QVERIFY2(run.exitCode == status, run.err.constData());
    if (args.contains(QStringLiteral("--help")))
        QVERIFY(run.out.startsWith("Usage: tklcli"));
}

void TestCli::printWritesGolden()
{
    CliRunner cli;
    const CliRun run = cli.run({QStringLiteral("download"), QStringLiteral(TKL_CLI_TEST_DATA "/golden-layout.txt"),
                                QStringLiteral("--port"), QStringLiteral("Printer1"), QStringLiteral("--print-writes")});
    QCOMPARE(run.exitCode, 0);
    QFile expected(QStringLiteral(TKL_CLI_TEST_DATA "/golden-writes.txt"));
    QVERIFY(expected.open(QIODevice::ReadOnly));
    const QStringList want = lines(expected.readAll());
    QCOMPARE(lines(run.out), want);
    // Piped, standard error carries the count alone: no bar, no carriage returns.
    QCOMPARE(run.err, QByteArray::number(want.size()) + " writes to Printer1\n");
}

// One line per port in the order given; one refusal fails the run but not the others.
void TestCli::severalPorts()
{
    CliRunner cli;
    const CliRun run = cli.run(cli.withFiles(cmd({"download", "@layout", "--port", "Small", "--port", "Printer1"})));
    QCOMPARE(run.exitCode, 1);
    const QStringList said = lines(run.err);
    QCOMPARE(said.size(), 2);
    QVERIFY2(said.at(0).startsWith(QStringLiteral("tklcli download: Small: ")), qPrintable(said.at(0)));
    QVERIFY2(said.at(1).endsWith(QStringLiteral(" writes to Printer1")), qPrintable(said.at(1)));
    QCOMPARE(cli.run({QStringLiteral("show"), QStringLiteral("--port"), QStringLiteral("Printer1")}).exitCode, 0);
    QCOMPARE(cli.run(cli.withFiles(cmd({"download", "@layout", "--port", "Printer1", "--port", "Printer1"}))).exitCode, 2);
}

void TestCli::downloadShowPreviewRoundTrip()
{
    CliRunner cli;
    LayoutData layout = CliRunner::cleanLayout();
    layout.text += QStringLiteral("\r\nEnd\\\t") + QChar(27) + QStringLiteral("[2J");
    const QString file = cli.writeLayout(QStringLiteral("ticket.txt"), layout);
    const QString port = QStringLiteral("--port");
    const CliRun download = cli.run({QStringLiteral("download"), file, port, QStringLiteral("Printer1"),
                                     QStringLiteral("--print-writes")});
    QCOMPARE(download.exitCode, 0);
    // Control characters and backslashes escaped, one write per line.
    QVERIFY(lines(download.out).contains(QStringLiteral("Printer1.Ticket[4]\tstring\tEnd\\\\\\t\\x1B[2J")));
    QCOMPARE(lines(download.out).last(), QStringLiteral("Printer1.PrintCode.stop\tstring\t\\r"));

    // A new process finds the ticket in the device.
    const CliRun show = cli.run({QStringLiteral("show"), port, QStringLiteral("Printer1")});
    QCOMPARE(show.exitCode, 0);
    const QStringList shown = lines(show.out);
    const QStringList expected = {
        QStringLiteral("Port Printer1 holds a ticket of 4 line(s)."),
        QStringLiteral("  UpdateArr[1] Scale1.NetWeight"),
        QStringLiteral("    line 2, column 6, 9 character(s), 2 decimal(s)"),
        QStringLiteral("    NodeAdr 3  SWNo 122  Offset 8  Typ 4  BitNo 2  Code 17  DevType 0"),
        QStringLiteral("  1 |WEIGHT TICKET"),
        QStringLiteral("  4 |End\\[9][27][2J"),
        QStringLiteral("  start [27]@  (ESC @)"),
        QStringLiteral("  stop  [13]  (CR)"),
    };
    for (const QString &line : expected)
        QVERIFY2(shown.contains(line), qPrintable(line + QStringLiteral("\n--- got:\n") + shown.join(u'\n')));
    QVERIFY(!show.out.contains('\x1b'));

    // The device prints what the layout previews: same lines, same codes.
    const CliRun fromDevice = cli.run({QStringLiteral("preview"), port, QStringLiteral("Printer1")});
    const CliRun fromFile = cli.run({QStringLiteral("preview"), file});
    QCOMPARE(fromDevice.exitCode, 0);
    QCOMPARE(lines(fromDevice.out), lines(fromFile.out));
    QCOMPARE(lines(fromFile.out).mid(2, 2), QStringList({QStringLiteral("Net:   1234.56 kg"), QStringLiteral("Tare:    -12.5 kg")}));

    // Another port was never written: nothing to show.
    const CliRun empty = cli.run({QStringLiteral("show"), port, QStringLiteral("Small")});
    QCOMPARE(empty.exitCode, 1);
    QVERIFY(empty.err.contains("holds no ticket"));
}

// --format json gives the same findings as the text, one object a line, ready for jq.
void TestCli::jsonFindingsMatchTheText()
{
    CliRunner cli;
    const QStringList files = cli.withFiles(cmd({"--port", "Printer1", "@layout", "@warn", "@bad", "@missing"}));
    const CliRun text = cli.run(QStringList{QStringLiteral("check")} + files);
    const CliRun json = cli.run(QStringList{QStringLiteral("check"), QStringLiteral("--format"), QStringLiteral("json")} + files);
    QCOMPARE(json.exitCode, text.exitCode);
    QVERIFY2(json.err.isEmpty(), json.err.constData());
    const QStringList textLines = lines(text.out);
    const QList<QByteArray> objects = json.out.trimmed().split('\n');
    QCOMPARE(objects.size(), textLines.size());
    QCOMPARE(textLines.size(), 3); // the warning, the unreadable file, the missing file
    for (qsizetype i = 0; i < objects.size(); ++i) {
        QJsonParseError error;
        const QJsonObject o = QJsonDocument::fromJson(objects[i], &error).object();
        QVERIFY2(error.error == QJsonParseError::NoError, objects[i].constData());
        const int line = o.value(QStringLiteral("line")).toInt(-1);
        const QString where = o.value(QStringLiteral("file")).toString() + (line > 0 ? QStringLiteral(":%1").arg(line) : QString());
        QCOMPARE(QStringLiteral("%1: %2: %3").arg(where, o.value(QStringLiteral("severity")).toString(),
                                                 o.value(QStringLiteral("message")).toString()),
                 textLines[i]);
    }
    QCOMPARE(QJsonDocument::fromJson(objects[0]).object().value(QStringLiteral("severity")), QStringLiteral("warning"));
    QCOMPARE(QJsonDocument::fromJson(objects[1]).object().value(QStringLiteral("severity")), QStringLiteral("error"));

    const CliRun wrong = cli.run(QStringList{QStringLiteral("check"), QStringLiteral("--format=xml")} + files);
    QCOMPARE(wrong.exitCode, 2);
    QVERIFY(wrong.out.isEmpty());
}

void TestCli::jsonDevice()
{
    CliRunner cli;
    const LayoutData layout = CliRunner::cleanLayout();
    const QString file = cli.writeLayout(QStringLiteral("ticket.txt"), layout);
    QCOMPARE(cli.run(cmd({"download"}) << file << QStringLiteral("--port") << QStringLiteral("Printer1")).exitCode, 0);

    const CliRun show = cli.run(cmd({"show", "--port", "Printer1", "--format", "json"}));
    QCOMPARE(show.exitCode, 0);
    QCOMPARE(show.out.count('\n'), 1);
    const QJsonObject o = QJsonDocument::fromJson(show.out).object();
    QCOMPARE(o.value(QStringLiteral("port")), QStringLiteral("Printer1"));
    QCOMPARE(o.value(QStringLiteral("holdsTicket")), true);
    QCOMPARE(o.value(QStringLiteral("lines")).toVariant().toStringList(), layout.text.split(QStringLiteral("\r\n")));
    QCOMPARE(o.value(QStringLiteral("startCode")), layout.StartCode);
    QCOMPARE(o.value(QStringLiteral("stopCode")), QStringLiteral("\r")); // an empty code is sent as a CR
    const QJsonArray fields = o.value(QStringLiteral("fields")).toArray();
    QCOMPARE(fields.size(), 2);
    const QJsonObject tare = fields[1].toObject();
    const UpdateBox &b = layout.UpdateBoxes[2];
    QCOMPARE(tare.value(QStringLiteral("slot")), 2);
    QCOMPARE(tare.value(QStringLiteral("VarName")), b.VarName);
    // Lines counted from 1, as the device and the text output count them.
    QCOMPARE(tare.value(QStringLiteral("line")), b.Linie + 1);
    QCOMPARE(tare.value(QStringLiteral("column")), b.Pos);
    QCOMPARE(tare.value(QStringLiteral("Digits")), b.Digits);
    QCOMPARE(tare.value(QStringLiteral("Offset")), b.Offset);
    QCOMPARE(tare.value(QStringLiteral("BitNo")), b.BitNo);

    const CliRun empty = cli.run(cmd({"show", "--port", "Small", "--format", "json"}));
    QCOMPARE(empty.exitCode, 1);
    QCOMPARE(QJsonDocument::fromJson(empty.out).object(),
             (QJsonObject{{QStringLiteral("port"), QStringLiteral("Small")}, {QStringLiteral("holdsTicket"), false}}));

    // A real device that cannot be reached holds nothing we know of: a diagnostic, no object.
    CliRunner::writeFile(cli.networkPath(), R"({"nodes": [{"name": "Far", "address": "NET1.ST09",
        "capabilities": "65 ticket printer", "modbus": {"host": "127.0.0.1", "port": 1, "timeoutMs": 300},
        "variables": []}], "ports": [{"name": "Remote", "node": "Far", "modbus": {"unit": 1, "base": 0}}]})");
    const CliRun unreachable = cli.run(cmd({"show", "--port", "Remote", "--format", "json"}));
    QCOMPARE(unreachable.exitCode, 1);
    QVERIFY(unreachable.out.isEmpty());
    QVERIFY2(unreachable.err.startsWith("tklcli show: Reading Remote.lines"), unreachable.err.constData());
}

void TestCli::helpAndVersion_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("start"); // of standard output
    QTest::newRow("help COMMAND") << cmd({"help", "show"}) << 0 << "Usage: tklcli show";
    QTest::newRow("help of an unknown command") << cmd({"help", "print"}) << 2 << "";
    QTest::newRow("help alone") << cmd({"help"}) << 0 << "Usage: tklcli COMMAND";
    QTest::newRow("version") << cmd({"--version"}) << 0 << "tklcli 0.";
}

void TestCli::helpAndVersion()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, start);
    const CliRun run = CliRunner().run(args);
    QCOMPARE(run.exitCode, status);
    QVERIFY2(run.out.startsWith(start.toUtf8()), run.out.constData());
    QCOMPARE(run.out.isEmpty(), start.isEmpty());
}

void TestCli::deviceStoreFailures()
{
    // A damaged store is set aside with a warning; the device starts empty.
    CliRunner cli;
    CliRunner::writeFile(cli.storePath(), "{ \"version\": 1, \"ports\": ");
    const CliRun run = cli.run(cmd({"show", "--port", "Printer1"}));
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.startsWith("tklcli: warning: "), run.err.constData());
    QVERIFY(!QFile::exists(cli.storePath()));
    QCOMPARE(QDir(cli.path(QString())).entryList({QStringLiteral("devices.json.damaged*")}).size(), 1);
    QCOMPARE(cli.run(cli.withFiles(cmd({"download", "@layout", "--port", "Printer1"}))).exitCode, 0);
    QCOMPARE(cli.run(cmd({"show", "--port", "Printer1"})).exitCode, 0);

    // A store that cannot be written whole stays as it was, and that is no success.
    const QByteArray before = [&] {
        QFile f(cli.storePath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    const rlim_t limit = rlim_t(before.size() + 100);
    const CliRun full = cli.run(cli.withFiles(cmd({"download", "@layout", "--port", "Printer2"})), [limit] {
        // Writes past this size fail as on a full disk.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit small{};
        getrlimit(RLIMIT_FSIZE, &small);
        small.rlim_cur = limit;
        setrlimit(RLIMIT_FSIZE, &small);
    });
    QCOMPARE(full.exitCode, 1);
    QVERIFY2(full.err.contains("could not be saved"), full.err.constData());
    QFile kept(cli.storePath());
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), before);

    // Locked by a living program: unknown, not "no ticket".
    QLockFile held(cli.storePath() + QStringLiteral(".lock"));
    QVERIFY(held.tryLock(0));
    const CliRun locked = cli.run(cmd({"show", "--port", "Printer1"}));
    QCOMPARE(locked.exitCode, 2);
    QVERIFY2(locked.err.contains("could not be read") && !locked.err.contains("no ticket"), locked.err.constData());
    held.unlock();

    // A store that is no file cannot keep the ticket: the device is not written.
    CliRunner unwritable;
    QVERIFY(QDir().mkpath(unwritable.storePath()));
    const CliRun lost = unwritable.run(unwritable.withFiles(cmd({"download", "@layout", "--port", "Printer1"})));
    QCOMPARE(lost.exitCode, 2);
    QVERIFY2(lines(lost.err).last().contains(QStringLiteral("could not be read")), lost.err.constData());
}

void TestCli::badInput_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("phrase");

    QTest::newRow("check: missing file") << cmd({"check", "/nonexistent/t.txt"}) << "does not exist";
    QTest::newRow("download: directory") << cmd({"download", "/tmp", "--port", "Printer1"}) << "is a folder";
    QTest::newRow("preview: binary junk") << QStringList{QStringLiteral("preview"), QStringLiteral(TKLCLI_PATH)}
                                          << ":1: error: ";
    QTest::newRow("download: unknown port") << cmd({"download", "@layout", "--port", "Printer9"})
                                            << "no printer port \"Printer9\"";
    QTest::newRow("show: empty port") << cmd({"show", "--port", ""}) << "the port name is empty";
    QTest::newRow("preview: node as port") << cmd({"preview", "--port", "Scale1"})
                                           << "is a network node, not a printer port";
    QTest::newRow("show: device variable as port") << cmd({"show", "--port", "Printer1.lines"})
                                                   << "inside a printer device";
    QTest::newRow("preview: values file malformed") << cmd({"preview", "@layout", "--values", "@values"}) << "line 3";
}

void TestCli::badInput()
{
    QFETCH(QStringList, args);
    QFETCH(QString, phrase);
    CliRunner cli;
    const CliRun run = cli.run(cli.withFiles(args));
    QVERIFY(!run.crashed);
    QCOMPARE(run.exitCode, 2);
    // check reports its files on standard output; everything else says it on standard error.
    const QStringList said = lines(args.first() == u"check" ? run.out : run.err);
    QVERIFY2(args.first() == u"check" || run.out.isEmpty(), run.out.constData());
    QCOMPARE(said.size(), 1);
    QVERIFY2(said.first().contains(phrase), qPrintable(said.first()));
}

void TestCli::notRegularFileRefused_data()
{
    QTest::addColumn<QString>("pipe"); // the file of the run that is a pipe
    QTest::addColumn<QStringList>("args");

    QTest::newRow("values file") << "values.txt" << cmd({"preview", "@layout", "--values", "@values"});
    QTest::newRow("network description") << "network.json" << cmd({"check", "@layout"});
    QTest::newRow("device store") << "devices.json" << cmd({"show", "--port", "Printer1"});
}

// A pipe would block the tool for ever: refused at once.
void TestCli::notRegularFileRefused()
{
    QFETCH(QString, pipe);
    QFETCH(QStringList, args);
    CliRunner cli;
    args = cli.withFiles(args);
    const QString path = cli.path(pipe);
    QFile::remove(path);
    QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);

    const CliRun run = cli.run(args);
    QVERIFY(!run.crashed);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains("pipe or device"), run.err.constData());
}

void TestCli::namesPrintedEscaped_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("shown");

    QTest::newRow("download: missing file") << cmd({"download", "@odd", "--port", "Printer1"})
                                            << "odd[27][2J[10]name.txt";
    QTest::newRow("preview: missing file") << cmd({"preview", "@odd"}) << "odd[27][2J[10]name.txt";
    QTest::newRow("download: port from the network") << cmd({"download", "@layout", "--port", "Odd\x1b[2J"})
                                                     << "writes to Odd[27][2J";
    QTest::newRow("show: port from the network") << cmd({"show", "--port", "Odd\x1b[2J"}) << "Port Odd[27][2J holds";
}

// No control character of a name reaches the terminal, and no name breaks a line.
void TestCli::namesPrintedEscaped()
{
    QFETCH(QStringList, args);
    QFETCH(QString, shown);
    CliRunner cli;
    QCOMPARE(cli.run(cli.withFiles(cmd({"download", "@layout", "--port", "Odd\x1b[2J"}))).exitCode, 0);
    const CliRun run = cli.run(cli.withFiles(args));
    QVERIFY(!run.crashed);
    const QByteArray said = run.out + run.err;
    QVERIFY2(said.contains(shown.toUtf8()), said.constData());
    QVERIFY(std::none_of(said.begin(), said.end(), [](char c) { return uchar(c) < 32 && c != '\n'; }));
    QVERIFY(lines(run.err).size() <= 1);
}

// A download that stopped half-way leaves part of a ticket: shown as such, not hidden.
void TestCli::partialDownloadShown()
{
    CliRunner cli;
    // As a download that stopped after the first field's name leaves the device.
    CliRunner::writeFile(cli.storePath(), R"({"version": 1, "ports": {"Small": {
        "Small.UpdateArr[1].DataIn": true, "Small.UpdateArr[1].VarName": "Scale1.NetWeight",
        "Small.UpdateArr[2].DataIn": false, "Small.downloadFinished": false}}})");

    const CliRun show = cli.run(cmd({"show", "--port", "Small"}));
    QCOMPARE(show.exitCode, 1);
    const QStringList shown = lines(show.out);
    QVERIFY2(shown.size() > 1 && shown.at(1).startsWith(QStringLiteral("The last download to it did not finish")),
             show.out.constData());
    QVERIFY(shown.contains(QStringLiteral("  UpdateArr[1] Scale1.NetWeight")));
    const CliRun json = cli.run(cmd({"show", "--port", "Small", "--format", "json"}));
    QCOMPARE(json.exitCode, 1);
    QCOMPARE(QJsonDocument::fromJson(json.out).object().value(QStringLiteral("lastDownloadFinished")), false);

    const CliRun preview = cli.run(cmd({"preview", "--port", "Small"}));
    QCOMPARE(preview.exitCode, 1);
    QVERIFY2(preview.err.contains("did not finish"), preview.err.constData());
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
