#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace tkl::ModbusPdu {

/// Function codes the printer devices answer.
enum Function : quint8 { ReadHolding = 0x03, WriteSingle = 0x06, WriteMultiple = 0x10 };

/// Largest counts one request carries: a request or reply PDU holds at most 253 bytes.
constexpr int MaxWrite = 123;
constexpr int MaxRead = 125;

/// The PDU of a Read Holding Registers request for `count` registers from `address`.
QByteArray readRequest(int address, int count);

/// The PDU of a Write Multiple Registers request carrying `count` values from `address`.
QByteArray writeRequest(int address, const quint16 *values, int count);

/// The text of Modbus exception `code`, e.g. "illegal data address".
QString exceptionText(int code);

/// Checks `reply` against the `request` it answers. Nothing when it is the answer the
/// request asks for (a read's registers then go to `values`); otherwise the sentence
/// that names what is wrong, e.g. "the device answered with Modbus exception 2 (illegal
/// data address)" or "the device echoed start address 5, asked 4".
std::optional<QString> checkReply(const QByteArray &request, const QByteArray &reply, quint16 *values);

/// How many bytes the reply PDU whose first bytes are `head` has in all, once `head`
/// holds enough of it to tell (the function, and for a read the byte count); 0 while it
/// does not, -1 for a function no request of ours can be answered with.
int replyLength(const QByteArray &head);

/// The CRC of the serial line's frames (polynomial 0xA001, start 0xFFFF).
quint16 crc16(const char *data, qsizetype size);

/// A 16-bit value of `bytes` at `at`, high byte first.
inline int word(const QByteArray &bytes, qsizetype at)
{
    return (quint8(bytes.at(at)) << 8) | quint8(bytes.at(at + 1));
}

/// Appends `value` high byte first.
inline void appendWord(QByteArray &bytes, int value)
{
    bytes.append(char((value >> 8) & 0xff));
    bytes.append(char(value & 0xff));
}

} // namespace tkl::ModbusPdu
