#pragma once

#include "device/AutomationObject.h"
#include "device/ServerProperties.h"

#include <QString>

namespace tkl {

class NetworkCatalogue;
class SimulatedDevices;

/// The process-network automation server, over a simulated network.
///
/// Properties (names matched without regard to case, as late binding does):
/// - "EnableExceptions" (bool, read/write; a non-zero int or short counts as true): once true, every failing access throws
///   AutomationError with the text that "ErrorString" then returns.
/// - "PhysId" (QString, read/write): the full name of the variable the following
///   accesses address: a network variable or a device variable of a printer port.
///   Any text is taken; an unknown name fails at the access that needs the variable.
/// - "Value" (write): stores the value in the selected device variable. The QVariant's
///   meta type must be the variable's: bool, quint8 (UChar), qint16 (Short) or QString.
///   Network variables are read-only. (read): what the device variable gives when read
///   (SimulatedDevices::readValue(), so a read-back fault shows here), or the network
///   variable's simulated value at NetworkCatalogue::networkTime() as a double.
/// - "NodeAddress", "Nodecapabilities" (read, QString): of the variable's node.
/// - "InternalAddress", "Offset", "SubDataType", "BitNo" (read, int, QMetaType::Int):
///   the attributes as the network states them, which may lie outside 16 bits or
///   0..255; the reader converts and checks the range.
/// - "ErrorString" (read, QString): text of the last failure; a successful access
///   leaves it as it was.
/// Without "EnableExceptions" a failure only sets "ErrorString"; a failed read
/// returns an invalid QVariant.
class SimulatedServer : public AutomationObject
{
public:
    /// A server over `devices` and their catalogue, which must outlive it.
    explicit SimulatedServer(SimulatedDevices &devices);

    void setProperty(const QString &name, const QVariant &value) override;
    QVariant property(const QString &name) override;

private:
    void fail(const QString &text) { m_properties.fail(text); }

    SimulatedDevices &m_devices;
    const NetworkCatalogue &m_catalogue;
    ServerProperties m_properties;
};

} // namespace tkl
