#include "AutomationFactory.h"

#include "ModbusServer.h"
#include "ProcessNetwork.h"
#include "SimulatedServer.h"

namespace tkl {

AutomationFactory::AutomationFactory(ProcessNetwork &network)
    : m_network(network)
{
}

std::unique_ptr<AutomationObject> AutomationFactory::create(const QString &progId, const QString &port)
{
    if (progId.compare(ServerProgId, Qt::CaseInsensitive) != 0) {
        throw AutomationError(
            QStringLiteral("Cannot create object \"%1\": no such component is installed").arg(progId));
    }
    if (!m_creationFailure.isEmpty())
        throw AutomationError(m_creationFailure);
    ++m_created;
    if (const PrinterPort *p = port.isEmpty() ? nullptr : m_network.findPort(port); p && m_network.endpointOf(*p))
        return std::make_unique<ModbusServer>(m_network, *p);
    return std::make_unique<SimulatedServer>(m_network);
}

} // namespace tkl
