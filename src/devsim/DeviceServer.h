#pragma once

#include "devsim/ServedNodes.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <vector>

namespace tkl::devsim {

/// Faults the simulated devices make on purpose, for tests and demonstrations. Requests
/// are counted per connection from 1, so that every download over a fresh connection
/// meets the fault at the same request.
struct FaultOptions
{
    int delayMs = 0;     ///< every reply waits this long
    int exceptionAt = 0; ///< the n-th write request gets a "server device failure" exception
    int dropAt = 0;      ///< the n-th request closes the connection instead of a reply
    bool refuse = false; ///< no node listens, so connecting is refused
};

/// Printing devices that speak Modbus TCP: every served node listens on 127.0.0.1 at its
/// port and holds its printer ports as blocks of holding registers, each at its base and
/// addressed by its unit id, laid out by the shared register map. Function codes 3 (read
/// holding registers), 6 (write single register) and 16 (write multiple registers).
///
/// A request to a unit the node has no port for gets exception 11 (gateway target
/// device failed to respond), registers outside every block of the unit exception 2
/// (illegal data address), a value the device cannot hold exception 3 (illegal data
/// value), and any other function code exception 1. Each connection is served by its own
/// thread, so clients and nodes do not wait for each other.
class DeviceServer
{
public:
    /// One line per request, from any connection's thread (calls are serialised).
    using LineSink = std::function<void(const QString &)>;

    explicit DeviceServer(const QList<ServedNode> &nodes, const FaultOptions &faults = {});
    ~DeviceServer();

    DeviceServer(const DeviceServer &) = delete;
    DeviceServer &operator=(const DeviceServer &) = delete;

    /// A request as it arrived, before any fault or check.
    struct Request
    {
        int unit = 0;
        int function = 0;
        int address = 0;
        int count = 0;
        std::vector<uint16_t> values; ///< what a write carries
    };
    using RequestSink = std::function<void(const Request &)>;

    /// Reports every request to `sink` (before listen()).
    void setVerbose(LineSink sink) { m_sink = std::move(sink); }

    /// Hands every request to `observer` (before listen()), e.g. to replay them elsewhere.
    void setObserver(RequestSink observer) { m_observer = std::move(observer); }

    /// Opens the listening sockets (none when refusing). On failure returns false with
    /// `error` naming the node and the endpoint.
    bool listen(QString *error);

    /// Serves until stop(), then closes every connection and returns.
    void run();

    /// Makes run() return. Safe from any thread and from a signal handler.
    void stop();

    /// Requests received since the server was built, over every connection.
    quint64 requests() const { return m_requests.load(); }

    /// What the device of printer port `portName` holds now, one value per register from
    /// its base; empty for a port no node serves.
    std::vector<uint16_t> registers(const QString &portName) const;

private:
    struct Block;
    struct Node;
    struct Connection;
    enum class Outcome { Replied, Drop };

    void serve(Connection &connection);
    Outcome handle(Node &node, void *ctx, const uint8_t *request, int length, int number, int &writes,
                   QString &line);
    void report(const QString &line);
    void reap(bool all);

    FaultOptions m_faults;
    LineSink m_sink;
    RequestSink m_observer;
    std::vector<std::unique_ptr<Node>> m_nodes;
    std::list<std::unique_ptr<Connection>> m_connections; // touched by run() only
    int m_wake[2] = {-1, -1};
    std::atomic<quint64> m_requests{0};
    std::mutex m_sinkMutex;
};

} // namespace tkl::devsim
