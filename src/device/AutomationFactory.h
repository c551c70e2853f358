#pragma once

#include "device/AutomationObject.h"

#include <QString>

#include <memory>

namespace tkl {

class NetworkCatalogue;

/// Creates automation objects from their programmatic identifier. Which server a printer
/// port gets (a simulated device's, or a client of a real device over one of the device
/// transports) is up to the network behind the factory (NetworkFactory); the download
/// (TicketDownload) knows only this contract.
class AutomationFactory
{
public:
    /// The identifier of the process-network server.
    static inline const QString ServerProgId = QStringLiteral("KELM.PRO");

    virtual ~AutomationFactory() = default;

    /// A new object for `progId` (matched without regard to case, as identifiers are
    /// registered). Throws AutomationError for any other identifier, or when creation
    /// has been made to fail.
    ///
    /// `port`, when given, names the printer port the object is for: a port on a node
    /// with a device endpoint gets a client of that device, any other one the server of
    /// the simulated network.
    std::unique_ptr<AutomationObject> create(const QString &progId, const QString &port = {});

    /// Makes every later create() fail with `text`; an empty text lets it succeed again.
    void setCreationFailure(const QString &text) { m_creationFailure = text; }

    /// Objects created so far.
    int createdCount() const { return m_created; }

    /// The nodes, variables and printer ports the objects serve.
    virtual const NetworkCatalogue &catalogue() const = 0;

    /// A download into the simulated device of `port` ended, whole (`finished`) or
    /// stopped on the way: the simulated network remembers how and keeps its devices'
    /// memory (a failure to keep it is the network's to report). Never called for a
    /// real device, which keeps that itself. Never throws.
    virtual void simulatedDownloadEnded(const QString &port, bool finished) = 0;

protected:
    AutomationFactory() = default;
    AutomationFactory(const AutomationFactory &) = delete;
    AutomationFactory &operator=(const AutomationFactory &) = delete;

    /// The server for `port` (empty: for no port in particular).
    virtual std::unique_ptr<AutomationObject> makeServer(const QString &port) = 0;

private:
    QString m_creationFailure;
    int m_created = 0;
};

} // namespace tkl
