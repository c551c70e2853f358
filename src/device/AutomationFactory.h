#pragma once

#include "device/AutomationObject.h"

#include <QString>

#include <memory>

namespace tkl {

class ProcessNetwork;

/// Creates automation objects from their programmatic identifier, all over one
/// shared network that must outlive them.
class AutomationFactory
{
public:
    /// The identifier of the process-network server.
    static inline const QString ServerProgId = QStringLiteral("KELM.PRO");

    explicit AutomationFactory(ProcessNetwork &network);

    /// A new object for `progId` (matched without regard to case, as identifiers are
    /// registered). Throws AutomationError for any other identifier, or when creation
    /// has been made to fail.
    ///
    /// `port`, when given, names the printer port the object is for: a port on a node
    /// with a Modbus endpoint gets a ModbusServer (a real device), any other one the
    /// SimulatedServer over the network.
    std::unique_ptr<AutomationObject> create(const QString &progId, const QString &port = {});

    /// Makes every later create() fail with `text`; an empty text lets it succeed again.
    void setCreationFailure(const QString &text) { m_creationFailure = text; }

    /// Objects created so far.
    int createdCount() const { return m_created; }

    ProcessNetwork &network() const { return m_network; }

private:
    ProcessNetwork &m_network;
    QString m_creationFailure;
    int m_created = 0;
};

} // namespace tkl
