#include "ModbusTcpLink.h"

#include "modbus/ModbusPdu.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace tkl {

namespace {

constexpr int HeaderLength = 7;
constexpr int MaxLength = 254; // unit and the largest PDU

QString errorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

void ModbusTcpLink::close()
{
    m_inbox.clear();
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

int ModbusTcpLink::connectTo(const void *address, unsigned length, int family, const QDeadlineTimer &deadline)
{
    m_fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_fd < 0)
        return errno;
    if (::connect(m_fd, static_cast<const sockaddr *>(address), socklen_t(length)) == 0)
        return 0;
    if (errno != EINPROGRESS)
        return errno;
    pollfd p{m_fd, POLLOUT, 0};
    int rc;
    do {
        rc = ::poll(&p, 1, int(std::min<qint64>(deadline.remainingTime(), 1 << 30)));
    } while (rc < 0 && errno == EINTR && !deadline.hasExpired());
    if (rc == 0 || (rc < 0 && errno == EINTR))
        return ETIMEDOUT;
    int error = 0;
    socklen_t size = sizeof error;
    if (rc < 0 || ::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0)
        return errno;
    return error;
}

std::optional<QString> ModbusTcpLink::open()
{
    // Asked first, so that a name nobody knows is not reported as a refused connection.
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    const QByteArray host = m_endpoint.host.toUtf8();
    const QByteArray service = QByteArray::number(m_endpoint.port);
    if (const int rc = getaddrinfo(host.constData(), service.constData(), &hints, &found); rc != 0)
        return QStringLiteral("unknown host \"%1\" (%2)").arg(m_endpoint.host, QString::fromLocal8Bit(gai_strerror(rc)));

    const QDeadlineTimer deadline(m_endpoint.timeoutMs);
    int error = 0;
    for (addrinfo *a = found; a; a = a->ai_next) {
        error = connectTo(a->ai_addr, a->ai_addrlen, a->ai_family, deadline);
        if (error == 0)
            break;
        close();
        if (error == ETIMEDOUT)
            break;
    }
    freeaddrinfo(found);
    if (error == ETIMEDOUT)
        return QStringLiteral("no connection within %1 ms").arg(m_endpoint.timeoutMs);
    if (error != 0)
        return QStringLiteral("cannot connect (%1)").arg(errorText(error));
    const int on = 1;
    ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return std::nullopt;
}

ModbusLink::Received ModbusTcpLink::take(char *into, qsizetype size, const QDeadlineTimer &deadline)
{
    char buffer[1024];
    while (m_inbox.size() < size) {
        // The deadline bounds the whole answer, however slowly its bytes trickle in.
        pollfd p{m_fd, POLLIN, 0};
        const int rc = ::poll(&p, 1, int(std::min<qint64>(deadline.remainingTime(), 1 << 30)));
        if (rc == 0)
            return Received::TimedOut;
        if (rc < 0 && errno != EINTR)
            return Received::Failed;
        const ssize_t n = rc < 0 ? -1 : ::recv(m_fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0)
            m_inbox.append(buffer, n);
        else if (n == 0 || errno == ECONNRESET)
            return Received::Closed;
        else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return Received::Failed;
    }
    std::memcpy(into, m_inbox.constData(), size_t(size));
    m_inbox.remove(0, size);
    return Received::All;
}

int ModbusTcpLink::strayBytes()
{
    int stray = int(std::exchange(m_inbox, {}).size());
    char buffer[512];
    for (;;) {
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) {
            stray += int(n);
            continue;
        }
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
            return stray > 0 ? stray : -1;
        if (errno != EINTR)
            return stray;
    }
}

std::optional<QString> ModbusTcpLink::exchange(int unit, const QByteArray &pdu, QByteArray *reply)
{
    using ModbusPdu::word;
    // A late or doubled answer to an earlier request lands here before this one goes out.
    if (const int stray = strayBytes(); stray != 0) {
        if (stray < 0)
            return QStringLiteral("the device closed the connection");
        return QStringLiteral("the device sent %1 bytes that answer no request").arg(stray);
    }
    m_transaction = quint16(m_transaction + 1);
    QByteArray frame;
    ModbusPdu::appendWord(frame, m_transaction);
    ModbusPdu::appendWord(frame, 0);
    ModbusPdu::appendWord(frame, int(pdu.size()) + 1);
    frame.append(char(unit));
    frame += pdu;
    for (qsizetype sent = 0; sent < frame.size();) {
        const ssize_t n = ::send(m_fd, frame.constData() + sent, size_t(frame.size() - sent), MSG_NOSIGNAL);
        if (n > 0) {
            sent += n;
            continue;
        }
        if (errno == EAGAIN || errno == EINTR) {
            pollfd p{m_fd, POLLOUT, 0};
            ::poll(&p, 1, m_endpoint.timeoutMs);
            continue;
        }
        if (errno == EPIPE || errno == ECONNRESET)
            return QStringLiteral("the device closed the connection");
        return errorText(errno);
    }

    const QDeadlineTimer deadline(m_endpoint.timeoutMs);
    QByteArray header(HeaderLength, '\0');
    if (const Received r = take(header.data(), HeaderLength, deadline); r != Received::All)
        return receiveFailure(r);
    if (const int protocol = word(header, 2); protocol != 0)
        return QStringLiteral("the device answered with protocol id %1, not 0").arg(protocol);
    const int length = word(header, 4);
    if (length < 3 || length > MaxLength)
        return QStringLiteral("the device answered with MBAP length %1, outside 3..%2").arg(length).arg(MaxLength);
    if (const int answered = word(header, 0); answered != m_transaction)
        return QStringLiteral("the device answered transaction %1, asked transaction %2").arg(answered).arg(m_transaction);
    if (const int answered = quint8(header.at(6)); answered != unit)
        return QStringLiteral("the device answered for unit %1, asked unit %2").arg(answered).arg(unit);
    // The PDU's own head says how long it is: a header that says otherwise fails now,
    // not after waiting for bytes that never come.
    reply->resize(length - 1);
    qsizetype head = 1;
    if (const Received r = take(reply->data(), head, deadline); r != Received::All)
        return receiveFailure(r);
    if (const int function = quint8(reply->at(0)); function != quint8(pdu.at(0)) && function != (quint8(pdu.at(0)) | 0x80))
        return QStringLiteral("the device answered with function code %1, asked %2").arg(function).arg(quint8(pdu.at(0)));
    if (ModbusPdu::replyLength(reply->left(head)) == 0 && reply->size() > 1) {
        if (const Received r = take(reply->data() + head, 1, deadline); r != Received::All)
            return receiveFailure(r);
        ++head;
    }
    if (const int due = ModbusPdu::replyLength(reply->left(head)); due > 0 && due != reply->size())
        return QStringLiteral("the device answered with MBAP length %1 for an answer of %2 bytes").arg(length).arg(due + 1);
    if (const Received r = take(reply->data() + head, reply->size() - head, deadline); r != Received::All)
        return receiveFailure(r);
    if (const int stray = strayBytes(); stray > 0)
        return QStringLiteral("the device sent %1 bytes more than its answer").arg(stray);
    return std::nullopt;
}

} // namespace tkl
