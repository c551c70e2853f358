// Downloads to devices that speak Modbus TCP, played by the simulator, and every fault
// such a device can make: each must end in one line that names the variable, the
// endpoint and what happened (and, from tklcli, in exit status 1).

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

// The simulator's server in a thread of this process and the program's download of the
// full ticket to Printer1, so that a case costs a download, not two programs starting.
struct Loopback
{
    const int port = freeLoopbackPort();
    QList<devsim::ServedNode> nodes;
    std::unique_ptr<ProcessNetwork> network;

    // The program's description of the device differs from the served one by `from` -> `to`
    // (%1 in them: the port).
    explicit Loopback(QByteArray from = {}, QByteArray to = {})
    {
        ToolFolder dir;
        writeFile(dir.networkPath(), modbusNetwork(port));
        QByteArray described = modbusNetwork(port);
        const QByteArray number = QByteArray::number(port);
        if (!from.isEmpty())
            described.replace(from.replace("%1", number), to.replace("%1", number));
        auto served = devsim::servedNodes(dir.networkPath());
        auto loaded = ProcessNetwork::fromJson(described, QStringLiteral("net.json"));
        if (!served.ok() || !loaded.ok())
            qFatal("the description is unusable");
        nodes = *served;
        network = std::move(loaded).value();
    }

    // The requests the server saw go to `seen`.
    DownloadResult download(const devsim::FaultOptions &faults, std::vector<devsim::DeviceServer::Request> *seen = nullptr)
    {
        devsim::DeviceServer server(nodes, faults);
        if (seen)
            server.setObserver([seen](const devsim::DeviceServer::Request &r) { seen->push_back(r); });
        QString why;
        if (!server.listen(&why))
            qFatal("%s", qPrintable(why));
        std::thread thread([&] { server.run(); });
        AutomationFactory factory(*network);
        TicketDownload download(factory);
        TicketModel model;
        const LayoutData layout = fullLayout();
        layout.applyTo(model);
        const DownloadResult result = download.run(model, layout.text.split(QStringLiteral("\r\n")), QStringLiteral("Printer1"));
        server.stop();
        thread.join();
        return result;
    }
};

} // namespace

Q_DECLARE_METATYPE(tkl::devsim::FaultOptions)

class TestModbusDownload : public QObject
{
    Q_OBJECT

private slots:
    void throughTheTools();
    void faults_data();
    void faults();
    void droppedAtEveryRequest();
};

// tklcli to tkldevsim and back: the device over the wire holds what the simulated one does
// after the same download; once the simulator is gone, the download fails in one line.
void TestModbusDownload::throughTheTools()
{
    SimulatorProcess sim;
    const int port = freeLoopbackPort();
    QVERIFY(sim.start(modbusNetwork(port)));
    ToolFolder cli;
    QVERIFY(writeFile(cli.networkPath(), modbusNetwork(port)));
    QVERIFY(writeFile(cli.path(QStringLiteral("ticket.txt")), LayoutWriter::toBytes(fullLayout()).value()));
    auto run = [&](const QStringList &args) {
        const ToolRun r = cli.run(QStringLiteral(TKLCLI_PATH), args);
        return std::pair(r.exitCode, QString::fromUtf8(r.out + r.err).trimmed());
    };
    auto download = [&](const char *port) { return run({"download", cli.path(QStringLiteral("ticket.txt")), "--port", port}); };

    QCOMPARE(download("Printer1").first, 0);
    const auto shown = run({"show", "--port", "Printer1"});
    QCOMPARE(shown.first, 0);
    QCOMPARE(download("Local").first, 0);
    QCOMPARE(shown.second, run({"show", "--port", "Local"}).second.replace(QStringLiteral("Local"), QStringLiteral("Printer1")));
    QVERIFY(sim.stop());

    const auto failed = download("Printer1");
    QCOMPARE(failed.first, 1);
    QVERIFY2(!failed.second.contains(u'\n') && failed.second.contains(QStringLiteral("Printer1."))
                 && failed.second.contains(QStringLiteral("127.0.0.1:%1 (unit 1) failed: cannot connect").arg(port)),
             qPrintable(failed.second));
}

void TestModbusDownload::faults_data()
{
    QTest::addColumn<devsim::FaultOptions>("faults");
    QTest::addColumn<QByteArray>("from"); // the program's description differs by from -> to
    QTest::addColumn<QByteArray>("to");
    QTest::addColumn<QString>("what");    // %1: the port

    auto row = [](const char *name, const devsim::FaultOptions &faults, const char *what, const char *from = "",
                  const char *to = "") { QTest::newRow(name) << faults << QByteArray(from) << QByteArray(to) << what; };
    row("nothing listens", {.refuse = true}, "to 127.0.0.1:%1 (unit 1) failed: cannot connect (Connection refused)");
    // No name server is asked about a malformed name.
    row("unknown host", {}, "to no..such.host:%1 (unit 1) failed: unknown host \"no..such.host\"", "127.0.0.1", "no..such.host");
    row("slower than the timeout", {.delayMs = 1000}, "to 127.0.0.1:%1 (unit 1) failed: no answer within 200 ms", "%1 }", "%1, \"timeoutMs\": 200 }");
    row("wrong unit", {}, "to 127.0.0.1:%1 (unit 9) failed: the device answered with Modbus exception 11",
        "\"unit\": 1", "\"unit\": 9");
    row("exception reply", {.exceptionAt = 3},
        "Printer1.UpdateArr[3].DataIn to 127.0.0.1:%1 (unit 1) failed: the device answered with Modbus exception 4");
}

void TestModbusDownload::faults()
{
    QFETCH(devsim::FaultOptions, faults);
    QFETCH(QByteArray, from);
    QFETCH(QByteArray, to);
    QFETCH(QString, what);
    Loopback device(from, to);
    const DownloadResult result = device.download(faults);
    const QString &message = result.errorString;
    QCOMPARE(result.status, DownloadResult::Status::Failed);
    QVERIFY2(result.failedName.startsWith(QStringLiteral("Printer1.")) && message.contains(result.failedName), qPrintable(message));
    QVERIFY2(!message.contains(u'\n') && message.contains(what.arg(device.port)), qPrintable(message));
}

// Wherever the device closes the connection, the download names a variable of the request
// it closed on and makes no request after it: nothing is retried.
void TestModbusDownload::droppedAtEveryRequest()
{
    Loopback device;
    std::vector<devsim::DeviceServer::Request> all;
    QVERIFY(device.download({}, &all).ok());
    QVERIFY(all.size() > 100);
    const PrinterPort &printer1 = *device.network->findPort(QStringLiteral("Printer1"));

    for (int n = 1; n <= int(all.size()); ++n) {
        std::vector<devsim::DeviceServer::Request> seen;
        const DownloadResult result = device.download({.dropAt = n}, &seen);
        const QByteArray where = "dropped at request " + QByteArray::number(n) + ": " + result.errorString.toUtf8();
        QVERIFY2(int(seen.size()) == n, where);
        QVERIFY2(result.status == DownloadResult::Status::Failed, where);
        QVERIFY2(result.errorString.contains(result.failedName), where);
        QVERIFY2(result.errorString.contains(
                     QStringLiteral("127.0.0.1:%1 (unit 1) failed: the device closed the connection").arg(device.port)),
                 where);
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
