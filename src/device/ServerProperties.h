#pragma once

#include <QString>
#include <QVariant>

#include <optional>

namespace tkl {

/// What every automation server of the device layer keeps between accesses, and the
/// properties that behave alike on each: "EnableExceptions", "PhysId" and "ErrorString".
/// Property names are matched without regard to case, as late binding does.
class ServerProperties
{
public:
    /// True when `name` names `property`, in any case.
    static bool is(const QString &name, QLatin1String property)
    {
        return name.compare(property, Qt::CaseInsensitive) == 0;
    }

    /// Takes "EnableExceptions" (a Boolean, or a number as older callers pass it, -1 for
    /// true) and "PhysId" (the name of a variable as a string); a value of another type
    /// fails. False for any other property, which the server handles itself.
    bool setProperty(const QString &name, const QVariant &value);

    /// "EnableExceptions", "PhysId" and "ErrorString"; nothing for any other property.
    std::optional<QVariant> property(const QString &name) const;

    /// Records `text` as "ErrorString" and, once exceptions are enabled, throws it as an
    /// AutomationError concerning `physId`.
    void fail(const QString &text, const QString &physId = {});

    const QString &physId() const { return m_physId; }
    bool exceptionsEnabled() const { return m_enableExceptions; }
    void enableExceptions(bool on) { m_enableExceptions = on; }

private:
    bool m_enableExceptions = false;
    QString m_physId;
    QString m_errorString;
};

} // namespace tkl
