#include "AutomationFactory.h"

#include "SimulatedServer.h"

namespace tkl {

AutomationFactory::AutomationFactory(ProcessNetwork &network)
    : m_network(network)
{
}

std::unique_ptr<AutomationObject> AutomationFactory::create(const QString &progId)
{
    if (progId.compare(ServerProgId, Qt::CaseInsensitive) != 0) {
        throw AutomationError(
            QStringLiteral("Cannot create object \"%1\": no such component is installed").arg(progId));
    }
    if (!m_creationFailure.isEmpty())
        throw AutomationError(m_creationFailure);
    ++m_created;
    return std::make_unique<SimulatedServer>(m_network);
}

} // namespace tkl
