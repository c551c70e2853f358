#include "ProcessNetwork.h"

#include "DeviceStore.h"
#include "NodeAttributes.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QStandardPaths>

#include <cmath>
#include <limits>

// The sample network is a resource of this static library: register it explicitly,
// as nothing else references the resource's object file.
static void initSampleResource()
{
    Q_INIT_RESOURCE(device_resources);
}

namespace tkl {

namespace {

QString describeType(ValueType type)
{
    switch (type) {
    case ValueType::Boolean: return QStringLiteral("a Boolean");
    case ValueType::UInt8: return QStringLiteral("an 8-bit unsigned integer");
    case ValueType::Int16: return QStringLiteral("a 16-bit signed integer");
    case ValueType::String: return QStringLiteral("a string");
    }
    return {};
}

QString describeVariant(const QVariant &value)
{
    if (!value.isValid())
        return QStringLiteral("no value");
    switch (value.metaType().id()) {
    case QMetaType::Bool: return describeType(ValueType::Boolean);
    case QMetaType::UChar: return describeType(ValueType::UInt8);
    case QMetaType::Short: return describeType(ValueType::Int16);
    case QMetaType::QString: return describeType(ValueType::String);
    default: return QStringLiteral("a value of type %1").arg(QString::fromLatin1(value.typeName()));
    }
}

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
                            .arg(path, QLatin1String(key), QString::number(qint64(d)), QString::number(min),
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

} // namespace

double SimulatedValue::valueAt(qint64 msecs) const
{
    if (kind == Kind::Fixed || periodSeconds <= 0)
        return from;
    const double phase = std::fmod(double(msecs) / 1000.0, periodSeconds) / periodSeconds;
    return from + (to - from) * phase;
}

ProcessNetwork::ProcessNetwork() = default;

std::unique_ptr<ProcessNetwork> ProcessNetwork::fromJson(const QByteArray &json, const QString &sourceName,
                                                         QString *error)
{
    QString what;
    qsizetype offset = -1;
    auto network = parse(json, &what, &offset);
    if (!network && error) {
        *error = offset >= 0 ? QStringLiteral("%1: %2: %3").arg(sourceName, lineColumn(json, offset), what)
                             : QStringLiteral("%1: %2").arg(sourceName, what);
    }
    return network;
}

std::unique_ptr<ProcessNetwork> ProcessNetwork::parse(const QByteArray &json, QString *what, qsizetype *offset)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *what = parseError.errorString();
        // The parser stops just behind the character it could not take: point at that one.
        *offset = std::max<qsizetype>(0, parseError.offset - 1);
        return nullptr;
    }
    if (!doc.isObject()) {
        *what = QStringLiteral("the description must be a JSON object");
        return nullptr;
    }

    auto network = std::make_unique<ProcessNetwork>();
    Reader r;
    const QJsonObject root = doc.object();
    QJsonArray nodes, ports;
    if (!r.array(root, QStringLiteral("top level"), "nodes", &nodes)
        || !r.array(root, QStringLiteral("top level"), "ports", &ports)) {
        *what = r.what;
        return nullptr;
    }

    QHash<QString, int> nodeByName;
    for (qsizetype i = 0; i < nodes.size(); ++i) {
        const QString path = QStringLiteral("nodes[%1]").arg(i);
        QJsonObject n;
        QString name, address, capabilities;
        QJsonArray variables;
        if (!r.object(nodes.at(i), path, &n) || !r.name(n, path, &name) || !r.string(n, path, "address", &address)
            || !r.string(n, path, "capabilities", &capabilities) || !r.array(n, path, "variables", &variables)) {
            *what = r.what;
            return nullptr;
        }
        if (nodeByName.contains(name)) {
            *what = QStringLiteral("%1: node name \"%2\" is used twice").arg(path, name);
            return nullptr;
        }
        if (!nodeNumberFromAddress(address)) {
            *what = QStringLiteral("%1: \"address\" \"%2\" must end in the node number as two digits")
                        .arg(path, address);
            return nullptr;
        }
        if (!capabilitiesValid(capabilities)) {
            *what = QStringLiteral("%1: \"capabilities\" \"%2\" must begin with a number from 0 to 255")
                        .arg(path, capabilities);
            return nullptr;
        }
        const int node = network->addNode(name, address, capabilities);
        nodeByName.insert(name, node);

        for (qsizetype j = 0; j < variables.size(); ++j) {
            const QString vpath = QStringLiteral("%1.variables[%2]").arg(path).arg(j);
            QJsonObject v;
            QString vname;
            qint32 internalAddress = 0, off = 0, subDataType = 0, bitNo = 0;
            constexpr qint64 lo = std::numeric_limits<qint32>::min();
            constexpr qint64 hi = std::numeric_limits<qint32>::max();
            if (!r.object(variables.at(j), vpath, &v) || !r.name(v, vpath, &vname)
                || !r.integer(v, vpath, "internalAddress", lo, hi, &internalAddress)
                || !r.integer(v, vpath, "offset", lo, hi, &off)
                || !r.integer(v, vpath, "subDataType", lo, hi, &subDataType)
                || !r.integer(v, vpath, "bitNo", lo, hi, &bitNo)) {
                *what = r.what;
                return nullptr;
            }
            if (network->findVariable(name + QLatin1Char('.') + vname)) {
                *what = QStringLiteral("%1: variable name \"%2\" is used twice in node \"%3\"").arg(vpath, vname, name);
                return nullptr;
            }
            SimulatedValue sim;
            if (v.contains(QLatin1String("simulation"))) {
                const QString spath = vpath + QStringLiteral(".simulation");
                QJsonObject s;
                if (!r.object(v.value(QLatin1String("simulation")), spath, &s)) {
                    *what = r.what;
                    return nullptr;
                }
                if (s.contains(QLatin1String("fixed"))) {
                    if (!r.number(s, spath, "fixed", &sim.from)) {
                        *what = r.what;
                        return nullptr;
                    }
                } else {
                    sim.kind = SimulatedValue::Kind::Ramp;
                    if (!r.number(s, spath, "from", &sim.from) || !r.number(s, spath, "to", &sim.to)) {
                        *what = r.what.contains(QLatin1String("missing"))
                            ? QStringLiteral("%1: needs \"fixed\", or \"from\" and \"to\"").arg(spath)
                            : r.what;
                        return nullptr;
                    }
                    if (s.contains(QLatin1String("periodSeconds"))
                        && (!r.number(s, spath, "periodSeconds", &sim.periodSeconds) || sim.periodSeconds <= 0)) {
                        *what = QStringLiteral("%1: \"periodSeconds\" must be a number above 0").arg(spath);
                        return nullptr;
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
        if (!r.object(ports.at(i), path, &p) || !r.name(p, path, &name) || !r.string(p, path, "node", &nodeName)
            || !r.integer(p, path, "updateElements", 1, 999, &updateElements, 30)
            || !r.integer(p, path, "ticketLines", 1, 32767, &ticketLines, 100)
            || !r.integer(p, path, "stringLength", 1, 32767, &stringLength, 255)) {
            *what = r.what;
            return nullptr;
        }
        if (network->findPort(name)) {
            *what = QStringLiteral("%1: port name \"%2\" is used twice").arg(path, name);
            return nullptr;
        }
        if (nodeByName.contains(name)) {
            *what = QStringLiteral("%1: port name \"%2\" is also a node's name").arg(path, name);
            return nullptr;
        }
        if (!nodeByName.contains(nodeName)) {
            *what = QStringLiteral("%1: \"node\" \"%2\" is not a node of the network").arg(path, nodeName);
            return nullptr;
        }
        network->addPort(name, nodeByName.value(nodeName), updateElements, ticketLines, stringLength);
    }
    return network;
}

std::unique_ptr<ProcessNetwork> ProcessNetwork::fromFile(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), file.errorString());
        return nullptr;
    }
    return fromJson(file.readAll(), QDir::toNativeSeparators(path), error);
}

std::unique_ptr<ProcessNetwork> ProcessNetwork::builtIn()
{
    initSampleResource();
    QString error;
    auto network = fromFile(QStringLiteral(":/tkl/device/sample-network.json"), &error);
    // The sample is part of the build and checked by the tests.
    Q_ASSERT_X(network, "ProcessNetwork::builtIn", qPrintable(error));
    return network ? std::move(network) : std::make_unique<ProcessNetwork>();
}

QString ProcessNetwork::userFilePath()
{
    const QString env = qEnvironmentVariable("TKL_NETWORK");
    if (!env.isEmpty())
        return env;
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) + QStringLiteral("/network.json");
}

std::unique_ptr<ProcessNetwork> ProcessNetwork::load(QString *error)
{
    const QString path = userFilePath();
    // A path named explicitly must exist; the default place is optional.
    auto network = !qEnvironmentVariableIsEmpty("TKL_NETWORK") || QFileInfo::exists(path) ? fromFile(path, error)
                                                                                          : builtIn();
    if (network)
        network->attachStore(defaultStorePath());
    return network;
}

QString ProcessNetwork::defaultStorePath()
{
    const QString env = qEnvironmentVariable("TKL_DEVICE_STORE");
    if (!env.isEmpty())
        return env;
    // Not the program's own data folder: the editor, the command-line tool and any other
    // program on the plant's network must find the same devices.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/tkledit/devices.json");
}

namespace {

// A stored value as the device variable holds it; invalid when it does not fit the
// variable (the network description may have changed since it was stored).
QVariant fromStored(const DeviceVariable &d, const QJsonValue &v)
{
    switch (d.type) {
    case ValueType::Boolean:
        return v.isBool() ? QVariant(v.toBool()) : QVariant();
    case ValueType::UInt8:
    case ValueType::Int16: {
        const double n = v.toDouble(std::numeric_limits<double>::quiet_NaN());
        if (!v.isDouble() || n != std::trunc(n) || n < d.minimum || n > d.maximum)
            return {};
        return d.type == ValueType::UInt8 ? QVariant::fromValue(quint8(n)) : QVariant::fromValue(qint16(n));
    }
    case ValueType::String:
        if (!v.isString() || v.toString().size() > d.maximum)
            return {};
        return v.toString();
    }
    return {};
}

QJsonValue toStored(const DeviceVariable &d)
{
    switch (d.type) {
    case ValueType::Boolean: return d.value.toBool();
    case ValueType::UInt8:
    case ValueType::Int16: return d.value.toInt();
    case ValueType::String: return d.value.toString();
    }
    return {};
}

} // namespace

void ProcessNetwork::setPortValues(int port, const QJsonObject &values)
{
    for (DeviceVariable &d : m_deviceVariables) {
        if (d.port == port)
            d.value = fromStored(d, values.value(d.name));
    }
}

QJsonObject ProcessNetwork::portValues(int port) const
{
    QJsonObject values;
    for (const DeviceVariable &d : m_deviceVariables) {
        if (d.port == port && d.value.isValid())
            values.insert(d.name, toStored(d));
    }
    return values;
}

bool ProcessNetwork::attachStore(const QString &path)
{
    m_storePath = path;
    const DeviceStore::Contents contents = DeviceStore::load(path);
    m_storeWarning = contents.warning;
    for (int port = 0; port < m_ports.size(); ++port) {
        setPortValues(port, contents.ports.value(m_ports.at(port).name));
        m_portWritten[port] = false;
    }
    return m_storeWarning.isEmpty();
}

bool ProcessNetwork::saveStore()
{
    if (m_storePath.isEmpty() || !m_portWritten.contains(true))
        return true;
    DeviceStore::Ports written;
    for (int port = 0; port < m_ports.size(); ++port) {
        if (m_portWritten.at(port))
            written.insert(m_ports.at(port).name, portValues(port));
    }
    DeviceStore::Ports merged;
    QString damaged;
    if (const auto error = DeviceStore::mergePorts(m_storePath, written, &merged, &damaged)) {
        m_storeWarning = QStringLiteral("What the devices hold could not be saved: %1").arg(*error);
        return false;
    }
    m_storeWarning = damaged;
    // Other programs may have downloaded to the other ports meanwhile.
    for (int port = 0; port < m_ports.size(); ++port) {
        if (!m_portWritten.at(port))
            setPortValues(port, merged.value(m_ports.at(port).name));
        m_portWritten[port] = false;
    }
    return true;
}

qint64 ProcessNetwork::networkTime()
{
    return QDateTime::currentMSecsSinceEpoch();
}

std::optional<double> ProcessNetwork::simulatedValue(const QString &fullName, qint64 msecs) const
{
    const NetworkVariable *v = findVariable(fullName);
    if (!v)
        return std::nullopt;
    return v->simulation.valueAt(msecs);
}

QVariant ProcessNetwork::readValue(const QString &fullName) const
{
    const DeviceVariable *d = findDeviceVariable(fullName);
    return d ? readValue(*d) : QVariant();
}

QVariant ProcessNetwork::readValue(const DeviceVariable &variable) const
{
    if (!m_readBackFaults.isEmpty()) {
        const auto fault = m_readBackFaults.constFind(variable.name);
        if (fault != m_readBackFaults.constEnd())
            return *fault;
    }
    return variable.value;
}

void ProcessNetwork::corruptOnReadBack(const QString &fullName, const QVariant &value)
{
    m_readBackFaults.insert(fullName, value);
}

int ProcessNetwork::addNode(const QString &name, const QString &address, const QString &capabilities)
{
    m_nodes.append(NetworkNode{name, address, capabilities, {}});
    return int(m_nodes.size() - 1);
}

int ProcessNetwork::addVariable(int node, const QString &name, qint32 internalAddress, qint32 offset,
                                qint32 subDataType, qint32 bitNo, const SimulatedValue &simulation)
{
    Q_ASSERT(node >= 0 && node < m_nodes.size());
    NetworkVariable v;
    v.name = name;
    v.fullName = m_nodes[node].name + QLatin1Char('.') + name;
    v.node = node;
    v.internalAddress = internalAddress;
    v.offset = offset;
    v.subDataType = subDataType;
    v.bitNo = bitNo;
    v.simulation = simulation;
    const int index = int(m_variables.size());
    m_variables.append(v);
    m_variableIndex.insert(v.fullName, index);
    m_nodes[node].variables.append(index);
    return index;
}

int ProcessNetwork::addPort(const QString &name, int node, int updateElements, int ticketLines, int stringLength)
{
    const int port = int(m_ports.size());
    m_ports.append(PrinterPort{name, node, updateElements, ticketLines, stringLength});
    m_portWritten.append(false);

    const PrinterPort &p = m_ports.last();
    int ordinal = 0;
    auto add = [&](QString varName, ValueType type, PortVariables::Bounds bounds) {
        DeviceVariable d;
        d.name = std::move(varName);
        d.port = port;
        d.ordinal = ++ordinal;
        d.type = type;
        d.minimum = bounds.minimum;
        d.maximum = bounds.maximum;
        m_deviceIndex.insert(d.name, int(m_deviceVariables.size()));
        m_deviceVariables.append(d);
    };
    using namespace PortVariables;
    for (int n = 1; n <= updateElements; ++n) {
        for (const MemberInfo &m : members())
            add(elementName(name, n, m.member), m.type, memberBounds(p, m.member));
    }
    add(linesName(name), ValueType::Int16, linesBounds(p));
    for (int n = 1; n <= ticketLines; ++n)
        add(ticketName(name, n), ValueType::String, stringBounds(p));
    add(startCodeName(name), ValueType::String, stringBounds(p));
    add(stopCodeName(name), ValueType::String, stringBounds(p));
    return port;
}

const NetworkVariable *ProcessNetwork::findVariable(const QString &fullName) const
{
    const auto it = m_variableIndex.constFind(fullName);
    return it == m_variableIndex.constEnd() ? nullptr : &m_variables[*it];
}

const DeviceVariable *ProcessNetwork::findDeviceVariable(const QString &fullName) const
{
    const auto it = m_deviceIndex.constFind(fullName);
    return it == m_deviceIndex.constEnd() ? nullptr : &m_deviceVariables[*it];
}

const PrinterPort *ProcessNetwork::findPort(const QString &name) const
{
    for (const PrinterPort &p : m_ports) {
        if (p.name == name)
            return &p;
    }
    return nullptr;
}

std::optional<QString> ProcessNetwork::write(const QString &name, const QVariant &value)
{
    if ((m_failCountdown > 0 && --m_failCountdown == 0) || (!m_failName.isEmpty() && name == m_failName))
        return QStringLiteral("Device did not accept the write to \"%1\" (simulated fault)").arg(name);

    const auto it = m_deviceIndex.constFind(name);
    if (it == m_deviceIndex.constEnd()) {
        if (m_variableIndex.contains(name))
            return QStringLiteral("Variable \"%1\" is read-only").arg(name);
        return QStringLiteral("Variable \"%1\" does not exist").arg(name);
    }
    DeviceVariable &d = m_deviceVariables[*it];
    if (value.metaType().id() != valueMetaTypeId(d.type)) {
        return QStringLiteral("Variable \"%1\" takes %2, not %3")
            .arg(name, describeType(d.type), describeVariant(value));
    }
    switch (d.type) {
    case ValueType::Boolean:
        break;
    case ValueType::UInt8:
    case ValueType::Int16: {
        const int v = value.toInt();
        if (v < d.minimum || v > d.maximum) {
            return QStringLiteral("Value %1 is out of range %2..%3 for variable \"%4\"")
                .arg(v)
                .arg(d.minimum)
                .arg(d.maximum)
                .arg(name);
        }
        break;
    }
    case ValueType::String: {
        const qsizetype length = value.toString().size();
        if (length > d.maximum) {
            return QStringLiteral("Text of %1 characters is too long for variable \"%2\" (at most %3)")
                .arg(length)
                .arg(name)
                .arg(d.maximum);
        }
        break;
    }
    }
    d.value = value;
    m_portWritten[d.port] = true;
    m_log.append(WriteRecord{name, d.type, value});
    return std::nullopt;
}

void ProcessNetwork::failWriteAt(int n)
{
    m_failCountdown = std::max(0, n);
}

void ProcessNetwork::failWritesTo(const QString &name)
{
    m_failName = name;
}

void ProcessNetwork::clearDevices()
{
    for (DeviceVariable &d : m_deviceVariables)
        d.value = QVariant();
    m_portWritten.fill(true);
}

} // namespace tkl
