#pragma once

#include "device/PortVariables.h"
#include "device/WriteRecord.h"

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QSet>
#include <QString>
#include <QVariant>

#include <optional>

namespace tkl {

class DeviceFaults;
class NetworkCatalogue;
struct DeviceVariable;

/// The printer devices of a catalogue's simulated ports: what each device variable
/// holds, a log of every write, and the devices' memory on disk so that what one
/// program downloaded another one can show. Not thread-safe: one thread at a time.
///
/// The memory is a per-user data file that holds, per port, the value of every device
/// variable that holds one:
///
///     { "version": 1,
///       "ports": { "Printer1": { "Printer1.lines": 2, "Printer1.Ticket[1]": "Net:",
///                                "Printer1.UpdateArr[1].DataIn": true, ... } } }
///
/// A port whose last download stopped before it ended also holds
/// "<port>.downloadFinished": false; a port without it finished its last download.
///
/// Saving is atomic (written beside the file and renamed over it) and locked (a
/// "<file>.lock" lock file), and merges per port: under the lock the file is read
/// again and only the ports written since the last save are replaced, so that two
/// programs downloading to different ports keep each other's tickets.
class SimulatedDevices
{
public:
    /// Devices for the ports of `catalogue`, which must outlive them (and may still grow).
    explicit SimulatedDevices(const NetworkCatalogue &catalogue);

    /// The catalogue whose ports these are.
    const NetworkCatalogue &catalogue() const { return m_catalogue; }

    // --- writes and reads

    /// Stores `value` in the device variable `name`. Checks, in this order: an installed
    /// fault, the name, the value's meta type, its range. On failure returns the text
    /// that names the variable and changes nothing; on success appends to the log.
    std::optional<QString> write(const QString &name, const QVariant &value);

    /// Every successful write since the devices were built or the log last cleared.
    const QList<WriteRecord> &writeLog() const { return m_log; }
    void clearWriteLog() { m_log.clear(); }

    /// What reading the device variable gives: the value it holds, or what an installed
    /// fault puts in its place; invalid when it holds none or does not exist. A device
    /// that holds anything answers "P.Download.state" from its finished mark (Started or
    /// Finished); it keeps no checksum. Writes to those two are refused.
    QVariant readValue(const QString &fullName) const;
    QVariant readValue(const DeviceVariable &variable) const;

    /// Installs a fault seam (nullptr removes it); the caller keeps it alive.
    void setFaults(DeviceFaults *faults) { m_faults = faults; }

    // --- the memory on disk

    /// Uses the file at `path` as the devices' memory and loads what it holds: stored
    /// values of variables the catalogue has, of the right type and in range, replace
    /// what the devices held; other ones are ignored. A missing file is an empty
    /// memory. A damaged file is set aside as "<path>.damaged-YYYYMMDD-HHMMSS",
    /// reported in storeWarning(), and the devices start empty. Returns false when it
    /// set a warning.
    bool attachStore(const QString &path);

    /// The attached store's path; empty when none is attached.
    QString storePath() const { return m_storePath; }

    /// What went wrong with the store when it was last loaded or saved; empty when
    /// nothing did.
    QString storeWarning() const { return m_storeWarning; }
    void clearStoreWarning() { m_storeWarning.clear(); }

    /// False when the attached store is there but could not be read (see
    /// DeviceStore::Contents::unread): what the devices hold is unknown, not nothing.
    bool storeRead() const { return m_storeRead; }

    /// Records how the download to `port` that just wrote into its device ended; kept
    /// with the device's memory by the next saveStore(). Nothing changes when that
    /// download wrote nothing.
    void recordDownloadEnd(const QString &port, bool finished);

    /// Whether the last download into the device of `port` stopped before it ended, so
    /// that the device holds only part of a ticket.
    bool lastDownloadUnfinished(const QString &port) const;

    /// Saves the ports written since the last save into the attached store and takes
    /// the other ports' values from the file as it now stands. True when there was
    /// nothing to do or no store is attached. On failure returns false and sets
    /// storeWarning(); the ports stay marked for the next save.
    bool saveStore();

private:
    // What one device variable holds.
    struct Held
    {
        ValueType type;
        QVariant value;
    };
    using PortMemory = QHash<QString, Held>; ///< by device variable name; only those that hold a value

    void setPortValues(int port, const QJsonObject &values);
    QJsonObject portValues(int port) const;

    const NetworkCatalogue &m_catalogue;
    QHash<int, PortMemory> m_memory; ///< by port: what a program touches, not what a port could hold
    QList<WriteRecord> m_log;
    QSet<int> m_portWritten;  ///< ports written since the store was last saved
    QSet<int> m_portUnfinished; ///< ports whose last download stopped before it ended
    bool m_storeRead = true;
    DeviceFaults *m_faults = nullptr;
    QString m_storePath;
    QString m_storeWarning;
};

} // namespace tkl
