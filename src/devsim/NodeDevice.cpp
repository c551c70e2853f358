#include "NodeDevice.h"

#include "modbus/ModbusPdu.h"

#include <chrono>
#include <optional>
#include <thread>

namespace tkl::devsim {

namespace {

using ModbusPdu::word;

// What one request may carry: the protocol's limits, kept here apart from the client's so
// that the device holds a client to them.
constexpr int MaxReadRegisters = 125;
constexpr int MaxWriteRegisters = 123;

enum Exception { IllegalFunction = 1, IllegalAddress = 2, IllegalValue = 3, DeviceFailure = 4, GatewayTarget = 11 };

QString exceptionText(int code)
{
    switch (code) {
    case IllegalFunction: return QStringLiteral("illegal function");
    case IllegalAddress: return QStringLiteral("illegal data address");
    case IllegalValue: return QStringLiteral("illegal data value");
    case DeviceFailure: return QStringLiteral("server device failure");
    case GatewayTarget: return QStringLiteral("gateway target device failed to respond");
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

// A request taken apart; `wellFormed` is false when its length, counts and byte count
// do not agree with its function.
struct ParsedRequest
{
    DeviceRequest request;
    bool write = false;
    bool known = false;
    bool wellFormed = false;
};

ParsedRequest parse(int unit, const QByteArray &pdu)
{
    ParsedRequest parsed;
    DeviceRequest &r = parsed.request;
    r.unit = unit;
    r.function = quint8(pdu.at(0));
    const qsizetype size = pdu.size();
    r.address = size >= 3 ? word(pdu, 1) : 0;
    r.count = size >= 5 ? word(pdu, 3) : 0;
    switch (r.function) {
    case ModbusPdu::ReadHolding:
        parsed.known = true;
        parsed.wellFormed = size == 5 && r.count >= 1 && r.count <= MaxReadRegisters;
        break;
    case ModbusPdu::WriteSingle:
        parsed.known = parsed.write = true;
        parsed.wellFormed = size == 5;
        if (parsed.wellFormed)
            r.values.push_back(uint16_t(r.count));
        r.count = 1;
        break;
    case ModbusPdu::WriteMultiple:
        parsed.known = parsed.write = true;
        parsed.wellFormed = size >= 6 && r.count >= 1 && r.count <= MaxWriteRegisters
            && quint8(pdu.at(5)) == 2 * r.count && size == 6 + 2 * r.count;
        for (int i = 0; parsed.wellFormed && i < r.count; ++i)
            r.values.push_back(uint16_t(word(pdu, 6 + 2 * i)));
        break;
    default:
        break;
    }
    return parsed;
}

// The start of a request's line in the --verbose output.
QString requestLine(const ServedNode &node, int number, const ParsedRequest &parsed)
{
    const DeviceRequest &r = parsed.request;
    return QStringLiteral("%1:%2 #%3 unit %4 %5 %6 count %7")
        .arg(node.name, node.where())
        .arg(number)
        .arg(r.unit)
        .arg(r.function == ModbusPdu::ReadHolding ? QStringLiteral("read")
                 : parsed.write                    ? QStringLiteral("write")
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
    const DeviceRequest &r = parsed.request;
    if (!parsed.known)
        return Refusal{IllegalFunction, {}};
    if (!parsed.wellFormed)
        return Refusal{IllegalValue, QStringLiteral("malformed request")};
    if (!unitKnown)
        return Refusal{GatewayTarget, QStringLiteral("no port has unit %1").arg(r.unit)};
    if (!registers)
        return Refusal{IllegalAddress, {}};
    if (faultDue)
        return Refusal{DeviceFailure, QStringLiteral("server device failure, --exception-at %1").arg(writes)};
    if (parsed.write) {
        if (QString why = registers->refusal(first, r.values.data(), r.count); !why.isEmpty())
            return Refusal{IllegalValue, std::move(why)};
    }
    return std::nullopt;
}

} // namespace

NodeDevice::Block::Block(const PrinterPort &p)
    : served(addressOf(p))
    , registers(p)
    , data(std::size_t(registers.count()), 0)
{
}

NodeDevice::NodeDevice(const ServedNode &node)
    : m_served(node)
{
    for (const PrinterPort &p : node.ports)
        m_blocks.push_back(std::make_unique<Block>(p));
}

bool NodeDevice::hasUnit(int unit) const
{
    for (const auto &b : m_blocks) {
        if (b->served.unit == unit)
            return true;
    }
    return false;
}

NodeDevice::Block *NodeDevice::blockFor(int unit, int address, int count, bool *unitKnown)
{
    *unitKnown = false;
    for (auto &b : m_blocks) {
        if (b->served.unit != unit)
            continue;
        *unitKnown = true;
        if (address >= b->served.base && address + count <= b->served.base + b->registers.count())
            return b.get();
    }
    return nullptr;
}

NodeDevice::Answer NodeDevice::answer(int unit, const QByteArray &pdu, const FaultOptions &faults, Counters &counters,
                                      const std::function<void(const DeviceRequest &)> &observer)
{
    Answer answer;
    const ParsedRequest parsed = parse(unit, pdu);
    const DeviceRequest &r = parsed.request;
    const int number = ++counters.requests;
    if (parsed.write)
        ++counters.writes;
    if (observer)
        observer(r);
    answer.line = requestLine(m_served, number, parsed);

    // What the request touches goes on the line whatever becomes of it.
    bool unitKnown = hasUnit(r.unit);
    Block *block = parsed.wellFormed ? blockFor(r.unit, r.address, r.count, &unitKnown) : nullptr;
    const int first = block ? r.address - block->served.base : 0;
    if (block) {
        answer.line += QStringLiteral(": ")
            + namesText(parsed.write ? block->registers.describeWrite(first, r.values.data(), r.count)
                                     : block->registers.namesIn(first, r.count));
    }

    if (faults.dropAt > 0 && number == faults.dropAt) {
        answer.line += QStringLiteral(" -> %1 (--drop-at %2)")
                           .arg(m_served.isSerial() ? QStringLiteral("no answer") : QStringLiteral("connection dropped"))
                           .arg(number);
        answer.kind = Answer::Drop;
        return answer;
    }
    if (faults.delayMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(faults.delayMs));

    const bool faultDue = parsed.write && faults.exceptionAt > 0 && counters.writes == faults.exceptionAt;
    if (const auto refused = refusal(parsed, unitKnown, block ? &block->registers : nullptr, first, faultDue,
                                     counters.writes)) {
        // The function byte of an exception has its top bit set, whatever the function.
        answer.pdu.append(char(r.function | 0x80));
        answer.pdu.append(char(refused->code));
        answer.line += QStringLiteral(" -> exception %1 (%2)")
                           .arg(refused->code)
                           .arg(refused->why.isEmpty() ? exceptionText(refused->code) : refused->why);
        return answer;
    }
    answer.pdu = perform(*block, r, parsed.write);
    answer.line += QStringLiteral(" -> ok");
    return answer;
}

QByteArray NodeDevice::perform(Block &block, const DeviceRequest &r, bool write)
{
    std::lock_guard lock(m_mutex);
    const int first = r.address - block.served.base;
    QByteArray reply;
    reply.append(char(r.function));
    if (!write) {
        reply.append(char(2 * r.count));
        for (int i = 0; i < r.count; ++i)
            ModbusPdu::appendWord(reply, block.data[std::size_t(first + i)]);
        return reply;
    }
    for (int i = 0; i < r.count; ++i)
        block.data[std::size_t(first + i)] = r.values[std::size_t(i)];
    ModbusPdu::appendWord(reply, r.address);
    ModbusPdu::appendWord(reply, r.function == ModbusPdu::WriteSingle ? r.values.front() : r.count);
    return reply;
}

std::vector<uint16_t> NodeDevice::registers(const QString &portName) const
{
    std::lock_guard lock(m_mutex);
    for (const auto &block : m_blocks) {
        if (block->registers.port().name == portName)
            return block->data;
    }
    return {};
}

} // namespace tkl::devsim
