// Downloads with tklcli to devices that speak Modbus TCP, played by tkldevsim, and every
// fault such a device can make: each must end in one line that names the variable, the
// endpoint and what happened, and exit status 1.

#include "SimulatorProcess.h"

#include "files/LayoutData.h"
#include "files/LayoutWriter.h"
#include "device/PortVariables.h"

#include <QRegularExpression>

#include <array>
#include <memory>

using namespace tkl;
using namespace tkl::testing;

namespace {

struct CliRun
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// A full ticket: 30 fields, 60 text lines of 40 characters, both printer codes.
LayoutData fullLayout()
{
    LayoutData layout;
    layout.EditorWidth = 5170;
    layout.EditorHeight = 3155;
    layout.TicketLines = 60;
    QStringList lines;
    for (int i = 1; i <= 60; ++i)
        lines << QStringLiteral("Line %1 of the ticket: value").arg(i);
    layout.text = lines.join(QStringLiteral("\r\n"));
    for (int n = 1; n <= LayoutData::LastSlot; ++n) {
        layout.UpdateBoxes[n] = UpdateBox{QStringLiteral("Scale1.NetWeight"), 3, 120, 0, 4, 0, 17, 0, 9, 2, true,
                                          qint16(2 * n - 1), 30};
        layout.BoxLoaded[n] = 1;
    }
    layout.StartCode = QStringLiteral("[27]@");
    layout.StopCode = QStringLiteral("[12]");
    return layout;
}

// tklcli with a description and a device store of its own.
class Cli
{
public:
    Cli()
    {
        QByteArray bytes;
        LayoutWriter::toBytes(fullLayout(), bytes);
        write(QStringLiteral("ticket.txt"), bytes);
    }

    QString path(const QString &name) const { return m_dir.filePath(name); }
    QString layout() const { return path(QStringLiteral("ticket.txt")); }

    void setNetwork(const QByteArray &description) { write(QStringLiteral("network.json"), description); }

    // Starts tklcli; finish() waits for it.
    std::unique_ptr<QProcess> start(const QStringList &args) const
    {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TKL_NETWORK"), path(QStringLiteral("network.json")));
        env.insert(QStringLiteral("TKL_DEVICE_STORE"), path(QStringLiteral("devices.json")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), path(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), path(QStringLiteral("data")));
        process->setProcessEnvironment(env);
        process->start(QStringLiteral(TKLCLI_PATH), args);
        return process;
    }

    static CliRun finish(QProcess &process)
    {
        if (!process.waitForFinished(60000))
            process.kill();
        process.waitForFinished();
        CliRun result;
        result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.out = process.readAllStandardOutput();
        result.err = process.readAllStandardError();
        return result;
    }

    CliRun run(const QStringList &args) const { return finish(*start(args)); }

    QStringList downloadArgs(const QString &port) const
    {
        return {QStringLiteral("download"), layout(), QStringLiteral("--port"), port};
    }

    CliRun download(const QString &port) const { return run(downloadArgs(port)); }

private:
    void write(const QString &name, const QByteArray &bytes)
    {
        QFile file(path(name));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(bytes), bytes.size());
    }

    QTemporaryDir m_dir;
};

// A failed download: exit status 1 and one line that names a variable of Printer1, the
// endpoint and what happened.
void verifyOneFailureLine(const CliRun &run, const QString &endpoint, const QString &what)
{
    const QString all = QString::fromUtf8(run.out + run.err).trimmed();
    QVERIFY2(run.exitCode == 1, qPrintable(QStringLiteral("exit %1: %2").arg(run.exitCode).arg(all)));
    QVERIFY2(!all.contains(u'\n'), qPrintable(all));
    QVERIFY2(all.contains(QStringLiteral("Printer1.")), qPrintable(all));
    QVERIFY2(all.contains(endpoint), qPrintable(all));
    QVERIFY2(all.contains(what), qPrintable(all));
}

} // namespace

Q_DECLARE_METATYPE(tkl::testing::DeviceOptions)

class TestModbusDownload : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip();
    void faults_data();
    void faults();
    void droppedAtEveryRequest();
};

void TestModbusDownload::roundTrip()
{
    SimulatorProcess sim;
    const int port = freeLoopbackPort();
    QVERIFY(sim.start(modbusNetwork(port)));
    Cli cli;
    cli.setNetwork(modbusNetwork(port));

    const CliRun down = cli.download(QStringLiteral("Printer1"));
    QVERIFY2(down.exitCode == 0, down.out + down.err);
    const CliRun shown = cli.run({QStringLiteral("show"), QStringLiteral("--port"), QStringLiteral("Printer1")});
    QVERIFY2(shown.exitCode == 0, shown.out + shown.err);

    // The device over the wire holds what the simulated one does after the same download.
    QVERIFY(cli.download(QStringLiteral("Local")).exitCode == 0);
    const CliRun local = cli.run({QStringLiteral("show"), QStringLiteral("--port"), QStringLiteral("Local")});
    QCOMPARE(QString::fromUtf8(shown.out), QString::fromUtf8(local.out).replace(QStringLiteral("Local"), QStringLiteral("Printer1")));
    QVERIFY(sim.stop());
}

void TestModbusDownload::faults_data()
{
    QTest::addColumn<bool>("running");          // a simulator serves the port
    QTest::addColumn<QStringList>("simulator"); // its options
    QTest::addColumn<DeviceOptions>("device");  // the device as the client's description states it
    QTest::addColumn<QString>("what");

    const DeviceOptions plain;
    DeviceOptions impatient;
    impatient.timeoutMs = 200;
    DeviceOptions unknownHost;
    unknownHost.host = QStringLiteral("no..such.host"); // no name server is asked about a malformed name
    DeviceOptions wrongUnit;
    wrongUnit.unit = 9;

    QTest::newRow("connection refused") << true << QStringList{"--refuse"} << plain << "cannot connect (Connection refused)";
    QTest::newRow("nothing at the port") << false << QStringList() << plain << "cannot connect (Connection refused)";
    QTest::newRow("unknown host") << false << QStringList() << unknownHost << "unknown host \"no..such.host\"";
    QTest::newRow("slower than the timeout") << true << QStringList{"--delay-ms", "1000"} << impatient
                                             << "no answer within 200 ms";
    QTest::newRow("wrong unit") << true << QStringList() << wrongUnit << "(unit 9) failed: the device answered with Modbus exception 11";
    QTest::newRow("exception reply") << true << QStringList{"--exception-at", "3"} << plain
                                     << "Printer1.UpdateArr[3].DataIn to %1 (unit 1) failed: the device answered with Modbus exception 4";
}

void TestModbusDownload::faults()
{
    QFETCH(bool, running);
    QFETCH(QStringList, simulator);
    QFETCH(DeviceOptions, device);
    QFETCH(QString, what);

    device.port = freeLoopbackPort();
    const QString endpoint = QStringLiteral("%1:%2").arg(device.host).arg(device.port);
    SimulatorProcess sim;
    if (running)
        QVERIFY(sim.start(modbusNetwork(device.port), simulator));
    Cli cli;
    cli.setNetwork(modbusNetwork(device));
    verifyOneFailureLine(cli.download(QStringLiteral("Printer1")), endpoint, what.replace(QStringLiteral("%1"), endpoint));
}

void TestModbusDownload::droppedAtEveryRequest()
{
    // How many requests a whole download takes.
    int requests = 0;
    {
        const int port = freeLoopbackPort();
        Cli cli;
        cli.setNetwork(modbusNetwork(port));
        SimulatorProcess sim;
        QVERIFY(sim.start(modbusNetwork(port)));
        QVERIFY(cli.download(QStringLiteral("Printer1")).exitCode == 0);
        QVERIFY(sim.stop());
        const QByteArray output = sim.outputWith("stopped after");
        requests = output.mid(output.indexOf("stopped after ") + 14).split(' ').first().toInt();
    }
    QVERIFY(requests > 100);

    PrinterPort printer1;
    printer1.name = QStringLiteral("Printer1");

    // A few devices at a time, each dropping the connection at its own request.
    constexpr int Batch = 4;
    for (int first = 1; first <= requests; first += Batch) {
        struct Case
        {
            int n = 0;
            int port = 0;
            Cli cli;
            SimulatorProcess sim;
            std::unique_ptr<QProcess> download;
        };
        std::array<Case, Batch> cases;
        for (int k = 0; k < Batch && first + k <= requests; ++k) {
            Case &c = cases[std::size_t(k)];
            c.n = first + k;
            c.port = freeLoopbackPort();
            c.cli.setNetwork(modbusNetwork(c.port));
            QVERIFY(c.sim.start(modbusNetwork(c.port), {QStringLiteral("--verbose"), QStringLiteral("--drop-at"),
                                                          QString::number(c.n)}));
            c.download = c.cli.start(c.cli.downloadArgs(QStringLiteral("Printer1")));
        }
        for (Case &c : cases) {
            if (!c.download)
                continue;
            const CliRun run = Cli::finish(*c.download);
            const QByteArray where = "dropped at request " + QByteArray::number(c.n) + " of " + QByteArray::number(requests);
            verifyOneFailureLine(run, QStringLiteral("127.0.0.1:%1").arg(c.port), QStringLiteral("failed: the device closed the connection"));
            if (QTest::currentTestFailed())
                QFAIL(where);
            // The variable it names is one the dropped request carried.
            const QString said = QString::fromUtf8(c.sim.outputWith("connection dropped"));
            const auto request = QRegularExpression(QStringLiteral("#%1 unit 1 \\w+ (\\d+) count (\\d+)").arg(c.n)).match(said);
            const auto named = QRegularExpression(QStringLiteral("failed at (Printer1\\S+)")).match(QString::fromUtf8(run.err + run.out));
            QVERIFY2(request.hasMatch() && named.hasMatch(), where);
            const auto place = PortVariables::placeOf(printer1, named.captured(1));
            QVERIFY2(place, where);
            const int size = place->type == ValueType::String ? PortVariables::stringRegisters(printer1) : 1;
            const int address = request.captured(1).toInt();
            QVERIFY2(place->firstRegister < address + request.captured(2).toInt()
                         && address < place->firstRegister + size,
                     where + ": " + named.captured(1).toUtf8() + " is not in " + request.captured(0).toUtf8());
        }
    }
}

QTEST_GUILESS_MAIN(TestModbusDownload)
#include "tst_modbus_download.moc"
