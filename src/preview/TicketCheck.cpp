#include "TicketCheck.h"

#include "FieldAddress.h"
#include "device/NodeAttributes.h"
#include "device/PortRules.h"
#include "network/ProcessNetwork.h"
#include "files/LayoutData.h"
#include "files/LayoutError.h"
#include "files/LayoutLines.h"
#include "model/CharGrid.h"
#include "model/Numbers.h"
#include "model/TicketModel.h"

#include <QHash>

#include <algorithm>
#include <limits>
#include <optional>

namespace tkl {

namespace {

using Member = PortVariables::Member;
using Subject = LayoutFinding::Subject;

using Kind = LayoutFinding::Kind;

LayoutFinding warning(Kind kind, Subject subject, int index, std::optional<Member> member, const QString &message)
{
    return {LayoutFinding::Severity::Warning, subject, index, member, {}, {}, message, kind};
}

LayoutFinding fieldWarning(Kind kind, int slot, Member member, const QString &message)
{
    return warning(kind, Subject::Field, slot, member, message);
}

QString fieldName(int slot)
{
    return QStringLiteral("UpdateBox %1").arg(slot);
}

// One stored member and what a binding made now would store instead.
struct Expected
{
    Member member;
    int stored;
    std::optional<int> now;  ///< nothing when the network's value does not fit the member
    QString reported;        ///< the network's value, for the message
};

void checkBinding(int slot, const UpdateBox &box, const ProcessNetwork &network, QList<LayoutFinding> &out)
{
    if (box.VarName.isEmpty()) {
        out << fieldWarning(Kind::Unbound, slot, Member::VarName,
                            QStringLiteral("%1 is defined but bound to no variable").arg(fieldName(slot)));
        return;
    }
    const NetworkVariable *variable = network.findVariable(box.VarName);
    // The device prints the value it finds at the field's address, whatever the name.
    const NetworkVariable *addressed = FieldAddress::variableAt(network, box);
    if (!variable) {
        const QString prints = addressed ? QStringLiteral("; its address is that of \"%1\", whose value the device prints")
                                               .arg(LayoutError::quote(addressed->fullName))
                                         : QString();
        out << fieldWarning(Kind::Unknown, slot, Member::VarName,
                            QStringLiteral("%1 is bound to \"%2\", which the network does not know%3")
                                .arg(fieldName(slot), LayoutError::quote(box.VarName), prints));
        return;
    }
    if (addressed && addressed != variable) {
        out << fieldWarning(Kind::Address, slot, Member::VarName,
                            QStringLiteral("%1 is named \"%2\", but its address (%3) is that of \"%4\", whose value "
                                           "the device prints")
                                .arg(fieldName(slot), LayoutError::quote(box.VarName), FieldAddress::describe(box),
                                     LayoutError::quote(addressed->fullName)));
        return;
    }
    const NetworkNode &node = network.nodes().at(variable->node);
    const std::optional<int> number = nodeNumberFromAddress(node.address);
    const QString who = QStringLiteral("%1 (%2)").arg(fieldName(slot), box.VarName);
    if (!number) {
        out << fieldWarning(Kind::Node, slot, Member::NodeAdr,
                            QStringLiteral("%1: the network's node address \"%2\" does not end in two digits")
                                .arg(who, LayoutError::quote(node.address)));
    }
    const double capabilities = leadingNumber(node.capabilities);
    const std::optional<int> code = capabilityCodeFrom(node.capabilities);

    constexpr int i16Min = std::numeric_limits<qint16>::min();
    constexpr int i16Max = std::numeric_limits<qint16>::max();
    const Expected members[] = {
        {Member::NodeAdr, box.NodeAdr, number, node.address},
        {Member::SWNo, box.SWNo, fitRounded(variable->internalAddress, i16Min, i16Max),
         QString::number(variable->internalAddress)},
        {Member::Offset, box.Offset, fitRounded(variable->offset, i16Min, i16Max), QString::number(variable->offset)},
        {Member::Typ, box.Typ, fitRounded(variable->subDataType, i16Min, i16Max),
         QString::number(variable->subDataType)},
        {Member::BitNo, box.BitNo, fitRounded(variable->bitNo, 0, 255), QString::number(variable->bitNo)},
        {Member::Code, box.Code, code, QString::number(capabilities)},
    };
    for (const Expected &e : members) {
        if (e.member == Member::NodeAdr && !number)
            continue;  // reported above
        const QLatin1String name(PortVariables::info(e.member).name);
        if (!e.now) {
            out << fieldWarning(Kind::Stale, slot, e.member,
                                QStringLiteral("%1: %2 is %3; the network now reports %4, which does not fit it")
                                    .arg(who, name)
                                    .arg(e.stored)
                                    .arg(e.reported));
        } else if (*e.now != e.stored) {
            out << fieldWarning(Kind::Stale, slot, e.member,
                                QStringLiteral("%1: %2 is %3, but the network now reports %4")
                                    .arg(who, name)
                                    .arg(e.stored)
                                    .arg(*e.now));
        }
    }
}

void sortByFileLine(QList<LayoutFinding> &findings)
{
    std::stable_sort(findings.begin(), findings.end(), [](const LayoutFinding &a, const LayoutFinding &b) {
        return TicketCheck::fileLine(a) < TicketCheck::fileLine(b);
    });
}

// Of the findings about text lines of one kind (the warnings; each port's errors of
// one variable), the first MaxLineFindings stay; the first one left out says how many
// there are, so that a long text wider than the ticket is not thousands of lines.
QList<LayoutFinding> capLineFindings(const QList<LayoutFinding> &all)
{
    QHash<QString, int> counts;
    QHash<QString, qsizetype> summaries;
    QList<LayoutFinding> out;
    out.reserve(std::min<qsizetype>(all.size(), 1000));
    for (const LayoutFinding &f : all) {
        if (f.subject != LayoutFinding::Subject::TextLine) {
            out << f;
            continue;
        }
        const QString kind = QString::number(int(f.severity)) + u'|' + f.port + u'|' + f.variable.section(u'[', 0, 0);
        const int n = ++counts[kind];
        if (n == TicketCheck::MaxLineFindings + 1)
            summaries.insert(kind, out.size());
        if (n <= TicketCheck::MaxLineFindings + 1)
            out << f;
    }
    for (auto it = summaries.constBegin(); it != summaries.constEnd(); ++it) {
        out[it.value()].message = QStringLiteral("... and %1 more like these on later text lines")
                                      .arg(counts.value(it.key()) - TicketCheck::MaxLineFindings);
    }
    return out;
}

} // namespace

int TicketCheck::charsPerLine(int editorWidth)
{
    return CharGrid(CellWidth, CellHeight).charsPerLine(editorWidth - CharGrid::TextBoxInset);
}

QStringList TicketCheck::textLines(const QString &text)
{
    return text.split(QStringLiteral("\r\n"));
}

QStringList TicketCheck::codeProblems(const QString &code)
{
    QStringList problems;
    qsizetype total = 0;
    auto add = [&](const QString &problem) {
        if (++total <= MaxCodeProblems)
            problems << problem;
    };
    const qsizetype n = code.size();
    // Whether a "]" follows is the same question for every "[": ask it once.
    const qsizetype lastClose = code.lastIndexOf(u']');
    for (qsizetype i = 0; i < n; ++i) {
        if (code[i] != u'[')
            continue;
        qsizetype j = i + 1;
        int value = 0;
        while (j < n && code[j] >= u'0' && code[j] <= u'9') {
            value = std::min(value * 10 + (code[j].unicode() - u'0'), 100000);
            ++j;
        }
        const bool digits = j > i + 1;
        const bool closed = j < n && code[j] == u']';
        if (digits && closed) {
            if (value > 255) {
                add(QStringLiteral("code %1 in column %2 is above 255")
                        .arg(LayoutError::quote(QStringView(code).mid(i + 1, j - i - 1), 12))
                        .arg(i + 1));
            }
            i = j;
        } else if (digits || lastClose <= i) {
            // "[27" or "[27 ]" is a code typed half, and a "[" that nothing closes
            // is one too; "[ab]" is plain text.
            add(QStringLiteral("\"[\" in column %1 is not closed").arg(i + 1));
        }
    }
    if (total > MaxCodeProblems) {
        problems.removeLast();
        problems << QStringLiteral("%1 more problems like these").arg(total - MaxCodeProblems + 1);
    }
    return problems;
}

int TicketCheck::fileLine(const LayoutFinding &finding)
{
    switch (finding.subject) {
    case Subject::Layout: return 0;
    case Subject::EditorWidth: return LayoutLines::EditorWidth;
    case Subject::Field:
        return LayoutLines::memberLine(finding.index,
                                       LayoutLines::Member(int(finding.member.value_or(Member::VarName))));
    case Subject::TextLine: return LayoutLines::FirstText + finding.index - 1;
    case Subject::StartCode: return LayoutLines::StartCode;
    case Subject::StopCode: return LayoutLines::StopCode;
    }
    return 0;
}

QList<LayoutFinding> TicketCheck::warnings(const LayoutData &layout, const ProcessNetwork &network)
{
    QList<LayoutFinding> out;
    const int perLine = charsPerLine(layout.EditorWidth);
    const QStringList lines = textLines(layout.text);

    if (perLine < 1) {
        out << warning(Kind::Width, Subject::EditorWidth, 0, std::nullopt,
                       QStringLiteral("an editor %1 twips wide leaves no room for a character").arg(layout.EditorWidth));
    } else {
        for (qsizetype k = 0; k < lines.size(); ++k) {
            if (lines[k].size() > perLine) {
                out << warning(Kind::Wrap, Subject::TextLine, int(k + 1), std::nullopt,
                               QStringLiteral("text line %1 has %2 characters, more than the %3 of a ticket line; "
                                              "the editor wraps it, a download from here sends it as one line")
                                   .arg(k + 1)
                                   .arg(lines[k].size())
                                   .arg(perLine));
            }
        }
    }

    for (int slot = LayoutData::FirstSlot; slot <= LayoutData::LastSlot; ++slot) {
        const UpdateBox &box = layout.UpdateBoxes[slot];
        if (!box.DataIn)
            continue;
        const int last = box.Pos + box.Chars - 1;
        if (box.Pos < 1) {
            out << fieldWarning(Kind::Edge, slot, Member::Pos, QStringLiteral("%1 starts in column %2, left of the first column")
                                                       .arg(fieldName(slot))
                                                       .arg(box.Pos));
        }
        if (perLine >= 1 && last > perLine) {
            out << fieldWarning(Kind::Edge, slot, Member::Pos,
                                QStringLiteral("%1 ends in column %2, past the right edge of the ticket "
                                               "(%3 characters per line)")
                                    .arg(fieldName(slot))
                                    .arg(last)
                                    .arg(perLine));
        }
        if (box.Linie < 0 || box.Linie >= lines.size()) {
            out << fieldWarning(Kind::Below, slot, Member::Linie,
                                QStringLiteral("%1 is on ticket line %2, but the text has %3 line(s)")
                                    .arg(fieldName(slot))
                                    .arg(int(box.Linie) + 1)
                                    .arg(lines.size()));
        }
        // Each pair once, reported at the later slot.
        for (int other = LayoutData::FirstSlot; other < slot; ++other) {
            const UpdateBox &o = layout.UpdateBoxes[other];
            if (!o.DataIn || o.Linie != box.Linie || o.Chars < 1 || box.Chars < 1)
                continue;
            const int from = std::max<int>(o.Pos, box.Pos);
            const int to = std::min<int>(o.Pos + o.Chars - 1, last);
            if (from <= to) {
                out << fieldWarning(Kind::Overlap, slot, Member::Linie,
                                    QStringLiteral("%1 overlaps %2 on ticket line %3 (columns %4 to %5)")
                                        .arg(fieldName(slot), fieldName(other))
                                        .arg(int(box.Linie) + 1)
                                        .arg(from)
                                        .arg(to));
            }
        }
        checkBinding(slot, box, network, out);
    }

    const std::pair<Subject, const QString *> codes[] = {{Subject::StartCode, &layout.StartCode},
                                                         {Subject::StopCode, &layout.StopCode}};
    for (const auto &[subject, code] : codes) {
        const QString which = subject == Subject::StartCode ? QStringLiteral("start code") : QStringLiteral("stop code");
        for (const QString &problem : codeProblems(*code))
            out << warning(Kind::Code, subject, 0, std::nullopt, which + QStringLiteral(": ") + problem);
    }

    sortByFileLine(out);
    return out;
}

QList<LayoutFinding> TicketCheck::errors(const LayoutData &layout, const PrinterPort &port)
{
    TicketModel model;
    layout.applyTo(model);
    return PortRules::check(model, textLines(layout.text), port);
}

QList<LayoutFinding> TicketCheck::findings(const LayoutData &layout, const ProcessNetwork &network,
                                           const PrinterPort *port)
{
    QList<LayoutFinding> out = warnings(layout, network);
    TicketModel model;
    layout.applyTo(model);
    const QStringList lines = textLines(layout.text);
    if (port) {
        out += PortRules::check(model, lines, *port);
    } else {
        for (const PrinterPort &each : network.ports())
            out += PortRules::check(model, lines, each);
    }
    sortByFileLine(out);
    return capLineFindings(out);
}

} // namespace tkl
