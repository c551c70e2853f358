// The device simulator, run as its own process: driven by a bare Modbus client, and with
// the options and descriptions it cannot use.

#include "DevsimSupport.h"

#include "device/PortVariables.h"

#include <QTest>

#include <cerrno>

using namespace tkl;
using namespace tkl::test;

namespace {

// Starts tkldevsim on a free loopback port with a description of its own, and stops it.
class SimulatorProcess : public ToolFolder
{
public:
    ~SimulatorProcess() { stop(); }

    // Writes `description` and starts the simulator on it with `options`; true once it
    // says it is ready.
    bool start(const QByteArray &description, const QStringList &options = {})
    {
        if (!writeFile(networkPath(), description))
            return false;
        m_process.setProgram(QStringLiteral(TKLDEVSIM_PATH));
        m_process.setArguments(QStringList{QStringLiteral("--network"), networkPath()} + options);
        m_process.start();
        return m_process.waitForStarted() && outputWith("tkldevsim: ready").contains("tkldevsim: ready");
    }

    // Stops it the way an operator does (SIGTERM); true when it stopped cleanly.
    bool stop()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished();
            return false;
        }
        return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
    }

    // Everything it printed so far, once it has printed `text` (or after 5 seconds).
    QByteArray outputWith(const QByteArray &text)
    {
        while (!m_output.contains(text) && m_process.waitForReadyRead(5000))
            m_output += m_process.readAllStandardOutput();
        return m_output;
    }

private:
    QProcess m_process;
    QByteArray m_output;
};

// One request of a script, and what it must give: `values` read back, or the errno.
struct Step
{
    enum Op { Read, Write, Reconnect };
    Op op = Read;
    int unit = 1;
    int address = 0;
    QList<quint16> values;
    int error = 0;
};
using Script = QList<Step>;

} // namespace

Q_DECLARE_METATYPE(Step)

class TestDevsim : public QObject
{
    Q_OBJECT

private slots:
    void requests_data();
    void requests();
    void unusableInput_data();
    void unusableInput();
};

void TestDevsim::requests_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<Script>("script");
    QTest::addColumn<QString>("log"); // a line the simulator prints; %1: its port

    PrinterPort p; // Printer1 of modbusNetwork(): the defaults
    p.name = QStringLiteral("Printer1");
    using PortVariables::Member;
    const int ticket1 = PortVariables::ticketRegister(p, 1);
    const int dataIn = PortVariables::memberRegister(p, 1, Member::DataIn);
    const int linie = PortVariables::memberRegister(p, 1, Member::Linie);
    const int typ = PortVariables::memberRegister(p, 1, Member::Typ);
    const int end = PortVariables::registerCount(p);
    const QList<quint16> net = {4, 0x4e65, 0x743a}; // "Net:"

    auto row = [](const char *name, const Script &script, const QStringList &options = {}, const QString &log = {}) {
        QTest::newRow(name) << options << script << log;
    };
    row("a write is read back", {{Step::Write, 1, ticket1, net}, {Step::Read, 1, ticket1, net}});
    row("a 16-bit signed value keeps its sign", {{Step::Write, 1, typ, {0xfffe}}, {Step::Read, 1, typ, {0xfffe}}});
    row("units are separate devices",
        {{Step::Write, 1, 0, {3, 0x4142, 0x4300}}, {Step::Read, 2, 0, {0, 0, 0}}, {Step::Read, 1, 0, {3}}});
    row("the last register is the layout checksum's",
        {{Step::Read, 1, end - 1, {0}}, {Step::Read, 1, end - 1, {0, 0}, EMBXILADD}});
    row("a unit without a port", {{Step::Read, 7, 0, {0}, EMBXGTAR}});
    row("a Boolean takes 0 and 1 only",
        {{Step::Write, 1, dataIn, {1}}, {Step::Write, 1, dataIn, {2}, EMBXILVAL}, {Step::Read, 1, dataIn, {1}}});
    row("lines count from 1", {{Step::Write, 1, linie, {0}, EMBXILVAL}, {Step::Write, 1, linie, {100}}});
    row("a refused write changes nothing",
        {{Step::Write, 1, ticket1, {256, 0x4142}, EMBXILVAL}, {Step::Read, 1, ticket1, {0, 0}}});
    row("--exception-at counts writes only",
        {{Step::Write, 1, 0, {1}}, {Step::Read, 1, 0, {1}}, {Step::Write, 1, 0, {2}, EMBXSFAIL}, {Step::Read, 1, 0, {1}},
         {Step::Write, 1, 0, {3}}},
        {"--exception-at", "2"});
    row("--drop-at closes the connection, a new one counts again",
        {{Step::Write, 1, 0, {1}}, {Step::Read, 1, 0, {1}, ECONNRESET}, {Step::Reconnect, 1, 0, {}, 0},
         {Step::Read, 1, 0, {1}}, {Step::Read, 1, 0, {1}, ECONNRESET}},
        {"--drop-at", "2"});
    row("--delay-ms beyond the client's timeout", {{Step::Read, 1, 0, {0}, ETIMEDOUT}}, {"--delay-ms", "600"});
    row("--refuse: nothing listens", {}, {"--refuse"});
    // The lines count and the first ticket line, in one write across both.
    const int lines = PortVariables::linesRegister(p);
    row("--verbose names the variables", {{Step::Write, 1, lines, {1, 2, 0x4f4b}}}, {"--verbose"},
        QStringLiteral("PrinterModule:%1 #1 unit 1 write ") + QString::number(lines)
            + QStringLiteral(" count 3: Printer1.lines=1, Printer1.Ticket[1]=\"OK\" -> ok"));
}

void TestDevsim::requests()
{
    QFETCH(QStringList, options);
    QFETCH(Script, script);
    QFETCH(QString, log);

    SimulatorProcess sim;
    const int port = freeLoopbackPort();
    QVERIFY(sim.start(modbusNetwork(port), options));
    Client client = connectTo(port);
    QCOMPARE(bool(client), !options.contains(QStringLiteral("--refuse")));

    int number = 0;
    for (const Step &step : script) {
        const QByteArray where = QByteArray::number(++number);
        if (step.op == Step::Reconnect) {
            client = connectTo(port);
            QVERIFY2(client, where);
            continue;
        }
        modbus_set_slave(client.get(), step.unit);
        std::vector<uint16_t> values(step.values.begin(), step.values.end());
        errno = 0;
        const int result = step.op == Step::Write
            ? modbus_write_registers(client.get(), step.address, int(values.size()), values.data())
            : modbus_read_registers(client.get(), step.address, int(values.size()), values.data());
        if (step.error) {
            QVERIFY2(result < 0, where);
            // A closed connection shows as a reset or as a broken pipe, by timing.
            const bool closed = step.error == ECONNRESET && (errno == EPIPE || errno == ECONNRESET);
            QVERIFY2(errno == step.error || closed, where + ": " + modbus_strerror(errno));
            continue;
        }
        QVERIFY2(result == int(values.size()), where + ": " + modbus_strerror(errno));
        if (step.op == Step::Read)
            QCOMPARE(QList<quint16>(values.begin(), values.end()), step.values);
    }
    const QByteArray line = QString(log).replace(QStringLiteral("%1"), QString::number(port)).toUtf8();
    QVERIFY2(sim.outputWith(line).contains(line), sim.outputWith(line));
    client.reset();
    QVERIFY2(sim.stop(), "a clean stop on SIGTERM");
}

void TestDevsim::unusableInput_data()
{
    QTest::addColumn<QByteArray>("description");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("message");

    const QByteArray good = modbusNetwork(1502);
    const QByteArray noEndpoint = R"({ "nodes": [ { "name": "Bench", "address": "NET1.ST09", "capabilities": "65",
        "variables": [] } ], "ports": [ { "name": "Local", "node": "Bench" } ] })";
    // The bench node, with its port, at the printer module's TCP port as well.
    const QByteArray samePort =
        QByteArray(good)
            .replace("\"NET1.ST09\", \"capabilities\": \"65 ticket printer\", \"variables\": [] }",
                     "\"NET1.ST09\", \"capabilities\": \"65 ticket printer\", \"variables\": [], "
                     "\"modbus\": { \"host\": \"127.0.0.1\", \"port\": 1502 } }")
            .replace("\"node\": \"Bench\"", "\"node\": \"Bench\", \"modbus\": { \"unit\": 1, \"base\": 0 }");

    QTest::newRow("a negative delay") << good << QStringList{"--delay-ms", "-5"} << "--delay-ms takes a whole number";
    QTest::newRow("not a number") << good << QStringList{"--drop-at", "two"} << "--drop-at takes a whole number";
    QTest::newRow("an unknown option") << good << QStringList{"--fast"} << "Unknown option 'fast'";
    QTest::newRow("a broken description") << QByteArray("{ \"nodes\": [") << QStringList() << "network.json:";
    QTest::newRow("no node to serve") << noEndpoint << QStringList() << "no node has a \"modbus\" endpoint";
    QTest::newRow("two nodes at one port") << samePort << QStringList() << "nodes PrinterModule and Bench both want port 1502";
    QTest::newRow("no idle time") << good << QStringList{"--idle-ms", "0"} << "--idle-ms takes a whole number of at least 1";
    const QByteArray onALine = QByteArray(good).replace("\"host\": \"127.0.0.1\", \"port\": 1502", "\"serial\": \"/dev/ttyS0\"");
    QTest::newRow("a serial line the description lacks")
        << onALine << QStringList{"--serial", "/dev/ttyS1=/tmp/x"} << "no node of the description is on serial line \"/dev/ttyS1\"";
    QTest::newRow("--serial without a line to serve")
        << good << QStringList{"--serial", "/tmp/x"} << "the description has 0 serial lines; say which as LINE=PATH";
}

void TestDevsim::unusableInput()
{
    QFETCH(QByteArray, description);
    QFETCH(QStringList, options);
    QFETCH(QString, message);

    ToolFolder dir;
    QVERIFY(writeFile(dir.networkPath(), description));
    const ToolRun sim = dir.run(QStringLiteral(TKLDEVSIM_PATH), QStringList{"--network", dir.networkPath()} + options);
    QCOMPARE(sim.exitCode, 2);
    const QString err = QString::fromUtf8(sim.err);
    QVERIFY2(err.contains(message), qPrintable(err));
    QCOMPARE(err.count(u'\n'), 1);
}

QTEST_GUILESS_MAIN(TestDevsim)
#include "tst_devsim.moc"
