// The command-line tool, run as a separate process the way operators run it.

#include "CliRunner.h"
#include "cli/LayoutCheck.h"
#include "cli/TerminalProgress.h"
#include "files/LayoutLines.h"

#include <QDir>
#include <QRegularExpression>
#include <QTest>

#include <functional>

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

using namespace tkl;
using namespace tkl::test;

namespace {

using Mutation = std::function<void(LayoutData &)>;

// One finding expected on standard output: the file line, the kind and a phrase of it.
struct Expect
{
    int line;
    const char *kind;
    const char *phrase;
};

struct CheckCase
{
    const char *name;
    Mutation mutate;
    QList<Expect> expected;  ///< empty: the layout must pass
};

int member(int slot, LayoutLines::Member m)
{
    return LayoutLines::memberLine(slot, m);
}

const QList<CheckCase> &checkCases()
{
    using M = LayoutLines::Member;
    static const QList<CheckCase> cases = {
        {"clean", [](LayoutData &) {}, {}},
        // 40 characters per line: a field ending in column 40 fits, one in 41 does not.
        {"field ends on the last column", [](LayoutData &l) { l.UpdateBoxes[1].Pos = 32; }, {}},
        {"field one past the right edge",
         [](LayoutData &l) { l.UpdateBoxes[1].Pos = 33; },
         {{member(1, M::Pos), "warning", "ends in column 41, past the right edge of the ticket (40 characters"}}},
        {"wider editor, wider ticket",
         [](LayoutData &l) {
             l.EditorWidth = 5170 + 120 * 5;
             l.UpdateBoxes[1].Pos = 37;
         },
         {}},
        {"field left of the first column",
         [](LayoutData &l) { l.UpdateBoxes[2].Pos = 0; },
         {{member(2, M::Pos), "warning", "UpdateBox 2 starts in column 0"}}},
        {"fields share one cell",
         [](LayoutData &l) {
             l.UpdateBoxes[2].Linie = 1;
             l.UpdateBoxes[2].Pos = 14;  // slot 1 covers 6..14
         },
         {{member(2, M::Linie), "warning", "UpdateBox 2 overlaps UpdateBox 1 on ticket line 2 (columns 14 to 14)"}}},
        {"fields side by side",
         [](LayoutData &l) {
             l.UpdateBoxes[2].Linie = 1;
             l.UpdateBoxes[2].Pos = 15;
         },
         {}},
        {"undefined field on top of a defined one",
         [](LayoutData &l) {
             l.UpdateBoxes[5] = l.UpdateBoxes[1];
             l.UpdateBoxes[5].DataIn = false;
             l.UpdateBoxes[5].VarName = QStringLiteral("Nowhere.Nothing");
         },
         {}},
        {"field on the line after the last",
         [](LayoutData &l) { l.UpdateBoxes[2].Linie = 3; },
         {{member(2, M::Linie), "warning", "UpdateBox 2 is on ticket line 4, but the text has 3 line(s)"}}},
        {"text line wider than the ticket",
         [](LayoutData &l) { l.text += QStringLiteral("\r\n") + QString(41, u'='); },
         {{LayoutLines::FirstText + 3, "warning", "text line 4 has 41 characters"}}},
        {"variable the network does not know",
         [](LayoutData &l) { l.UpdateBoxes[2].VarName = QStringLiteral("Scale1.Gone"); },
         {{member(2, M::VarName), "warning", "\"Scale1.Gone\", which the network does not know"}}},
        {"control characters in a name stay visible and harmless",
         [](LayoutData &l) { l.UpdateBoxes[2].VarName = QStringLiteral("Scale1.Tare") + QChar(27) + QStringLiteral("[2J"); },
         {{member(2, M::VarName), "warning", "\"Scale1.Tare[27][2J\", which the network does not know"}}},
        {"defined but never bound",
         [](LayoutData &l) { l.UpdateBoxes[2].VarName.clear(); },
         {{member(2, M::VarName), "warning", "UpdateBox 2 is defined but bound to no variable"}}},
        {"node number differs",
         [](LayoutData &l) { l.UpdateBoxes[1].NodeAdr = 4; },
         {{member(1, M::NodeAdr), "warning", "NodeAdr is 4, but the network now reports 3"}}},
        {"internal address differs",
         [](LayoutData &l) { l.UpdateBoxes[2].SWNo = 121; },
         {{member(2, M::SWNo), "warning", "SWNo is 121, but the network now reports 122"}}},
        {"offset differs",
         [](LayoutData &l) { l.UpdateBoxes[2].Offset = 0; },
         {{member(2, M::Offset), "warning", "Offset is 0, but the network now reports 8"}}},
        {"type differs",
         [](LayoutData &l) { l.UpdateBoxes[1].Typ = 2; },
         {{member(1, M::Typ), "warning", "Typ is 2, but the network now reports 4"}}},
        {"bit differs",
         [](LayoutData &l) { l.UpdateBoxes[2].BitNo = 0; },
         {{member(2, M::BitNo), "warning", "BitNo is 0, but the network now reports 2"}}},
        {"capability code differs",
         [](LayoutData &l) { l.UpdateBoxes[1].Code = 65; },
         {{member(1, M::Code), "warning", "Code is 65, but the network now reports 17"}}},
        {"device type is not the network's to check", [](LayoutData &l) { l.UpdateBoxes[1].DevType = 9; }, {}},
        {"start code left open",
         [](LayoutData &l) { l.StartCode = QStringLiteral("[27]@[13"); },
         {{LayoutLines::StartCode, "warning", "start code: \"[\" in column 6 is not closed"}}},
        {"stop code above a byte",
         [](LayoutData &l) { l.StopCode = QStringLiteral("A[256]"); },
         {{LayoutLines::StopCode, "warning", "stop code: code 256 in column 2 is above 255"}}},
        {"codes at the limits and plain brackets",
         [](LayoutData &l) {
             l.StartCode = QStringLiteral("[0][255]");
             l.StopCode = QStringLiteral("[ab] ]x");
         },
         {}},
        {"findings come in file order",
         [](LayoutData &l) {
             l.StopCode = QStringLiteral("[");
             l.UpdateBoxes[2].Offset = 1;
             l.UpdateBoxes[1].Pos = 40;
         },
         {{member(1, M::Pos), "warning", "past the right edge"},
          {member(2, M::Offset), "warning", "Offset is 1"},
          {LayoutLines::StopCode, "warning", "not closed"}}},
    };
    return cases;
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void progressOnlyOnTerminal_data();
    void progressOnlyOnTerminal();
    void codeProblems_data();
    void codeProblems();
    void checkFindings_data();
    void checkFindings();
    void checkReadErrors_data();
    void checkReadErrors();
    void exitStatus_data();
    void exitStatus();
    void printWritesGolden();
    void printWritesEscapes();
    void downloadFailure();
    void downloadShowPreviewRoundTrip();
    void deviceStoreDamaged();
    void previewValues_data();
    void previewValues();
    void badInput_data();
    void badInput();
};

void TestCli::progressOnlyOnTerminal_data()
{
    QTest::addColumn<bool>("terminal");
    QTest::newRow("terminal") << true;
    QTest::newRow("pipe") << false;
}

void TestCli::progressOnlyOnTerminal()
{
    QFETCH(bool, terminal);
    int readEnd = -1;
    int writeEnd = -1;
    if (terminal) {
        QVERIFY(::openpty(&readEnd, &writeEnd, nullptr, nullptr, nullptr) == 0);
    } else {
        int fds[2];
        QVERIFY(::pipe(fds) == 0);
        readEnd = fds[0];
        writeEnd = fds[1];
    }
    std::FILE *stream = ::fdopen(writeEnd, "w");
    QVERIFY(stream);
    {
        cli::TerminalProgress progress(stream);
        QCOMPARE(progress.active(), terminal);
        for (double p : {0.0, 0.4, 1.7, 50.0, 50.9, 100.0, 100.0})
            progress.update(p);
    }
    std::fclose(stream);
    QByteArray got;
    ::fcntl(readEnd, F_SETFL, O_NONBLOCK);
    char buffer[4096];
    for (ssize_t n; (n = ::read(readEnd, buffer, sizeof buffer)) > 0;)
        got.append(buffer, n);
    ::close(readEnd);
    if (!terminal) {
        QCOMPARE(got, QByteArray());
        return;
    }
    // A redraw per whole percent that changed (0, 1, 50, 100), each from the line's start,
    // and the line ended once at the end.
    QCOMPARE(got.count('\r') - got.count("\r\n"), 4);
    QVERIFY2(got.contains("] 100%"), got.constData());
    QVERIFY(got.endsWith('\n'));
    QCOMPARE(got.count('\n'), 1);
}

void TestCli::codeProblems_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QStringList>("problems");

    QTest::newRow("empty") << QString() << QStringList();
    QTest::newRow("codes and text") << QStringLiteral("[27]E[0]x[255]") << QStringList();
    QTest::newRow("brackets around text are text") << QStringLiteral("[ESC] [] a]") << QStringList();
    QTest::newRow("digits never closed") << QStringLiteral("[27]E[12")
                                         << QStringList{QStringLiteral("\"[\" in column 6 is not closed")};
    QTest::newRow("digits then something else") << QStringLiteral("[27 ]")
                                                << QStringList{QStringLiteral("\"[\" in column 1 is not closed")};
    QTest::newRow("lone bracket at the end") << QStringLiteral("E[")
                                             << QStringList{QStringLiteral("\"[\" in column 2 is not closed")};
    QTest::newRow("one past a byte") << QStringLiteral("[256]")
                                     << QStringList{QStringLiteral("code 256 in column 1 is above 255")};
    QTest::newRow("leading zeros count as the number") << QStringLiteral("[0255][0256]")
                                                       << QStringList{QStringLiteral("code 0256 in column 7 is above 255")};
    QTest::newRow("too many digits for any integer") << QStringLiteral("[99999999999999999999]")
                                                     << QStringList{QStringLiteral("code 99999999999999999999 in column 1 is above 255")};
    QTest::newRow("each problem once, in order") << QStringLiteral("[300][")
                                                 << QStringList{QStringLiteral("code 300 in column 1 is above 255"),
                                                                QStringLiteral("\"[\" in column 6 is not closed")};
}

void TestCli::codeProblems()
{
    QFETCH(QString, code);
    QFETCH(QStringList, problems);
    QCOMPARE(cli::LayoutCheck::codeProblems(code), problems);
}

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
    LayoutData layout = cleanLayout();
    c.mutate(layout);
    const QString file = cli.writeLayout(QStringLiteral("ticket.txt"), layout);

    const CliRun run = cli.run({QStringLiteral("check"), file});
    QVERIFY(!run.crashed);
    QVERIFY2(run.err.isEmpty(), run.err.constData());
    const QStringList lines = run.outLines();
    QCOMPARE(lines.size(), c.expected.size());
    for (int i = 0; i < lines.size(); ++i) {
        const Expect &e = c.expected.at(i);
        const QString head = QStringLiteral("%1:%2: %3: ").arg(file).arg(e.line).arg(QLatin1String(e.kind));
        QVERIFY2(lines[i].startsWith(head), qPrintable(lines[i] + QStringLiteral("\nexpected start: ") + head));
        QVERIFY2(lines[i].contains(QLatin1String(e.phrase)), qPrintable(lines[i]));
    }
    QCOMPARE(run.exitCode, c.expected.isEmpty() ? 0 : 1);
}

void TestCli::checkReadErrors_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");  // after "FILE"

    QByteArray valid;
    QVERIFY(!LayoutWriter::toBytes(cleanLayout(), valid));
    const auto replaceLine = [&valid](int line, const QByteArray &with) {
        QList<QByteArray> lines = valid.split('\n');
        lines[line - 1] = with + '\r';
        return lines.join('\n');
    };
    QTest::newRow("not a number in a record") << replaceLine(35, "three")
                                              << QStringLiteral(":35: error: \"three\" is not a number (NodeAdr of UpdateBox 1)");
    QTest::newRow("out of range") << replaceLine(2, "40000")
                                  << QStringLiteral(":2: error: \"40000\" is outside the range -32768 to 32767 (EditorHeight)");
    QTest::newRow("ends before the stop code") << valid.left(valid.indexOf("[27]@"))
                                               << QStringLiteral(":424: error: The file ends at line 423");
    QTest::newRow("lines end in LF alone") << QByteArray(valid).replace("\r\n", "\n")
                                           << QStringLiteral(":1: error: ");
    QTest::newRow("empty") << QByteArray() << QStringLiteral(":1: error: The file is empty");
}

void TestCli::checkReadErrors()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    CliRunner cli;
    const QString file = cli.path(QStringLiteral("broken.txt"));
    CliRunner::writeFile(file, bytes);
    const CliRun run = cli.run({QStringLiteral("check"), file});
    QCOMPARE(run.outLines().size(), 1);
    QVERIFY2(run.outLines().first().startsWith(file + expected), qPrintable(run.outLines().first()));
    QCOMPARE(run.exitCode, 2);
}

void TestCli::exitStatus_data()
{
    QTest::addColumn<QStringList>("args");  // "@clean", "@warn", "@bad" stand for files
    QTest::addColumn<int>("status");

    const auto l = [](std::initializer_list<const char *> args) {
        QStringList list;
        for (const char *a : args)
            list << QString::fromUtf8(a);
        return list;
    };
    QTest::newRow("check: all clean") << l({"check", "@clean", "@clean"}) << 0;
    QTest::newRow("check: a warning in the second") << l({"check", "@clean", "@warn"}) << 1;
    QTest::newRow("check: one unreadable among readable") << l({"check", "@clean", "@bad"}) << 1;
    QTest::newRow("check: none readable") << l({"check", "@bad", "@missing"}) << 2;
    QTest::newRow("check: no file") << l({"check"}) << 2;
    QTest::newRow("check: unknown option") << l({"check", "--fast", "@clean"}) << 2;
    QTest::newRow("download: done") << l({"download", "@clean", "--port", "Printer1"}) << 0;
    QTest::newRow("download: a warning does not stop it") << l({"download", "@warn", "--port", "Printer1"}) << 0;
    QTest::newRow("download: the device refuses") << l({"download", "@clean", "--port", "Small"}) << 1;
    QTest::newRow("download: no port") << l({"download", "@clean"}) << 2;
    QTest::newRow("download: two layouts") << l({"download", "@clean", "@clean", "--port", "Printer1"}) << 2;
    QTest::newRow("no command") << QStringList() << 2;
    QTest::newRow("unknown command") << l({"print"}) << 2;
    for (const char *command : {"", "check", "download", "show", "preview"}) {
        QStringList args;
        if (*command)
            args << QString::fromUtf8(command);
        QTest::newRow(qPrintable(QStringLiteral("help: ") + (*command ? command : "tool"))) << (args << "--help") << 0;
    }
}

void TestCli::exitStatus()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    CliRunner cli;
    LayoutData warn = cleanLayout();
    warn.UpdateBoxes[1].Pos = 39;
    const QString clean = cli.writeLayout(QStringLiteral("clean.txt"), cleanLayout());
    const QString warned = cli.writeLayout(QStringLiteral("warn.txt"), warn);
    const QString bad = cli.path(QStringLiteral("bad.txt"));
    CliRunner::writeFile(bad, "5170\r\n3155\r\nthree\r\n");
    for (QString &a : args) {
        a.replace(QStringLiteral("@clean"), clean);
        a.replace(QStringLiteral("@warn"), warned);
        a.replace(QStringLiteral("@bad"), bad);
        a.replace(QStringLiteral("@missing"), cli.path(QStringLiteral("missing.txt")));
    }
    const CliRun run = cli.run(args);
    QVERIFY(!run.crashed);
    QVERIFY2(run.exitCode == status, run.err.constData());
    if (args.contains(QStringLiteral("--help")))
        QVERIFY(run.out.startsWith("Usage: tklcli"));
}

void TestCli::printWritesGolden()
{
    CliRunner cli;
    const QString golden = QStringLiteral(TKL_CLI_TEST_DATA "/golden-writes.txt");
    const CliRun run = cli.run({QStringLiteral("download"), QStringLiteral(TKL_CLI_TEST_DATA "/golden-layout.txt"),
                                QStringLiteral("--port"), QStringLiteral("Printer1"), QStringLiteral("--print-writes")});
    QCOMPARE(run.exitCode, 0);
    QFile expected(golden);
    QVERIFY(expected.open(QIODevice::ReadOnly));
    const QStringList want = CliRun::lines(expected.readAll());
    const QStringList got = run.outLines();
    for (int i = 0; i < std::min(want.size(), got.size()); ++i)
        QCOMPARE(got.at(i), want.at(i));
    QCOMPARE(got.size(), want.size());
    // Piped, standard error carries the count alone: no bar, no carriage returns.
    QCOMPARE(run.err, QByteArray::number(want.size()) + " writes to Printer1\n");
}

void TestCli::printWritesEscapes()
{
    CliRunner cli;
    LayoutData layout = cleanLayout();
    layout.text = QStringLiteral("a\\b\tc") + QChar(1) + QChar(0x1f) + QStringLiteral("\nd") + QChar(127)
        + QStringLiteral("\u00e9");
    layout.StopCode.clear();
    const QString file = cli.writeLayout(QStringLiteral("escapes.txt"), layout);
    const CliRun run = cli.run({QStringLiteral("download"), file, QStringLiteral("--port"), QStringLiteral("Printer1"),
                                QStringLiteral("--print-writes")});
    QCOMPARE(run.exitCode, 0);
    const QStringList lines = run.outLines();
    QVERIFY(lines.contains(QStringLiteral("Printer1.Ticket[1]\tstring\ta\\\\b\\tc\\x01\\x1F\\nd") + QChar(127)
                           + QStringLiteral("\u00e9")));
    QVERIFY(lines.contains(QStringLiteral("Printer1.lines\ti16\t1")));
    QCOMPARE(lines.last(), QStringLiteral("Printer1.PrintCode.stop\tstring\t\\r"));
    QVERIFY(lines.contains(QStringLiteral("Printer1.UpdateArr[1].NodeAdr\tu8\t3")));
    QVERIFY(lines.contains(QStringLiteral("Printer1.UpdateArr[2].DataIn\tbool\ttrue")));
}

void TestCli::downloadFailure()
{
    CliRunner cli;
    const QString file = cli.writeLayout(QStringLiteral("ticket.txt"), cleanLayout());
    const CliRun run = cli.run({QStringLiteral("download"), file, QStringLiteral("--port"), QStringLiteral("Small"),
                                QStringLiteral("--print-writes")});
    QCOMPARE(run.exitCode, 1);
    // The port stores one line, so the first field's line 2 is refused: the name, how
    // many writes were made and the server's text, and every write before it was made.
    const QStringList errLines = run.errLines();
    QCOMPARE(errLines.size(), 1);
    QCOMPARE(errLines.first().section(u':', 0, 1),
             QStringLiteral("tklcli download: failed at Small.UpdateArr[1].Linie after 41 writes"));
    QVERIFY2(errLines.first().contains(QStringLiteral("out of range")), qPrintable(errLines.first()));
    QCOMPARE(run.outLines().size(), 41);
    QCOMPARE(run.outLines().last(), QStringLiteral("Small.UpdateArr[1].DataIn\tbool\ttrue"));
}

void TestCli::downloadShowPreviewRoundTrip()
{
    CliRunner cli;
    LayoutData layout = cleanLayout();
    layout.text += QStringLiteral("\r\nEnd") + QChar(27) + QStringLiteral("[2J");
    const QString file = cli.writeLayout(QStringLiteral("ticket.txt"), layout);
    const QString port = QStringLiteral("--port");
    QCOMPARE(cli.run({QStringLiteral("download"), file, port, QStringLiteral("Printer1")}).exitCode, 0);

    // A new process finds the ticket in the device.
    const CliRun show = cli.run({QStringLiteral("show"), port, QStringLiteral("Printer1")});
    QCOMPARE(show.exitCode, 0);
    const QStringList shown = show.outLines();
    const QStringList expected = {
        QStringLiteral("Port Printer1 holds a ticket of 4 line(s)."),
        QStringLiteral("  UpdateArr[1] Scale1.NetWeight"),
        QStringLiteral("    line 2, column 6, 9 character(s), 2 decimal(s)"),
        QStringLiteral("    NodeAdr 3  SWNo 120  Offset 0  Typ 4  BitNo 0  Code 17  DevType 0"),
        QStringLiteral("  UpdateArr[2] Scale1.Tare"),
        QStringLiteral("    NodeAdr 3  SWNo 122  Offset 8  Typ 4  BitNo 2  Code 17  DevType 0"),
        QStringLiteral("  1 |WEIGHT TICKET"),
        // An escape sequence in a line must not reach the terminal raw.
        QStringLiteral("  4 |End[27][2J"),
        QStringLiteral("  start [27]@  (ESC @)"),
        QStringLiteral("  stop  [13]  (CR)"),
    };
    for (const QString &line : expected)
        QVERIFY2(shown.contains(line), qPrintable(line + QStringLiteral("\n--- got:\n") + shown.join(u'\n')));
    QVERIFY(!show.out.contains('\x1b'));
    QVERIFY(!shown.contains(QStringLiteral("  UpdateArr[3] ")));

    // The device prints what the layout previews: same lines, same codes.
    const CliRun fromDevice = cli.run({QStringLiteral("preview"), port, QStringLiteral("Printer1")});
    const CliRun fromFile = cli.run({QStringLiteral("preview"), file});
    QCOMPARE(fromDevice.exitCode, 0);
    QCOMPARE(fromFile.exitCode, 0);
    QCOMPARE(fromDevice.outLines(), fromFile.outLines());
    QCOMPARE(fromFile.outLines().first(), QStringLiteral("<start: ESC @>"));
    QCOMPARE(fromFile.outLines().at(2), QStringLiteral("Net:   1234.56 kg"));
    QCOMPARE(fromFile.outLines().at(3), QStringLiteral("Tare:    -12.5 kg"));
    QCOMPARE(fromFile.outLines().last(), QStringLiteral("<stop: CR>"));

    // Another port was never written: nothing to show, and the first port kept its ticket.
    const CliRun empty = cli.run({QStringLiteral("show"), port, QStringLiteral("Small")});
    QCOMPARE(empty.exitCode, 1);
    QVERIFY(empty.err.contains("holds no ticket"));
    QCOMPARE(cli.run({QStringLiteral("show"), port, QStringLiteral("Printer1")}).outLines(), shown);
}

void TestCli::deviceStoreDamaged()
{
    CliRunner cli;
    CliRunner::writeFile(cli.storePath(), "{ \"version\": 1, \"ports\": ");
    const CliRun run = cli.run({QStringLiteral("show"), QStringLiteral("--port"), QStringLiteral("Printer1")});
    QVERIFY(!run.crashed);
    QCOMPARE(run.exitCode, 1);  // the device starts empty
    QVERIFY2(run.errLines().first().startsWith(QStringLiteral("tklcli: warning: ")), run.err.constData());
    QVERIFY(!QFile::exists(cli.storePath()));
    QCOMPARE(QDir(cli.path(QString())).entryList({QStringLiteral("devices.json.damaged*")}).size(), 1);

    // A store that cannot be written loses the ticket when the process ends: no success.
    {
        CliRunner unwritable;
        QVERIFY(QDir().mkpath(unwritable.storePath()));
        const QString file = unwritable.writeLayout(QStringLiteral("ticket.txt"), cleanLayout());
        const CliRun lost = unwritable.run({QStringLiteral("download"), file, QStringLiteral("--port"),
                                            QStringLiteral("Printer1")});
        QCOMPARE(lost.exitCode, 1);
        QVERIFY2(lost.errLines().last().startsWith(QStringLiteral("tklcli: warning: ")), lost.err.constData());
    }

    // And a download after it starts a new store that the next process reads.
    const QString file = cli.writeLayout(QStringLiteral("ticket.txt"), cleanLayout());
    QCOMPARE(cli.run({QStringLiteral("download"), file, QStringLiteral("--port"), QStringLiteral("Printer1")}).exitCode, 0);
    QCOMPARE(cli.run({QStringLiteral("show"), QStringLiteral("--port"), QStringLiteral("Printer1")}).exitCode, 0);
}

void TestCli::previewValues_data()
{
    QTest::addColumn<QByteArray>("values");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QStringList>("ticket");  // the printed lines, codes included when shown
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("note");         // a phrase on standard error, or empty

    const QString start = QStringLiteral("<start: ESC @>");
    const QString stop = QStringLiteral("<stop: CR>");
    const QString title = QStringLiteral("WEIGHT TICKET");
    QTest::newRow("carry into a new digit") << QByteArray("Scale1.NetWeight=9.995\nScale1.Tare=-3\n") << QStringList()
                                            << QStringList{start, title, QStringLiteral("Net:     10.00 kg"),
                                                           QStringLiteral("Tare:     -3.0 kg"), stop}
                                            << 0 << QString();
    QTest::newRow("codes left out") << QByteArray("Scale1.NetWeight=0\r\nScale1.Tare=0.04") << QStringList{"--no-codes"}
                                    << QStringList{title, QStringLiteral("Net:      0.00 kg"),
                                                   QStringLiteral("Tare:      0.0 kg")}
                                    << 0 << QString();
    QTest::newRow("too wide") << QByteArray("Scale1.NetWeight=1234567.891\nScale1.Tare=-1234567.8") << QStringList{"--no-codes"}
                              << QStringList{title, QStringLiteral("Net: ********* kg"),
                                             QStringLiteral("Tare:********* kg")}
                              << 1 << QStringLiteral("UpdateBox 1: Scale1.NetWeight = 1234567.891 does not fit in 9 cell(s)");
    QTest::newRow("no value") << QByteArray("# only the net\nScale1.NetWeight=5\n") << QStringList{"--no-codes"}
                              << QStringList{title, QStringLiteral("Net:      5.00 kg"),
                                             QStringLiteral("Tare:????????? kg")}
                              << 1 << QStringLiteral("UpdateBox 2: no value for Scale1.Tare");
}

void TestCli::previewValues()
{
    QFETCH(QByteArray, values);
    QFETCH(QStringList, options);
    QFETCH(QStringList, ticket);
    QFETCH(int, status);
    QFETCH(QString, note);
    CliRunner cli;
    const QString file = cli.writeLayout(QStringLiteral("ticket.txt"), cleanLayout());
    const QString valuesFile = cli.path(QStringLiteral("values.txt"));
    CliRunner::writeFile(valuesFile, values);
    const CliRun run = cli.run(QStringList{QStringLiteral("preview"), file, QStringLiteral("--values"), valuesFile} + options);
    QCOMPARE(run.outLines(), ticket);
    QCOMPARE(run.exitCode, status);
    if (note.isEmpty())
        QVERIFY2(run.err.isEmpty(), run.err.constData());
    else
        QVERIFY2(run.err.contains(note.toUtf8()), run.err.constData());
}

void TestCli::badInput_data()
{
    QTest::addColumn<QStringList>("args");  // @layout: a good layout; @values: a values file
    QTest::addColumn<QByteArray>("network"); // replaces the network description when set
    QTest::addColumn<QString>("phrase");

    const QByteArray keep;
    const auto l = [](std::initializer_list<const char *> args) {
        QStringList list;
        for (const char *a : args)
            list << QString::fromUtf8(a);
        return list;
    };
    const QString dir = QDir::tempPath();
    const QString selfBinary = QStringLiteral(TKLCLI_PATH);
    for (const char *command : {"check", "download", "preview"}) {
        const QString c = QString::fromUtf8(command);
        QStringList tail;
        if (c == u"download")
            tail = l({"--port", "Printer1"});
        QTest::newRow(qPrintable(c + ": missing file")) << (QStringList{c, QStringLiteral("/nonexistent/t.txt")} + tail)
                                                        << keep << QStringLiteral("does not exist");
        QTest::newRow(qPrintable(c + ": directory")) << (QStringList{c, dir} + tail) << keep
                                                     << QStringLiteral("is a folder");
        QTest::newRow(qPrintable(c + ": binary junk")) << (QStringList{c, selfBinary} + tail) << keep
                                                       << QStringLiteral(":1: error: ");
        QTest::newRow(qPrintable(c + ": device file")) << (QStringList{c, QStringLiteral("/dev/zero")} + tail) << keep
                                                       << QStringLiteral("not a regular file");
        QTest::newRow(qPrintable(c + ": damaged network")) << (QStringList{c, QStringLiteral("@layout")} + tail)
                                                           << QByteArray("{ \"nodes\": [") << QStringLiteral("network");
    }
    for (const char *command : {"download", "show", "preview"}) {
        const QString c = QString::fromUtf8(command);
        // Only download takes a layout besides the port.
        QStringList head{c};
        if (c == u"download")
            head << QStringLiteral("@layout");
        QTest::newRow(qPrintable(c + ": unknown port")) << (head + l({"--port", "Printer9"})) << keep
                                                        << QStringLiteral("no printer port \"Printer9\"");
        QTest::newRow(qPrintable(c + ": empty port")) << (head + l({"--port", ""})) << keep
                                                      << QStringLiteral("the port name is empty");
        QTest::newRow(qPrintable(c + ": node as port")) << (head + l({"--port", "Scale1"})) << keep
                                                        << QStringLiteral("is a network node, not a printer port");
        QTest::newRow(qPrintable(c + ": variable as port")) << (head + l({"--port", "Scale1.Tare"})) << keep
                                                            << QStringLiteral("is a network variable");
        QTest::newRow(qPrintable(c + ": device variable as port"))
            << (head + l({"--port", "Printer1.lines"})) << keep << QStringLiteral("inside a printer device");
        QTest::newRow(qPrintable(c + ": port without value")) << (head + l({"--port"})) << keep
                                                              << QStringLiteral("--port");
    }
    QTest::newRow("show: a layout given") << l({"show", "@layout", "--port", "Printer1"}) << keep
                                          << QStringLiteral("takes no file");
    QTest::newRow("preview: neither layout nor port") << l({"preview", "--no-codes"}) << keep
                                                      << QStringLiteral("either");
    QTest::newRow("preview: layout and port") << l({"preview", "@layout", "--port", "Printer1"}) << keep
                                              << QStringLiteral("either");
    QTest::newRow("preview: values file missing") << l({"preview", "@layout", "--values", "/nonexistent/v.txt"})
                                                  << keep << QStringLiteral("v.txt");
    QTest::newRow("preview: values file malformed") << l({"preview", "@layout", "--values", "@values"}) << keep
                                                    << QStringLiteral("line 3");
    QTest::newRow("preview: values file is a folder") << l({"preview", "@layout", "--values", "/tmp"}) << keep
                                                      << QStringLiteral("/tmp");
}

void TestCli::badInput()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, network);
    QFETCH(QString, phrase);
    CliRunner cli;
    if (!network.isEmpty())
        CliRunner::writeFile(cli.networkPath(), network);
    const QString layout = cli.writeLayout(QStringLiteral("ticket.txt"), cleanLayout());
    const QString values = cli.path(QStringLiteral("values.txt"));
    CliRunner::writeFile(values, "# values\nScale1.Tare = 3\nScale1.NetWeight 12\n");
    for (QString &a : args) {
        a.replace(QStringLiteral("@layout"), layout);
        a.replace(QStringLiteral("@values"), values);
    }
    const CliRun run = cli.run(args);
    QVERIFY(!run.crashed);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.out.isEmpty() || args.first() == u"check", run.out.constData());
    // check reports its files on standard output; everything else says it on standard error.
    const QStringList said = args.first() == u"check" && !run.out.isEmpty() ? run.outLines() : run.errLines();
    QCOMPARE(said.size(), 1);
    QVERIFY2(said.first().contains(phrase), qPrintable(said.first()));
    QVERIFY(said.first().size() < 400);
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
