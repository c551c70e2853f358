#pragma once

#include <QString>
#include <QVariant>

#include <stdexcept>

namespace tkl {

/// A failure raised by an automation object once "EnableExceptions" is true.
/// Carries the same text that the object's "ErrorString" then returns.
class AutomationError : public std::runtime_error
{
public:
    explicit AutomationError(const QString &text)
        : std::runtime_error(text.toStdString())
        , m_text(text)
    {
    }

    QString text() const { return m_text; }

private:
    QString m_text;
};

/// A late-bound automation object: properties set and read by name.
///
/// Values are typed: bool for Boolean, quint8 (QMetaType::UChar) for 8-bit unsigned,
/// qint16 (QMetaType::Short) for 16-bit signed, QString for strings. A failing access
/// records its text in "ErrorString"; once "EnableExceptions" has been set to true it
/// also throws AutomationError. Catch it in the handler that started the command;
/// never let it through a Qt event handler.
class AutomationObject
{
public:
    virtual ~AutomationObject() = default;

    virtual void setProperty(const QString &name, const QVariant &value) = 0;
    virtual QVariant property(const QString &name) = 0;
};

} // namespace tkl
