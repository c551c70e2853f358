#include "LayoutCheck.h"

#include "device/NodeAttributes.h"
#include "device/ProcessNetwork.h"
#include "files/LayoutData.h"
#include "files/LayoutError.h"
#include "files/LayoutLines.h"
#include "model/CharGrid.h"
#include "model/Numbers.h"

#include <algorithm>
#include <limits>
#include <optional>

namespace tkl::cli {

namespace {

using Member = LayoutLines::Member;

CheckFinding warning(int line, const QString &message)
{
    return {CheckFinding::Severity::Warning, line, message};
}

QString fieldName(int slot)
{
    return QStringLiteral("UpdateBox %1").arg(slot);
}

// One stored member and what a binding made now would store instead.
struct Expected
{
    Member member;
    const char *name;
    int stored;
    std::optional<int> now;  ///< nothing when the network's value does not fit the member
    QString reported;        ///< the network's value, for the message
};

void checkBinding(int slot, const UpdateBox &box, const ProcessNetwork &network, QList<CheckFinding> &out)
{
    const int nameLine = LayoutLines::memberLine(slot, Member::VarName);
    if (box.VarName.isEmpty()) {
        out << warning(nameLine, QStringLiteral("%1 is defined but bound to no variable").arg(fieldName(slot)));
        return;
    }
    const NetworkVariable *variable = network.findVariable(box.VarName);
    if (!variable) {
        out << warning(nameLine, QStringLiteral("%1 is bound to \"%2\", which the network does not know")
                                     .arg(fieldName(slot), LayoutError::quote(box.VarName)));
        return;
    }
    const NetworkNode &node = network.nodes().at(variable->node);
    const std::optional<int> number = nodeNumberFromAddress(node.address);
    const QString who = QStringLiteral("%1 (%2)").arg(fieldName(slot), box.VarName);
    if (!number) {
        out << warning(LayoutLines::memberLine(slot, Member::NodeAdr),
                       QStringLiteral("%1: the network's node address \"%2\" does not end in two digits")
                           .arg(who, LayoutError::quote(node.address)));
    }
    const double capabilities = leadingNumber(node.capabilities);
    const std::optional<int> code = capabilityCodeFrom(node.capabilities);

    constexpr int i16Min = std::numeric_limits<qint16>::min();
    constexpr int i16Max = std::numeric_limits<qint16>::max();
    const Expected members[] = {
        {Member::NodeAdr, "NodeAdr", box.NodeAdr, number, node.address},
        {Member::SWNo, "SWNo", box.SWNo, fitRounded(variable->internalAddress, i16Min, i16Max),
         QString::number(variable->internalAddress)},
        {Member::Offset, "Offset", box.Offset, fitRounded(variable->offset, i16Min, i16Max),
         QString::number(variable->offset)},
        {Member::Typ, "Typ", box.Typ, fitRounded(variable->subDataType, i16Min, i16Max),
         QString::number(variable->subDataType)},
        {Member::BitNo, "BitNo", box.BitNo, fitRounded(variable->bitNo, 0, 255), QString::number(variable->bitNo)},
        {Member::Code, "Code", box.Code, code, QString::number(capabilities)},
    };
    for (const Expected &e : members) {
        if (e.member == Member::NodeAdr && !number)
            continue;  // reported above
        const int line = LayoutLines::memberLine(slot, e.member);
        if (!e.now) {
            out << warning(line, QStringLiteral("%1: %2 is %3; the network now reports %4, which does not fit it")
                                     .arg(who, QLatin1String(e.name))
                                     .arg(e.stored)
                                     .arg(e.reported));
        } else if (*e.now != e.stored) {
            out << warning(line, QStringLiteral("%1: %2 is %3, but the network now reports %4")
                                     .arg(who, QLatin1String(e.name))
                                     .arg(e.stored)
                                     .arg(*e.now));
        }
    }
}

} // namespace

QString CheckFinding::format(const QString &file) const
{
    const QString kind = severity == Severity::Error ? QStringLiteral("error") : QStringLiteral("warning");
    if (line > 0)
        return QStringLiteral("%1:%2: %3: %4").arg(file).arg(line).arg(kind, message);
    return QStringLiteral("%1: %2: %3").arg(file, kind, message);
}

int LayoutCheck::charsPerLine(int editorWidth)
{
    return CharGrid(CellWidth, CellHeight).charsPerLine(editorWidth - CharGrid::TextBoxInset);
}

QStringList LayoutCheck::textLines(const QString &text)
{
    return text.split(QStringLiteral("\r\n"));
}

QStringList LayoutCheck::codeProblems(const QString &code)
{
    QStringList problems;
    const qsizetype n = code.size();
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
                problems << QStringLiteral("code %1 in column %2 is above 255")
                                .arg(code.mid(i + 1, j - i - 1))
                                .arg(i + 1);
            }
            i = j;
        } else if (digits || code.indexOf(u']', i + 1) < 0) {
            // "[27" or "[27 ]" is a code typed half, and a "[" that nothing closes
            // is one too; "[ab]" is plain text.
            problems << QStringLiteral("\"[\" in column %1 is not closed").arg(i + 1);
        }
    }
    return problems;
}

CheckFinding LayoutCheck::readError(const LayoutError &error)
{
    QString message = error.message;
    // The finding carries the line already.
    const QString prefix = QStringLiteral("Line %1: ").arg(error.line);
    if (error.line > 0 && message.startsWith(prefix))
        message = message.mid(prefix.size());
    return {CheckFinding::Severity::Error, error.line, message};
}

QList<CheckFinding> LayoutCheck::findings(const LayoutData &layout, const ProcessNetwork &network)
{
    QList<CheckFinding> out;
    const int perLine = charsPerLine(layout.EditorWidth);
    const QStringList lines = textLines(layout.text);

    if (perLine < 1) {
        out << warning(LayoutLines::EditorWidth,
                       QStringLiteral("an editor %1 twips wide leaves no room for a character").arg(layout.EditorWidth));
    } else {
        for (qsizetype k = 0; k < lines.size(); ++k) {
            if (lines[k].size() > perLine) {
                out << warning(LayoutLines::FirstText + int(k),
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
        const int posLine = LayoutLines::memberLine(slot, Member::Pos);
        const int linieLine = LayoutLines::memberLine(slot, Member::Linie);
        const int last = box.Pos + box.Chars - 1;
        if (box.Pos < 1) {
            out << warning(posLine, QStringLiteral("%1 starts in column %2, left of the first column")
                                        .arg(fieldName(slot))
                                        .arg(box.Pos));
        }
        if (perLine >= 1 && last > perLine) {
            out << warning(posLine, QStringLiteral("%1 ends in column %2, past the right edge of the ticket "
                                                   "(%3 characters per line)")
                                        .arg(fieldName(slot))
                                        .arg(last)
                                        .arg(perLine));
        }
        if (box.Linie < 0 || box.Linie >= lines.size()) {
            out << warning(linieLine, QStringLiteral("%1 is on ticket line %2, but the text has %3 line(s)")
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
                out << warning(linieLine, QStringLiteral("%1 overlaps %2 on ticket line %3 (columns %4 to %5)")
                                              .arg(fieldName(slot), fieldName(other))
                                              .arg(int(box.Linie) + 1)
                                              .arg(from)
                                              .arg(to));
            }
        }
        checkBinding(slot, box, network, out);
    }

    const std::pair<int, const QString *> codes[] = {{LayoutLines::StartCode, &layout.StartCode},
                                                     {LayoutLines::StopCode, &layout.StopCode}};
    for (const auto &[line, code] : codes) {
        const QString which = line == LayoutLines::StartCode ? QStringLiteral("start code") : QStringLiteral("stop code");
        for (const QString &problem : codeProblems(*code))
            out << warning(line, which + QStringLiteral(": ") + problem);
    }

    std::stable_sort(out.begin(), out.end(), [](const CheckFinding &a, const CheckFinding &b) { return a.line < b.line; });
    return out;
}

} // namespace tkl::cli
