// Downloads with tklcli to devices that speak Modbus TCP, played by tkldevsim, and every
// fault such a device can make: each must end in one line that names the variable, the
// endpoint and what happened, and exit status 1.

#include "SimulatorProcess.h"

#include "files/LayoutData.h"
#include "files/LayoutWriter.h"
#include "device/AutomationFactory.h"
#include "device/PortVariables.h"
#include "device/ProcessNetwork.h"
#include "device/TicketDownload.h"
#include "devsim/DeviceServer.h"
#include "devsim/ServedNodes.h"
#include "model/TicketModel.h"

#include <QRegularExpression>

#include <memory>
#include <thread>

using namespace tkl;
using namespace tkl::test;
using namespace tkl::testing;

namespace {

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

// tklcli with a description and a device store of its own, and a full ticket to download.
class Cli : public ToolFolder
{
public:
    Cli()
    {
        writeFile(path(QStringLiteral("ticket.txt")), LayoutWriter::toBytes(fullLayout()).value());
    }

    ToolRun run(const QStringList &args) const { return ToolFolder::run(QStringLiteral(TKLCLI_PATH), args); }
    ToolRun download(const QString &port) const { return run({"download", path(QStringLiteral("ticket.txt")), "--port", port}); }
};

// A failed download: exit status 1 and one line that names a variable of Printer1, the
// endpoint and what happened.
void verifyOneFailureLine(const ToolRun &run, const QString &endpoint, const QString &what)
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
    writeFile(cli.networkPath(), modbusNetwork(port));

    const ToolRun down = cli.download(QStringLiteral("Printer1"));
    QVERIFY2(down.exitCode == 0, down.out + down.err);
    const ToolRun shown = cli.run({"show", "--port", "Printer1"});
    QVERIFY2(shown.exitCode == 0, shown.out + shown.err);

    // The device over the wire holds what the simulated one does after the same download.
    QVERIFY(cli.download(QStringLiteral("Local")).exitCode == 0);
    const ToolRun local = cli.run({"show", "--port", "Local"});
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
    QTest::newRow("connection dropped") << true << QStringList{"--drop-at", "40"} << plain
                                        << "to %1 (unit 1) failed: the device closed the connection";
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
    writeFile(cli.networkPath(), modbusNetwork(device));
    verifyOneFailureLine(cli.download(QStringLiteral("Printer1")), endpoint, what.replace(QStringLiteral("%1"), endpoint));
}

void TestModbusDownload::droppedAtEveryRequest()
{
    // The simulator's server and the program's download in this process, so that every
    // position costs a download, not two programs starting.
    const int port = freeLoopbackPort();
    ToolFolder dir;
    QVERIFY(writeFile(dir.networkPath(), modbusNetwork(port)));
    const auto nodes = devsim::servedNodes(dir.networkPath());
    QVERIFY2(nodes.ok(), qPrintable(nodes.error().message));
    auto loaded = ProcessNetwork::fromFile(dir.networkPath());
    QVERIFY2(loaded.ok(), qPrintable(loaded.error().message));
    const std::unique_ptr<ProcessNetwork> network = std::move(loaded).value();
    AutomationFactory factory(*network);
    TicketDownload download(factory);
    TicketModel model;
    const LayoutData layout = fullLayout();
    layout.applyTo(model);
    const QStringList lines = layout.text.split(QStringLiteral("\r\n"));
    const PrinterPort &printer1 = *network->findPort(QStringLiteral("Printer1"));
    const QString endpoint = QStringLiteral("127.0.0.1:%1").arg(port);

    // Serves one download with `faults`; the requests it saw go to `seen`.
    auto serve = [&](const devsim::FaultOptions &faults, std::vector<devsim::DeviceServer::Request> &seen) {
        devsim::DeviceServer server(*nodes, faults);
        server.setObserver([&](const devsim::DeviceServer::Request &r) { seen.push_back(r); });
        QString why;
        if (!server.listen(&why))
            qFatal("%s", qPrintable(why));
        std::thread thread([&] { server.run(); });
        const DownloadResult result = download.run(model, lines, QStringLiteral("Printer1"));
        server.stop();
        thread.join();
        return result;
    };

    std::vector<devsim::DeviceServer::Request> all;
    QVERIFY(serve({}, all).ok());
    QVERIFY(all.size() > 100);

    for (int n = 1; n <= int(all.size()); ++n) {
        devsim::FaultOptions faults;
        faults.dropAt = n;
        std::vector<devsim::DeviceServer::Request> seen;
        const DownloadResult result = serve(faults, seen);
        const QByteArray where = "dropped at request " + QByteArray::number(n) + " of " + QByteArray::number(all.size())
            + ": " + result.errorString.toUtf8();
        QVERIFY2(int(seen.size()) == n, where); // no request after the drop: nothing retried
        QVERIFY2(result.status == DownloadResult::Status::Failed, where);
        QVERIFY2(result.errorString.contains(endpoint), where);
        QVERIFY2(result.errorString.contains(QStringLiteral("failed: the device closed the connection")), where);
        QVERIFY2(result.errorString.contains(result.failedName), where);
        // The variable it names is one the dropped request carried.
        const auto place = PortVariables::placeOf(printer1, result.failedName);
        QVERIFY2(place, where);
        const int size = place->type == ValueType::String ? PortVariables::stringRegisters(printer1) : 1;
        const auto &dropped = seen.back();
        QVERIFY2(place->firstRegister < dropped.address + dropped.count && dropped.address < place->firstRegister + size,
                 where);
    }
}

QTEST_GUILESS_MAIN(TestModbusDownload)
#include "tst_modbus_download.moc"
