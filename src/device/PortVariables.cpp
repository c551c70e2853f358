#include "PortVariables.h"

#include <QMetaType>
#include <QStringBuilder>

#include <limits>

namespace tkl {

QString valueTypeName(ValueType type)
{
    switch (type) {
    case ValueType::Boolean: return QStringLiteral("Boolean");
    case ValueType::UInt8: return QStringLiteral("UInt8");
    case ValueType::Int16: return QStringLiteral("Int16");
    case ValueType::String: return QStringLiteral("String");
    case ValueType::UInt32: return QStringLiteral("UInt32");
    }
    return {};
}

int valueMetaTypeId(ValueType type)
{
    switch (type) {
    case ValueType::Boolean: return QMetaType::Bool;
    case ValueType::UInt8: return QMetaType::UChar;
    case ValueType::Int16: return QMetaType::Short;
    case ValueType::String: return QMetaType::QString;
    case ValueType::UInt32: return QMetaType::UInt;
    }
    return QMetaType::UnknownType;
}

namespace PortVariables {

const std::array<MemberInfo, MemberCount> &members()
{
    static constexpr std::array<MemberInfo, MemberCount> list = {{
        {Member::VarName, "VarName", ValueType::String},
        {Member::NodeAdr, "NodeAdr", ValueType::UInt8},
        {Member::SWNo, "SWNo", ValueType::Int16},
        {Member::Offset, "Offset", ValueType::Int16},
        {Member::Typ, "Typ", ValueType::Int16},
        {Member::BitNo, "BitNo", ValueType::UInt8},
        {Member::Code, "Code", ValueType::UInt8},
        {Member::DevType, "DevType", ValueType::Int16},
        {Member::Chars, "Chars", ValueType::Int16},
        {Member::Digits, "Digits", ValueType::Int16},
        {Member::DataIn, "DataIn", ValueType::Boolean},
        {Member::Linie, "Linie", ValueType::Int16},
        {Member::Pos, "Pos", ValueType::Int16},
    }};
    return list;
}

const MemberInfo &info(Member member)
{
    return members()[std::size_t(member)];
}

QString elementName(QStringView port, int element, Member member)
{
    return port % u".UpdateArr[" % QString::number(element) % u"]." % QLatin1String(info(member).name);
}

QString linesName(QStringView port)
{
    return port % u".lines";
}

QString ticketName(QStringView port, int line)
{
    return port % u".Ticket[" % QString::number(line) % u']';
}

QString startCodeName(QStringView port)
{
    return port % u".PrintCode.start";
}

QString stopCodeName(QStringView port)
{
    return port % u".PrintCode.stop";
}

QString downloadStateName(QStringView port)
{
    return port % u".Download.state";
}

QString checksumName(QStringView port)
{
    return port % u".Download.checksum";
}

QString codeOrCr(const QString &code)
{
    return code.isEmpty() ? QString(QChar(13)) : code;
}

Bounds memberBounds(const PrinterPort &port, Member member)
{
    switch (member) {
    case Member::Linie:
        return {1, port.ticketLines};
    case Member::Pos:
    case Member::Chars:
    case Member::Digits:
        return {0, port.stringLength};
    case Member::VarName:
        return stringBounds(port);
    default:
        break;
    }
    switch (info(member).type) {
    case ValueType::Boolean: return {0, 1};
    case ValueType::UInt8: return {0, 255};
    case ValueType::Int16: return {std::numeric_limits<qint16>::min(), std::numeric_limits<qint16>::max()};
    case ValueType::String: return stringBounds(port);
    case ValueType::UInt32: break; // no member has it
    }
    return {};
}

Bounds linesBounds(const PrinterPort &port)
{
    return {0, port.ticketLines};
}

Bounds stringBounds(const PrinterPort &port)
{
    return {0, port.stringLength};
}

int stringRegisters(const PrinterPort &port)
{
    return 1 + (port.stringLength + 1) / 2;
}

int elementRegisters(const PrinterPort &port)
{
    return stringRegisters(port) + MemberCount - 1;
}

int memberRegister(const PrinterPort &port, int element, Member member)
{
    const int start = (element - 1) * elementRegisters(port);
    return member == Member::VarName ? start : start + stringRegisters(port) + int(member) - 1;
}

int linesRegister(const PrinterPort &port)
{
    return port.updateElements * elementRegisters(port);
}

int ticketRegister(const PrinterPort &port, int line)
{
    return linesRegister(port) + 1 + (line - 1) * stringRegisters(port);
}

int startCodeRegister(const PrinterPort &port)
{
    return ticketRegister(port, port.ticketLines + 1);
}

int stopCodeRegister(const PrinterPort &port)
{
    return startCodeRegister(port) + stringRegisters(port);
}

int downloadStateRegister(const PrinterPort &port)
{
    return stopCodeRegister(port) + stringRegisters(port);
}

int checksumRegister(const PrinterPort &port)
{
    return downloadStateRegister(port) + 1;
}

int registerCount(const PrinterPort &port)
{
    return checksumRegister(port) + 2;
}

namespace {

// The decimal number at the front of `text` and what follows it; nothing when there is
// no number, it has a leading zero or it does not fit an int.
std::optional<std::pair<int, QStringView>> leadingNumber(QStringView text)
{
    qsizetype i = 0;
    qint64 value = 0;
    while (i < text.size() && text[i] >= u'0' && text[i] <= u'9') {
        value = value * 10 + (text[i].unicode() - u'0');
        if (value > std::numeric_limits<int>::max())
            return std::nullopt;
        ++i;
    }
    if (i == 0 || (i > 1 && text[0] == u'0'))
        return std::nullopt;
    return std::make_pair(int(value), text.mid(i));
}

} // namespace

std::optional<Place> placeOf(const PrinterPort &port, QStringView name)
{
    if (!name.startsWith(port.name) || name.size() <= port.name.size() || name[port.name.size()] != u'.')
        return std::nullopt;
    const QStringView rest = name.mid(port.name.size() + 1);

    Place place;
    if (rest == u"lines") {
        place.kind = Place::Kind::Lines;
        place.bounds = linesBounds(port);
        place.firstRegister = linesRegister(port);
        return place;
    }
    if (rest == u"PrintCode.start" || rest == u"PrintCode.stop") {
        const bool start = rest.endsWith(u"start");
        place.kind = start ? Place::Kind::StartCode : Place::Kind::StopCode;
        place.type = ValueType::String;
        place.bounds = stringBounds(port);
        place.firstRegister = start ? startCodeRegister(port) : stopCodeRegister(port);
        return place;
    }
    if (rest == u"Download.state") {
        place.kind = Place::Kind::DownloadState;
        place.bounds = {int(DownloadState::NeverWritten), int(DownloadState::Finished)};
        place.firstRegister = downloadStateRegister(port);
        return place;
    }
    if (rest == u"Download.checksum") {
        place.kind = Place::Kind::Checksum;
        place.type = ValueType::UInt32;
        place.firstRegister = checksumRegister(port);
        return place;
    }
    if (rest.startsWith(u"Ticket[")) {
        const auto number = leadingNumber(rest.mid(7));
        if (!number || number->second != u"]" || number->first < 1 || number->first > port.ticketLines)
            return std::nullopt;
        place.kind = Place::Kind::Ticket;
        place.index = number->first;
        place.type = ValueType::String;
        place.bounds = stringBounds(port);
        place.firstRegister = ticketRegister(port, place.index);
        return place;
    }
    if (rest.startsWith(u"UpdateArr[")) {
        const auto number = leadingNumber(rest.mid(10));
        if (!number || !number->second.startsWith(u"].") || number->first < 1 || number->first > port.updateElements)
            return std::nullopt;
        const QStringView memberName = number->second.mid(2);
        for (const MemberInfo &m : members()) {
            if (memberName == QLatin1String(m.name)) {
                place.kind = Place::Kind::Member;
                place.index = number->first;
                place.member = m.member;
                place.type = m.type;
                place.bounds = memberBounds(port, m.member);
                place.firstRegister = memberRegister(port, place.index, m.member);
                return place;
            }
        }
    }
    return std::nullopt;
}

} // namespace PortVariables

} // namespace tkl
