#include "RegisterCodec.h"

#include "files/CodePage1252.h"

#include <QByteArray>

namespace tkl::RegisterCodec {

int stringRegisters(qsizetype bytes)
{
    return int(1 + (bytes + 1) / 2);
}

std::optional<QString> encodeString(const QString &text, int maxLength, Registers *out)
{
    if (text.size() > maxLength)
        return QStringLiteral("text of %1 characters is longer than the %2 the device holds")
            .arg(text.size())
            .arg(maxLength);
    QByteArray bytes;
    bytes.reserve(text.size());
    const qsizetype bad = CodePage1252::encode(text, bytes);
    if (bad >= 0)
        return QStringLiteral("the text holds %1 at position %2, which Windows-1252 cannot store")
            .arg(CodePage1252::codePointName(text, bad))
            .arg(bad + 1);
    Registers words;
    words.reserve(stringRegisters(bytes.size()));
    words.append(quint16(bytes.size()));
    for (qsizetype i = 0; i < bytes.size(); i += 2) {
        const quint16 high = quint8(bytes.at(i));
        const quint16 low = i + 1 < bytes.size() ? quint8(bytes.at(i + 1)) : 0;
        words.append(quint16(high << 8 | low));
    }
    *out = std::move(words);
    return std::nullopt;
}

std::optional<QString> encode(ValueType type, const QVariant &value, int maxLength, Registers *out)
{
    if (value.metaType().id() != valueMetaTypeId(type))
        return QStringLiteral("the value is not of type %1").arg(valueTypeName(type));
    switch (type) {
    case ValueType::Boolean:
        *out = {quint16(value.toBool() ? 1 : 0)};
        return std::nullopt;
    case ValueType::UInt8:
        *out = {quint16(value.value<quint8>())};
        return std::nullopt;
    case ValueType::Int16:
        *out = {quint16(value.value<qint16>())};
        return std::nullopt;
    case ValueType::String:
        return encodeString(value.toString(), maxLength, out);
    case ValueType::UInt32: {
        const quint32 v = value.value<quint32>();
        *out = {quint16(v >> 16), quint16(v & 0xffff)};
        return std::nullopt;
    }
    }
    return QStringLiteral("unknown type");
}

std::optional<QVariant> decodeNumber(ValueType type, quint16 word)
{
    switch (type) {
    case ValueType::Boolean:
        if (word > 1)
            return std::nullopt;
        return QVariant(word == 1);
    case ValueType::UInt8:
        if (word > 255)
            return std::nullopt;
        return QVariant::fromValue(quint8(word));
    case ValueType::Int16:
        return QVariant::fromValue(qint16(word));
    case ValueType::String:
    case ValueType::UInt32:
        break;
    }
    return std::nullopt;
}

quint32 decodeUInt32(quint16 high, quint16 low)
{
    return quint32(high) << 16 | low;
}

std::optional<QString> decodeString(const Registers &registers, int maxLength, QString *error)
{
    if (registers.isEmpty()) {
        *error = QStringLiteral("no length register");
        return std::nullopt;
    }
    const int length = registers.first();
    if (length > maxLength) {
        *error = QStringLiteral("the length register holds %1, more than the %2 bytes a string may have")
                     .arg(length)
                     .arg(maxLength);
        return std::nullopt;
    }
    if (registers.size() < stringRegisters(length)) {
        *error = QStringLiteral("%1 registers are too few for a string of %2 bytes").arg(registers.size()).arg(length);
        return std::nullopt;
    }
    QByteArray bytes;
    bytes.reserve(length);
    for (int i = 0; i < length; ++i) {
        const quint16 word = registers.at(1 + i / 2);
        bytes.append(char(i % 2 == 0 ? word >> 8 : word & 0xff));
    }
    return CodePage1252::decode(bytes);
}

} // namespace tkl::RegisterCodec
