#pragma once

#include <QString>
#include <QVariant>

#include <optional>

namespace tkl {

/// A seam for tests: faults of the simulated devices. Nothing in the program installs
/// one; a test sets its own with SimulatedDevices::setFaults().
class DeviceFaults
{
public:
    virtual ~DeviceFaults() = default;

    /// Called before every write attempt to a simulated device, with the variable's
    /// name (also an unknown one); a text makes the write fail with it.
    virtual std::optional<QString> refuseWrite(const QString &name) = 0;

    /// Called whenever a device variable is read; a value (an invalid one: as if it held
    /// nothing) replaces what the device holds.
    virtual std::optional<QVariant> readBack(const QString &name) = 0;
};

} // namespace tkl
