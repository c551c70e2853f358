#pragma once

#include "device/NetworkCatalogue.h"
#include "simulated/SimulatedDevices.h"
#include "model/Result.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <memory>
#include <optional>

namespace tkl {

class DeviceFaults;

/// The process network the program works with: the catalogue read from a description
/// (nodes, variables, printer ports; see NetworkDescription and
/// docs/network-description.md) and the simulated devices of its simulated ports. A
/// port whose node has a "modbus" endpoint is a real device: its values are not here
/// but behind the endpoint (ModbusServer).
///
/// The built-in sample is compiled into the program; a description file of the
/// operator's own (see userFilePath()) replaces it whole.
class ProcessNetwork : public NetworkCatalogue
{
public:
    ProcessNetwork();
    explicit ProcessNetwork(NetworkCatalogue catalogue);
    ProcessNetwork(const ProcessNetwork &) = delete;
    ProcessNetwork &operator=(const ProcessNetwork &) = delete;

    /// Reads a description (NetworkDescription::fromJson()).
    static Result<std::unique_ptr<ProcessNetwork>> fromJson(const QByteArray &json, const QString &sourceName);

    /// Reads a description file; a missing or unreadable file is an error too.
    static Result<std::unique_ptr<ProcessNetwork>> fromFile(const QString &path);

    /// The sample network compiled into the program.
    static std::unique_ptr<ProcessNetwork> builtIn();

    /// Where an operator's own description lives: the TKL_NETWORK environment variable
    /// when set, else "network.json" in the application's configuration folder
    /// (QStandardPaths::AppConfigLocation).
    static QString userFilePath();

    /// The operator's own description when userFilePath() exists, else the built-in
    /// sample, with the device store at defaultStorePath() attached (see attachStore();
    /// a damaged store is no error here: look at storeWarning()). Fails when the
    /// operator's file cannot be used.
    static Result<std::unique_ptr<ProcessNetwork>> load();

    /// Where the simulated devices keep their memory: the TKL_DEVICE_STORE environment
    /// variable when set, else "tkledit/devices.json" in the user's state folder
    /// ($XDG_STATE_HOME, else ~/.local/state), the same for every program whatever its
    /// name. Not the data folder: installed under ~/.local, the program's own files are
    /// in ~/.local/share/tkledit, and clearing the devices must not remove them. A memory
    /// an earlier version kept at ~/.local/share/tkledit/devices.json is moved here the
    /// first time; when it cannot be moved, it stays in use where it is.
    static QString defaultStorePath();

    // --- the simulated devices (see SimulatedDevices)

    SimulatedDevices &devices() { return m_devices; }
    const SimulatedDevices &devices() const { return m_devices; }

    bool attachStore(const QString &path) { return m_devices.attachStore(path); }
    QString storePath() const { return m_devices.storePath(); }
    QString storeWarning() const { return m_devices.storeWarning(); }
    void clearStoreWarning() { m_devices.clearStoreWarning(); }
    bool saveStore() { return m_devices.saveStore(); }
    bool storeRead() const { return m_devices.storeRead(); }
    void recordDownloadEnd(const QString &port, bool finished) { m_devices.recordDownloadEnd(port, finished); }
    bool lastDownloadUnfinished(const QString &port) const { return m_devices.lastDownloadUnfinished(port); }

    std::optional<QString> write(const QString &name, const QVariant &value) { return m_devices.write(name, value); }
    const QList<WriteRecord> &writeLog() const { return m_devices.writeLog(); }
    void clearWriteLog() { m_devices.clearWriteLog(); }
    QVariant readValue(const QString &fullName) const { return m_devices.readValue(fullName); }
    QVariant readValue(const DeviceVariable &variable) const { return m_devices.readValue(variable); }

    /// Installs a test's fault seam in the simulated devices; nullptr removes it.
    void setFaults(DeviceFaults *faults) { m_devices.setFaults(faults); }

private:
    SimulatedDevices m_devices{*this};
};

} // namespace tkl
