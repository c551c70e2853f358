#include "NetworkDescription.h"

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

// Reads the description; on failure sets `what` and, for a syntax error, `offset`.
std::optional<NetworkCatalogue> parse(const QByteArray &json, QString *what, qsizetype *offset)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *what = parseError.errorString();
        // The parser stops just behind the character it could not take: point at that one.
        *offset = std::max<qsizetype>(0, parseError.offset - 1);
        return std::nullopt;
    }
    if (!doc.isObject()) {
        *what = QStringLiteral("the description must be a JSON object");
        return std::nullopt;
    }

    NetworkCatalogue catalogue;
    NetworkCatalogue *network = &catalogue;
    Reader r;
    const QJsonObject root = doc.object();
    QJsonArray nodes, ports;
    if (!r.known(root, QStringLiteral("top level"), {"nodes", "ports"})
        || !r.array(root, QStringLiteral("top level"), "nodes", &nodes)
        || !r.array(root, QStringLiteral("top level"), "ports", &ports)) {
        *what = r.what;
        return std::nullopt;
    }

    if (nodes.size() > MaxNodes) {
        *what = QStringLiteral("top level: \"nodes\" has %1 nodes, more than the %2 a network can address")
                    .arg(nodes.size())
                    .arg(MaxNodes);
        return std::nullopt;
    }
    if (ports.size() > MaxPorts) {
        *what = QStringLiteral("top level: \"ports\" has %1 ports, more than %2").arg(ports.size()).arg(MaxPorts);
        return std::nullopt;
    }

    QHash<QString, int> nodeByName;
    qsizetype variableCount = 0;
    for (qsizetype i = 0; i < nodes.size(); ++i) {
        const QString path = QStringLiteral("nodes[%1]").arg(i);
        QJsonObject n;
        QString name, address, capabilities;
        QJsonArray variables;
        if (!r.object(nodes.at(i), path, &n)
            || !r.known(n, path, {"name", "address", "capabilities", "variables", "modbus"})
            || !r.name(n, path, &name) || !r.string(n, path, "address", &address)
            || !r.string(n, path, "capabilities", &capabilities) || !r.array(n, path, "variables", &variables)) {
            *what = r.what;
            return std::nullopt;
        }
        variableCount += variables.size();
        if (variableCount > MaxVariables) {
            *what = QStringLiteral("%1 (\"%2\"): \"variables\" brings the network to %3 variables, more than %4")
                        .arg(path, name)
                        .arg(variableCount)
                        .arg(MaxVariables);
            return std::nullopt;
        }
        if (nodeByName.contains(name)) {
            *what = QStringLiteral("%1: node name \"%2\" is used twice").arg(path, name);
            return std::nullopt;
        }
        if (!nodeNumberFromAddress(address)) {
            *what = QStringLiteral("%1: \"address\" \"%2\" must end in the node number as two digits")
                        .arg(path, address);
            return std::nullopt;
        }
        if (!capabilitiesValid(capabilities)) {
            *what = QStringLiteral("%1: \"capabilities\" \"%2\" must begin with a number from 0 to 255")
                        .arg(path, capabilities);
            return std::nullopt;
        }
        std::optional<ModbusEndpoint> endpoint;
        if (n.contains(QLatin1String("modbus"))) {
            const QString mpath = path + QStringLiteral(".modbus");
            QJsonObject m;
            ModbusEndpoint e;
            qint32 port = 0, timeout = 0;
            if (!r.object(n.value(QLatin1String("modbus")), mpath, &m)
                || !r.known(m, mpath, {"host", "port", "timeoutMs"}) || !r.string(m, mpath, "host", &e.host)
                || !r.integer(m, mpath, "port", 1, 65535, &port)
                || !r.integer(m, mpath, "timeoutMs", 1, 600000, &timeout, 1000)) {
                *what = r.what;
                return std::nullopt;
            }
            if (e.host.trimmed().isEmpty() || e.host.trimmed() != e.host) {
                *what = QStringLiteral("%1: \"host\" \"%2\" must be a host name or address without spaces")
                            .arg(mpath, e.host);
                return std::nullopt;
            }
            e.port = port;
            e.timeoutMs = timeout;
            endpoint = e;
        }
        const int node = network->addNode(name, address, capabilities, endpoint);
        nodeByName.insert(name, node);

        for (qsizetype j = 0; j < variables.size(); ++j) {
            const QString vpath = QStringLiteral("%1.variables[%2]").arg(path).arg(j);
            QJsonObject v;
            QString vname;
            qint32 internalAddress = 0, off = 0, subDataType = 0, bitNo = 0;
            constexpr qint64 lo = std::numeric_limits<qint32>::min();
            constexpr qint64 hi = std::numeric_limits<qint32>::max();
            if (!r.object(variables.at(j), vpath, &v)
                || !r.known(v, vpath, {"name", "internalAddress", "offset", "subDataType", "bitNo", "simulation"})
                || !r.name(v, vpath, &vname)
                || !r.integer(v, vpath, "internalAddress", lo, hi, &internalAddress)
                || !r.integer(v, vpath, "offset", lo, hi, &off)
                || !r.integer(v, vpath, "subDataType", lo, hi, &subDataType)
                || !r.integer(v, vpath, "bitNo", lo, hi, &bitNo)) {
                *what = r.what;
                return std::nullopt;
            }
            if (network->findVariable(name + QLatin1Char('.') + vname)) {
                *what = QStringLiteral("%1: variable name \"%2\" is used twice in node \"%3\"").arg(vpath, vname, name);
                return std::nullopt;
            }
            SimulatedValue sim;
            if (v.contains(QLatin1String("simulation"))) {
                const QString spath = vpath + QStringLiteral(".simulation");
                QJsonObject s;
                if (!r.object(v.value(QLatin1String("simulation")), spath, &s)
                    || !r.known(s, spath, {"fixed", "from", "to", "periodSeconds"})) {
                    *what = r.what;
                    return std::nullopt;
                }
                if (s.contains(QLatin1String("fixed"))) {
                    if (!r.number(s, spath, "fixed", &sim.from)) {
                        *what = r.what;
                        return std::nullopt;
                    }
                } else {
                    sim.kind = SimulatedValue::Kind::Ramp;
                    if (!r.number(s, spath, "from", &sim.from) || !r.number(s, spath, "to", &sim.to)) {
                        *what = r.what.contains(QLatin1String("missing"))
                            ? QStringLiteral("%1: needs \"fixed\", or \"from\" and \"to\"").arg(spath)
                            : r.what;
                        return std::nullopt;
                    }
                    if (s.contains(QLatin1String("periodSeconds"))
                        && (!r.number(s, spath, "periodSeconds", &sim.periodSeconds) || sim.periodSeconds <= 0)) {
                        *what = QStringLiteral("%1: \"periodSeconds\" must be a number above 0").arg(spath);
                        return std::nullopt;
                    }
                }
            }
            network->addVariable(node, vname, internalAddress, off, subDataType, bitNo, sim);
        }
    }

    for (qsizetype i = 0; i < ports.size(); ++i) {
        const QString path = QStringLiteral("ports[%1]").arg(i);
        QJsonObject p;
        QString name, nodeName;
        qint32 updateElements = 0, ticketLines = 0, stringLength = 0;
        if (!r.object(ports.at(i), path, &p)
            || !r.known(p, path, {"name", "node", "updateElements", "ticketLines", "stringLength", "modbus"})
            || !r.name(p, path, &name) || !r.string(p, path, "node", &nodeName)
            || !r.integer(p, path, "updateElements", 1, MaxUpdateElements, &updateElements, 30)
            || !r.integer(p, path, "ticketLines", 1, MaxTicketLines, &ticketLines, 100)
            || !r.integer(p, path, "stringLength", 1, MaxStringLength, &stringLength, 255)) {
            *what = r.what;
            return std::nullopt;
        }
        const PrinterPort sized{name, -1, updateElements, ticketLines, stringLength, std::nullopt};
        if (const int registers = PortVariables::registerCount(sized); registers > MaxRegisters) {
            *what = QStringLiteral("%1 (\"%2\"): \"updateElements\" %3, \"ticketLines\" %4 and \"stringLength\" %5 "
                                   "need %6 holding registers; a device has %7 from the port's base")
                        .arg(path, name)
                        .arg(updateElements)
                        .arg(ticketLines)
                        .arg(stringLength)
                        .arg(registers)
                        .arg(MaxRegisters);
            return std::nullopt;
        }
        if (network->findPort(name)) {
            *what = QStringLiteral("%1: port name \"%2\" is used twice").arg(path, name);
            return std::nullopt;
        }
        if (nodeByName.contains(name)) {
            *what = QStringLiteral("%1: port name \"%2\" is also a node's name").arg(path, name);
            return std::nullopt;
        }
        if (!nodeByName.contains(nodeName)) {
            *what = QStringLiteral("%1: \"node\" \"%2\" is not a node of the network").arg(path, nodeName);
            return std::nullopt;
        }
        const int node = nodeByName.value(nodeName);
        const bool realNode = network->nodes().at(node).modbus.has_value();
        std::optional<ModbusPortAddress> address;
        if (p.contains(QLatin1String("modbus"))) {
            const QString mpath = path + QStringLiteral(".modbus");
            QJsonObject m;
            qint32 unit = 0, base = 0;
            if (!r.object(p.value(QLatin1String("modbus")), mpath, &m) || !r.known(m, mpath, {"unit", "base"})
                || !r.integer(m, mpath, "unit", 0, 255, &unit, 1) || !r.integer(m, mpath, "base", 0, 65535, &base, 0)) {
                *what = r.what;
                return std::nullopt;
            }
            if (!realNode) {
                *what = QStringLiteral("%1: node \"%2\" has no \"modbus\" endpoint").arg(mpath, nodeName);
                return std::nullopt;
            }
            address = ModbusPortAddress{unit, base};
            const PrinterPort sized{name, node, updateElements, ticketLines, stringLength, address};
            const int count = PortVariables::registerCount(sized);
            if (qint64(base) + count > 65536) {
                *what = QStringLiteral("%1: the port takes %2 registers from \"base\" %3, beyond register 65535")
                            .arg(mpath)
                            .arg(count)
                            .arg(base);
                return std::nullopt;
            }
            // Two ports of one device must not share registers.
            for (const PrinterPort &other : network->ports()) {
                if (other.node != node || !other.modbus || other.modbus->unit != unit)
                    continue;
                const int otherEnd = other.modbus->base + PortVariables::registerCount(other);
                if (base < otherEnd && other.modbus->base < base + count) {
                    *what = QStringLiteral("%1: registers %2..%3 overlap those of port \"%4\" (unit %5)")
                                .arg(mpath)
                                .arg(base)
                                .arg(base + count - 1)
                                .arg(other.name)
                                .arg(unit);
                    return std::nullopt;
                }
            }
        } else if (realNode) {
            *what = QStringLiteral("%1: needs \"modbus\" with its \"unit\" and \"base\": node \"%2\" is a Modbus device")
                        .arg(path, nodeName);
            return std::nullopt;
        }
        network->addPort(name, node, updateElements, ticketLines, stringLength, address);
    }
    return catalogue;
}

} // namespace

namespace NetworkDescription {

std::optional<NetworkCatalogue> fromJson(const QByteArray &json, const QString &sourceName, QString *error)
{
    QString what;
    qsizetype offset = -1;
    auto catalogue = parse(json, &what, &offset);
    if (!catalogue && error) {
        *error = offset >= 0 ? QStringLiteral("%1: %2: %3").arg(sourceName, lineColumn(json, offset), what)
                             : QStringLiteral("%1: %2").arg(sourceName, what);
    }
    return catalogue;
}

std::optional<NetworkCatalogue> fromFile(const QString &path, QString *error)
{
    // A pipe or a device could block or never end.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        if (error) {
            *error = QStringLiteral("%1: %2, not a network description file")
                         .arg(QDir::toNativeSeparators(path),
                              info.isDir() ? QStringLiteral("a folder") : QStringLiteral("a pipe or device"));
        }
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), file.errorString());
        return std::nullopt;
    }
    return fromJson(file.readAll(), QDir::toNativeSeparators(path), error);
}

} // namespace NetworkDescription

} // namespace tkl
