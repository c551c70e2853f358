#include "DeviceServer.h"

#include "devsim/PortRegisters.h"

#include <modbus/modbus.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <thread>

namespace tkl::devsim {

namespace {

constexpr int HeaderLength = 7;       // MBAP header: transaction, protocol, length, unit
constexpr int MaxConnections = 256;   // beyond this a new connection is closed at once

int word(const uint8_t *p)
{
    return (p[0] << 8) | p[1];
}

QString exceptionText(int code)
{
    switch (code) {
    case MODBUS_EXCEPTION_ILLEGAL_FUNCTION: return QStringLiteral("illegal function");
    case MODBUS_EXCEPTION_ILLEGAL_DATA_ADDRESS: return QStringLiteral("illegal data address");
    case MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE: return QStringLiteral("illegal data value");
    case MODBUS_EXCEPTION_SLAVE_OR_SERVER_FAILURE: return QStringLiteral("server device failure");
    case MODBUS_EXCEPTION_GATEWAY_TARGET: return QStringLiteral("gateway target device failed to respond");
    default: return QStringLiteral("exception");
    }
}

// Short enough for one line: every name of a few, the first and last of many.
QString namesText(const QStringList &names)
{
    if (names.size() <= 4)
        return names.join(u", ");
    return QStringLiteral("%1 .. %2 (%3 variables)").arg(names.first(), names.last()).arg(names.size());
}

// A request taken apart; `wellFormed` is false when its counts and lengths do not agree.
struct ParsedRequest
{
    DeviceServer::Request request;
    bool write = false;
    bool wellFormed = true;
};

ParsedRequest parse(const uint8_t *request, int length)
{
    ParsedRequest parsed;
    DeviceServer::Request &r = parsed.request;
    r.unit = request[HeaderLength - 1];
    r.function = request[HeaderLength];
    const uint8_t *pdu = request + HeaderLength;
    parsed.write = r.function == MODBUS_FC_WRITE_SINGLE_REGISTER || r.function == MODBUS_FC_WRITE_MULTIPLE_REGISTERS;
    r.address = length >= HeaderLength + 3 ? word(pdu + 1) : 0;
    switch (r.function) {
    case MODBUS_FC_READ_HOLDING_REGISTERS:
        r.count = length >= HeaderLength + 5 ? word(pdu + 3) : 0;
        parsed.wellFormed = r.count >= 1 && r.count <= MODBUS_MAX_READ_REGISTERS;
        break;
    case MODBUS_FC_WRITE_SINGLE_REGISTER:
        r.count = 1;
        parsed.wellFormed = length >= HeaderLength + 5;
        if (parsed.wellFormed)
            r.values.push_back(uint16_t(word(pdu + 3)));
        break;
    case MODBUS_FC_WRITE_MULTIPLE_REGISTERS:
        r.count = length >= HeaderLength + 6 ? word(pdu + 3) : 0;
        parsed.wellFormed = r.count >= 1 && r.count <= MODBUS_MAX_WRITE_REGISTERS && pdu[5] == 2 * r.count
            && length >= HeaderLength + 6 + 2 * r.count;
        for (int i = 0; parsed.wellFormed && i < r.count; ++i)
            r.values.push_back(uint16_t(word(pdu + 6 + 2 * i)));
        break;
    default:
        break;
    }
    return parsed;
}

// The start of a request's line in the --verbose output.
QString requestLine(const ServedNode &node, int number, const ParsedRequest &parsed)
{
    const DeviceServer::Request &r = parsed.request;
    return QStringLiteral("%1:%2 #%3 unit %4 %5 %6 count %7")
        .arg(node.name)
        .arg(node.tcpPort)
        .arg(number)
        .arg(r.unit)
        .arg(r.function == MODBUS_FC_READ_HOLDING_REGISTERS ? QStringLiteral("read")
                 : parsed.write                                ? QStringLiteral("write")
                                                               : QStringLiteral("function %1").arg(r.function))
        .arg(r.address)
        .arg(r.count);
}

// The exception a request gets instead of a reply; `why` empty for the code's own text.
struct Refusal
{
    int code = 0;
    QString why;
};

// Why the request is refused, checked in this order; nothing when it is served.
// `registers` are those of the block that holds the request (nullptr: none does), from
// `first`; `faultDue` when this write is the one --exception-at names (the `writes`-th).
std::optional<Refusal> refusal(const ParsedRequest &parsed, bool unitKnown, const PortRegisters *registers, int first,
                               bool faultDue, int writes)
{
    const DeviceServer::Request &r = parsed.request;
    if (r.function != MODBUS_FC_READ_HOLDING_REGISTERS && !parsed.write)
        return Refusal{MODBUS_EXCEPTION_ILLEGAL_FUNCTION, {}};
    if (!parsed.wellFormed)
        return Refusal{MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE, QStringLiteral("malformed request")};
    if (!unitKnown)
        return Refusal{MODBUS_EXCEPTION_GATEWAY_TARGET, QStringLiteral("no port has unit %1").arg(r.unit)};
    if (!registers)
        return Refusal{MODBUS_EXCEPTION_ILLEGAL_DATA_ADDRESS, {}};
    if (faultDue) {
        return Refusal{MODBUS_EXCEPTION_SLAVE_OR_SERVER_FAILURE,
                       QStringLiteral("server device failure, --exception-at %1").arg(writes)};
    }
    if (parsed.write) {
        if (QString why = registers->refusal(first, r.values.data(), r.count); !why.isEmpty())
            return Refusal{MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE, std::move(why)};
    }
    return std::nullopt;
}

} // namespace

struct DeviceServer::Block
{
    ModbusPortAddress served;
    PortRegisters registers;
    std::vector<uint16_t> data;

    explicit Block(const PrinterPort &p)
        : served(addressOf(p))
        , registers(p)
        , data(std::size_t(registers.count()), 0)
    {
    }
};

struct DeviceServer::Node
{
    ServedNode served;
    std::vector<std::unique_ptr<Block>> blocks;
    int listenFd = -1;
    mutable std::mutex mutex; // the blocks' registers

    // The block of `unit` that holds registers [address, address + count), or nullptr.
    Block *blockFor(int unit, int address, int count, bool *unitKnown)
    {
        *unitKnown = false;
        for (auto &b : blocks) {
            if (b->served.unit != unit)
                continue;
            *unitKnown = true;
            if (address >= b->served.base && address + count <= b->served.base + b->registers.count())
                return b.get();
        }
        return nullptr;
    }
};

struct DeviceServer::Connection
{
    Node *node = nullptr;
    int fd = -1;
    std::thread thread;
    std::atomic<bool> done{false};
};

DeviceServer::DeviceServer(const QList<ServedNode> &nodes, const FaultOptions &faults)
    : m_faults(faults)
{
    for (const ServedNode &n : nodes) {
        auto node = std::make_unique<Node>();
        node->served = n;
        for (const PrinterPort &p : n.ports)
            node->blocks.push_back(std::make_unique<Block>(p));
        m_nodes.push_back(std::move(node));
    }
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
    for (int fd : m_wake) {
        if (fd >= 0)
            ::close(fd);
    }
}

bool DeviceServer::listen(QString *error)
{
    if (m_wake[0] < 0) {
        *error = QStringLiteral("cannot make a pipe: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    if (m_faults.refuse)
        return true;
    for (auto &node : m_nodes) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(quint16(node->served.tcpPort));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd < 0 || ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0
            || ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || ::listen(fd, 64) != 0) {
            *error = QStringLiteral("%1: cannot listen on 127.0.0.1:%2: %3")
                         .arg(node->served.name)
                         .arg(node->served.tcpPort)
                         .arg(QString::fromLocal8Bit(std::strerror(errno)));
            if (fd >= 0)
                ::close(fd);
            return false;
        }
        node->listenFd = fd;
    }
    return true;
}

void DeviceServer::stop()
{
    const char byte = 1;
    if (m_wake[1] >= 0)
        [[maybe_unused]] const auto ignored = ::write(m_wake[1], &byte, 1);
}

void DeviceServer::run()
{
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
    reap(true);
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

void DeviceServer::serve(Connection &connection)
{
    Node &node = *connection.node;
    modbus_t *ctx = modbus_new_tcp("127.0.0.1", node.served.tcpPort);
    if (ctx) {
        modbus_set_socket(ctx, connection.fd);
        uint8_t request[MODBUS_TCP_MAX_ADU_LENGTH];
        int number = 0;
        int writes = 0;
        for (;;) {
            const int length = modbus_receive(ctx, request);
            if (length == 0)
                continue;
            if (length < 0) {
                // A peer that closes is the normal end; anything else is worth a line.
                if (errno != ECONNRESET && errno != 0 && m_sink)
                    report(QStringLiteral("%1:%2 connection closed: %3")
                               .arg(node.served.name)
                               .arg(node.served.tcpPort)
                               .arg(QString::fromLocal8Bit(modbus_strerror(errno))));
                break;
            }
            ++m_requests;
            QString line;
            const Outcome outcome = handle(node, ctx, request, length, ++number, writes, line);
            if (m_sink)
                report(line);
            if (outcome == Outcome::Drop)
                break;
        }
        modbus_free(ctx); // not modbus_close: run() closes the socket once the thread is joined
    }
    ::shutdown(connection.fd, SHUT_RDWR); // the client sees the end now
    connection.done = true;
}

DeviceServer::Outcome DeviceServer::handle(Node &node, void *context, const uint8_t *request, int length,
                                           int number, int &writes, QString &line)
{
    auto *ctx = static_cast<modbus_t *>(context);
    const ParsedRequest parsed = parse(request, length);
    const Request &r = parsed.request;
    if (parsed.write)
        ++writes;
    if (m_observer) {
        std::lock_guard lock(m_sinkMutex);
        m_observer(r);
    }
    line = requestLine(node.served, number, parsed);

    // What the request touches goes on the line whatever becomes of it.
    const bool known = (parsed.write || r.function == MODBUS_FC_READ_HOLDING_REGISTERS) && parsed.wellFormed;
    bool unitKnown = false;
    Block *block = known ? node.blockFor(r.unit, r.address, r.count, &unitKnown) : nullptr;
    const int first = block ? r.address - block->served.base : 0;
    if (block) {
        line += QStringLiteral(": ")
            + namesText(parsed.write ? block->registers.describeWrite(first, r.values.data(), r.count)
                                     : block->registers.namesIn(first, r.count));
    }

    if (m_faults.dropAt > 0 && number == m_faults.dropAt) {
        line += QStringLiteral(" -> connection dropped (--drop-at %1)").arg(number);
        return Outcome::Drop;
    }
    if (m_faults.delayMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(m_faults.delayMs));

    const bool faultDue = parsed.write && m_faults.exceptionAt > 0 && writes == m_faults.exceptionAt;
    if (const auto refused = refusal(parsed, unitKnown, block ? &block->registers : nullptr, first, faultDue, writes)) {
        modbus_reply_exception(ctx, request, unsigned(refused->code));
        line += QStringLiteral(" -> exception %1 (%2)")
                    .arg(refused->code)
                    .arg(refused->why.isEmpty() ? exceptionText(refused->code) : refused->why);
        return Outcome::Replied;
    }

    modbus_mapping_t mapping{};
    std::lock_guard lock(node.mutex);
    mapping.start_registers = block->served.base;
    mapping.nb_registers = block->registers.count();
    mapping.tab_registers = block->data.data();
    if (modbus_reply(ctx, request, length, &mapping) < 0)
        line += QStringLiteral(" -> reply failed: %1").arg(QString::fromLocal8Bit(modbus_strerror(errno)));
    else
        line += QStringLiteral(" -> ok");
    return Outcome::Replied;
}

std::vector<uint16_t> DeviceServer::registers(const QString &portName) const
{
    for (const auto &node : m_nodes) {
        std::lock_guard lock(node->mutex);
        for (const auto &block : node->blocks) {
            if (block->registers.port().name == portName)
                return block->data;
        }
    }
    return {};
}

} // namespace tkl::devsim
