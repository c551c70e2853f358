#include "ModbusTransport.h"

namespace tkl {

ModbusTransport::ModbusTransport(const ModbusEndpoint &endpoint, int unit)
    : m_link(ModbusLink::create(endpoint))
    , m_unit(unit)
{
}

ModbusTransport::~ModbusTransport()
{
    close();
}

QString ModbusTransport::where() const
{
    return QStringLiteral("%1 (unit %2)").arg(m_link->where()).arg(m_unit);
}

void ModbusTransport::close()
{
    m_link->close();
    m_open = false;
    m_broken.clear();
}

std::optional<QString> ModbusTransport::request(const QByteArray &pdu, quint16 *values)
{
    if (!m_broken.isEmpty())
        return QStringLiteral("the connection failed at an earlier request (%1)").arg(m_broken);
    if (!m_open) {
        if (auto error = m_link->open()) {
            m_broken = *error;
            return error;
        }
        m_open = true;
    }
    ++m_requests;
    QByteArray reply;
    if (auto error = m_link->exchange(m_unit, pdu, &reply)) {
        m_broken = *error;
        return error;
    }
    const auto error = ModbusPdu::checkReply(pdu, reply, values);
    // An exception is a proper answer; after anything else the next answer could not be
    // told from this one's remains.
    if (error && !(reply.size() == 2 && (quint8(reply.at(0)) == (quint8(pdu.at(0)) | 0x80))))
        m_broken = *error;
    return error;
}

std::optional<QString> ModbusTransport::write(int address, const quint16 *values, int count)
{
    Q_ASSERT(count >= 1 && count <= MaxWrite);
    return request(ModbusPdu::writeRequest(address, values, count), nullptr);
}

std::optional<QString> ModbusTransport::read(int address, int count, quint16 *values)
{
    Q_ASSERT(count >= 1 && count <= MaxRead);
    return request(ModbusPdu::readRequest(address, count), values);
}

} // namespace tkl
