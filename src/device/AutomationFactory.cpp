#include "AutomationFactory.h"

namespace tkl {

std::unique_ptr<AutomationObject> AutomationFactory::create(const QString &progId, const QString &port)
{
    if (progId.compare(ServerProgId, Qt::CaseInsensitive) != 0) {
        throw AutomationError(
            QStringLiteral("Cannot create object \"%1\": no such component is installed").arg(progId));
    }
    if (!m_creationFailure.isEmpty())
        throw AutomationError(m_creationFailure);
    ++m_created;
    return makeServer(port);
}

} // namespace tkl
