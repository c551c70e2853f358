#pragma once

#include "device/PortVariables.h"

#include <QHash>
#include <QList>
#include <QString>

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

    /// The value at `msecs` on the network clock (NetworkCatalogue::networkTime()); a
    /// ramp starts again at every whole period of that clock.
    double valueAt(qint64 msecs) const;
};

/// A process variable of a network node, as the variable tree offers it for binding.
/// The attributes are carried as the network states them, even outside the 16-bit
/// range the ticket record has room for: whoever reads them checks the range.
struct NetworkVariable
{
    QString name;          ///< name within its node
    QString fullName;      ///< node name + "." + name: what "PhysId" accepts
    int node = -1;         ///< index into NetworkCatalogue::nodes()
    qint32 internalAddress = 0;
    qint32 offset = 0;
    qint32 subDataType = 0;
    qint32 bitNo = 0;
    SimulatedValue simulation;
};

/// Where a real device answers: a Modbus TCP server, or a serial line (Modbus RTU).
struct ModbusEndpoint
{
    QString host;          ///< a host name or an IP address (TCP)
    int port = 502;        ///< TCP port, 1..65535
    int timeoutMs = 1000;  ///< how long to wait for a connection or a whole answer

    QString serial;        ///< the serial line's device path; empty for TCP
    int baud = 19200;
    char parity = 'E';     ///< 'N', 'E' or 'O'
    int dataBits = 8;
    int stopBits = 1;

    bool isSerial() const { return !serial.isEmpty(); }

    /// "host:port", or the serial line's path, as messages name the endpoint.
    QString text() const { return isSerial() ? serial : host + QLatin1Char(':') + QString::number(port); }
};

/// A station of the network.
struct NetworkNode
{
    QString name;
    QString address;       ///< "NodeAddress": ends in the node number as two decimal digits
    QString capabilities;  ///< "Nodecapabilities": begins with a decimal number
    QList<int> variables;  ///< indexes into NetworkCatalogue::variables(), in description order
    std::optional<ModbusEndpoint> modbus; ///< a real device; nothing for a simulated node
};

/// One variable inside a printer device.
struct DeviceVariable
{
    QString name;       ///< full name, e.g. "Printer1.UpdateArr[3].Chars"
    int index = -1;     ///< from 0, over the device variables of all ports, in port order
    int port = -1;      ///< index into NetworkCatalogue::ports()
    int ordinal = 0;    ///< position in the port's variable list, from 1
    ValueType type = ValueType::Int16;
    int minimum = 0;    ///< numeric bounds; for strings the length bounds
    int maximum = 0;
};

/// What a process network consists of: nodes with their variables, and printer ports
/// with their device variables. Read-only once built, so that several threads may
/// share it. The values the devices hold live elsewhere (SimulatedDevices, or the
/// real device behind a Modbus endpoint).
class NetworkCatalogue
{
public:
    // --- building (the description reader, tests, tools); no validation here

    /// Adds a node and returns its index.
    int addNode(const QString &name, const QString &address, const QString &capabilities,
                const std::optional<ModbusEndpoint> &modbus = std::nullopt);

    /// Adds a variable to `node` and returns its index.
    int addVariable(int node, const QString &name, qint32 internalAddress, qint32 offset,
                    qint32 subDataType, qint32 bitNo, const SimulatedValue &simulation = {});

    /// Adds a printer port on `node` and returns its index. Its device variables are
    /// found by name (PortVariables), never built one by one, so that a port costs the
    /// same whatever its size: only what a program reads or writes costs.
    int addPort(const QString &name, int node, int updateElements = 30, int ticketLines = 100,
                int stringLength = 255, const std::optional<ModbusPortAddress> &modbus = std::nullopt);

    // --- contents

    const QList<NetworkNode> &nodes() const { return m_nodes; }
    const QList<NetworkVariable> &variables() const { return m_variables; }
    const QList<PrinterPort> &ports() const { return m_ports; }

    /// The network variable of that full name, or nullptr.
    const NetworkVariable *findVariable(const QString &fullName) const;

    /// The device variable of that full name, or nothing when no port holds it.
    std::optional<DeviceVariable> findDeviceVariable(const QString &fullName) const;

    /// The port of that name, or nullptr.
    const PrinterPort *findPort(const QString &name) const;

    /// The Modbus endpoint of the node `port` sits on; nullptr for a simulated port.
    const ModbusEndpoint *endpointOf(const PrinterPort &port) const;

    // --- simulated values

    /// The milliseconds clock the simulated values move with: the wall clock, so that
    /// every program on the machine sees the same value at the same moment.
    static qint64 networkTime();

    /// The simulated value of the network variable `fullName` at `msecs` on the network
    /// clock; nothing for a name the network does not have.
    std::optional<double> simulatedValue(const QString &fullName, qint64 msecs) const;

private:
    QList<NetworkNode> m_nodes;
    QList<NetworkVariable> m_variables;
    QList<PrinterPort> m_ports;
    QHash<QString, int> m_variableIndex;
    QHash<QString, int> m_portIndex;
    QList<int> m_firstDeviceIndex;  ///< per port: DeviceVariable::index of its first variable
    int m_deviceVariableCount = 0;
};

} // namespace tkl
