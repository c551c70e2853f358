#pragma once

#include "device/AutomationObject.h"

#include <QHash>
#include <QStringList>

namespace tkl::test {

/// An automation object that answers from a table, so that tests can script what a
/// variable's attributes read as and which access fails.
class FakeServer : public AutomationObject
{
public:
    QHash<QString, QVariant> values; ///< what each property reads as
    QString failOn;                  ///< the property whose access fails
    QString failText = QStringLiteral("Access denied");
    QString errorString;             ///< "ErrorString"; stays as it is after a success
    bool exceptions = false;
    QString physId;
    QStringList accesses;            ///< every property set or read, in order

    void setProperty(const QString &name, const QVariant &value) override
    {
        accesses.append(QStringLiteral("set ") + name);
        if (name == failOn) {
            fail();
            return;
        }
        if (name == QLatin1String("EnableExceptions"))
            exceptions = value.toBool();
        else if (name == QLatin1String("PhysId"))
            physId = value.toString();
    }

    QVariant property(const QString &name) override
    {
        accesses.append(QStringLiteral("get ") + name);
        if (name == QLatin1String("ErrorString"))
            return errorString;
        if (name == failOn) {
            fail();
            return {};
        }
        return values.value(name);
    }

private:
    void fail()
    {
        errorString = failText;
        if (exceptions)
            throw AutomationError(failText);
    }
};

} // namespace tkl::test
