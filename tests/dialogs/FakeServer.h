#pragma once

#include "device/AutomationObject.h"

#include <QHash>
#include <QString>

namespace tkl::test {

/// An automation object that answers from a table, so that tests can script what a
/// variable's attributes read as and which access fails.
class FakeServer : public AutomationObject
{
public:
    QHash<QString, QVariant> values; ///< what each property reads as
    QString failOn;                  ///< the property whose access fails
    QString errorString;             ///< "ErrorString"; stays as it is after a success
    bool exceptions = false;

    void setProperty(const QString &name, const QVariant &value) override
    {
        if (name == failOn)
            fail();
        else if (name == QLatin1String("EnableExceptions"))
            exceptions = value.toBool();
    }

    QVariant property(const QString &name) override
    {
        if (name == QLatin1String("ErrorString"))
            return errorString;
        if (name == failOn)
            fail();
        return name == failOn ? QVariant() : values.value(name);
    }

private:
    void fail()
    {
        errorString = QStringLiteral("Access denied");
        if (exceptions)
            throw AutomationError(errorString);
    }
};

} // namespace tkl::test
