#pragma once

#include "devsim/PortRegisters.h"
#include "devsim/ServedNodes.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace tkl::devsim {

/// Faults the simulated devices make on purpose, for tests and demonstrations. Requests
/// are counted per connection (per serial line) from 1, so that every download over a
/// fresh connection meets the fault at the same request.
struct FaultOptions
{
    int delayMs = 0;      ///< every reply waits this long
    int exceptionAt = 0;  ///< the n-th write request gets a "server device failure" exception
    int dropAt = 0;       ///< the n-th request closes the connection (serial: stays unanswered)
    bool refuse = false;  ///< no node listens, so connecting is refused
    int idleMs = 60000;   ///< a TCP connection without a request for this long is closed
};

/// A request as it arrived, before any fault or check.
struct DeviceRequest
{
    int unit = 0;
    int function = 0;
    int address = 0;
    int count = 0;
    std::vector<uint16_t> values; ///< what a write carries
};

/// One served node's registers: its printer ports as blocks of holding registers, and
/// the answer to one request PDU. Thread-safe: connections of one node share it.
class NodeDevice
{
public:
    explicit NodeDevice(const ServedNode &node);

    const ServedNode &served() const { return m_served; }

    /// Whether a port of the node has `unit`.
    bool hasUnit(int unit) const;

    /// What became of a request.
    struct Answer
    {
        enum Kind { Replied, Drop } kind = Replied;
        QByteArray pdu;   ///< the reply's PDU
        QString line;     ///< the request's --verbose line
    };

    /// Per connection (or line): how many requests and writes it has had.
    struct Counters
    {
        int requests = 0;
        int writes = 0;
    };

    /// Answers the request `pdu` for `unit`, counting it in `counters` and making the
    /// faults of `faults` that fall on it. `observer` (when set) sees the request first.
    Answer answer(int unit, const QByteArray &pdu, const FaultOptions &faults, Counters &counters,
                  const std::function<void(const DeviceRequest &)> &observer);

    /// The registers of printer port `portName` from its base; empty when not this node's.
    std::vector<uint16_t> registers(const QString &portName) const;

private:
    struct Block
    {
        ModbusPortAddress served;
        PortRegisters registers;
        std::vector<uint16_t> data;
        explicit Block(const PrinterPort &p);
    };

    Block *blockFor(int unit, int address, int count, bool *unitKnown);
    QByteArray perform(Block &block, const DeviceRequest &r, bool write);

    ServedNode m_served;
    std::vector<std::unique_ptr<Block>> m_blocks;
    mutable std::mutex m_mutex; // the blocks' registers
};

} // namespace tkl::devsim
