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
    /// `physId`: the variable the failure concerns when it is not the one just addressed
    /// (a server that joins writes reports a failed request at a later access).
    explicit AutomationError(const QString &text, const QString &physId = {})
        : std::runtime_error(text.toStdString())
        , m_text(text)
        , m_physId(physId)
    {
    }

    QString text() const { return m_text; }
    QString physId() const { return m_physId; }

private:
    QString m_text;
    QString m_physId;
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

    /// Sends every write the object still holds back (a server that joins writes), so
    /// that a failure shows now: raised, once "EnableExceptions" is set, as any failing
    /// access is. Nothing to do for a server that writes at once.
    virtual void sync() {}

    /// Ends a session: a server that talks to a real device sends what it still holds
    /// and closes its connection (a later access opens a new one). Never throws; a
    /// failure shows in "ErrorString".
    virtual void close() {}
};

} // namespace tkl
