#include "DeviceLayout.h"

#include "device/ProcessNetwork.h"

#include <QStringBuilder>
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

    auto held = [&](const QString &name) -> QVariant {
        const DeviceVariable *d = network.findDeviceVariable(name);
        return d ? d->value : QVariant();
    };
    const QVariant lines = held(port + QStringLiteral(".lines"));
    if (!lines.isValid())
        return fail(QStringLiteral("Port \"%1\" holds no ticket").arg(port));

    LayoutData layout;
    const int elements = std::min(p->updateElements, int(LayoutData::LastSlot));
    for (int n = LayoutData::FirstSlot; n <= elements; ++n) {
        const QString prefix = port % u".UpdateArr[" % QString::number(n) % u"].";
        if (!held(prefix % u"DataIn").toBool())
            continue;
        UpdateBox &box = layout.UpdateBoxes[n];
        auto i16 = [&](const char *member) { return qint16(held(prefix + QLatin1String(member)).toInt()); };
        auto u8 = [&](const char *member) { return quint8(held(prefix + QLatin1String(member)).toUInt()); };
        box.VarName = held(prefix % u"VarName").toString();
        box.NodeAdr = u8("NodeAdr");
        box.SWNo = i16("SWNo");
        box.Offset = i16("Offset");
        box.Typ = i16("Typ");
        box.BitNo = u8("BitNo");
        box.Code = u8("Code");
        box.DevType = i16("DevType");
        box.Chars = i16("Chars");
        box.Digits = i16("Digits");
        box.DataIn = true;
        // The device counts lines from 1; it accepts no Linie below 1.
        const QVariant linie = held(prefix % u"Linie");
        box.Linie = linie.isValid() ? qint16(linie.toInt() - 1) : qint16(0);
        box.Pos = i16("Pos");
        layout.BoxLoaded[n] = 1;
    }

    const int count = std::clamp(lines.toInt(), 0, p->ticketLines);
    layout.TicketLines = qint16(count);
    QStringList text;
    for (int n = 1; n <= count; ++n)
        text << held(port % u".Ticket[" % QString::number(n) % u']').toString();
    layout.text = text.join(QStringLiteral("\r\n"));
    layout.StartCode = held(port + QStringLiteral(".PrintCode.start")).toString();
    layout.StopCode = held(port + QStringLiteral(".PrintCode.stop")).toString();
    return layout;
}

} // namespace tkl
