#include "NetworkDescription.h"

#include "JsonKeyScan.h"
#include "NodeAttributes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <limits>

namespace tkl {

namespace {

// Where in the text a byte offset of the JSON parser lies, as "line:column" from 1.
QString lineColumn(const QByteArray &json, qsizetype offset)
{
    offset = std::clamp<qsizetype>(offset, 0, json.size());
    int line = 1;
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i < offset; ++i) {
        if (json.at(i) == '\n') {
            ++line;
            lineStart = i + 1;
        }
    }
    const int column = QString::fromUtf8(json.constData() + lineStart, offset - lineStart).size() + 1;
    return QStringLiteral("%1:%2").arg(line).arg(column);
}

// Reading helpers: each returns false with `what` set to a text that names the place.
class Reader
{
public:
    QString what;

    bool string(const QJsonObject &o, const QString &path, const char *key, QString *out)
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined())
            return missing(path, key);
        if (!v.isString())
            return wrong(path, key, QStringLiteral("a string"));
        *out = v.toString();
        return true;
    }

    bool name(const QJsonObject &o, const QString &path, QString *out)
    {
        if (!string(o, path, "name", out))
            return false;
        if (out->trimmed().isEmpty())
            return fail(QStringLiteral("%1: \"name\" is empty").arg(path));
        if (out->contains(QLatin1Char('.')))
            return fail(QStringLiteral("%1: name \"%2\" must not contain \".\"").arg(path, *out));
        return true;
    }

    bool integer(const QJsonObject &o, const QString &path, const char *key, qint64 min, qint64 max,
                 qint32 *out, std::optional<qint32> fallback = std::nullopt)
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined()) {
            if (fallback) {
                *out = *fallback;
                return true;
            }
            return missing(path, key);
        }
        const double d = v.toDouble(std::numeric_limits<double>::quiet_NaN());
        if (!v.isDouble() || !std::isfinite(d) || d != std::trunc(d))
            return wrong(path, key, QStringLiteral("a whole number"));
        if (d < double(min) || d > double(max))
            return fail(QStringLiteral("%1: \"%2\" is %3, outside %4..%5")
                            .arg(path, QLatin1String(key), QString::number(d, 'g', 17), QString::number(min),
                                 QString::number(max)));
        *out = qint32(d);
        return true;
    }

    bool number(const QJsonObject &o, const QString &path, const char *key, double *out)
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined())
            return missing(path, key);
        if (!v.isDouble())
            return wrong(path, key, QStringLiteral("a number"));
        *out = v.toDouble();
        return true;
    }

    bool array(const QJsonObject &o, const QString &path, const char *key, QJsonArray *out)
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined())
            return missing(path, key);
        if (!v.isArray())
            return wrong(path, key, QStringLiteral("an array"));
        *out = v.toArray();
        return true;
    }

    bool object(const QJsonValue &v, const QString &path, QJsonObject *out)
    {
        if (!v.isObject())
            return fail(QStringLiteral("%1: expected an object").arg(path));
        *out = v.toObject();
        return true;
    }

    // Every key of `o` must be one of `keys`: a misspelt key is no silent default.
    bool known(const QJsonObject &o, const QString &path, std::initializer_list<const char *> keys)
    {
        for (auto it = o.constBegin(); it != o.constEnd(); ++it) {
            if (std::none_of(keys.begin(), keys.end(), [&](const char *k) { return it.key() == QLatin1String(k); }))
                return fail(QStringLiteral("%1: unknown key \"%2\"").arg(path, it.key()));
        }
        return true;
    }

    bool fail(const QString &text)
    {
        what = text;
        return false;
    }

private:
    bool missing(const QString &path, const char *key)
    {
        return fail(QStringLiteral("%1: missing \"%2\"").arg(path, QLatin1String(key)));
    }
    bool wrong(const QString &path, const char *key, const QString &expected)
    {
        return fail(QStringLiteral("%1: \"%2\" must be %3").arg(path, QLatin1String(key), expected));
    }
};

// Capabilities begin with a decimal number 0..255.
bool capabilitiesValid(const QString &s)
{
    qsizetype i = 0;
    int value = 0;
    while (i < s.size() && s.at(i) >= QLatin1Char('0') && s.at(i) <= QLatin1Char('9')) {
        value = value * 10 + (s.at(i).unicode() - '0');
        if (value > 255)
            return false;
        ++i;
    }
    return i > 0;
}

// What a description may hold. A node number has two decimal digits, so a network has
// at most 100 stations; the other bounds are far above any plant's and keep a
// description from making the programs that read it slow or huge.
constexpr int MaxNodes = 100;
constexpr int MaxVariables = 100000;      // in the whole network
constexpr int MaxPorts = 100;
constexpr int MaxUpdateElements = 999;
constexpr int MaxTicketLines = 32767;     // "lines" is a 16-bit variable
constexpr int MaxStringLength = 32767;
constexpr int MaxRegisters = 65536;       // a device's holding registers from the port's base

QString tooLarge(const QString &sourceName)
{
    return QStringLiteral("%1: larger than %2 MB, more than a description of %3 nodes and %4 variables needs")
        .arg(sourceName)
        .arg(NetworkDescription::MaxFileSize / (1024 * 1024))
        .arg(MaxNodes)
        .arg(MaxVariables);
}

// Builds the catalogue from the parsed document, one part of the description at a
// time. Each step returns false with `r.what` set to the first problem found.
class DescriptionParser
{
public:
    bool read(const QJsonObject &root)
    {
        QJsonArray nodes, ports;
        if (!readTopLevel(root, &nodes, &ports))
            return false;
        for (qsizetype i = 0; i < nodes.size(); ++i) {
            if (!readNode(nodes.at(i), QStringLiteral("nodes[%1]").arg(i)))
                return false;
        }
        for (qsizetype i = 0; i < ports.size(); ++i) {
            if (!readPort(ports.at(i), QStringLiteral("ports[%1]").arg(i)))
                return false;
        }
        return true;
    }

    NetworkCatalogue takeCatalogue() { return std::move(m_network); }

    /// The first problem, naming its place; set when read() returned false.
    const QString &problem() const { return r.what; }

private:
    bool readTopLevel(const QJsonObject &root, QJsonArray *nodes, QJsonArray *ports)
    {
        const QString path = QStringLiteral("top level");
        if (!r.known(root, path, {"nodes", "ports"}) || !r.array(root, path, "nodes", nodes)
            || !r.array(root, path, "ports", ports))
            return false;
        if (nodes->size() > MaxNodes)
            return r.fail(QStringLiteral("top level: \"nodes\" has %1 nodes, more than the %2 a network can address")
                              .arg(nodes->size())
                              .arg(MaxNodes));
        if (ports->size() > MaxPorts)
            return r.fail(
                QStringLiteral("top level: \"ports\" has %1 ports, more than %2").arg(ports->size()).arg(MaxPorts));
        return true;
    }

    bool readNode(const QJsonValue &value, const QString &path)
    {
        QJsonObject n;
        QString name, address, capabilities;
        QJsonArray variables;
        if (!r.object(value, path, &n) || !r.known(n, path, {"name", "address", "capabilities", "variables", "modbus"})
            || !r.name(n, path, &name) || !r.string(n, path, "address", &address)
            || !r.string(n, path, "capabilities", &capabilities) || !r.array(n, path, "variables", &variables))
            return false;
        m_variableCount += variables.size();
        if (m_variableCount > MaxVariables)
            return r.fail(QStringLiteral("%1 (\"%2\"): \"variables\" brings the network to %3 variables, more than %4")
                              .arg(path, name)
                              .arg(m_variableCount)
                              .arg(MaxVariables));
        if (m_nodeByName.contains(name))
            return r.fail(QStringLiteral("%1: node name \"%2\" is used twice").arg(path, name));
        if (!nodeNumberFromAddress(address))
            return r.fail(
                QStringLiteral("%1: \"address\" \"%2\" must end in the node number as two digits").arg(path, address));
        if (!capabilitiesValid(capabilities))
            return r.fail(QStringLiteral("%1: \"capabilities\" \"%2\" must begin with a number from 0 to 255")
                              .arg(path, capabilities));
        std::optional<ModbusEndpoint> endpoint;
        if (n.contains(QLatin1String("modbus")) && !readEndpoint(n.value(QLatin1String("modbus")), path, &endpoint))
            return false;
        const int node = m_network.addNode(name, address, capabilities, endpoint);
        m_nodeByName.insert(name, node);

        for (qsizetype j = 0; j < variables.size(); ++j) {
            if (!readVariable(variables.at(j), QStringLiteral("%1.variables[%2]").arg(path).arg(j), node, name))
                return false;
        }
        return true;
    }

    // A node's "modbus": where its real device answers, over TCP or on a serial line.
    bool readEndpoint(const QJsonValue &value, const QString &nodePath, std::optional<ModbusEndpoint> *endpoint)
    {
        const QString mpath = nodePath + QStringLiteral(".modbus");
        QJsonObject m;
        ModbusEndpoint e;
        qint32 port = 0, timeout = 0;
        if (!r.object(value, mpath, &m)
            || !r.known(m, mpath, {"host", "port", "timeoutMs", "serial", "baud", "parity", "dataBits", "stopBits"})
            || !r.integer(m, mpath, "timeoutMs", 1, 600000, &timeout, 1000))
            return false;
        e.timeoutMs = timeout;
        const bool serial = m.contains(QLatin1String("serial"));
        for (const char *key : {"host", "port", "baud", "parity", "dataBits", "stopBits"}) {
            const bool serialKey = std::strcmp(key, "host") != 0 && std::strcmp(key, "port") != 0;
            if (m.contains(QLatin1String(key)) && serialKey != serial)
                return r.fail(QStringLiteral("%1: \"%2\" belongs to %3; a node has \"host\" and \"port\" or "
                                             "\"serial\", not both")
                                  .arg(mpath, QLatin1String(key),
                                       serialKey ? QStringLiteral("a serial line") : QStringLiteral("a TCP endpoint")));
        }
        if (serial) {
            if (!readSerial(m, mpath, &e))
                return false;
            *endpoint = e;
            return true;
        }
        if (!r.string(m, mpath, "host", &e.host) || !r.integer(m, mpath, "port", 1, 65535, &port))
            return false;
        if (e.host.trimmed().isEmpty() || e.host.trimmed() != e.host)
            return r.fail(QStringLiteral("%1: \"host\" \"%2\" must be a host name or address without spaces")
                              .arg(mpath, e.host));
        e.port = port;
        *endpoint = e;
        return true;
    }

    // The serial line of a node's "modbus": its device path and its character format.
    bool readSerial(const QJsonObject &m, const QString &mpath, ModbusEndpoint *e)
    {
        static const QList<int> rates = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
        qint32 baud = 0, dataBits = 0, stopBits = 0;
        QString parity = QStringLiteral("E");
        if (!r.string(m, mpath, "serial", &e->serial) || !r.integer(m, mpath, "baud", 1, 115200, &baud, 19200)
            || !r.integer(m, mpath, "dataBits", 8, 8, &dataBits, 8) || !r.integer(m, mpath, "stopBits", 1, 2, &stopBits, 1)
            || (m.contains(QLatin1String("parity")) && !r.string(m, mpath, "parity", &parity)))
            return false;
        if (e->serial.trimmed().isEmpty() || e->serial.trimmed() != e->serial)
            return r.fail(QStringLiteral("%1: \"serial\" \"%2\" must be a device path without spaces").arg(mpath, e->serial));
        if (!rates.contains(baud)) {
            QStringList names;
            for (int rate : rates)
                names << QString::number(rate);
            return r.fail(QStringLiteral("%1: \"baud\" is %2, not one of %3").arg(mpath).arg(baud).arg(names.join(u", ")));
        }
        if (parity != QLatin1String("N") && parity != QLatin1String("E") && parity != QLatin1String("O"))
            return r.fail(QStringLiteral("%1: \"parity\" is \"%2\", not \"N\", \"E\" or \"O\"").arg(mpath, parity));
        e->baud = baud;
        e->parity = parity.at(0).toLatin1();
        e->dataBits = dataBits;
        e->stopBits = stopBits;
        return true;
    }

    bool readVariable(const QJsonValue &value, const QString &vpath, int node, const QString &nodeName)
    {
        QJsonObject v;
        QString vname;
        qint32 internalAddress = 0, off = 0, subDataType = 0, bitNo = 0;
        constexpr qint64 lo = std::numeric_limits<qint32>::min();
        constexpr qint64 hi = std::numeric_limits<qint32>::max();
        if (!r.object(value, vpath, &v)
            || !r.known(v, vpath, {"name", "internalAddress", "offset", "subDataType", "bitNo", "simulation"})
            || !r.name(v, vpath, &vname) || !r.integer(v, vpath, "internalAddress", lo, hi, &internalAddress)
            || !r.integer(v, vpath, "offset", lo, hi, &off) || !r.integer(v, vpath, "subDataType", lo, hi, &subDataType)
            || !r.integer(v, vpath, "bitNo", lo, hi, &bitNo))
            return false;
        if (m_network.findVariable(nodeName + QLatin1Char('.') + vname))
            return r.fail(
                QStringLiteral("%1: variable name \"%2\" is used twice in node \"%3\"").arg(vpath, vname, nodeName));
        SimulatedValue sim;
        if (v.contains(QLatin1String("simulation"))
            && !readSimulation(v.value(QLatin1String("simulation")), vpath + QStringLiteral(".simulation"), &sim))
            return false;
        m_network.addVariable(node, vname, internalAddress, off, subDataType, bitNo, sim);
        return true;
    }

    // A variable's "simulation": a fixed value, or a ramp from "from" to "to".
    bool readSimulation(const QJsonValue &value, const QString &spath, SimulatedValue *sim)
    {
        QJsonObject s;
        if (!r.object(value, spath, &s) || !r.known(s, spath, {"fixed", "from", "to", "periodSeconds"}))
            return false;
        if (s.contains(QLatin1String("fixed")))
            return r.number(s, spath, "fixed", &sim->from);
        sim->kind = SimulatedValue::Kind::Ramp;
        if (!r.number(s, spath, "from", &sim->from) || !r.number(s, spath, "to", &sim->to)) {
            return r.fail(r.what.contains(QLatin1String("missing"))
                              ? QStringLiteral("%1: needs \"fixed\", or \"from\" and \"to\"").arg(spath)
                              : r.what);
        }
        if (s.contains(QLatin1String("periodSeconds"))
            && (!r.number(s, spath, "periodSeconds", &sim->periodSeconds) || sim->periodSeconds <= 0))
            return r.fail(QStringLiteral("%1: \"periodSeconds\" must be a number above 0").arg(spath));
        return true;
    }

    bool readPort(const QJsonValue &value, const QString &path)
    {
        QJsonObject p;
        QString name, nodeName;
        qint32 updateElements = 0, ticketLines = 0, stringLength = 0;
        if (!r.object(value, path, &p)
            || !r.known(p, path, {"name", "node", "updateElements", "ticketLines", "stringLength", "modbus"})
            || !r.name(p, path, &name) || !r.string(p, path, "node", &nodeName)
            || !r.integer(p, path, "updateElements", 1, MaxUpdateElements, &updateElements, 30)
            || !r.integer(p, path, "ticketLines", 1, MaxTicketLines, &ticketLines, 100)
            || !r.integer(p, path, "stringLength", 1, MaxStringLength, &stringLength, 255))
            return false;
        PrinterPort port{name, -1, updateElements, ticketLines, stringLength, std::nullopt};
        if (const int registers = PortVariables::registerCount(port); registers > MaxRegisters)
            return r.fail(QStringLiteral("%1 (\"%2\"): \"updateElements\" %3, \"ticketLines\" %4 and \"stringLength\" "
                                         "%5 need %6 holding registers; a device has %7 from the port's base")
                              .arg(path, name)
                              .arg(updateElements)
                              .arg(ticketLines)
                              .arg(stringLength)
                              .arg(registers)
                              .arg(MaxRegisters));
        if (m_network.findPort(name))
            return r.fail(QStringLiteral("%1: port name \"%2\" is used twice").arg(path, name));
        if (m_nodeByName.contains(name))
            return r.fail(QStringLiteral("%1: port name \"%2\" is also a node's name").arg(path, name));
        if (!m_nodeByName.contains(nodeName))
            return r.fail(QStringLiteral("%1: \"node\" \"%2\" is not a node of the network").arg(path, nodeName));
        port.node = m_nodeByName.value(nodeName);
        const bool realNode = m_network.nodes().at(port.node).modbus.has_value();
        if (p.contains(QLatin1String("modbus"))) {
            if (!readPortAddress(p.value(QLatin1String("modbus")), path, nodeName, realNode, &port))
                return false;
        } else if (realNode) {
            return r.fail(QStringLiteral("%1: needs \"modbus\" with its \"unit\" and \"base\": node \"%2\" is a Modbus "
                                         "device")
                              .arg(path, nodeName));
        }
        m_network.addPort(name, port.node, updateElements, ticketLines, stringLength, port.modbus);
        return true;
    }

    // A port's "modbus": where its registers lie in the device of its node. Sets
    // `port->modbus`; the port's registers must fit the device and no other port's.
    bool readPortAddress(const QJsonValue &value, const QString &portPath, const QString &nodeName, bool realNode,
                         PrinterPort *port)
    {
        const QString mpath = portPath + QStringLiteral(".modbus");
        QJsonObject m;
        qint32 unit = 0, base = 0;
        if (!r.object(value, mpath, &m) || !r.known(m, mpath, {"unit", "base"})
            || !r.integer(m, mpath, "unit", 0, 255, &unit, 1) || !r.integer(m, mpath, "base", 0, 65535, &base, 0))
            return false;
        if (!realNode)
            return r.fail(QStringLiteral("%1: node \"%2\" has no \"modbus\" endpoint").arg(mpath, nodeName));
        // Unit 0 on a serial line is a broadcast, which no device answers.
        if (m_network.nodes().at(port->node).modbus->isSerial() && (unit < 1 || unit > 247))
            return r.fail(QStringLiteral("%1: \"unit\" is %2, outside 1..247 on a serial line").arg(mpath).arg(unit));
        port->modbus = ModbusPortAddress{unit, base};
        const int count = PortVariables::registerCount(*port);
        if (qint64(base) + count > 65536)
            return r.fail(QStringLiteral("%1: the port takes %2 registers from \"base\" %3, beyond register 65535")
                              .arg(mpath)
                              .arg(count)
                              .arg(base));
        // Two ports of one device must not share registers, nor two devices of one serial
        // line a unit: both would answer.
        const ModbusEndpoint &endpoint = *m_network.nodes().at(port->node).modbus;
        for (const PrinterPort &other : m_network.ports()) {
            const auto &otherEndpoint = m_network.nodes().at(other.node).modbus;
            if (other.node != port->node && other.modbus && other.modbus->unit == unit && endpoint.isSerial()
                && otherEndpoint && otherEndpoint->serial == endpoint.serial)
                return r.fail(QStringLiteral("%1: unit %2 on serial line %3 is node \"%4\"'s already (port \"%5\")")
                                  .arg(mpath)
                                  .arg(unit)
                                  .arg(endpoint.serial, m_network.nodes().at(other.node).name, other.name));
            if (other.node != port->node || !other.modbus || other.modbus->unit != unit)
                continue;
            const int otherEnd = other.modbus->base + PortVariables::registerCount(other);
            if (base < otherEnd && other.modbus->base < base + count)
                return r.fail(QStringLiteral("%1: registers %2..%3 overlap those of port \"%4\" (unit %5)")
                                  .arg(mpath)
                                  .arg(base)
                                  .arg(base + count - 1)
                                  .arg(other.name)
                                  .arg(unit));
        }
        return true;
    }

    Reader r;
    NetworkCatalogue m_network;
    QHash<QString, int> m_nodeByName;
    qsizetype m_variableCount = 0;
};

} // namespace

namespace NetworkDescription {

Result<NetworkCatalogue> fromJson(const QByteArray &json, const QString &sourceName)
{
    if (json.size() > MaxFileSize)
        return Failure{tooLarge(sourceName)};
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        // The parser stops just behind the character it could not take: point at that one.
        const qsizetype offset = std::max<qsizetype>(0, parseError.offset - 1);
        return Failure{
            QStringLiteral("%1: %2: %3").arg(sourceName, lineColumn(json, offset), parseError.errorString())};
    }
    // The parser keeps the last of two equal keys; a second "name" or "nodes" is almost
    // certainly a mistake of whoever wrote the file, and taking either one silently hides it.
    if (const auto twice = JsonKeyScan::firstDuplicate(json)) {
        return Failure{QStringLiteral("%1: %2: key \"%3\" appears twice in one object")
                           .arg(sourceName, lineColumn(json, twice->offset), twice->key)};
    }
    if (!doc.isObject())
        return Failure{QStringLiteral("%1: the description must be a JSON object").arg(sourceName)};
    DescriptionParser parser;
    if (!parser.read(doc.object()))
        return Failure{QStringLiteral("%1: %2").arg(sourceName, parser.problem())};
    return parser.takeCatalogue();
}

Result<NetworkCatalogue> fromFile(const QString &path)
{
    // A pipe or a device could block or never end.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        return Failure{QStringLiteral("%1: %2, not a network description file")
                           .arg(QDir::toNativeSeparators(path),
                                info.isDir() ? QStringLiteral("a folder") : QStringLiteral("a pipe or device"))};
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Failure{QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), file.errorString())};
    if (file.size() > MaxFileSize)
        return Failure{tooLarge(QDir::toNativeSeparators(path))};
    return fromJson(file.read(MaxFileSize + 1), QDir::toNativeSeparators(path));
}

} // namespace NetworkDescription

} // namespace tkl
