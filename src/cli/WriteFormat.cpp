#include "WriteFormat.h"

#include "model/ControlCharacter.h"

namespace tkl::cli {

QString WriteFormat::typeName(ValueType type)
{
    switch (type) {
    case ValueType::Boolean:
        return QStringLiteral("bool");
    case ValueType::UInt8:
        return QStringLiteral("u8");
    case ValueType::Int16:
        return QStringLiteral("i16");
    case ValueType::String:
        return QStringLiteral("string");
    case ValueType::UInt32:
        return QStringLiteral("u32");
    }
    return QStringLiteral("?");
}

QString WriteFormat::escaped(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'\\':
            out += QStringLiteral("\\\\");
            break;
        case u'\r':
            out += QStringLiteral("\\r");
            break;
        case u'\n':
            out += QStringLiteral("\\n");
            break;
        case u'\t':
            out += QStringLiteral("\\t");
            break;
        default:
            if (isControlCharacter(c.unicode()))
                out += QStringLiteral("\\x") + QStringLiteral("%1").arg(c.unicode(), 2, 16, QLatin1Char('0')).toUpper();
            else
                out += c;
        }
    }
    return out;
}

QString WriteFormat::value(ValueType type, const QVariant &value)
{
    switch (type) {
    case ValueType::Boolean:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case ValueType::UInt8:
    case ValueType::Int16:
        return QString::number(value.toInt());
    case ValueType::String:
        return escaped(value.toString());
    case ValueType::UInt32:
        return QString::number(value.toUInt());
    }
    return {};
}

QString WriteFormat::line(const WriteRecord &write)
{
    return escaped(write.name) + u'\t' + typeName(write.type) + u'\t' + value(write.type, write.value);
}

} // namespace tkl::cli
