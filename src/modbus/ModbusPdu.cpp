#include "ModbusPdu.h"

namespace tkl::ModbusPdu {

QByteArray readRequest(int address, int count)
{
    QByteArray pdu;
    pdu.append(char(ReadHolding));
    appendWord(pdu, address);
    appendWord(pdu, count);
    return pdu;
}

QByteArray writeRequest(int address, const quint16 *values, int count)
{
    QByteArray pdu;
    pdu.reserve(6 + 2 * count);
    pdu.append(char(WriteMultiple));
    appendWord(pdu, address);
    appendWord(pdu, count);
    pdu.append(char(2 * count));
    for (int i = 0; i < count; ++i)
        appendWord(pdu, values[i]);
    return pdu;
}

QString exceptionText(int code)
{
    switch (code) {
    case 1: return QStringLiteral("illegal function");
    case 2: return QStringLiteral("illegal data address");
    case 3: return QStringLiteral("illegal data value");
    case 4: return QStringLiteral("slave device or server failure");
    case 5: return QStringLiteral("acknowledge");
    case 6: return QStringLiteral("slave device or server is busy");
    case 7: return QStringLiteral("negative acknowledge");
    case 8: return QStringLiteral("memory parity error");
    case 10: return QStringLiteral("gateway path unavailable");
    case 11: return QStringLiteral("target device failed to respond");
    default: return QStringLiteral("unknown exception");
    }
}

std::optional<QString> checkReply(const QByteArray &request, const QByteArray &reply, quint16 *values)
{
    const int function = quint8(request.at(0));
    if (reply.isEmpty())
        return QStringLiteral("the device answered with no function code");
    const int answered = quint8(reply.at(0));
    if (answered == (function | 0x80) && reply.size() == 2) {
        const int code = quint8(reply.at(1));
        return QStringLiteral("the device answered with Modbus exception %1 (%2)").arg(code).arg(exceptionText(code));
    }
    if (answered != function)
        return QStringLiteral("the device answered with function code %1, asked %2").arg(answered).arg(function);

    const int count = word(request, 3);
    const int length = replyLength(reply);
    if (length <= 0 || reply.size() != length)
        return QStringLiteral("the device's answer has %1 bytes where %2 were due")
            .arg(reply.size())
            .arg(function == ReadHolding ? 2 + 2 * count : 5);
    if (function == ReadHolding) {
        const int bytes = quint8(reply.at(1));
        if (bytes != 2 * count)
            return QStringLiteral("the device answered with %1 bytes of registers, asked %2").arg(bytes).arg(2 * count);
        for (int i = 0; i < count; ++i)
            values[i] = quint16(word(reply, 2 + 2 * i));
        return std::nullopt;
    }
    if (const int start = word(reply, 1); start != word(request, 1))
        return QStringLiteral("the device echoed start address %1, asked %2").arg(start).arg(word(request, 1));
    if (const int echoed = word(reply, 3); echoed != count)
        return QStringLiteral("the device echoed a count of %1 registers, asked %2").arg(echoed).arg(count);
    return std::nullopt;
}

int replyLength(const QByteArray &head)
{
    if (head.isEmpty())
        return 0;
    const int function = quint8(head.at(0));
    if (function & 0x80)
        return 2;
    switch (function) {
    case ReadHolding:
        return head.size() < 2 ? 0 : 2 + quint8(head.at(1));
    case WriteSingle:
    case WriteMultiple:
        return 5;
    default:
        return -1;
    }
}

quint16 crc16(const char *data, qsizetype size)
{
    quint16 crc = 0xffff;
    for (qsizetype i = 0; i < size; ++i) {
        crc ^= quint8(data[i]);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xa001) : quint16(crc >> 1);
    }
    return crc;
}

} // namespace tkl::ModbusPdu
