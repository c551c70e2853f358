#include "ModbusTransport.h"

#include <modbus.h>

#include <netdb.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace tkl {

ModbusTransport::ModbusTransport(const ModbusEndpoint &endpoint, int unit)
    : m_endpoint(endpoint)
    , m_unit(unit)
{
}

ModbusTransport::~ModbusTransport()
{
    close();
}

QString ModbusTransport::where() const
{
    return QStringLiteral("%1 (unit %2)").arg(m_endpoint.text()).arg(m_unit);
}

void ModbusTransport::close()
{
    if (m_ctx) {
        modbus_close(m_ctx);
        modbus_free(m_ctx);
        m_ctx = nullptr;
    }
    m_broken.clear();
}

QString ModbusTransport::failure(int error)
{
    if (error > MODBUS_ENOBASE && error < MODBUS_ENOBASE + MODBUS_EXCEPTION_MAX) {
        // The device answered: the connection stays usable.
        return QStringLiteral("the device answered with Modbus exception %1 (%2)")
            .arg(error - MODBUS_ENOBASE)
            .arg(QString::fromLocal8Bit(modbus_strerror(error)).toLower());
    }
    QString what;
    switch (error) {
    case ETIMEDOUT:
        what = QStringLiteral("no answer within %1 ms").arg(m_endpoint.timeoutMs);
        break;
    case ECONNRESET:
    case EPIPE:
    case ENOTCONN:
        what = QStringLiteral("the device closed the connection");
        break;
    default:
        what = QString::fromLocal8Bit(modbus_strerror(error));
        break;
    }
    m_broken = what;
    return what;
}

std::optional<QString> ModbusTransport::connect()
{
    if (!m_broken.isEmpty())
        return QStringLiteral("the connection failed at an earlier request (%1)").arg(m_broken);
    if (m_ctx)
        return std::nullopt;

    // libmodbus reports a name it cannot resolve as a refused connection: ask first.
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    const QByteArray host = m_endpoint.host.toUtf8();
    const QByteArray service = QByteArray::number(m_endpoint.port);
    if (const int rc = getaddrinfo(host.constData(), service.constData(), &hints, &found); rc != 0) {
        m_broken = QStringLiteral("unknown host \"%1\" (%2)").arg(m_endpoint.host, QString::fromLocal8Bit(gai_strerror(rc)));
        return m_broken;
    }
    freeaddrinfo(found);

    m_ctx = modbus_new_tcp_pi(host.constData(), service.constData());
    if (!m_ctx) {
        m_broken = QString::fromLocal8Bit(modbus_strerror(errno));
        return m_broken;
    }
    const uint32_t seconds = uint32_t(m_endpoint.timeoutMs / 1000);
    const uint32_t micros = uint32_t(m_endpoint.timeoutMs % 1000) * 1000;
    modbus_set_response_timeout(m_ctx, seconds, micros);
    modbus_set_byte_timeout(m_ctx, seconds, micros);
    modbus_set_error_recovery(m_ctx, MODBUS_ERROR_RECOVERY_NONE);
    modbus_set_slave(m_ctx, m_unit);
    if (modbus_connect(m_ctx) == -1) {
        const int error = errno;
        modbus_free(m_ctx);
        m_ctx = nullptr;
        m_broken = error == ETIMEDOUT ? QStringLiteral("no connection within %1 ms").arg(m_endpoint.timeoutMs)
                                      : QStringLiteral("cannot connect (%1)").arg(QString::fromLocal8Bit(modbus_strerror(error)));
        return m_broken;
    }
    return std::nullopt;
}

std::optional<QString> ModbusTransport::answered(int rc, int count)
{
    if (rc == -1)
        return failure(errno);
    if (rc != count) {
        m_broken = QStringLiteral("the device answered for %1 registers instead of %2").arg(rc).arg(count);
        return m_broken;
    }
    return std::nullopt;
}

std::optional<QString> ModbusTransport::write(int address, const quint16 *values, int count)
{
    Q_ASSERT(count >= 1 && count <= MaxWrite);
    if (auto error = connect())
        return error;
    ++m_requests;
    return answered(modbus_write_registers(m_ctx, address, count, values), count);
}

std::optional<QString> ModbusTransport::read(int address, int count, quint16 *values)
{
    Q_ASSERT(count >= 1 && count <= MaxRead);
    if (auto error = connect())
        return error;
    ++m_requests;
    return answered(modbus_read_registers(m_ctx, address, count, values), count);
}

} // namespace tkl
