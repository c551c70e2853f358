#include "DeviceLayout.h"

#include "device/ProcessNetwork.h"

#include <QStringList>

namespace tkl {

std::optional<LayoutData> layoutFromDevice(const ProcessNetwork &network, const QString &port, QString *error)
{
    auto fail = [&](const QString &text) -> std::optional<LayoutData> {
        if (error)
            *error = text;
        return std::nullopt;
    };
    const PrinterPort *p = network.findPort(port);
    if (!p)
        return fail(QStringLiteral("No port \"%1\" in the network").arg(port));

    auto held = [&](const QString &name) { return network.readValue(name); };
    using namespace PortVariables;
    using M = Member;
    const QVariant lines = held(linesName(port));
    if (!lines.isValid())
        return fail(QStringLiteral("Port \"%1\" holds no ticket").arg(port));

    LayoutData layout;
    const int elements = std::min(p->updateElements, int(LayoutData::LastSlot));
    for (int n = LayoutData::FirstSlot; n <= elements; ++n) {
        auto member = [&](M m) { return held(elementName(port, n, m)); };
        if (!member(M::DataIn).toBool())
            continue;
        UpdateBox &box = layout.UpdateBoxes[n];
        auto i16 = [&](M m) { return qint16(member(m).toInt()); };
        auto u8 = [&](M m) { return quint8(member(m).toUInt()); };
        box.VarName = member(M::VarName).toString();
        box.NodeAdr = u8(M::NodeAdr);
        box.SWNo = i16(M::SWNo);
        box.Offset = i16(M::Offset);
        box.Typ = i16(M::Typ);
        box.BitNo = u8(M::BitNo);
        box.Code = u8(M::Code);
        box.DevType = i16(M::DevType);
        box.Chars = i16(M::Chars);
        box.Digits = i16(M::Digits);
        box.DataIn = true;
        // The device counts lines from 1; it accepts no Linie below 1.
        const QVariant linie = member(M::Linie);
        box.Linie = linie.isValid() ? qint16(linie.toInt() - 1) : qint16(0);
        box.Pos = i16(M::Pos);
        layout.BoxLoaded[n] = 1;
    }

    const int count = std::clamp(lines.toInt(), 0, p->ticketLines);
    layout.TicketLines = qint16(count);
    QStringList text;
    for (int n = 1; n <= count; ++n)
        text << held(ticketName(port, n)).toString();
    layout.text = text.join(QStringLiteral("\r\n"));
    layout.StartCode = held(startCodeName(port)).toString();
    layout.StopCode = held(stopCodeName(port)).toString();
    return layout;
}

} // namespace tkl
