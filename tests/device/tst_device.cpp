// The simulated network, the automation server over it and the ticket download.

#include "DeviceTestSupport.h"
#include "device/AutomationFactory.h"
#include "device/ProcessNetwork.h"
#include "device/SimulatedServer.h"
#include "device/TicketDownload.h"
#include "model/TicketModel.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

using namespace tkl;
using namespace tkl::test;

Q_DECLARE_METATYPE(ValueType)

namespace {

const QByteArray validNetwork = R"({
  "nodes": [
    { "name": "Scale", "address": "NET1.ST03", "capabilities": "17 scale",
      "variables": [
        { "name": "Net", "internalAddress": 120, "offset": 70000, "subDataType": -4, "bitNo": 300 } ] },
    { "name": "Prn", "address": "X42", "capabilities": "65", "variables": [] } ],
  "ports": [ { "name": "P1", "node": "Prn", "updateElements": 2, "ticketLines": 3, "stringLength": 10 } ]
})";

// A description with one key of the first variable replaced by `value` (or removed).
QByteArray withVariableKey(const char *key, const char *value)
{
    QByteArray json = validNetwork;
    const QByteArray pattern = QByteArray("\"") + key + "\": ";
    const qsizetype at = json.indexOf(pattern);
    qsizetype end = at + pattern.size();
    while (end < json.size() && json.at(end) != ',' && json.at(end) != ' ')
        ++end;
    if (value)
        return json.left(at + pattern.size()) + value + json.mid(end);
    return json.left(at) + "\"unused\": 0" + json.mid(end);
}

struct DownloadRun
{
    TicketModel model;
    std::unique_ptr<ProcessNetwork> network = ProcessNetwork::builtIn();
    AutomationFactory factory{*network};
    TicketDownload download{factory};
    QList<double> progress;
    int eventRuns = 0;

    DownloadResult run(const QStringList &lines, const QString &port = QStringLiteral("Printer1"))
    {
        TicketDownload::Callbacks cb;
        cb.progress = [this](double v) { progress << v; };
        cb.processEvents = [this] { ++eventRuns; };
        return download.run(model, lines, port, cb);
    }

    QStringList names() const
    {
        QStringList result;
        for (const WriteRecord &w : network->writeLog())
            result << w.name;
        return result;
    }

    QVariant written(const QString &name) const
    {
        const DeviceVariable *d = network->findDeviceVariable(name);
        return d ? d->value : QVariant();
    }
};

bool sameTicket(const TicketModel &a, const TicketModel &b)
{
    return a.UpdateBoxes == b.UpdateBoxes && a.BoxLoaded == b.BoxLoaded && a.StartCode == b.StartCode
        && a.StopCode == b.StopCode && a.TicketLines == b.TicketLines;
}

} // namespace

class TestDevice : public QObject
{
    Q_OBJECT

private slots:
    void builtInSample();
    void deviceVariablesOfPort_data();
    void deviceVariablesOfPort();
    void attributesAsTheNetworkStatesThem();
    void malformedDescription_data();
    void malformedDescription();
    void userFileReplacesSample();

    void failingAccess_data();
    void failingAccess();
    void enableExceptions_data();
    void enableExceptions();
    void typedWrites_data();
    void typedWrites();
    void injectedFaults();
    void factoryIdentifiers_data();
    void factoryIdentifiers();

    void goldenDownload();
    void undefinedSlotsOnlyCleared();
    void printerCodes_data();
    void printerCodes();
    void ticketLines_data();
    void ticketLines();
    void progressReachesHundred();
    void emptyOrUnknownPort_data();
    void emptyOrUnknownPort();
    void failureAtEveryWrite();
    void valuesThatDoNotFit_data();
    void valuesThatDoNotFit();
    void creationFailure();
    void secondDownloadRefusedWhileRunning();

    void readBackDifference_data();
    void readBackDifference();
    void readBackDoesNotWrite();
};

void TestDevice::builtInSample()
{
    const auto network = ProcessNetwork::builtIn();
    QVERIFY(network->variables().size() >= 10);
    QCOMPARE(network->ports().first().name, QStringLiteral("Printer1"));

    // The tree offers these names and the binding reads the node number from the address.
    for (const NetworkVariable &v : network->variables()) {
        const NetworkNode &node = network->nodes().at(v.node);
        QCOMPARE(v.fullName, node.name + QLatin1Char('.') + v.name);
        QVERIFY2(node.address.right(2).toInt() > 0, qPrintable(node.address));
        QCOMPARE(network->findVariable(v.fullName), &v);
    }
}

void TestDevice::deviceVariablesOfPort_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<ValueType>("type");

    QTest::newRow("first element") << "Printer1.UpdateArr[1].DataIn" << true << ValueType::Boolean;
    QTest::newRow("element 30") << "Printer1.UpdateArr[30].Pos" << true << ValueType::Int16;
    QTest::newRow("element 31") << "Printer1.UpdateArr[31].Pos" << false << ValueType::Int16;
    QTest::newRow("element 0") << "Printer1.UpdateArr[0].Pos" << false << ValueType::Int16;
    QTest::newRow("node address") << "Printer1.UpdateArr[5].NodeAdr" << true << ValueType::UInt8;
    QTest::newRow("bit number") << "Printer1.UpdateArr[5].BitNo" << true << ValueType::UInt8;
    QTest::newRow("code") << "Printer1.UpdateArr[5].Code" << true << ValueType::UInt8;
    QTest::newRow("var name") << "Printer1.UpdateArr[5].VarName" << true << ValueType::String;
    QTest::newRow("device type") << "Printer1.UpdateArr[5].DevType" << true << ValueType::Int16;
    QTest::newRow("padded number") << "Printer1.UpdateArr[05].Pos" << false << ValueType::Int16;
    QTest::newRow("lines") << "Printer1.lines" << true << ValueType::Int16;
    QTest::newRow("ticket 1") << "Printer1.Ticket[1]" << true << ValueType::String;
    QTest::newRow("ticket 100") << "Printer1.Ticket[100]" << true << ValueType::String;
    QTest::newRow("ticket 101") << "Printer1.Ticket[101]" << false << ValueType::String;
    QTest::newRow("start code") << "Printer1.PrintCode.start" << true << ValueType::String;
    QTest::newRow("stop code") << "Printer2.PrintCode.stop" << true << ValueType::String;
    QTest::newRow("other case") << "printer1.lines" << false << ValueType::Int16;
}

void TestDevice::deviceVariablesOfPort()
{
    QFETCH(QString, name);
    QFETCH(bool, exists);
    QFETCH(ValueType, type);
    const auto network = ProcessNetwork::builtIn();
    const DeviceVariable *d = network->findDeviceVariable(name);
    QCOMPARE(d != nullptr, exists);
    if (d)
        QCOMPARE(d->type, type);
}

void TestDevice::attributesAsTheNetworkStatesThem()
{
    QString error;
    auto network = ProcessNetwork::fromJson(validNetwork, QStringLiteral("n.json"), &error);
    QVERIFY2(network, qPrintable(error));
    SimulatedServer server(*network);
    server.setProperty(QStringLiteral("PhysId"), QStringLiteral("Scale.Net"));

    // Outside 16 bits and 0..255 on purpose: the reader range-checks, not the server.
    const QVariant offset = server.property(QStringLiteral("Offset"));
    QCOMPARE(offset.metaType().id(), int(QMetaType::Int));
    QCOMPARE(offset.toInt(), 70000);
    QCOMPARE(server.property(QStringLiteral("SubDataType")).toInt(), -4);
    QCOMPARE(server.property(QStringLiteral("BitNo")).toInt(), 300);
    QCOMPARE(server.property(QStringLiteral("InternalAddress")).toInt(), 120);
    QCOMPARE(server.property(QStringLiteral("NodeAddress")).toString(), QStringLiteral("NET1.ST03"));
    QCOMPARE(server.property(QStringLiteral("Nodecapabilities")).toString(), QStringLiteral("17 scale"));
    QCOMPARE(server.property(QStringLiteral("ErrorString")).toString(), QString());

    // A device variable answers with its printer module's node.
    server.setProperty(QStringLiteral("PhysId"), QStringLiteral("P1.lines"));
    QCOMPARE(server.property(QStringLiteral("NodeAddress")).toString(), QStringLiteral("X42"));
}

void TestDevice::malformedDescription_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("error");

    QTest::newRow("syntax: position") << QByteArray("{\n  \"nodes\": [\n    ,\n  ]\n}")
                                      << "net.json: 3:5: illegal value";
    QTest::newRow("syntax: unterminated") << QByteArray("{ \"nodes\": [] ") << "net.json: 1:";
    QTest::newRow("syntax: position after multibyte text")
        << QByteArray("{ \"n\": \"\xc3\xa9\xc3\xa9\" x }") << "net.json: 1:13: ";
    QTest::newRow("not an object") << QByteArray("[]") << "net.json: the description must be a JSON object";
    QTest::newRow("no nodes") << QByteArray("{ \"ports\": [] }") << "net.json: top level: missing \"nodes\"";
    QTest::newRow("no ports") << QByteArray("{ \"nodes\": [] }") << "net.json: top level: missing \"ports\"";
    QTest::newRow("missing attribute") << withVariableKey("offset", nullptr)
                                       << "net.json: nodes[0].variables[0]: missing \"offset\"";
    QTest::newRow("attribute not whole") << withVariableKey("offset", "1.5")
                                         << "net.json: nodes[0].variables[0]: \"offset\" must be a whole number";
    QTest::newRow("attribute a string") << withVariableKey("bitNo", "\"3\"")
                                        << "net.json: nodes[0].variables[0]: \"bitNo\" must be a whole number";
    QTest::newRow("attribute beyond 32 bits") << withVariableKey("internalAddress", "3000000000")
                                              << "\"internalAddress\" is 3000000000, outside";

    QByteArray json = validNetwork;
    QTest::newRow("empty variable name")
        << json.replace("\"name\": \"Net\"", "\"name\": \" \"") << "nodes[0].variables[0]: \"name\" is empty";
    json = validNetwork;
    QTest::newRow("dotted variable name")
        << json.replace("\"name\": \"Net\"", "\"name\": \"a.b\"") << "name \"a.b\" must not contain \".\"";
    json = validNetwork;
    QTest::newRow("duplicate node")
        << json.replace("\"name\": \"Prn\"", "\"name\": \"Scale\"") << "nodes[1]: node name \"Scale\" is used twice";
    json = validNetwork;
    QTest::newRow("duplicate variable")
        << json.replace("\"bitNo\": 300 }", "\"bitNo\": 300 }, { \"name\": \"Net\", \"internalAddress\": 1, "
                                            "\"offset\": 0, \"subDataType\": 0, \"bitNo\": 0 }")
        << "nodes[0].variables[1]: variable name \"Net\" is used twice in node \"Scale\"";
    json = validNetwork;
    QTest::newRow("duplicate port")
        << json.replace("\"stringLength\": 10 }", "\"stringLength\": 10 }, { \"name\": \"P1\", \"node\": \"Prn\" }")
        << "ports[1]: port name \"P1\" is used twice";
    json = validNetwork;
    QTest::newRow("port named like a node")
        << json.replace("\"name\": \"P1\"", "\"name\": \"Scale\"") << "ports[0]: port name \"Scale\" is also a node's name";
    json = validNetwork;
    QTest::newRow("port on unknown node")
        << json.replace("\"node\": \"Prn\"", "\"node\": \"Nope\"") << "ports[0]: \"node\" \"Nope\" is not a node";
    json = validNetwork;
    QTest::newRow("address without node number")
        << json.replace("\"X42\"", "\"X4\"") << "nodes[1]: \"address\" \"X4\" must end in the node number";
    json = validNetwork;
    QTest::newRow("capabilities without number")
        << json.replace("\"65\"", "\"printer\"") << "nodes[1]: \"capabilities\" \"printer\" must begin with a number";
    json = validNetwork;
    QTest::newRow("capabilities above 255")
        << json.replace("\"65\"", "\"256 printer\"") << "must begin with a number from 0 to 255";
    json = validNetwork;
    QTest::newRow("no ticket lines")
        << json.replace("\"ticketLines\": 3", "\"ticketLines\": 0") << "ports[0]: \"ticketLines\" is 0, outside 1..";
    json = validNetwork;
    QTest::newRow("simulation without values")
        << json.replace("\"bitNo\": 300 }", "\"bitNo\": 300, \"simulation\": { \"to\": 5 } }")
        << "variables[0].simulation: needs \"fixed\", or \"from\" and \"to\"";
    json = validNetwork;
    QTest::newRow("ramp without period")
        << json.replace("\"bitNo\": 300 }", "\"bitNo\": 300, \"simulation\": { \"from\": 0, \"to\": 5, "
                                            "\"periodSeconds\": 0 } }")
        << "\"periodSeconds\" must be a number above 0";
}

void TestDevice::malformedDescription()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, error);
    QString message;
    const auto network = ProcessNetwork::fromJson(json, QStringLiteral("net.json"), &message);
    QVERIFY(!network);
    QVERIFY2(message.contains(error), qPrintable(message));
    QVERIFY2(message.startsWith(QStringLiteral("net.json: ")), qPrintable(message));
}

void TestDevice::userFileReplacesSample()
{
    QTemporaryDir dir;
    const QString good = dir.filePath(QStringLiteral("good.json"));
    const QString bad = dir.filePath(QStringLiteral("bad.json"));
    {
        QFile f(good);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(validNetwork);
        QFile g(bad);
        QVERIFY(g.open(QIODevice::WriteOnly));
        g.write(QByteArray(validNetwork).replace("\"X42\"", "\"X\""));
    }
    QString error;

    qputenv("TKL_NETWORK", good.toLocal8Bit());
    auto network = ProcessNetwork::load(&error);
    QVERIFY2(network, qPrintable(error));
    QCOMPARE(network->ports().size(), 1);
    QCOMPARE(network->ports().first().name, QStringLiteral("P1"));

    qputenv("TKL_NETWORK", bad.toLocal8Bit());
    QVERIFY(!ProcessNetwork::load(&error));
    QVERIFY2(error.startsWith(QDir::toNativeSeparators(bad) + QStringLiteral(": nodes[1]")), qPrintable(error));

    // A file named explicitly must be there.
    qputenv("TKL_NETWORK", dir.filePath(QStringLiteral("missing.json")).toLocal8Bit());
    QVERIFY(!ProcessNetwork::load(&error));
    QVERIFY2(error.contains(QStringLiteral("missing.json")), qPrintable(error));
    qunsetenv("TKL_NETWORK");
}

void TestDevice::failingAccess_data()
{
    QTest::addColumn<QString>("physId");
    QTest::addColumn<QString>("property");
    QTest::addColumn<QVariant>("value"); // invalid: read the property
    QTest::addColumn<QString>("error");

    const QVariant read;
    QTest::newRow("unknown variable, write") << "Printer1.Nope" << "Value" << QVariant(QString()) << "\"Printer1.Nope\"";
    QTest::newRow("unknown variable, read") << "Nowhere.Temp" << "NodeAddress" << read << "\"Nowhere.Temp\"";
    QTest::newRow("nothing selected") << "" << "Offset" << read << "PhysId";
    QTest::newRow("wrong type") << "Printer1.lines" << "Value" << QVariant(5) << "\"Printer1.lines\"";
    QTest::newRow("network variables are read-only") << "Scale1.Tare" << "Value" << QVariant(QString()) << "read-only";
    QTest::newRow("unknown property") << "Scale1.Tare" << "Colour" << read << "\"Colour\"";
    QTest::newRow("attribute is read-only") << "Scale1.Tare" << "Offset" << QVariant(qint16(1)) << "read-only";
    QTest::newRow("PhysId not a string") << "Scale1.Tare" << "PhysId" << QVariant(7) << "PhysId";
}

void TestDevice::failingAccess()
{
    QFETCH(QString, physId);
    QFETCH(QString, property);
    QFETCH(QVariant, value);
    QFETCH(QString, error);
    const auto network = ProcessNetwork::builtIn();

    auto access = [&](SimulatedServer &server) {
        if (value.isValid())
            server.setProperty(property, value);
        else
            return server.property(property);
        return QVariant();
    };

    // Without exceptions only ErrorString tells.
    SimulatedServer quiet(*network);
    quiet.setProperty(QStringLiteral("PhysId"), physId);
    QVariant result;
    try {
        result = access(quiet);
    } catch (const AutomationError &) {
        QFAIL("threw without EnableExceptions");
    }
    QVERIFY(!result.isValid());
    const QString text = quiet.property(QStringLiteral("ErrorString")).toString();
    QVERIFY2(text.contains(error), qPrintable(text));

    // With them the same text travels in the exception and stays in ErrorString.
    SimulatedServer loud(*network);
    loud.setProperty(QStringLiteral("EnableExceptions"), true);
    loud.setProperty(QStringLiteral("PhysId"), physId);
    bool thrown = false;
    try {
        access(loud);
    } catch (const AutomationError &e) {
        thrown = true;
        QCOMPARE(e.text(), text);
    }
    QVERIFY(thrown);
    QCOMPARE(loud.property(QStringLiteral("ErrorString")).toString(), text);
    QVERIFY(network->writeLog().isEmpty());

    // A later good access does not throw and leaves the last failure readable.
    loud.setProperty(QStringLiteral("PhysId"), QStringLiteral("Printer1.lines"));
    loud.setProperty(QStringLiteral("Value"), QVariant::fromValue(qint16(1)));
    QCOMPARE(loud.property(QStringLiteral("ErrorString")).toString(), text);
}

void TestDevice::enableExceptions_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("enabled");

    QTest::newRow("true") << QVariant(true) << true;
    QTest::newRow("-1 as older callers pass true") << QVariant(-1) << true;
    QTest::newRow("short -1") << QVariant::fromValue(qint16(-1)) << true;
    QTest::newRow("false") << QVariant(false) << false;
    QTest::newRow("0") << QVariant(0) << false;
    QTest::newRow("text is refused") << QVariant(QStringLiteral("true")) << false;
}

void TestDevice::enableExceptions()
{
    QFETCH(QVariant, value);
    QFETCH(bool, enabled);
    const auto network = ProcessNetwork::builtIn();
    SimulatedServer server(*network);
    server.setProperty(QStringLiteral("EnableExceptions"), value);
    QCOMPARE(server.property(QStringLiteral("EnableExceptions")).toBool(), enabled);
    server.setProperty(QStringLiteral("PhysId"), QStringLiteral("Nowhere.X"));
    bool thrown = false;
    try {
        server.property(QStringLiteral("Offset"));
    } catch (const AutomationError &) {
        thrown = true;
    }
    QCOMPARE(thrown, enabled);
}

void TestDevice::typedWrites_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("error"); // empty: accepted

    const QString ok;
    auto i16 = [](int v) { return QVariant::fromValue(qint16(v)); };
    auto u8 = [](int v) { return QVariant::fromValue(quint8(v)); };
    const QString type = QStringLiteral("takes");
    const QString range = QStringLiteral("out of range");

    QTest::newRow("bool") << "Printer1.UpdateArr[1].DataIn" << QVariant(true) << ok;
    QTest::newRow("bool as int") << "Printer1.UpdateArr[1].DataIn" << QVariant(-1) << type;
    QTest::newRow("bool as short") << "Printer1.UpdateArr[1].DataIn" << i16(0) << type;
    QTest::newRow("u8 top") << "Printer1.UpdateArr[2].NodeAdr" << u8(255) << ok;
    QTest::newRow("u8 as short") << "Printer1.UpdateArr[2].NodeAdr" << i16(3) << type;
    QTest::newRow("u8 as int") << "Printer1.UpdateArr[2].BitNo" << QVariant(3) << type;
    QTest::newRow("u8 as uint") << "Printer1.UpdateArr[2].Code" << QVariant(3u) << type;
    QTest::newRow("i16 lowest") << "Printer1.UpdateArr[2].SWNo" << i16(-32768) << ok;
    QTest::newRow("i16 as u8") << "Printer1.UpdateArr[2].Offset" << u8(3) << type;
    QTest::newRow("i16 as string") << "Printer1.UpdateArr[2].Typ" << QVariant(QStringLiteral("3")) << type;
    QTest::newRow("i16 as ushort") << "Printer1.UpdateArr[2].Typ" << QVariant::fromValue(quint16(3)) << type;
    QTest::newRow("string") << "Printer1.UpdateArr[2].VarName" << QVariant(QStringLiteral("Kiln.Zone1Temp")) << ok;
    QTest::newRow("string as bytes") << "Printer1.UpdateArr[2].VarName" << QVariant(QByteArray("x")) << type;
    QTest::newRow("string as nothing") << "Printer1.UpdateArr[2].VarName" << QVariant() << type;
    QTest::newRow("string longest") << "Printer1.Ticket[3]" << QVariant(QString(255, QLatin1Char('x'))) << ok;
    QTest::newRow("string too long") << "Printer1.Ticket[3]" << QVariant(QString(256, QLatin1Char('x')))
                                     << "too long";
    QTest::newRow("lines all") << "Printer1.lines" << i16(100) << ok;
    QTest::newRow("lines beyond device") << "Printer1.lines" << i16(101) << range;
    QTest::newRow("lines negative") << "Printer1.lines" << i16(-1) << range;
    QTest::newRow("line 1") << "Printer1.UpdateArr[4].Linie" << i16(1) << ok;
    QTest::newRow("line 0") << "Printer1.UpdateArr[4].Linie" << i16(0) << range;
    QTest::newRow("last line") << "Printer1.UpdateArr[4].Linie" << i16(100) << ok;
    QTest::newRow("after last line") << "Printer1.UpdateArr[4].Linie" << i16(101) << range;
    QTest::newRow("column 0 of an unplaced field") << "Printer1.UpdateArr[4].Pos" << i16(0) << ok;
    QTest::newRow("negative width") << "Printer1.UpdateArr[4].Chars" << i16(-1) << range;
}

void TestDevice::typedWrites()
{
    QFETCH(QString, name);
    QFETCH(QVariant, value);
    QFETCH(QString, error);
    const auto network = ProcessNetwork::builtIn();
    SimulatedServer server(*network);
    server.setProperty(QStringLiteral("PhysId"), name);
    server.setProperty(QStringLiteral("Value"), value);

    const QString text = server.property(QStringLiteral("ErrorString")).toString();
    const DeviceVariable *d = network->findDeviceVariable(name);
    QVERIFY(d);
    if (error.isEmpty()) {
        QVERIFY2(text.isEmpty(), qPrintable(text));
        QCOMPARE(network->writeLog().size(), 1);
        QCOMPARE(network->writeLog().first(), (WriteRecord{name, d->type, value}));
        QCOMPARE(d->value, value);
        // The server reads back what the device holds.
        QCOMPARE(server.property(QStringLiteral("Value")), value);
    } else {
        QVERIFY2(text.contains(error), qPrintable(text));
        QVERIFY2(text.contains(QLatin1Char('"') + name + QLatin1Char('"')), qPrintable(text));
        QVERIFY(network->writeLog().isEmpty());
        QVERIFY(!d->value.isValid());
    }
}

void TestDevice::injectedFaults()
{
    const auto network = ProcessNetwork::builtIn();
    SimulatedServer server(*network);
    server.setProperty(QStringLiteral("EnableExceptions"), true);
    auto write = [&](int n) {
        server.setProperty(QStringLiteral("PhysId"), QStringLiteral("Printer1.Ticket[%1]").arg(n));
        try {
            server.setProperty(QStringLiteral("Value"), QString::number(n));
            return true;
        } catch (const AutomationError &) {
            return false;
        }
    };

    network->failWriteAt(3);
    QList<bool> outcomes;
    for (int n = 1; n <= 5; ++n)
        outcomes << write(n);
    QCOMPARE(outcomes, (QList<bool>{true, true, false, true, true}));
    QCOMPARE(network->writeLog().size(), 4);
    QVERIFY(server.property(QStringLiteral("ErrorString")).toString().contains(QStringLiteral("\"Printer1.Ticket[3]\"")));

    network->failWritesTo(QStringLiteral("Printer1.Ticket[2]"));
    QCOMPARE((QList<bool>{write(1), write(2), write(2), write(3)}), (QList<bool>{true, false, false, true}));
    network->failWritesTo(QString());
    QVERIFY(write(2));
    QCOMPARE(network->writeAttempts(), 10);
}

void TestDevice::factoryIdentifiers_data()
{
    QTest::addColumn<QString>("progId");
    QTest::addColumn<bool>("created");

    QTest::newRow("server") << "KELM.PRO" << true;
    QTest::newRow("identifiers ignore case") << "Kelm.Pro" << true;
    QTest::newRow("trailing blank") << "KELM.PRO " << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("other component") << "KELM.PRO.2" << false;
}

void TestDevice::factoryIdentifiers()
{
    QFETCH(QString, progId);
    QFETCH(bool, created);
    const auto network = ProcessNetwork::builtIn();
    AutomationFactory factory(*network);
    try {
        const auto object = factory.create(progId);
        QVERIFY(created);
        QVERIFY(dynamic_cast<SimulatedServer *>(object.get()));
        QCOMPARE(factory.createdCount(), 1);
    } catch (const AutomationError &e) {
        QVERIFY2(!created, qPrintable(e.text()));
        QVERIFY2(e.text().contains(QLatin1Char('"') + progId + QLatin1Char('"')), qPrintable(e.text()));
        QCOMPARE(factory.createdCount(), 0);
    }
}

void TestDevice::goldenDownload()
{
    DownloadRun run;
    fillGoldenTicket(run.model);
    const DownloadResult result = run.run(goldenBoxLines());
    QVERIFY2(result.ok(), qPrintable(result.errorString));

    const QStringList actual = formatLog(run.network->writeLog());
    QFile golden(QStringLiteral(TKL_DEVICE_TEST_DATA "/download-golden.txt"));
    // To renew the golden data after a deliberate change: TKL_WRITE_GOLDEN=1, then review the diff.
    if (qEnvironmentVariableIsSet("TKL_WRITE_GOLDEN")) {
        QVERIFY(golden.open(QIODevice::WriteOnly | QIODevice::Text));
        golden.write(actual.join(QLatin1Char('\n')).toUtf8() + '\n');
        golden.close();
    }
    QVERIFY(golden.open(QIODevice::ReadOnly | QIODevice::Text));
    const QStringList expected = QString::fromUtf8(golden.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < std::min(expected.size(), actual.size()); ++i)
        QCOMPARE(actual.at(i), expected.at(i));
    QCOMPARE(actual.size(), expected.size());
    QCOMPARE(result.writesDone, int(actual.size()));

    // Every device write went through the object the caller keeps as DownloadServer.
    QVERIFY(run.download.server());
    QCOMPARE(run.download.server()->property(QStringLiteral("EnableExceptions")).toBool(), true);
    QCOMPARE(run.download.server()->property(QStringLiteral("PhysId")).toString(),
             QStringLiteral("Printer1.PrintCode.stop"));
    QCOMPARE(run.factory.createdCount(), 1);
}

void TestDevice::undefinedSlotsOnlyCleared()
{
    DownloadRun run;
    fillGoldenTicket(run.model);
    // Values left in the device by an earlier ticket must not survive in an undefined element.
    run.model.UpdateBoxes[7].DataIn = false;
    QVERIFY(run.run({QStringLiteral("x")}).ok());

    for (int slot = 1; slot <= 30; ++slot) {
        const QString prefix = QStringLiteral("Printer1.UpdateArr[%1].").arg(slot);
        QStringList written;
        for (const QString &name : run.names()) {
            if (name.startsWith(prefix))
                written << name.mid(prefix.size());
        }
        const bool defined = slot == 1 || slot == 30;
        QCOMPARE(written.size(), defined ? 14 : 1);
        QCOMPARE(written.first(), QStringLiteral("DataIn"));
        QCOMPARE(run.written(prefix + QStringLiteral("DataIn")).toBool(), defined);
    }
}

void TestDevice::printerCodes_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("stop");
    QTest::addColumn<QString>("sentStart");
    QTest::addColumn<QString>("sentStop");

    const QString cr(QChar(13));
    QTest::newRow("both empty") << "" << "" << cr << cr;
    QTest::newRow("start only") << "[27]@" << "" << "[27]@" << cr;
    QTest::newRow("stop only") << "" << "[12]" << cr << "[12]";
    QTest::newRow("blank is not empty") << " " << "[13]" << " " << "[13]";
}

void TestDevice::printerCodes()
{
    QFETCH(QString, start);
    QFETCH(QString, stop);
    QFETCH(QString, sentStart);
    QFETCH(QString, sentStop);
    DownloadRun run;
    run.model.StartCode = start;
    run.model.StopCode = stop;
    QVERIFY(run.run({}).ok());
    const QList<WriteRecord> &log = run.network->writeLog();
    QCOMPARE(log.at(log.size() - 2), (WriteRecord{QStringLiteral("Printer1.PrintCode.start"), ValueType::String, sentStart}));
    QCOMPARE(log.last(), (WriteRecord{QStringLiteral("Printer1.PrintCode.stop"), ValueType::String, sentStop}));
    QCOMPARE(run.model.StartCode, start);
}

void TestDevice::ticketLines_data()
{
    QTest::addColumn<QStringList>("boxLines");

    // The editor box decides the lines: a CR LF text of two lines, the same with an
    // empty third line, a line wrapped onto two box lines, an empty ticket.
    QTest::newRow("two lines") << QStringList{"Line one", "Line two"};
    QTest::newRow("three lines, last empty") << QStringList{"Line one", "Line two", ""};
    QTest::newRow("wrapped line") << QStringList{"0123456789012345678901234567890123456789", "ABCD", "next line"};
    QTest::newRow("empty ticket") << QStringList{};
    QTest::newRow("all device lines") << QStringList(100, QStringLiteral("x"));
}

void TestDevice::ticketLines()
{
    QFETCH(QStringList, boxLines);
    DownloadRun run;
    QVERIFY(run.run(boxLines).ok());

    QCOMPARE(run.written(QStringLiteral("Printer1.lines")), QVariant::fromValue(qint16(boxLines.size())));
    QStringList sent;
    for (const WriteRecord &w : run.network->writeLog()) {
        if (w.name.startsWith(QStringLiteral("Printer1.Ticket[")))
            sent << w.value.toString();
    }
    QCOMPARE(sent, boxLines);
    for (qsizetype n = 1; n <= boxLines.size(); ++n)
        QCOMPARE(run.written(QStringLiteral("Printer1.Ticket[%1]").arg(n)).toString(), boxLines.at(n - 1));

    // P.lines comes after the fields and before the first ticket line.
    const QStringList names = run.names();
    const qsizetype lines = names.indexOf(QStringLiteral("Printer1.lines"));
    QCOMPARE(lines, names.size() - 3 - boxLines.size());
}

void TestDevice::progressReachesHundred()
{
    DownloadRun run;
    fillGoldenTicket(run.model);
    QVERIFY(run.run(goldenBoxLines()).ok());

    QCOMPARE(run.progress.size(), 61);
    QCOMPARE(run.progress.first(), 0.0);
    QCOMPARE(run.progress.last(), 100.0);
    for (qsizetype i = 1; i < run.progress.size(); ++i)
        QVERIFY(run.progress.at(i) > run.progress.at(i - 1));
    // Once before the first pass and once per slot of the second.
    QCOMPARE(run.eventRuns, 31);
}

void TestDevice::emptyOrUnknownPort_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("firstName");

    QTest::newRow("empty") << "" << ".UpdateArr[1].DataIn";
    QTest::newRow("unknown") << "Printer9" << "Printer9.UpdateArr[1].DataIn";
    QTest::newRow("blank kept") << " Printer1" << " Printer1.UpdateArr[1].DataIn";
}

void TestDevice::emptyOrUnknownPort()
{
    QFETCH(QString, port);
    QFETCH(QString, firstName);
    DownloadRun run;
    const DownloadResult result = run.run({QStringLiteral("x")}, port);
    QCOMPARE(result.status, DownloadResult::Status::Failed);
    QCOMPARE(result.failedName, firstName);
    QCOMPARE(result.writesDone, 0);
    QCOMPARE(result.errorString, run.download.server()->property(QStringLiteral("ErrorString")).toString());
    QVERIFY2(result.errorString.contains(QLatin1Char('"') + firstName + QLatin1Char('"')),
             qPrintable(result.errorString));
}

void TestDevice::failureAtEveryWrite()
{
    DownloadRun reference;
    fillGoldenTicket(reference.model);
    QVERIFY(reference.run(goldenBoxLines()).ok());
    const QList<WriteRecord> full = reference.network->writeLog();

    DownloadRun run;
    fillGoldenTicket(run.model);
    run.model.TicketLines = 5;
    TicketModel before;
    fillGoldenTicket(before);
    before.TicketLines = 5;

    for (int k = 1; k <= full.size(); ++k) {
        run.network->clearWriteLog();
        run.network->failWriteAt(k);
        const DownloadResult result = run.run(goldenBoxLines());
        QCOMPARE(result.status, DownloadResult::Status::Failed);
        QCOMPARE(result.writesDone, k - 1);
        QCOMPARE(result.failedName, full.at(k - 1).name);
        QVERIFY(!result.errorString.isEmpty());
        QCOMPARE(result.errorString, run.download.server()->property(QStringLiteral("ErrorString")).toString());
        // The writes before the failure stay; nothing after it is attempted.
        QCOMPARE(run.network->writeLog(), full.mid(0, k - 1));
        QVERIFY(sameTicket(run.model, before));
    }
    run.network->clearWriteLog();
    QVERIFY(run.run(goldenBoxLines()).ok());
    QCOMPARE(run.network->writeLog(), full);
}

void TestDevice::valuesThatDoNotFit_data()
{
    QTest::addColumn<int>("linie");
    QTest::addColumn<int>("lineCount");
    QTest::addColumn<QString>("failedName");

    QTest::newRow("line number overflows") << int(std::numeric_limits<qint16>::max()) << 1
                                           << "Printer1.UpdateArr[1].Linie";
    QTest::newRow("line count overflows") << 0 << 40000 << "Printer1.lines";
}

void TestDevice::valuesThatDoNotFit()
{
    QFETCH(int, linie);
    QFETCH(int, lineCount);
    QFETCH(QString, failedName);
    DownloadRun run;
    run.model.UpdateBoxes[1] = field(QStringLiteral("Scale1.Tare"), 3, 1, 0, 0, 0, 0, 0, 4, 0, qint16(linie), 1);
    const DownloadResult result = run.run(QStringList(lineCount, QStringLiteral("x")));
    QCOMPARE(result.status, DownloadResult::Status::Failed);
    QCOMPARE(result.failedName, failedName);
    QVERIFY2(result.errorString.contains(failedName), qPrintable(result.errorString));
    QVERIFY(!run.names().contains(failedName));
}

void TestDevice::creationFailure()
{
    DownloadRun run;
    run.factory.setCreationFailure(QStringLiteral("Server not registered"));
    bool prepared = false;
    TicketDownload::Callbacks cb;
    cb.prepared = [&] { prepared = true; };
    const DownloadResult result = run.download.run(run.model, {}, QStringLiteral("Printer1"), cb);
    QCOMPARE(result.status, DownloadResult::Status::Failed);
    QCOMPARE(result.errorString, QStringLiteral("Server not registered"));
    QVERIFY(!prepared);
    QVERIFY(!run.download.server());

    // A server of an earlier download stays when the next one cannot be created.
    run.factory.setCreationFailure(QString());
    QVERIFY(run.run({}).ok());
    AutomationObject *server = run.download.server();
    run.factory.setCreationFailure(QStringLiteral("again"));
    QVERIFY(!run.run({}).ok());
    QCOMPARE(run.download.server(), server);
}

void TestDevice::secondDownloadRefusedWhileRunning()
{
    DownloadRun run;
    fillGoldenTicket(run.model);
    QList<DownloadResult> inner;
    TicketDownload::Callbacks cb;
    cb.processEvents = [&] {
        if (inner.isEmpty())
            inner << run.download.run(run.model, {}, QStringLiteral("Printer2"));
    };
    const DownloadResult outer = run.download.run(run.model, goldenBoxLines(), QStringLiteral("Printer1"), cb);
    QVERIFY(outer.ok());
    QCOMPARE(inner.size(), 1);
    QCOMPARE(inner.first().status, DownloadResult::Status::Refused);
    QVERIFY(!run.names().join(QLatin1Char(' ')).contains(QStringLiteral("Printer2")));
    QCOMPARE(run.factory.createdCount(), 1);

    // Over: the next one runs.
    QVERIFY(run.run({}, QStringLiteral("Printer2")).ok());
}

void TestDevice::readBackDifference_data()
{
    QTest::addColumn<QStringList>("names");    // device variables that read back wrong
    QTest::addColumn<QVariantList>("reads");   // what they give instead
    QTest::addColumn<QString>("failedName");   // empty: the download succeeds
    QTest::addColumn<QString>("message");

    const QString t3 = QStringLiteral("Printer1.Ticket[3]");
    QTest::newRow("ticket line changed")
        << QStringList{t3} << QVariantList{QStringLiteral("Net:   xxxxx.x kx")} << t3
        << "Read-back of Printer1.Ticket[3] gave \"Net:   xxxxx.x kx\" where \"Net:   xxxxx.x kg\" was written";
    // A defined slot's DataIn is written false, then true: the last write counts.
    QTest::newRow("DataIn of a defined slot")
        << QStringList{"Printer1.UpdateArr[7].DataIn"} << QVariantList{false} << "Printer1.UpdateArr[7].DataIn"
        << "Read-back of Printer1.UpdateArr[7].DataIn gave \"False\" where \"True\" was written";
    QTest::newRow("CR of an empty code shown in brackets")
        << QStringList{"Printer1.PrintCode.stop"} << QVariantList{QString()} << "Printer1.PrintCode.stop"
        << "Read-back of Printer1.PrintCode.stop gave \"\" where \"[13]\" was written";
    QTest::newRow("a number read back as text")
        << QStringList{"Printer1.UpdateArr[1].Chars"} << QVariantList{QStringLiteral("7")}
        << "Printer1.UpdateArr[1].Chars"
        << "Read-back of Printer1.UpdateArr[1].Chars gave \"7\" where \"7\" was written";
    QTest::newRow("the first difference in write order is named")
        << QStringList{"Printer1.Ticket[5]", "Printer1.UpdateArr[30].Pos", "Printer1.lines"}
        << QVariantList{QStringLiteral("x"), QVariant::fromValue(qint16(12)), QVariant::fromValue(qint16(4))}
        << "Printer1.UpdateArr[30].Pos"
        << "Read-back of Printer1.UpdateArr[30].Pos gave \"12\" where \"11\" was written";
    QTest::newRow("a value the device lost")
        << QStringList{"Printer1.lines"} << QVariantList{QVariant()} << "Printer1.lines"
        << "Read-back of Printer1.lines failed: Variable \"Printer1.lines\" holds no value yet";
    // A server may return numbers in a wider type; the value is what counts.
    QTest::newRow("same number in a wider type")
        << QStringList{"Printer1.UpdateArr[1].Chars", "Printer1.UpdateArr[1].NodeAdr", "Printer1.UpdateArr[1].DataIn"}
        << QVariantList{7, qlonglong(3), -1} << QString() << QString();
}

void TestDevice::readBackDifference()
{
    QFETCH(QStringList, names);
    QFETCH(QVariantList, reads);
    QFETCH(QString, failedName);
    QFETCH(QString, message);
    DownloadRun reference;
    fillGoldenTicket(reference.model);
    QVERIFY(reference.run(goldenBoxLines()).ok());

    DownloadRun run;
    fillGoldenTicket(run.model);
    for (qsizetype i = 0; i < names.size(); ++i)
        run.network->corruptOnReadBack(names.at(i), reads.at(i));
    const DownloadResult result = run.run(goldenBoxLines());

    // Every write was made before the comparison started.
    QCOMPARE(run.network->writeLog(), reference.network->writeLog());
    QCOMPARE(result.writesDone, int(reference.network->writeLog().size()));
    if (failedName.isEmpty()) {
        QVERIFY2(result.ok(), qPrintable(result.errorString));
        return;
    }
    QCOMPARE(result.status, DownloadResult::Status::Failed);
    QCOMPARE(result.failedName, failedName);
    QCOMPARE(result.errorString, message);

    // The fault is in reading only: without it the same device passes.
    run.network->clearReadBackFaults();
    QVERIFY(run.run(goldenBoxLines()).ok());
}

void TestDevice::readBackDoesNotWrite()
{
    DownloadRun run;
    fillGoldenTicket(run.model);
    QVERIFY(run.run(goldenBoxLines()).ok());
    const int attempts = run.network->writeAttempts();
    QVERIFY(run.run(goldenBoxLines()).ok());
    // Reads are not write attempts: a fault armed for "the next write" after a
    // download must hit the next download's first write, not a read.
    QCOMPARE(run.network->writeAttempts(), 2 * attempts);
    run.network->failWriteAt(1);
    const DownloadResult result = run.run(goldenBoxLines());
    QCOMPARE(result.failedName, QStringLiteral("Printer1.UpdateArr[1].DataIn"));
}

QTEST_GUILESS_MAIN(TestDevice)
#include "tst_device.moc"
