#include "ServerProperties.h"

#include "AutomationObject.h"

namespace tkl {

bool ServerProperties::setProperty(const QString &name, const QVariant &value)
{
    if (is(name, QLatin1String("EnableExceptions"))) {
        const int type = value.metaType().id();
        if (type != QMetaType::Bool && type != QMetaType::Int && type != QMetaType::Short)
            fail(QStringLiteral("\"EnableExceptions\" takes a Boolean"));
        else
            m_enableExceptions = value.toBool();
        return true;
    }
    if (is(name, QLatin1String("PhysId"))) {
        if (value.metaType().id() != QMetaType::QString)
            fail(QStringLiteral("\"PhysId\" takes the name of a variable as a string"));
        else
            m_physId = value.toString();
        return true;
    }
    return false;
}

std::optional<QVariant> ServerProperties::property(const QString &name) const
{
    if (is(name, QLatin1String("EnableExceptions")))
        return m_enableExceptions;
    if (is(name, QLatin1String("PhysId")))
        return m_physId;
    if (is(name, QLatin1String("ErrorString")))
        return m_errorString;
    return std::nullopt;
}

void ServerProperties::fail(const QString &text, const QString &physId)
{
    m_errorString = text;
    if (m_enableExceptions)
        throw AutomationError(text, physId);
}

} // namespace tkl
