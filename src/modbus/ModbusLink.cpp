#include "ModbusLink.h"

#include "modbus/ModbusRtuLink.h"
#include "modbus/ModbusTcpLink.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tkl {

std::unique_ptr<ModbusLink> ModbusLink::create(const ModbusEndpoint &endpoint)
{
    if (endpoint.isSerial())
        return std::make_unique<ModbusRtuLink>(endpoint);
    return std::make_unique<ModbusTcpLink>(endpoint);
}

ModbusLink::Received ModbusLink::receive(int fd, char *into, qsizetype size, const QDeadlineTimer &deadline)
{
    qsizetype got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, into + got, size_t(size - got));
        if (n > 0) {
            got += n;
            continue;
        }
        if (n == 0)
            return Received::Closed;
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return errno == ECONNRESET ? Received::Closed : Received::Failed;
        // The deadline bounds the whole answer, however slowly its bytes trickle in.
        const qint64 left = deadline.remainingTime();
        if (left == 0)
            return Received::TimedOut;
        pollfd p{fd, POLLIN, 0};
        const int rc = ::poll(&p, 1, int(std::min<qint64>(left, 1 << 30)));
        if (rc == 0)
            return Received::TimedOut;
        if (rc < 0 && errno != EINTR)
            return Received::Failed;
    }
    return Received::All;
}

QString ModbusLink::receiveFailure(Received what) const
{
    switch (what) {
    case Received::TimedOut:
        return QStringLiteral("no answer within %1 ms").arg(m_endpoint.timeoutMs);
    case Received::Closed:
        return QStringLiteral("the device closed the connection");
    default:
        return errno ? QString::fromLocal8Bit(std::strerror(errno)) : QStringLiteral("the line hung up");
    }
}

} // namespace tkl
