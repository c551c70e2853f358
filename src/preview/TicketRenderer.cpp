#include "TicketRenderer.h"

#include "FieldAddress.h"
#include "FieldFormat.h"
#include "PrinterCodeText.h"
#include "device/PortVariables.h"
#include "network/ProcessNetwork.h"
#include "model/ControlCharacter.h"

#include <algorithm>

namespace tkl {

ValueSource networkValues(const ProcessNetwork &network, qint64 msecs)
{
    return [&network, msecs](const QString &name) { return network.simulatedValue(name, msecs); };
}

ValueSource fixedValues(const QHash<QString, double> &values)
{
    return [values](const QString &name) -> std::optional<double> {
        const auto it = values.constFind(name);
        if (it == values.constEnd())
            return std::nullopt;
        return *it;
    };
}

int RenderedTicket::overflowCount() const
{
    return int(std::count_if(fields.cbegin(), fields.cend(), [](const RenderedField &f) { return f.overflow; }));
}

int RenderedTicket::missingCount() const
{
    return int(std::count_if(fields.cbegin(), fields.cend(), [](const RenderedField &f) { return f.missing; }));
}

RenderedTicket renderTicket(const LayoutData &layout, const ValueSource &values, const NetworkCatalogue *addresses)
{
    RenderedTicket ticket;
    if (!layout.text.isEmpty())
        ticket.lines = layout.text.split(QStringLiteral("\r\n"));
    ticket.startCode = decodePrinterCodes(PortVariables::codeOrCr(layout.StartCode));
    ticket.stopCode = decodePrinterCodes(PortVariables::codeOrCr(layout.StopCode));

    for (int slot = LayoutData::FirstSlot; slot <= LayoutData::LastSlot; ++slot) {
        const UpdateBox &box = layout.UpdateBoxes[slot];
        if (!box.DataIn)
            continue;
        RenderedField field;
        field.slot = slot;
        field.varName = box.VarName;
        if (!addresses) {
            field.source = box.VarName;
        } else if (const NetworkVariable *at = FieldAddress::variableAt(*addresses, box)) {
            field.source = at->fullName;
        }
        field.line = box.Linie;
        field.column = box.Pos;
        field.chars = std::max<int>(box.Chars, 0);
        if (values && !field.source.isEmpty())
            field.value = values(field.source);
        if (!field.value) {
            field.missing = field.chars > 0;
            field.text = QString(field.chars, QLatin1Char('?'));
        } else {
            field.text = formatFieldValue(*field.value, field.chars, box.Digits, &field.overflow);
        }

        if (field.line < 0) {
            field.clipped = field.chars > 0;
        } else if (field.chars > 0) {
            while (ticket.lines.size() <= field.line)
                ticket.lines.append(QString());
            QString &line = ticket.lines[field.line];
            for (int k = 0; k < field.chars; ++k) {
                const int column = field.column + k;
                if (column < 1) {
                    field.clipped = true;
                    continue;
                }
                if (line.size() < column)
                    line = line.leftJustified(column, QLatin1Char(' '));
                line[column - 1] = field.text.at(k);
            }
        }
        ticket.fields.append(field);
    }
    return ticket;
}

namespace {

// The shown line, and where each character of the line begins in it (one entry more
// than the line has characters: the end).
QString shownLine(QStringView line, QList<int> *starts)
{
    QString out;
    out.reserve(line.size());
    if (starts)
        starts->reserve(line.size() + 1);
    for (const QChar c : line) {
        if (starts)
            starts->append(int(out.size()));
        if (isControlCharacter(c.unicode()))
            out += u'[' + QString::number(c.unicode()) + u']';
        else
            out += c;
    }
    if (starts)
        starts->append(int(out.size()));
    return out;
}

} // namespace

QString shownLine(QStringView line)
{
    return shownLine(line, nullptr);
}

ShownTicket showTicket(const RenderedTicket &ticket, bool withCodes)
{
    ShownTicket shown;
    const int first = withCodes ? 1 : 0;
    if (withCodes)
        shown.lines << QStringLiteral("<start: %1>").arg(shownLine(ticket.startCode));
    QList<QList<int>> starts(ticket.lines.size());
    for (qsizetype i = 0; i < ticket.lines.size(); ++i)
        shown.lines << shownLine(ticket.lines.at(i), &starts[i]);
    if (withCodes)
        shown.lines << QStringLiteral("<stop: %1>").arg(shownLine(ticket.stopCode));

    for (const RenderedField &f : ticket.fields) {
        if (f.line < 0 || f.line >= starts.size() || f.chars <= 0)
            continue;
        const QList<int> &at = starts.at(f.line);
        // Cells from column 1 on; the renderer lengthened the line to hold them all.
        const int from = std::max(f.column, 1) - 1;
        const int to = f.column - 1 + f.chars;
        if (to <= from || to >= at.size())
            continue;
        shown.fields.append({f.slot, f.line + first, at.at(from), at.at(to) - at.at(from), f.overflow, f.missing});
    }
    return shown;
}

} // namespace tkl
