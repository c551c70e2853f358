#include "TicketRenderer.h"

#include "FieldFormat.h"
#include "PrinterCodeText.h"
#include "device/ProcessNetwork.h"

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

RenderedTicket renderTicket(const LayoutData &layout, const ValueSource &values)
{
    RenderedTicket ticket;
    if (!layout.text.isEmpty())
        ticket.lines = layout.text.split(QStringLiteral("\r\n"));
    ticket.startCode = decodePrinterCodes(layout.StartCode);
    ticket.stopCode = decodePrinterCodes(layout.StopCode);

    for (int slot = LayoutData::FirstSlot; slot <= LayoutData::LastSlot; ++slot) {
        const UpdateBox &box = layout.UpdateBoxes[slot];
        if (!box.DataIn)
            continue;
        RenderedField field;
        field.slot = slot;
        field.varName = box.VarName;
        field.line = box.Linie;
        field.column = box.Pos;
        field.chars = std::max<int>(box.Chars, 0);
        if (values)
            field.value = values(box.VarName);
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

} // namespace tkl
