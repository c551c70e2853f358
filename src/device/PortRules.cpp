#include "PortRules.h"

#include "model/TicketModel.h"

#include <limits>

namespace tkl::PortRules {

namespace {

using Member = PortVariables::Member;
using Subject = LayoutFinding::Subject;
using Kind = LayoutFinding::Kind;

class Collector
{
public:
    Collector(const PrinterPort &port, QList<LayoutFinding> &out)
        : port(port)
        , m_out(out)
    {
    }

    void error(Kind kind, Subject subject, int index, std::optional<Member> member, const QString &variable,
               const QString &message)
    {
        m_out.append({LayoutFinding::Severity::Error, subject, index, member, port.name, variable, message, kind});
    }

    // The value the download sends for `member` against the variable's bounds; the
    // 16-bit check comes first, as the download converts before it writes.
    void member(int slot, Member member, qint64 sent, const QString &what)
    {
        const QString variable = PortVariables::elementName(port.name, slot, member);
        const PortVariables::MemberInfo &info = PortVariables::info(member);
        if (info.type == ValueType::Int16
            && (sent < std::numeric_limits<qint16>::min() || sent > std::numeric_limits<qint16>::max())) {
            error(Kind::Overflow, Subject::Field, slot, member, variable,
                  QStringLiteral("UpdateBox %1: Value %2 does not fit the 16-bit variable \"%3\"")
                      .arg(slot)
                      .arg(sent)
                      .arg(variable));
            return;
        }
        const PortVariables::Bounds bounds = PortVariables::memberBounds(port, member);
        if (sent < bounds.minimum || sent > bounds.maximum) {
            error(Kind::Range, Subject::Field, slot, member, variable,
                  QStringLiteral("UpdateBox %1: %2; port %3 takes %4 to %5")
                      .arg(QString::number(slot), what, port.name, QString::number(bounds.minimum),
                           QString::number(bounds.maximum)));
        }
    }

    // A string the download sends, against the port's string length.
    void string(Subject subject, int index, std::optional<Member> member, const QString &variable,
                const QString &what, qsizetype length)
    {
        const PortVariables::Bounds bounds = PortVariables::stringBounds(port);
        if (length > bounds.maximum) {
            error(Kind::Length, subject, index, member, variable,
                  QStringLiteral("%1 has %2 characters; port %3 stores at most %4")
                      .arg(what, QString::number(length), port.name, QString::number(bounds.maximum)));
        }
    }

    // A value of a fixed line of the layout: one line, whatever the device takes.
    void oneLine(Subject subject, int index, std::optional<Member> member, const QString &variable,
                 const QString &what, const QString &value)
    {
        if (value.contains(u'\r') || value.contains(u'\n'))
            error(Kind::LineBreak, subject, index, member, variable, QStringLiteral("%1 holds a line break").arg(what));
    }

    const PrinterPort &port;

private:
    QList<LayoutFinding> &m_out;
};

} // namespace

QList<LayoutFinding> check(const TicketModel &model, const QStringList &lines, const PrinterPort &port)
{
    QList<LayoutFinding> out;
    Collector c(port, out);

    // The first pass clears every slot; a port with fewer elements would stop there, and
    // clearing only the ones it has could leave fields of an earlier ticket active in a
    // device whose description understates it.
    if (port.updateElements < ClearedSlots) {
        c.error(Kind::Elements, Subject::Layout, 0, Member::DataIn,
                PortVariables::elementName(port.name, port.updateElements + 1, Member::DataIn),
                QStringLiteral("port %1 has %2 field element(s); a download clears all %3 field slots, "
                               "so the port takes no ticket")
                    .arg(port.name)
                    .arg(port.updateElements)
                    .arg(ClearedSlots));
    }

    for (int slot = TicketModel::FirstSlot; slot <= TicketModel::LastSlot; ++slot) {
        const UpdateBox &box = model.UpdateBoxes[slot];
        if (!box.DataIn)
            continue;
        const QString field = QStringLiteral("UpdateBox %1").arg(slot);
        const QString name = PortVariables::elementName(port.name, slot, Member::VarName);
        c.oneLine(Subject::Field, slot, Member::VarName, name, field + QStringLiteral(": the variable name"),
                  box.VarName);
        c.string(Subject::Field, slot, Member::VarName, name, field + QStringLiteral(": the variable name"),
                 box.VarName.size());
        // NodeAdr, SWNo, Offset, Typ, BitNo, Code and DevType take their whole type,
        // which the record's own types already hold them to; the bounds say so.
        const std::pair<Member, qint64> numbers[] = {
            {Member::NodeAdr, box.NodeAdr}, {Member::SWNo, box.SWNo},       {Member::Offset, box.Offset},
            {Member::Typ, box.Typ},         {Member::BitNo, box.BitNo},     {Member::Code, box.Code},
            {Member::DevType, box.DevType}, {Member::Chars, box.Chars},     {Member::Digits, box.Digits},
        };
        for (const auto &[member, value] : numbers) {
            c.member(slot, member, value,
                     QStringLiteral("%1 is %2").arg(QLatin1String(PortVariables::info(member).name)).arg(value));
        }
        // The device counts lines from 1.
        c.member(slot, Member::Linie, qint64(box.Linie) + 1,
                 QStringLiteral("Linie %1 is ticket line %2").arg(box.Linie).arg(qint64(box.Linie) + 1));
        c.member(slot, Member::Pos, box.Pos, QStringLiteral("Pos is %1").arg(box.Pos));
    }

    const QString linesVariable = PortVariables::linesName(port.name);
    const qsizetype count = lines.size();
    if (count > std::numeric_limits<qint16>::max()) {
        c.error(Kind::Lines, Subject::TextLine, int(std::numeric_limits<qint16>::max()) + 1, std::nullopt, linesVariable,
                QStringLiteral("the ticket has %1 lines: Value %1 does not fit the 16-bit variable \"%2\"")
                    .arg(count)
                    .arg(linesVariable));
    } else if (count > PortVariables::linesBounds(port).maximum) {
        c.error(Kind::Lines, Subject::TextLine, port.ticketLines + 1, std::nullopt, linesVariable,
                QStringLiteral("the ticket has %1 lines; port %2 holds at most %3")
                    .arg(count)
                    .arg(port.name)
                    .arg(PortVariables::linesBounds(port).maximum));
    }
    const qsizetype sent = std::min<qsizetype>(count, port.ticketLines);
    for (qsizetype n = 1; n <= sent; ++n) {
        c.string(Subject::TextLine, int(n), std::nullopt, PortVariables::ticketName(port.name, int(n)),
                 QStringLiteral("text line %1").arg(n), lines.at(n - 1).size());
    }

    const std::tuple<Subject, QString, const QString *, const char *> codes[] = {
        {Subject::StartCode, PortVariables::startCodeName(port.name), &model.StartCode, "the start code"},
        {Subject::StopCode, PortVariables::stopCodeName(port.name), &model.StopCode, "the stop code"},
    };
    for (const auto &[subject, variable, code, what] : codes) {
        c.oneLine(subject, 0, std::nullopt, variable, QLatin1String(what), *code);
        c.string(subject, 0, std::nullopt, variable, QLatin1String(what), PortVariables::codeOrCr(*code).size());
    }
    return out;
}

} // namespace tkl::PortRules
