#pragma once

#include "devsim/NodeDevice.h"
#include "devsim/ServedNodes.h"

#include <QHash>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace tkl::devsim {

/// Printing devices that speak Modbus: every served TCP node listens on 127.0.0.1 at its
/// port, every served serial node answers on its line (Modbus RTU), and each holds its
/// printer ports as blocks of holding registers, each at its base and addressed by its
/// unit id, laid out by the shared register map. Function codes 3 (read holding
/// registers), 6 (write single register) and 16 (write multiple registers).
///
/// A TCP request is framed by its header's length: a header that cannot be a request's
/// (protocol id other than 0, a length below 2 or above 262) closes the connection, and
/// a PDU whose length does not fit its function gets exception 3. A request to a unit the
/// node has no port for gets exception 11 (on a serial line: no answer, as no device has
/// that address), registers outside every block of the unit exception 2, a value the
/// device cannot hold exception 3, and any other function code exception 1. A serial
/// frame whose CRC does not match is not answered. Each TCP connection and each serial
/// line is served by its own thread; a TCP connection idle for FaultOptions::idleMs is
/// closed.
class DeviceServer
{
public:
    /// One line per request, from any connection's thread (calls are serialised).
    using LineSink = std::function<void(const QString &)>;

    /// `serialPaths`: the path to open for each serial line of the description, by the
    /// line's name there; a line without one is not served.
    explicit DeviceServer(const QList<ServedNode> &nodes, const FaultOptions &faults = {},
                          const QHash<QString, QString> &serialPaths = {});
    ~DeviceServer();

    DeviceServer(const DeviceServer &) = delete;
    DeviceServer &operator=(const DeviceServer &) = delete;

    using Request = DeviceRequest;
    using RequestSink = std::function<void(const Request &)>;

    /// Reports every request to `sink` (before listen()).
    void setVerbose(LineSink sink) { m_sink = std::move(sink); }

    /// Hands every request to `observer` (before listen()), e.g. to replay them elsewhere.
    void setObserver(RequestSink observer) { m_observer = std::move(observer); }

    /// Opens the listening sockets (none when refusing) and the serial lines. On failure
    /// returns false with `error` naming the node and the endpoint.
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
    struct Node;
    struct Connection;
    struct Line;

    void serve(Connection &connection);
    void serveLine(Line &line);
    NodeDevice::Answer answer(NodeDevice &device, int unit, const QByteArray &pdu, NodeDevice::Counters &counters);
    void report(const QString &line);
    void reap(bool all);

    FaultOptions m_faults;
    QHash<QString, QString> m_serialPaths;
    LineSink m_sink;
    RequestSink m_observer;
    std::vector<std::unique_ptr<Node>> m_nodes;
    std::vector<std::unique_ptr<Line>> m_lines;
    std::list<std::unique_ptr<Connection>> m_connections; // touched by run() only
    int m_wake[2] = {-1, -1};
    std::atomic<bool> m_stopping{false};
    std::atomic<quint64> m_requests{0};
    std::mutex m_sinkMutex;
};

} // namespace tkl::devsim
