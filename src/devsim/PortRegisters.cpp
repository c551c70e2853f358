#include "PortRegisters.h"

#include "device/RegisterCodec.h"

namespace tkl::devsim {

using namespace PortVariables;

PortRegisters::PortRegisters(const PrinterPort &port)
    : m_port(port)
    , m_owner(std::size_t(registerCount(port)), -1)
{
    QStringList names;
    for (int element = 1; element <= port.updateElements; ++element) {
        for (const MemberInfo &m : members())
            names << elementName(port.name, element, m.member);
    }
    names << linesName(port.name);
    for (int line = 1; line <= port.ticketLines; ++line)
        names << ticketName(port.name, line);
    names << startCodeName(port.name) << stopCodeName(port.name);
    names << downloadStateName(port.name) << checksumName(port.name);

    // Every place comes from the map's own lookup, so a name and its registers always agree.
    for (const QString &name : names) {
        const auto place = placeOf(port, name);
        if (!place)
            continue;
        const int size = place->type == ValueType::String ? stringRegisters(port)
                       : place->type == ValueType::UInt32 ? 2
                                                          : 1;
        for (int r = place->firstRegister; r < place->firstRegister + size && r < count(); ++r)
            m_owner[std::size_t(r)] = int(m_variables.size());
        m_variables.push_back({name, *place});
    }
}

QStringList PortRegisters::namesIn(int first, int count) const
{
    QStringList names;
    int last = -1;
    for (int r = std::max(first, 0); r < first + count && r < this->count(); ++r) {
        const int owner = m_owner[std::size_t(r)];
        if (owner >= 0 && owner != last)
            names << m_variables[std::size_t(owner)].name;
        last = owner;
    }
    return names;
}

namespace {

QString bracketed(const QString &text)
{
    QString out;
    for (const QChar c : text) {
        if (c.unicode() < 32 || c.unicode() == 127)
            out += QStringLiteral("[%1]").arg(c.unicode());
        else
            out += c;
    }
    return out;
}

} // namespace

QStringList PortRegisters::describeWrite(int first, const uint16_t *values, int count) const
{
    QStringList described;
    for (const QString &name : namesIn(first, count)) {
        const auto place = placeOf(m_port, name);
        const int at = place->firstRegister - first; // where the variable starts in `values`
        QString text = name;
        if (place->type == ValueType::UInt32) {
            if (at >= 0 && at + 1 < count)
                text += u'=' + QString::number(RegisterCodec::decodeUInt32(values[at], values[at + 1]));
        } else if (place->type != ValueType::String) {
            if (at >= 0) {
                const auto value = RegisterCodec::decodeNumber(place->type, values[at]);
                text += u'=' + (value ? QString::number(value->toInt()) : QStringLiteral("?"));
            }
        } else if (at >= 0) {
            const RegisterCodec::Registers registers(values + at, values + count);
            QString error;
            if (const auto string = RegisterCodec::decodeString(registers, m_port.stringLength, &error))
                text += QStringLiteral("=\"%1\"").arg(bracketed(*string));
        }
        described << text;
    }
    return described;
}

QString PortRegisters::refusal(int first, const uint16_t *values, int count) const
{
    for (int i = 0; i < count; ++i) {
        const int r = first + i;
        if (r < 0 || r >= this->count() || m_owner[std::size_t(r)] < 0)
            continue;
        const Variable &v = m_variables[std::size_t(m_owner[std::size_t(r)])];
        if (v.place.type == ValueType::UInt32)
            continue; // any pair of words is a checksum
        int value = 0;
        if (v.place.type == ValueType::String) {
            if (r != v.place.firstRegister)
                continue; // text bytes: any pair is a pair of Windows-1252 bytes
            value = values[i]; // the length in bytes
        } else {
            value = v.place.type == ValueType::Int16 ? int(int16_t(values[i])) : int(values[i]);
        }
        if (value < v.place.bounds.minimum || value > v.place.bounds.maximum) {
            return v.place.type == ValueType::String
                ? QStringLiteral("%1: a length of %2 bytes where the device holds at most %3")
                      .arg(v.name).arg(value).arg(v.place.bounds.maximum)
                : QStringLiteral("%1: %2 is outside %3..%4")
                      .arg(v.name).arg(value).arg(v.place.bounds.minimum).arg(v.place.bounds.maximum);
        }
    }
    return {};
}

} // namespace tkl::devsim
