#pragma once

#include "device/PortVariables.h"

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <optional>

namespace tkl {

/// How a network variable's value moves while the program runs, for a live preview.
struct SimulatedValue
{
    enum class Kind { Fixed, Ramp };
    Kind kind = Kind::Fixed;
    double from = 0;           ///< the fixed value, or where the ramp starts
    double to = 0;             ///< where the ramp ends (ramps only)
    double periodSeconds = 60; ///< time from `from` to `to`; the ramp then starts again

    /// The value at `msecs` on the network clock (ProcessNetwork::networkTime()); a ramp
    /// starts again at every whole period of that clock.
    double valueAt(qint64 msecs) const;
};

/// A process variable of a network node, as the variable tree offers it for binding.
/// The attributes are carried as the network states them, even outside the 16-bit
/// range the ticket record has room for: whoever reads them checks the range.
struct NetworkVariable
{
    QString name;          ///< name within its node
    QString fullName;      ///< node name + "." + name: what "PhysId" accepts
    int node = -1;         ///< index into ProcessNetwork::nodes()
    qint32 internalAddress = 0;
    qint32 offset = 0;
    qint32 subDataType = 0;
    qint32 bitNo = 0;
    SimulatedValue simulation;
};

/// A station of the network.
struct NetworkNode
{
    QString name;
    QString address;       ///< "NodeAddress": ends in the node number as two decimal digits
    QString capabilities;  ///< "Nodecapabilities": begins with a decimal number
    QList<int> variables;  ///< indexes into ProcessNetwork::variables(), in description order
};

/// One variable inside a printer device.
struct DeviceVariable
{
    QString name;       ///< full name, e.g. "Printer1.UpdateArr[3].Chars"
    int port = -1;      ///< index into ProcessNetwork::ports()
    int ordinal = 0;    ///< position in the port's variable list, from 1
    ValueType type = ValueType::Int16;
    int minimum = 0;    ///< numeric bounds; for strings the length bounds
    int maximum = 0;
    QVariant value;     ///< what the device holds; invalid until first written
};

/// One successful device write, in the order they were made.
struct WriteRecord
{
    QString name;
    ValueType type = ValueType::Int16;
    QVariant value;

    friend bool operator==(const WriteRecord &, const WriteRecord &) = default;
};

/// The simulated process network that stands in for the plant: nodes with their
/// variables, printer ports with their device variables, a log of every device
/// write, and switches that make writes fail for tests.
///
/// A network is described in JSON. The built-in sample is compiled into the program;
/// a description file of the operator's own (see userFilePath()) replaces it whole:
///
///     {
///       "nodes": [
///         { "name": "Scale1", "address": "NET1.ST03", "capabilities": "17 weighing terminal",
///           "variables": [
///             { "name": "NetWeight", "internalAddress": 120, "offset": 0,
///               "subDataType": 4, "bitNo": 0,
///               "simulation": { "from": 0, "to": 1500, "periodSeconds": 90 } },
///             { "name": "Tare", "internalAddress": 122, "offset": 2,
///               "subDataType": 4, "bitNo": 0, "simulation": { "fixed": 12.5 } } ] } ],
///       "ports": [
///         { "name": "Printer1", "node": "PrinterModule", "updateElements": 30,
///           "ticketLines": 100, "stringLength": 255 } ]
///     }
///
/// Every key shown is required except "simulation" (fixed 0), "updateElements" (30),
/// "ticketLines" (100) and "stringLength" (255). Names must be unique: node names,
/// variable names within a node, port names, and no port may share a node's name.
class ProcessNetwork
{
public:
    ProcessNetwork();

    /// Reads a description. `sourceName` names the file in error texts. On failure
    /// returns nothing and sets `error` to "<sourceName>: <line>:<column>: <what>" (the
    /// position where the JSON parser gives one) or "<sourceName>: <what>".
    static std::unique_ptr<ProcessNetwork> fromJson(const QByteArray &json, const QString &sourceName,
                                                    QString *error);

    /// Reads a description file; a missing or unreadable file is an error too.
    static std::unique_ptr<ProcessNetwork> fromFile(const QString &path, QString *error);

    /// The sample network compiled into the program.
    static std::unique_ptr<ProcessNetwork> builtIn();

    /// Where an operator's own description lives: the TKL_NETWORK environment variable
    /// when set, else "network.json" in the application's configuration folder
    /// (QStandardPaths::AppConfigLocation).
    static QString userFilePath();

    /// The operator's own description when userFilePath() exists, else the built-in
    /// sample, with the device store at defaultStorePath() attached (see attachStore();
    /// a damaged store is no error here: look at storeWarning()). Nothing, with `error`
    /// set, when the operator's file cannot be used.
    static std::unique_ptr<ProcessNetwork> load(QString *error);

    // --- the devices' memory
    //
    // The simulated devices keep what was downloaded into them in a per-user data file,
    // so that a ticket downloaded by one program can be shown and printed by another,
    // also after a restart. The file holds, per port, the value of every device variable
    // that holds one:
    //
    //     { "version": 1,
    //       "ports": { "Printer1": { "Printer1.lines": 2, "Printer1.Ticket[1]": "Net:",
    //                                "Printer1.UpdateArr[1].DataIn": true, ... } } }
    //
    // Saving is atomic (written beside the file and renamed over it) and locked (a
    // "<file>.lock" lock file), and merges per port: under the lock the file is read
    // again and only the ports this network wrote since its last save are replaced, so
    // that two programs downloading to different ports keep each other's tickets.

    /// Where the devices keep their memory: the TKL_DEVICE_STORE environment variable
    /// when set, else "tkledit/devices.json" in the user's data folder
    /// (QStandardPaths::GenericDataLocation, e.g. ~/.local/share/tkledit/devices.json),
    /// the same for every program whatever its name.
    static QString defaultStorePath();

    /// Uses the file at `path` as the devices' memory and loads what it holds into the
    /// devices of this network: stored values of variables the network has, of the
    /// right type and in range, replace what the devices held; other ones are ignored.
    /// A missing file is an empty memory. A damaged file (not JSON, or not of the shape
    /// above) is set aside as "<path>.damaged-YYYYMMDD-HHMMSS", reported in
    /// storeWarning(), and the devices start empty. Returns false when it set a warning.
    bool attachStore(const QString &path);

    /// The attached store's path; empty when none is attached.
    QString storePath() const { return m_storePath; }

    /// What went wrong with the store when it was last loaded or saved, for the caller
    /// to show; empty when nothing did.
    QString storeWarning() const { return m_storeWarning; }
    void clearStoreWarning() { m_storeWarning.clear(); }

    /// Saves the ports written since the last save into the attached store, as described
    /// above, and takes the other ports' values from the file as it now stands. True when
    /// there was nothing to do or no store is attached. On failure returns false and sets
    /// storeWarning(); the ports stay marked for the next save. The download calls this
    /// when it ends, successful or not.
    bool saveStore();

    // --- simulated values

    /// The milliseconds clock the simulated values move with: the wall clock, so that
    /// every program on the machine sees the same value at the same moment.
    static qint64 networkTime();

    /// The simulated value of the network variable `fullName` at `msecs` on the network
    /// clock; nothing for a name the network does not have.
    std::optional<double> simulatedValue(const QString &fullName, qint64 msecs) const;

    // --- building in code (tests, tools); no validation beyond what the JSON loader needs

    /// Adds a node and returns its index.
    int addNode(const QString &name, const QString &address, const QString &capabilities);

    /// Adds a variable to `node` and returns its index.
    int addVariable(int node, const QString &name, qint32 internalAddress, qint32 offset,
                    qint32 subDataType, qint32 bitNo, const SimulatedValue &simulation = {});

    /// Adds a printer port on `node` with all its device variables; returns its index.
    int addPort(const QString &name, int node, int updateElements = 30, int ticketLines = 100,
                int stringLength = 255);

    // --- contents

    const QList<NetworkNode> &nodes() const { return m_nodes; }
    const QList<NetworkVariable> &variables() const { return m_variables; }
    const QList<PrinterPort> &ports() const { return m_ports; }

    /// The network variable of that full name, or nullptr.
    const NetworkVariable *findVariable(const QString &fullName) const;

    /// The device variable of that full name, or nullptr.
    const DeviceVariable *findDeviceVariable(const QString &fullName) const;

    /// The port of that name, or nullptr.
    const PrinterPort *findPort(const QString &name) const;

    // --- device writes

    /// Stores `value` in the device variable `name`. Checks, in this order: injected
    /// failures, the name, the value's meta type, its range. On failure returns the text
    /// that names the variable and changes nothing; on success appends to the log.
    std::optional<QString> write(const QString &name, const QVariant &value);

    /// Every successful write since the network was built or the log last cleared.
    const QList<WriteRecord> &writeLog() const { return m_log; }
    void clearWriteLog() { m_log.clear(); }

    /// Makes the `n`-th write attempt from now fail (1 = the next one); 0 disarms.
    void failWriteAt(int n);

    /// Makes every write to `name` fail; an empty name disarms.
    void failWritesTo(const QString &name);

    /// Forgets every value the devices hold (not the log).
    void clearDevices();

    /// What reading the device variable `fullName` gives: the value it holds, or the one
    /// a read-back fault puts in its place; invalid when it holds none or does not exist.
    QVariant readValue(const QString &fullName) const;
    QVariant readValue(const DeviceVariable &variable) const;

    /// A fault of the device's memory, for tests: from now on reading `fullName` gives
    /// `value` (an invalid one: as if it held nothing) while writes still succeed.
    void corruptOnReadBack(const QString &fullName, const QVariant &value);

private:
    void setPortValues(int port, const QJsonObject &values);
    QJsonObject portValues(int port) const;

    static std::unique_ptr<ProcessNetwork> parse(const QByteArray &json, QString *what, qsizetype *offset);

    QList<NetworkNode> m_nodes;
    QList<NetworkVariable> m_variables;
    QList<PrinterPort> m_ports;
    QList<DeviceVariable> m_deviceVariables;
    QHash<QString, int> m_variableIndex;
    QHash<QString, int> m_deviceIndex;
    QList<WriteRecord> m_log;
    int m_failCountdown = 0;
    QString m_failName;
    QHash<QString, QVariant> m_readBackFaults;
    QString m_storePath;
    QString m_storeWarning;
    QList<bool> m_portWritten; ///< per port: written since the store was last saved
};

} // namespace tkl
