// What a device tells about its ticket: a real device keeps a download state and a layout
// checksum beside its ticket, a download marks it, and whoever reads the device takes a
// half-written ticket for what it is; every element of a port is cleared, also those
// beyond the 30 slots.

#include "DevsimSupport.h"

#include "device/LayoutChecksum.h"
#include "device/PortVariables.h"
#include "files/LayoutWriter.h"
#include "device/RegisterCodec.h"
#include "preview/DeviceDiff.h"
#include "preview/DeviceLayout.h"

#include <QTest>

#include <cerrno>

using namespace tkl;
using namespace tkl::test;
using State = PortVariables::DownloadState;

namespace {

LayoutChecksum::Writes pairsOf(const QList<WriteRecord> &records)
{
    LayoutChecksum::Writes writes;
    for (const WriteRecord &r : records)
        writes.append({r.name, r.value});
    return writes;
}

// Another value the variable can hold.
QVariant changed(const QVariant &value, const PortVariables::Place &place)
{
    switch (value.metaType().id()) {
    case QMetaType::Bool: return !value.toBool();
    case QMetaType::QString: {
        const QString text = value.toString();
        return text.size() < place.bounds.maximum ? text + u'x' : text.chopped(1);
    }
    default: break;
    }
    const int v = value.toInt();
    const int other = v < place.bounds.maximum ? v + 1 : v - 1;
    return place.type == ValueType::UInt8 ? QVariant::fromValue(quint8(other)) : QVariant::fromValue(qint16(other));
}

// Where a fault hits, counted on a clean download's requests.
enum class At { Request, FirstRead, FinishingWrite };

} // namespace

Q_DECLARE_METATYPE(tkl::devsim::FaultOptions)
Q_DECLARE_METATYPE(At)

class TestDeviceState : public QObject
{
    Q_OBJECT

private slots:
    void downloadMarksTheDevice_data();
    void downloadMarksTheDevice();
    void stateShown_data();
    void stateShown();
    void elementsBeyondTheSlots_data();
    void elementsBeyondTheSlots();
    void diffFindsEveryChange_data();
    void diffFindsEveryChange();
    void throughTheTools();
};

void TestDeviceState::downloadMarksTheDevice_data()
{
    QTest::addColumn<devsim::FaultOptions>("faults");
    QTest::addColumn<At>("at");
    QTest::addColumn<int>("state");

    QTest::newRow("finished") << devsim::FaultOptions{} << At::Request << int(State::Finished);
    QTest::newRow("dropped at request 35") << devsim::FaultOptions{.dropAt = 35} << At::Request << int(State::Started);
    QTest::newRow("exception at write 35") << devsim::FaultOptions{.exceptionAt = 35} << At::Request << int(State::Started);
    QTest::newRow("dropped at the read-back") << devsim::FaultOptions{} << At::FirstRead << int(State::Started);
    QTest::newRow("exception at the finishing write") << devsim::FaultOptions{} << At::FinishingWrite
                                                      << int(State::Started);
}

// The state is set with the first request and finished, with the checksum, in one request
// after the read-back; wherever the download stops before that, the device says so.
void TestDeviceState::downloadMarksTheDevice()
{
    QFETCH(devsim::FaultOptions, faults);
    QFETCH(At, at);
    QFETCH(int, state);

    Loopback device;
    const PrinterPort &printer1 = *device.network->findPort(QStringLiteral("Printer1"));
    const int stateRegister = PortVariables::downloadStateRegister(printer1);
    std::vector<devsim::DeviceServer::Request> clean;
    std::vector<uint16_t> held;
    const DownloadResult done = device.download({}, &clean, &held);
    QVERIFY(done.ok());
    // The marks cost two requests: the first and the last.
    QCOMPARE(clean.front().address, stateRegister);
    QCOMPARE(clean.front().values, std::vector<uint16_t>{1});
    const quint32 checksum = LayoutChecksum::of(printer1, pairsOf(done.written));
    QCOMPARE(clean.back().address, stateRegister);
    QCOMPARE(clean.back().values, (std::vector<uint16_t>{2, quint16(checksum >> 16), quint16(checksum & 0xffff)}));

    if (at == At::FirstRead) {
        const auto read = std::find_if(clean.begin(), clean.end(), [](const auto &r) { return r.function == 3; });
        faults.dropAt = int(read - clean.begin()) + 1;
    } else if (at == At::FinishingWrite) {
        faults.exceptionAt = int(std::count_if(clean.begin(), clean.end(), [](const auto &r) { return r.function == 16; }));
    }
    const DownloadResult result = device.download(faults, nullptr, &held);
    QCOMPARE(result.ok(), state == int(State::Finished));
    QCOMPARE(int(held.at(std::size_t(stateRegister))), state);
    if (state == int(State::Finished)) {
        QCOMPARE(quint32(held.at(std::size_t(stateRegister + 1))) << 16 | held.at(std::size_t(stateRegister + 2)), checksum);
    }
}

void TestDeviceState::stateShown_data()
{
    QTest::addColumn<int>("state"); // written into the state register after a download; -1: left as it is
    QTest::addColumn<bool>("finished");
    QTest::newRow("never written") << 0 << false;
    QTest::newRow("under way") << 1 << false;
    QTest::newRow("finished") << -1 << true;
}

// What a real device holds is taken from its state, as a simulated one's is.
void TestDeviceState::stateShown()
{
    QFETCH(int, state);
    QFETCH(bool, finished);

    Loopback device;
    const Served served(device.nodes);
    const PrinterPort &printer1 = *device.network->findPort(QStringLiteral("Printer1"));
    const DownloadResult result = device.downloadTo(printer1.name);
    QVERIFY(result.ok());
    if (state >= 0) {
        Client client = connectTo(device.port);
        QVERIFY(client);
        const int written = modbus_write_register(client.get(), PortVariables::downloadStateRegister(printer1), state);
        QVERIFY2(written == 1, modbus_strerror(errno));
    }

    QString why;
    const std::optional<DeviceTicket> ticket = ticketFromDevice(*device.network, printer1.name, &why);
    if (state == int(State::NeverWritten)) {
        QVERIFY2(!ticket && why == noTicketError(printer1.name), qPrintable(why));
        return;
    }
    QVERIFY2(ticket, qPrintable(why));
    QCOMPARE(ticket->finished(), finished);
    QCOMPARE(ticket->layout.TicketLines, fullLayout().TicketLines);
    QCOMPARE(ticket->checksum, std::optional<quint32>(LayoutChecksum::of(printer1, pairsOf(result.written))));
}

void TestDeviceState::elementsBeyondTheSlots_data()
{
    QTest::addColumn<QString>("port");
    QTest::newRow("simulated") << QStringLiteral("WideLocal");
    QTest::newRow("Modbus") << QStringLiteral("Wide");
}

// A field an earlier layout left in element 31 or 32 is cleared, and read back as cleared.
void TestDeviceState::elementsBeyondTheSlots()
{
    QFETCH(QString, port);
    Loopback device;
    const Served served(device.nodes);
    NetworkFactory factory(*device.network);
    auto dataIn = [&](int element) { return PortVariables::elementName(port, element, PortVariables::Member::DataIn); };
    {
        const auto earlier = factory.create(AutomationFactory::ServerProgId, port);
        earlier->setProperty(QStringLiteral("EnableExceptions"), true);
        for (int element : {31, 32}) {
            earlier->setProperty(QStringLiteral("PhysId"), dataIn(element));
            earlier->setProperty(QStringLiteral("Value"), true);
        }
        earlier->close();
    }

    const DownloadResult result = device.downloadTo(port, smallLayout());
    QVERIFY2(result.ok(), qPrintable(result.errorString));

    const auto after = factory.create(AutomationFactory::ServerProgId, port);
    after->setProperty(QStringLiteral("EnableExceptions"), true);
    for (int element : {31, 32}) {
        after->setProperty(QStringLiteral("PhysId"), dataIn(element));
        QCOMPARE(after->property(QStringLiteral("Value")).toBool(), false);
    }
}

void TestDeviceState::diffFindsEveryChange_data()
{
    QTest::addColumn<QString>("port");
    QTest::newRow("simulated") << QStringLiteral("WideLocal");
    QTest::newRow("Modbus") << QStringLiteral("Printer2");
}

// Every register (or simulated variable) a download wrote, the download state and the
// checksum included, changed in turn behind the program's back: the comparison finds
// each; put back, the device holds the layout again.
void TestDeviceState::diffFindsEveryChange()
{
    QFETCH(QString, port);
    Loopback device;
    const Served served(device.nodes);
    const PrinterPort &printer = *device.network->findPort(port);
    const LayoutData layout = smallLayout();
    const DownloadResult result = device.downloadTo(port, layout);
    QVERIFY2(result.ok(), qPrintable(result.errorString));
    TicketModel model;
    layout.applyTo(model);
    const QStringList lines = layout.text.split(QStringLiteral("\r\n"));
    auto holds = [&] {
        return DeviceDiff::compare(*device.network, model, lines, printer).kind == DeviceDiff::Outcome::Kind::Holds;
    };
    QVERIFY(holds());

    int changes = 0;
    if (!device.network->endpointOf(printer)) {
        QHash<QString, QVariant> last; // what each variable holds after the download
        for (const WriteRecord &w : result.written)
            last.insert(w.name, w.value);
        for (auto it = last.cbegin(); it != last.cend(); ++it) {
            const auto place = PortVariables::placeOf(printer, it.key());
            QVERIFY(!device.network->write(it.key(), changed(it.value(), *place)));
            QVERIFY2(!holds(), qPrintable(it.key()));
            QVERIFY(!device.network->write(it.key(), it.value()));
            ++changes;
        }
    } else {
        Client client = connectTo(device.port, printer.modbus->unit);
        QVERIFY(client);
        QSet<int> registers;
        for (const WriteRecord &w : result.written) {
            const auto place = PortVariables::placeOf(printer, w.name);
            RegisterCodec::Registers words;
            QVERIFY(!RegisterCodec::encode(place->type, w.value, printer.stringLength, &words));
            for (int r = place->firstRegister; r < place->firstRegister + words.size(); ++r)
                registers.insert(printer.modbus->base + r);
        }
        for (const int r : std::as_const(registers)) {
            uint16_t was = 0;
            QCOMPARE(modbus_read_registers(client.get(), r, 1, &was), 1);
            // The device refuses what its variable cannot hold: the first other value it
            // takes. The high byte first: the low one of a string's last register is no
            // text when its length is odd.
            bool written = false;
            for (const uint16_t other : {uint16_t(was ^ 0x100), uint16_t(was ^ 1), uint16_t(was + 1), uint16_t(was - 1)})
                written = written || modbus_write_register(client.get(), r, other) == 1;
            QVERIFY2(written, qPrintable(QString::number(r)));
            QVERIFY2(!holds(), qPrintable(QString::number(r)));
            QCOMPARE(modbus_write_register(client.get(), r, was), 1);
            ++changes;
        }
    }
    QVERIFY(changes > 40);
    QVERIFY(holds());
}

// tklcli against the simulator's server: --print-writes lists a real device's writes, the
// device shows what a simulated one does after the same download, show and preview say of
// a device whose download did not finish what they say of a simulated one, and once the
// server is gone a download fails in one line.
void TestDeviceState::throughTheTools()
{
    Loopback device;
    std::optional<Served> served(std::in_place, device.nodes);
    ToolFolder cli;
    const QString ticket = cli.path(QStringLiteral("ticket.txt"));
    QVERIFY(writeFile(cli.networkPath(), modbusNetwork(device.port)));
    QVERIFY(writeFile(ticket, LayoutWriter::toBytes(fullLayout()).value()));
    auto run = [&](const QStringList &args) { return cli.run(QStringLiteral(TKLCLI_PATH), args); };

    const ToolRun download = run({"download", ticket, "--port", "Printer1", "--print-writes"});
    QCOMPARE(download.exitCode, 0);
    const QList<QByteArray> writes = download.out.trimmed().split('\n');
    QVERIFY2(download.err.contains(QByteArray::number(writes.size()) + " writes to Printer1"), download.err);
    QCOMPARE(writes.front(), QByteArray("Printer1.Download.state\ti16\t1"));
    QVERIFY2(writes.back().startsWith("Printer1.Download.checksum\tu32\t"), writes.back());

    // What the device holds, as a layout file, is what it holds.
    const QString uploaded = cli.path(QStringLiteral("uploaded.txt"));
    QCOMPARE(run({"upload", "--port", "Printer1", "-o", uploaded}).exitCode, 0);
    const ToolRun same = run({"diff", uploaded, "--port", "Printer1", "--port", "Local"});
    QCOMPARE(same.exitCode, 1);
    QCOMPARE(same.out, QByteArray("Printer1: holds this layout\nLocal: holds no ticket\n"));
    const ToolRun shown = run({"show", "--port", "Printer1"});
    QCOMPARE(shown.exitCode, 0);
    QCOMPARE(run({"download", ticket, "--port", "Local"}).exitCode, 0);
    const ToolRun local = run({"show", "--port", "Local"});
    QCOMPARE(shown.out + shown.err, QByteArray(local.out + local.err).replace("Local", "Printer1"));

    Client client = connectTo(device.port);
    QVERIFY(client);
    const int stateRegister = PortVariables::downloadStateRegister(*device.network->findPort(QStringLiteral("Printer1")));
    QCOMPARE(modbus_write_register(client.get(), stateRegister, 1), 1);
    const ToolRun refused = run({"upload", "--port", "Printer1"});
    QVERIFY2(refused.exitCode == 1 && refused.out.isEmpty() && refused.err.contains("did not finish"), refused.err);
    const ToolRun forced = run({"upload", "--port", "Printer1", "--force"});
    QVERIFY2(forced.exitCode == 0 && forced.out.startsWith("5260\r\n") && forced.err.contains("did not finish"),
             forced.err);
    // Exit status 1, and each of `texts` in standard output or error (`stream`).
    auto says = [&](const QStringList &args, QByteArray ToolRun::*stream, const QByteArrayList &texts) {
        const ToolRun r = run(args);
        const bool all = std::ranges::all_of(texts, [&](const QByteArray &text) { return (r.*stream).contains(text); });
        QVERIFY2(r.exitCode == 1 && all, qPrintable(args.join(u' ') + u'\n' + r.out + r.err));
    };
    says({"diff", uploaded, "--port", "Printer1", "--format", "json"}, &ToolRun::out, {"\"state\":\"unfinished\""});
    says({"show", "--port", "Printer1"}, &ToolRun::out, {"The last download to it did not finish"});
    says({"show", "--port", "Printer1", "--format", "json"}, &ToolRun::out,
         {"\"downloadState\":1", "\"lastDownloadFinished\":false"});
    says({"preview", "--port", "Printer1"}, &ToolRun::err, {"the last download to this port did not finish"});
    QCOMPARE(modbus_write_register(client.get(), stateRegister, 0), 1);
    says({"show", "--port", "Printer1"}, &ToolRun::err, {"holds no ticket"});

    served.reset();
    const ToolRun failed = run({"download", ticket, "--port", "Printer1"});
    QVERIFY2(failed.exitCode == 1 && !(failed.out + failed.err).trimmed().contains('\n') && failed.err.contains("Printer1.")
                 && failed.err.contains(QStringLiteral("127.0.0.1:%1 (unit 1) failed: cannot connect").arg(device.port).toUtf8()),
             failed.err);
}

QTEST_GUILESS_MAIN(TestDeviceState)
#include "tst_device_state.moc"
