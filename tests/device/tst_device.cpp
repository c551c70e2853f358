// The simulated network, the automation server over it and the ticket download.

#include "DeviceTestSupport.h"
#include "device/NetworkDescription.h"
#include "device/PortVariables.h"
#include "device/RegisterCodec.h"
#include "simulated/SimulatedServer.h"

#include <QFile>
#include <QTest>

using namespace tkl;
using namespace tkl::test;

namespace {

const QByteArray validNetwork = R"({
  "nodes": [
    { "name": "Scale", "address": "NET1.ST03", "capabilities": "17 scale",
      "variables": [
        { "name": "Net", "internalAddress": 120, "offset": 70000, "subDataType": -4, "bitNo": 300 } ] },
    { "name": "Prn", "address": "X42", "capabilities": "65", "variables": [] } ],
  "ports": [ { "name": "P1", "node": "Prn", "updateElements": 2, "ticketLines": 3, "stringLength": 10 } ]
})";

const QByteArray modbusNetwork = R"({
  "nodes": [ { "name": "Prn", "address": "X42", "capabilities": "65", "variables": [],
               "modbus": { "host": "127.0.0.1", "port": 1502 } } ],
  "ports": [ { "name": "P1", "node": "Prn", "updateElements": 2, "ticketLines": 3, "stringLength": 10,
               "modbus": { "unit": 1, "base": 100 } } ]
})";

// A download of the golden ticket to `port`: the write that fails (0: none), device variables
// that read back wrong and what they give, how many of the golden writes are made, the
// variable it fails at (empty: done) and a part of its message; lineCount 0 sends the
// golden box lines, else that many.
struct DownloadCase { QString port; int failAt; QVariantMap reads; int writes; QString failedName = {}, message = {}; int lineCount = 0; };

// A value written as registers (none: refused, with a part of the message).
struct CodecCase { ValueType type; QVariant value; QList<int> registers; QString error = {}; };

// The writes of the golden download, as formatWrite() gives them.
QStringList goldenWrites()
{
    QFile golden(QStringLiteral(TKL_DEVICE_TEST_DATA "/download-golden.txt"));
    return golden.open(QIODevice::ReadOnly | QIODevice::Text)
        ? QString::fromUtf8(golden.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)
        : QStringList();
}

} // namespace

class TestDevice : public QObject
{
    Q_OBJECT

private slots:
    void malformedDescription_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("error"); // empty: sound

        auto edit = [](const char *from, const char *to) { return QByteArray(validNetwork).replace(from, to); };
        auto modbus = [](const char *from, const char *to) { return QByteArray(modbusNetwork).replace(from, to); };
        auto row = [](const char *name, const QByteArray &json, const char *error) { QTest::newRow(name) << json << error; };
        row("syntax: position", "{\n  \"nodes\": [\n    ,\n  ]\n}", "net.json: 3:5: illegal value");
        row("not an object", "[]", "net.json: the description must be a JSON object");
        row("no ports", "{ \"nodes\": [] }", "net.json: top level: missing \"ports\"");
        row("missing attribute", edit("\"offset\": 70000, ", ""), "net.json: nodes[0].variables[0]: missing \"offset\"");
        row("attribute not whole", edit("70000", "1.5"), "nodes[0].variables[0]: \"offset\" must be a whole number");
        row("attribute beyond 32 bits", edit("120", "3000000000"), "\"internalAddress\" is 3000000000, outside");
        row("attribute beyond 64 bits", edit("120", "4e51"), "\"internalAddress\" is 4e+51, outside");
        row("duplicate node", edit("\"name\": \"Prn\"", "\"name\": \"Scale\""), "nodes[1]: node name \"Scale\" is used twice");
        row("port on unknown node", edit("\"node\": \"Prn\"", "\"node\": \"Nope\""), "ports[0]: \"node\" \"Nope\" is not a node");
        row("address without node number", edit("\"X42\"", "\"X4\""), "nodes[1]: \"address\" \"X4\" must end in the node number");
        row("capabilities above 255", edit("\"65\"", "\"256 printer\""), "must begin with a number from 0 to 255");
        row("unknown key at the top", edit("\"ports\":", "\"extra\": 1, \"ports\":"), "net.json: top level: unknown key \"extra\"");
        row("misspelt optional key", edit("\"stringLength\"", "\"stringlength\""), "ports[0]: unknown key \"stringlength\"");
        row("unknown key in a simulation", edit("300 }", "300, \"simulation\": { \"fixed\": 1, \"to\": 2, \"step\": 3 } }"),
            "variables[0].simulation: unknown key \"step\"");
        row("simulation without values", edit("300 }", "300, \"simulation\": { \"to\": 5 } }"),
            "variables[0].simulation: needs \"fixed\", or \"from\" and \"to\"");
        row("port beyond a device's registers", edit("\"stringLength\": 10", "\"stringLength\": 32767"),
            "ports[0] (\"P1\"): \"updateElements\" 2, \"ticketLines\" 3 and \"stringLength\" 32767 need 114723 holding registers");
        // The parser would keep the last of two equal keys; the place is that of the second.
        row("key twice: port name", edit("\"name\": \"P1\"", "\"name\": \"P1\", \"name\": \"P9\""),
            "net.json: 7:30: key \"name\" appears twice in one object");
        row("key twice: a second node list", edit("\"ports\":", "\"nodes\": [], \"ports\":"),
            "net.json: 7:3: key \"nodes\" appears twice in one object");
        row("key twice: one spelt with an escape", edit("\"offset\": 70000, ", "\"offset\": 70000, \"n\\u0061me\": \"Gross\", "),
            "net.json: 5:67: key \"name\" appears twice in one object");
        // Quotes, braces and commas inside a text are no keys and no objects.
        row("key-like text in a value", edit("\"65\"", "\"65 {[\\\", \\\"name\""), "");
        row("larger than a description needs", QByteArray(NetworkDescription::MaxFileSize + 1, ' '),
            "net.json: larger than 64 MB");
        row("modbus: unknown key", modbus("\"base\"", "\"bsae\""), "ports[0].modbus: unknown key \"bsae\"");
        row("modbus: TCP port 0", modbus("1502", "0"), "nodes[0].modbus: \"port\" is 0, outside 1..65535");
        row("modbus: no host", modbus("\"host\": \"127.0.0.1\", ", ""), "nodes[0].modbus: missing \"host\"");
        row("modbus: unit 256", modbus("\"unit\": 1", "\"unit\": 256"), "\"unit\" is 256, outside 0..255");
        // The port takes 70 registers: 65466 + 70 = 65536 still fits.
        row("modbus: registers up to 65535", modbus("\"base\": 100", "\"base\": 65466"), "");
        row("modbus: registers beyond 65535", modbus("\"base\": 100", "\"base\": 65467"),
            "ports[0].modbus: the port takes 70 registers from \"base\" 65467");
        row("modbus: port without its address", modbus(",\n               \"modbus\": { \"unit\": 1, \"base\": 100 }", ""),
            "ports[0]: needs \"modbus\"");
        row("modbus: port on a simulated node", edit("\"stringLength\": 10", "\"stringLength\": 10, \"modbus\": {}"),
            "ports[0].modbus: node \"Prn\" has no \"modbus\" endpoint");
        auto serial = [](const char *keys) {
            return QByteArray(modbusNetwork).replace("\"host\": \"127.0.0.1\", \"port\": 1502", keys);
        };
        row("serial: sound", serial("\"serial\": \"/dev/ttyUSB0\", \"baud\": 9600, \"parity\": \"N\", \"stopBits\": 2"), "");
        row("serial: and a host", serial("\"serial\": \"/dev/ttyUSB0\", \"host\": \"h\""),
            "nodes[0].modbus: \"host\" belongs to a TCP endpoint; a node has \"host\" and \"port\" or \"serial\", not both");
        row("serial: a speed on TCP", modbus("1502", "1502, \"baud\": 9600"), "nodes[0].modbus: \"baud\" belongs to a serial line");
        row("serial: no path", serial("\"serial\": \"\""), "nodes[0].modbus: \"serial\" \"\" must be a device path");
        row("serial: odd speed", serial("\"serial\": \"/dev/ttyS0\", \"baud\": 12345"),
            "nodes[0].modbus: \"baud\" is 12345, not one of 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200");
        row("serial: parity", serial("\"serial\": \"/dev/ttyS0\", \"parity\": \"e\""),
            "nodes[0].modbus: \"parity\" is \"e\", not \"N\", \"E\" or \"O\"");
        row("serial: 7 data bits", serial("\"serial\": \"/dev/ttyS0\", \"dataBits\": 7"), "\"dataBits\" is 7, outside 8..8");
        row("serial: 3 stop bits", serial("\"serial\": \"/dev/ttyS0\", \"stopBits\": 3"), "\"stopBits\" is 3, outside 1..2");
        row("serial: broadcast unit",
            QByteArray(serial("\"serial\": \"/dev/ttyS0\"")).replace("\"unit\": 1", "\"unit\": 0"),
            "ports[0].modbus: \"unit\" is 0, outside 1..247 on a serial line");
        row("serial: one unit, two devices on a line",
            QByteArray(serial("\"serial\": \"/dev/ttyS0\""))
                .replace("\"nodes\": [", "\"nodes\": [ { \"name\": \"Other\", \"address\": \"X43\", \"capabilities\": \"65\", "
                                       "\"variables\": [], \"modbus\": { \"serial\": \"/dev/ttyS0\" } },")
                .replace("\"ports\": [", "\"ports\": [ { \"name\": \"P0\", \"node\": \"Other\", \"modbus\": { \"unit\": 1 } },"),
            "ports[1].modbus: unit 1 on serial line /dev/ttyS0 is node \"Other\"'s already (port \"P0\")");
        row("modbus: ports sharing registers",
            modbus("} ]\n}", "}, { \"name\": \"P2\", \"node\": \"Prn\", \"modbus\": { \"base\": 166 } } ]\n}"),
            "ports[1].modbus: registers 166..");
    }

    void malformedDescription()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, error);
        const auto network = ProcessNetwork::fromJson(json, QStringLiteral("net.json"));
        if (error.isEmpty()) {
            QVERIFY2(network.ok(), qPrintable(network.error().message));
            return;
        }
        const QString message = network.error().message;
        QVERIFY2(message.contains(error), qPrintable(message));
        QVERIFY2(message.startsWith(QStringLiteral("net.json: ")), qPrintable(message));
    }

    // Every access once without exceptions (only ErrorString tells) and once with them
    // enabled as older callers do, with -1 for true (the same text travels in the exception).
    void serverAccess_data()
    {
        QTest::addColumn<QString>("physId");
        QTest::addColumn<QVariant>("value"); // invalid: read Offset, else written to Value
        QTest::addColumn<QString>("error");  // empty: accepted

        const QVariant read;
        const QString ok;
        const QString type = QStringLiteral("takes");
        const QString range = QStringLiteral("out of range");
        auto i16 = [](int v) { return QVariant::fromValue(qint16(v)); };
        auto u8 = [](int v) { return QVariant::fromValue(quint8(v)); };

        QTest::newRow("unknown variable") << "Printer1.Nope" << QVariant(QString()) << "\"Printer1.Nope\"";
        QTest::newRow("nothing selected") << "" << read << "PhysId";
        QTest::newRow("network variables are read-only") << "Scale1.Tare" << QVariant(QString()) << "read-only";
        QTest::newRow("bool") << "Printer1.UpdateArr[1].DataIn" << QVariant(true) << ok;
        QTest::newRow("bool as int") << "Printer1.UpdateArr[1].DataIn" << QVariant(-1) << type;
        QTest::newRow("u8 top") << "Printer1.UpdateArr[2].NodeAdr" << u8(255) << ok;
        QTest::newRow("u8 as short") << "Printer1.UpdateArr[2].NodeAdr" << i16(3) << type;
        QTest::newRow("i16 as u8") << "Printer1.UpdateArr[2].Offset" << u8(3) << type;
        QTest::newRow("string as bytes") << "Printer1.UpdateArr[2].VarName" << QVariant(QByteArray("x")) << type;
        QTest::newRow("string longest") << "Printer1.Ticket[3]" << QVariant(QString(255, u'x')) << ok;
        QTest::newRow("string too long") << "Printer1.Ticket[3]" << QVariant(QString(256, u'x')) << "too long";
        QTest::newRow("lines beyond device") << "Printer1.lines" << i16(101) << range;
        QTest::newRow("line 0") << "Printer1.UpdateArr[4].Linie" << i16(0) << range;
        QTest::newRow("last line") << "Printer1.UpdateArr[30].Linie" << i16(100) << ok;
        QTest::newRow("negative width") << "Printer1.UpdateArr[4].Chars" << i16(-1) << range;
    }

    void serverAccess()
    {
        QFETCH(QString, physId);
        QFETCH(QVariant, value);
        QFETCH(QString, error);
        const auto network = ProcessNetwork::builtIn();
        SimulatedServer quiet(network->devices());
        SimulatedServer loud(network->devices());
        loud.setProperty(QStringLiteral("EnableExceptions"), -1);
        auto access = [&](SimulatedServer &server) {
            server.setProperty(QStringLiteral("PhysId"), physId);
            if (!value.isValid())
                return server.property(QStringLiteral("Offset"));
            server.setProperty(QStringLiteral("Value"), value);
            return QVariant();
        };

        const QVariant result = access(quiet); // throwing here fails the test
        const QString text = quiet.property(QStringLiteral("ErrorString")).toString();
        if (error.isEmpty()) {
            QVERIFY2(text.isEmpty(), qPrintable(text));
            QCOMPARE(network->writeLog(), (QList<WriteRecord>{{physId, network->findDeviceVariable(physId)->type, value}}));
            QCOMPARE(quiet.property(QStringLiteral("Value")), value);
            return;
        }
        QVERIFY(!result.isValid());
        QVERIFY2(text.contains(error), qPrintable(text));
        QString thrown;
        try {
            access(loud);
        } catch (const AutomationError &e) {
            thrown = e.text();
        }
        QCOMPARE(thrown, text);
        QCOMPARE(loud.property(QStringLiteral("ErrorString")).toString(), text);
        QVERIFY(network->writeLog().isEmpty());
    }

    // The golden ticket (fields in slots 1, 7 and 30, an undefined slot 3, a start code and an
    // empty stop code) downloaded whole, failing at each of its writes, or reading back wrong.
    void download_data()
    {
        QTest::addColumn<DownloadCase>("c");
        const QStringList golden = goldenWrites();
        const int all = int(golden.size());
        auto row = [](const QString &tag, const DownloadCase &c) { QTest::newRow(qPrintable(tag)) << c; };
        row("golden", {"Printer1", 0, {}, all});
        QVERIFY(all > 70);
        for (int k = 1; k <= all; ++k) {
            const QString name = golden.at(k - 1).section(QLatin1Char('\t'), 0, 0);
            row(QStringLiteral("failure at write %1").arg(k),
                {"Printer1", k, {}, k - 1, name, QStringLiteral("Device did not accept the write to \"%1\" (simulated fault)").arg(name)});
        }
        row("read-back: ticket line changed", {"Printer1", 0, {{"Printer1.Ticket[3]", QStringLiteral("Net:   xxxxx.x kx")}}, all,
            "Printer1.Ticket[3]", "Read-back of Printer1.Ticket[3] gave \"Net:   xxxxx.x kx\" where \"Net:   xxxxx.x kg\" was written"});
        // A defined slot's DataIn is written false, then true: the last write counts.
        row("read-back: DataIn of a defined slot", {"Printer1", 0, {{"Printer1.UpdateArr[7].DataIn", false}}, all,
            "Printer1.UpdateArr[7].DataIn", "Read-back of Printer1.UpdateArr[7].DataIn gave \"False\" where \"True\" was written"});
        row("read-back: the first difference in write order is named",
            {"Printer1", 0, {{"Printer1.Ticket[5]", QStringLiteral("x")}, {"Printer1.UpdateArr[30].Pos", QVariant::fromValue(qint16(12))},
             {"Printer1.lines", QVariant::fromValue(qint16(4))}},
            all, "Printer1.UpdateArr[30].Pos", "Read-back of Printer1.UpdateArr[30].Pos gave \"12\" where \"11\" was written"});
        // A server may return numbers in a wider type; the value is what counts.
        row("read-back: same number in a wider type", {"Printer1", 0,
            {{"Printer1.UpdateArr[1].Chars", 7}, {"Printer1.UpdateArr[1].NodeAdr", qlonglong(3)}, {"Printer1.UpdateArr[1].DataIn", -1}}, all});
        row("empty port: name taken as it stands", {"", 0, {}, 0, ".UpdateArr[1].DataIn"});
        row("unknown port", {"Printer9", 0, {}, 0, "Printer9.UpdateArr[1].DataIn"});
        // Never sent wrapped round to a negative number: refused whole (Rejected), with the 16-bit message.
        row("line count beyond 16 bits", {"Printer1", 0, {}, 0, "Printer1.lines", "does not fit the 16-bit variable", 40000});
    }

    void download()
    {
        QFETCH(DownloadCase, c);
        const auto &[port, failAt, reads, writes, failedName, message, lineCount] = c;
        DownloadRun run;
        fillGoldenTicket(run.model);
        run.faults.failWriteAt(failAt);
        for (auto it = reads.cbegin(); it != reads.cend(); ++it)
            run.faults.corruptOnReadBack(it.key(), it.value());
        const QStringList lines = lineCount ? QStringList(lineCount, QStringLiteral("x")) : goldenBoxLines();
        const DownloadResult result = run.run(lines, port);

        QStringList actual;
        for (const WriteRecord &w : run.network->writeLog())
            actual << formatWrite(w);
        // To renew the golden data after a deliberate change: TKL_WRITE_GOLDEN=1, then review the diff.
        if (qEnvironmentVariableIsSet("TKL_WRITE_GOLDEN") && QTest::currentDataTag() == QLatin1String("golden")) {
            QFile golden(QStringLiteral(TKL_DEVICE_TEST_DATA "/download-golden.txt"));
            QVERIFY(golden.open(QIODevice::WriteOnly | QIODevice::Text));
            golden.write(actual.join(QLatin1Char('\n')).toUtf8() + '\n');
        }
        // The writes before a failure stay; nothing after it is attempted.
        QCOMPARE(actual, goldenWrites().mid(0, writes));
        QCOMPARE(result.writesDone, writes);
        QCOMPARE(result.status, failedName.isEmpty() ? DownloadResult::Status::Done
                                : lineCount                   ? DownloadResult::Status::Rejected
                                                              : DownloadResult::Status::Failed);
        QCOMPARE(result.failedName, failedName);
        QVERIFY2(result.errorString.contains(failedName), qPrintable(result.errorString));
        QVERIFY2(result.errorString.contains(message), qPrintable(result.errorString));
        if (result.ok()) {
            QCOMPARE(run.download.server()->property(QStringLiteral("EnableExceptions")).toBool(), true);
            // The bar rises with every slot of both passes and is full when the second ends.
            QCOMPARE(run.progress.size(), 61);
            QCOMPARE(run.progress.first(), 0.0);
            QCOMPARE(run.progress.last(), 100.0);
            for (qsizetype i = 1; i < run.progress.size(); ++i)
                QVERIFY(run.progress.at(i) > run.progress.at(i - 1));
        }
        if (failAt) {
            // A failed run leaves the download ready for the next one.
            QCOMPARE(result.errorString, run.download.server()->property(QStringLiteral("ErrorString")).toString());
            QVERIFY(run.run(lines, port).ok());
        }
    }

    // The shipped example loads; its second node leaves the timeout at the default.
    void modbusExample()
    {
        const auto read = ProcessNetwork::fromFile(QStringLiteral(TKL_DEVICE_TEST_DATA "/../../../examples/modbus-network.json"));
        QVERIFY2(read.ok(), qPrintable(read.error().message));
        QStringList endpoints;
        for (const PrinterPort &p : (*read)->ports()) {
            const ModbusEndpoint *endpoint = (*read)->endpointOf(p);
            QVERIFY2(endpoint, qPrintable(p.name));
            endpoints << QStringLiteral("%1 %2").arg(endpoint->text()).arg(endpoint->timeoutMs);
        }
        QCOMPARE(endpoints, (QStringList{"127.0.0.1:1502 1000", "127.0.0.1:1503 1000"}));
    }

    void registerCodec_data()
    {
        QTest::addColumn<CodecCase>("c");
        auto row = [](const char *name, const CodecCase &c) { QTest::newRow(name) << c; };
        const ValueType s = ValueType::String;
        row("odd string: 0 in the low half", {s, QStringLiteral("Net"), {3, 0x4E65, 0x7400}});
        row("Windows-1252 bytes", {s, QStringLiteral("5\u00B0C\u20AC"), {4, 0x35B0, 0x4380}});
        row("empty string", {s, QString(), {0}});
        row("longest string", {s, QStringLiteral("0123456789"), {10, 0x3031, 0x3233, 0x3435, 0x3637, 0x3839}});
        row("too long", {s, QStringLiteral("0123456789A"), {}, "text of 11 characters is longer than the 10"});
        row("not in Windows-1252", {s, QStringLiteral("ok \u2713"), {}, "U+2713 at position 4"});
        row("Int16 negative", {ValueType::Int16, QVariant::fromValue(qint16(-4)), {0xFFFC}});
        row("Int16 lowest", {ValueType::Int16, QVariant::fromValue(qint16(-32768)), {0x8000}});
        row("UInt8 255", {ValueType::UInt8, QVariant::fromValue(quint8(255)), {255}});
        row("Boolean true", {ValueType::Boolean, true, {1}});
        row("Boolean false", {ValueType::Boolean, false, {0}});
    }

    // What a write sends, and that reading the registers gives the value back.
    void registerCodec()
    {
        QFETCH(CodecCase, c);
        const auto &[t, value, registers, error] = c;
        RegisterCodec::Registers sent;
        const auto refused = RegisterCodec::encode(t, value, 10, &sent);
        if (!error.isEmpty()) {
            QVERIFY(refused);
            QVERIFY2(refused->contains(error), qPrintable(*refused));
            QVERIFY(sent.isEmpty());
            return;
        }
        QVERIFY2(!refused, qPrintable(refused.value_or(QString())));
        QCOMPARE(QList<int>(sent.begin(), sent.end()), registers);
        QString why;
        const QVariant back = t == ValueType::String ? QVariant(*RegisterCodec::decodeString(sent, 10, &why))
                                                     : *RegisterCodec::decodeNumber(t, sent.first());
        QCOMPARE(back, value);
        QCOMPARE(back.metaType(), value.metaType());
    }

    void registerMap_data()
    {
        QTest::addColumn<int>("elements");
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("stringLength");
        QTest::addColumn<QList<int>>("expected"); // Pos of the last element, lines, last Ticket, start, stop, state, count

        // Odd and even string lengths: a string takes its length register plus half its bytes, rounded up.
        QTest::newRow("sample port") << 30 << 100 << 255 << QList<int>{4229, 4230, 17002, 17131, 17260, 17389, 17392};
        QTest::newRow("small, even") << 2 << 1 << 4 << QList<int>{29, 30, 31, 34, 37, 40, 43};
        QTest::newRow("small, odd") << 1 << 2 << 5 << QList<int>{15, 16, 21, 25, 29, 33, 36};
    }

    // Every device variable of a port has one place: the download's names resolve back to
    // their type and bounds, and the registers follow each other without gap or overlap.
    void registerMap()
    {
        QFETCH(int, elements);
        QFETCH(int, lines);
        QFETCH(int, stringLength);
        QFETCH(QList<int>, expected);
        using namespace PortVariables;

        ProcessNetwork network;
        const int node = network.addNode(QStringLiteral("Prn"), QStringLiteral("X42"), QStringLiteral("65"));
        network.addPort(QStringLiteral("P"), node, elements, lines, stringLength);
        const PrinterPort &port = network.ports().constFirst();
        const QString p = port.name;

        QCOMPARE((QList<int>{memberRegister(port, elements, Member::Pos), linesRegister(port), ticketRegister(port, lines),
                             startCodeRegister(port), stopCodeRegister(port), downloadStateRegister(port),
                             registerCount(port)}),
                 expected);

        QStringList names;
        for (int n = 1; n <= elements; ++n) {
            for (const MemberInfo &m : members())
                names << elementName(p, n, m.member);
        }
        names << linesName(p);
        for (int n = 1; n <= lines; ++n)
            names << ticketName(p, n);
        names << startCodeName(p) << stopCodeName(p) << downloadStateName(p) << checksumName(p);

        int next = 0;
        for (const QString &name : names) {
            const auto place = placeOf(port, name);
            QVERIFY2(place, qPrintable(name));
            const std::optional<DeviceVariable> d = network.findDeviceVariable(name);
            QVERIFY2(d, qPrintable(name));
            QCOMPARE(place->type, d->type);
            QCOMPARE(place->bounds.minimum, d->minimum);
            QCOMPARE(place->bounds.maximum, d->maximum);
            QCOMPARE(place->firstRegister, next);
            next += place->type == ValueType::String ? stringRegisters(port) : place->type == ValueType::UInt32 ? 2 : 1;
        }
        QCOMPARE(next, registerCount(port));

        // Names the port does not hold.
        for (const QString &name : {p + QStringLiteral(".UpdateArr[0].Pos"),
                                    p + QStringLiteral(".UpdateArr[%1].Pos").arg(elements + 1),
                                    p + QStringLiteral(".UpdateArr[01].Pos"), p + QStringLiteral(".UpdateArr[1].pos"),
                                    p + QStringLiteral(".Ticket[%1]").arg(lines + 1), p + QStringLiteral(".Ticket[1"),
                                    p + QStringLiteral("X.lines"), QStringLiteral("Q.lines"), p}) {
            QVERIFY2(!placeOf(port, name), qPrintable(name));
        }
    }
};

QTEST_GUILESS_MAIN(TestDevice)
#include "tst_device.moc"
