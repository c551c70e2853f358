#include "DeviceServer.h"

#include "modbus/ModbusPdu.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <QDeadlineTimer>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace tkl::devsim {

namespace {

using ModbusPdu::word;

constexpr int HeaderLength = 7;     // MBAP header: transaction, protocol, length, unit
constexpr int MaxLength = 1 + 261;  // the unit and the longest PDU a byte count allows
constexpr int MaxConnections = 256; // beyond this a new connection is closed at once

enum class Got { All, Closed, TimedOut };

// Reads exactly `size` bytes from `fd` before `deadline`.
Got readFully(int fd, char *into, int size, const QDeadlineTimer &deadline)
{
    int got = 0;
    while (got < size) {
        pollfd p{fd, POLLIN, 0};
        const int rc = ::poll(&p, 1, int(std::min<qint64>(deadline.remainingTime(), 1 << 30)));
        if (rc < 0 && errno == EINTR)
            continue;
        if (rc == 0)
            return Got::TimedOut;
        const ssize_t n = rc < 0 ? -1 : ::recv(fd, into + got, size_t(size - got), 0);
        if (n <= 0) {
            if (n < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            return Got::Closed;
        }
        got += int(n);
    }
    return Got::All;
}

QString errnoText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// The speed constant of `baud`; B19200 for one termios does not know.
speed_t speedOf(int baud)
{
    switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B19200;
    }
}

} // namespace

struct DeviceServer::Node
{
    NodeDevice device;
    int listenFd = -1;
    explicit Node(const ServedNode &n)
        : device(n)
    {
    }
};

struct DeviceServer::Connection
{
    Node *node = nullptr;
    int fd = -1;
    std::thread thread;
    std::atomic<bool> done{false};
};

struct DeviceServer::Line
{
    QString name;             ///< as the description names the line
    QString path;             ///< what was opened
    int fd = -1;
    int gapMicros = 1750;     ///< the silence that ends a frame
    std::vector<Node *> nodes;
    std::thread thread;
};

DeviceServer::DeviceServer(const QList<ServedNode> &nodes, const FaultOptions &faults,
                           const QHash<QString, QString> &serialPaths)
    : m_faults(faults)
    , m_serialPaths(serialPaths)
{
    for (const ServedNode &n : nodes)
        m_nodes.push_back(std::make_unique<Node>(n));
    if (pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0)
        m_wake[0] = m_wake[1] = -1;
}

DeviceServer::~DeviceServer()
{
    reap(true);
    for (auto &node : m_nodes) {
        if (node->listenFd >= 0)
            ::close(node->listenFd);
    }
    for (auto &line : m_lines) {
        if (line->fd >= 0)
            ::close(line->fd);
    }
    for (int fd : m_wake) {
        if (fd >= 0)
            ::close(fd);
    }
}

bool DeviceServer::listen(QString *error)
{
    if (m_wake[0] < 0) {
        *error = QStringLiteral("cannot make a pipe: %1").arg(errnoText());
        return false;
    }
    if (m_faults.refuse)
        return true;
    for (auto &node : m_nodes) {
        const ServedNode &served = node->device.served();
        if (served.isSerial())
            continue;
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(quint16(served.tcpPort));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd < 0 || ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0
            || ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || ::listen(fd, 64) != 0) {
            *error = QStringLiteral("%1: cannot listen on 127.0.0.1:%2: %3").arg(served.name).arg(served.tcpPort).arg(errnoText());
            if (fd >= 0)
                ::close(fd);
            return false;
        }
        node->listenFd = fd;
    }
    for (auto &node : m_nodes) {
        const ServedNode &served = node->device.served();
        if (!served.isSerial() || !m_serialPaths.contains(served.serial))
            continue;
        Line *line = nullptr;
        for (auto &l : m_lines) {
            if (l->name == served.serial)
                line = l.get();
        }
        if (!line) {
            auto opened = std::make_unique<Line>();
            opened->name = served.serial;
            opened->path = m_serialPaths.value(served.serial);
            opened->gapMicros = served.baud > 19200 ? 1750 : int(3.5 * 11 * 1'000'000 / served.baud);
            opened->fd = ::open(opened->path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
            termios tio{};
            if (opened->fd < 0 || ::tcgetattr(opened->fd, &tio) != 0) {
                *error = QStringLiteral("%1: cannot open serial line %2: %3").arg(served.name, opened->path, errnoText());
                return false;
            }
            ::cfmakeraw(&tio);
            ::cfsetspeed(&tio, speedOf(served.baud));
            ::tcsetattr(opened->fd, TCSANOW, &tio);
            line = opened.get();
            m_lines.push_back(std::move(opened));
        }
        line->nodes.push_back(node.get());
    }
    return true;
}

void DeviceServer::stop()
{
    m_stopping = true;
    const char byte = 1;
    if (m_wake[1] >= 0)
        [[maybe_unused]] const auto ignored = ::write(m_wake[1], &byte, 1);
}

void DeviceServer::run()
{
    for (auto &line : m_lines)
        line->thread = std::thread([this, l = line.get()] { serveLine(*l); });
    std::vector<pollfd> fds;
    fds.push_back({m_wake[0], POLLIN, 0});
    for (auto &node : m_nodes) {
        if (node->listenFd >= 0)
            fds.push_back({node->listenFd, POLLIN, 0});
    }
    for (;;) {
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[0].revents)
            break;
        reap(false);
        for (std::size_t i = 1; i < fds.size(); ++i) {
            if (!(fds[i].revents & POLLIN))
                continue;
            const int fd = ::accept4(fds[i].fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            if (m_connections.size() >= MaxConnections) {
                ::close(fd);
                continue;
            }
            const int on = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            auto connection = std::make_unique<Connection>();
            connection->fd = fd;
            for (auto &node : m_nodes) {
                if (node->listenFd == fds[i].fd)
                    connection->node = node.get();
            }
            Connection &c = *connection;
            m_connections.push_back(std::move(connection));
            c.thread = std::thread([this, &c] { serve(c); });
        }
    }
    m_stopping = true;
    reap(true);
    for (auto &line : m_lines) {
        if (line->thread.joinable())
            line->thread.join();
    }
}

void DeviceServer::reap(bool all)
{
    for (auto it = m_connections.begin(); it != m_connections.end();) {
        Connection &c = **it;
        if (all && !c.done)
            ::shutdown(c.fd, SHUT_RDWR); // wakes the thread out of its receive
        if (all || c.done) {
            c.thread.join();
            ::close(c.fd);
            it = m_connections.erase(it);
        } else {
            ++it;
        }
    }
}

void DeviceServer::report(const QString &line)
{
    if (!m_sink)
        return;
    std::lock_guard lock(m_sinkMutex);
    m_sink(line);
}

NodeDevice::Answer DeviceServer::answer(NodeDevice &device, int unit, const QByteArray &pdu,
                                        NodeDevice::Counters &counters)
{
    ++m_requests;
    NodeDevice::Answer answer = device.answer(unit, pdu, m_faults, counters, [this](const Request &r) {
        if (m_observer) {
            std::lock_guard lock(m_sinkMutex);
            m_observer(r);
        }
    });
    report(answer.line);
    return answer;
}

void DeviceServer::serve(Connection &connection)
{
    NodeDevice &device = connection.node->device;
    const QString where = QStringLiteral("%1:%2").arg(device.served().name, device.served().where());
    NodeDevice::Counters counters;
    for (;;) {
        // Framed by the header alone: what a PDU claims about itself never decides where
        // the next request begins.
        const QDeadlineTimer idle(m_faults.idleMs);
        QByteArray header(HeaderLength, '\0');
        Got got = readFully(connection.fd, header.data(), HeaderLength, idle);
        const int length = word(header, 4);
        const int protocol = word(header, 2);
        if (got == Got::All && (protocol != 0 || length < 2 || length > MaxLength)) {
            report(QStringLiteral("%1 connection closed: a header with protocol id %2 and length %3 frames no request")
                       .arg(where)
                       .arg(protocol)
                       .arg(length));
            break;
        }
        QByteArray pdu(got == Got::All ? length - 1 : 0, '\0');
        if (got == Got::All)
            got = readFully(connection.fd, pdu.data(), int(pdu.size()), idle);
        if (got == Got::TimedOut)
            report(QStringLiteral("%1 connection closed: idle for %2 ms").arg(where).arg(m_faults.idleMs));
        if (got != Got::All)
            break;
        const int unit = quint8(header.at(6));
        const NodeDevice::Answer a = answer(device, unit, pdu, counters);
        if (a.kind == NodeDevice::Answer::Drop)
            break;
        QByteArray reply = header.left(4);
        ModbusPdu::appendWord(reply, int(a.pdu.size()) + 1);
        reply.append(char(unit));
        reply += a.pdu;
        if (::send(connection.fd, reply.constData(), size_t(reply.size()), MSG_NOSIGNAL) != reply.size())
            break;
    }
    ::shutdown(connection.fd, SHUT_RDWR); // the client sees the end now
    connection.done = true;
}

namespace {

// How long the request frame (unit, PDU, CRC) whose first bytes are `head` is: 0 while
// it cannot tell yet, -1 for a function whose frame only the silence after it ends.
int requestFrameLength(const QByteArray &head)
{
    if (head.size() < 2)
        return 0;
    switch (quint8(head.at(1))) {
    case ModbusPdu::ReadHolding:
    case ModbusPdu::WriteSingle:
        return 8;
    case ModbusPdu::WriteMultiple:
        return head.size() < 7 ? 0 : 9 + quint8(head.at(6));
    default:
        return -1;
    }
}

void writeAll(int fd, const QByteArray &bytes)
{
    for (qsizetype sent = 0; sent < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + sent, size_t(bytes.size() - sent));
        if (n > 0) {
            sent += n;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return;
        pollfd p{fd, POLLOUT, 0};
        ::poll(&p, 1, 100);
    }
}

} // namespace

void DeviceServer::serveLine(Line &line)
{
    NodeDevice::Counters counters;
    // A pseudo-terminal hands bytes over in bursts, not at the line's pace: a frame ends
    // after a silence of the line's gap, but never less than a few milliseconds.
    const int silenceMs = std::max(5, (line.gapMicros + 999) / 1000);
    const QString where = line.name;
    auto process = [&](const QByteArray &frame) {
        const qsizetype n = frame.size();
        const quint16 carried = n < 4 ? 0 : quint16(quint8(frame.at(n - 2)) | (quint8(frame.at(n - 1)) << 8));
        if (n < 4 || ModbusPdu::crc16(frame.constData(), n - 2) != carried) {
            report(QStringLiteral("%1: a frame of %2 bytes with a wrong CRC -> no answer").arg(where).arg(n));
            return;
        }
        const int unit = quint8(frame.at(0));
        Node *node = nullptr;
        for (Node *candidate : line.nodes) {
            if (candidate->device.hasUnit(unit))
                node = candidate;
        }
        if (!node) {
            report(QStringLiteral("%1: a frame for unit %2, which no device on the line has -> no answer").arg(where).arg(unit));
            return;
        }
        const NodeDevice::Answer a = answer(node->device, unit, frame.mid(1, n - 3), counters);
        if (a.kind == NodeDevice::Answer::Drop)
            return;
        std::this_thread::sleep_for(std::chrono::microseconds(line.gapMicros));
        QByteArray reply;
        reply.append(char(unit));
        reply += a.pdu;
        const quint16 crc = ModbusPdu::crc16(reply.constData(), reply.size());
        reply.append(char(crc & 0xff));
        reply.append(char(crc >> 8));
        writeAll(line.fd, reply);
    };

    QByteArray frame;
    while (!m_stopping) {
        const int due = requestFrameLength(frame);
        if (due > 0 && frame.size() >= due) {
            process(frame.left(due));
            frame.remove(0, due);
            continue;
        }
        pollfd p{line.fd, POLLIN, 0};
        const int rc = ::poll(&p, 1, frame.isEmpty() ? 100 : silenceMs);
        if (rc < 0 && errno != EINTR)
            break;
        if (rc == 0 && !frame.isEmpty()) {
            // The silence ends the frame: one of unknown length is answered for what it
            // is, a short one was cut off.
            if (due < 0)
                process(frame);
            else
                report(QStringLiteral("%1: a frame cut off after %2 bytes -> no answer").arg(where).arg(frame.size()));
            frame.clear();
            continue;
        }
        if (rc <= 0)
            continue;
        char buffer[512];
        const ssize_t n = ::read(line.fd, buffer, sizeof buffer);
        if (n > 0)
            frame.append(buffer, n);
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            std::this_thread::sleep_for(std::chrono::milliseconds(20)); // the other end is gone for now
    }
}

std::vector<uint16_t> DeviceServer::registers(const QString &portName) const
{
    for (const auto &node : m_nodes) {
        if (auto found = node->device.registers(portName); !found.empty())
            return found;
    }
    return {};
}

} // namespace tkl::devsim
