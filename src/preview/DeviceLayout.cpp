#include "DeviceLayout.h"

#include "device/ModbusServer.h"
#include "device/ProcessNetwork.h"

#include <QStringList>

#include <functional>
#include <memory>

namespace tkl {

namespace {

std::optional<LayoutData> read(const PrinterPort &portInfo, const std::function<QVariant(const QString &)> &held,
                               QString *error);

} // namespace

QString noTicketError(const QString &port)
{
    return QStringLiteral("Port \"%1\" holds no ticket").arg(port);
}

std::optional<LayoutData> layoutFromDevice(ProcessNetwork &network, const QString &port, QString *error)
{
    auto fail = [&](const QString &text) -> std::optional<LayoutData> {
        if (error)
            *error = text;
        return std::nullopt;
    };
    const PrinterPort *p = network.findPort(port);
    if (!p)
        return fail(QStringLiteral("No port \"%1\" in the network").arg(port));

    // A real device is read over its own connection; a failed read ends the showing.
    std::unique_ptr<ModbusServer> device;
    if (network.endpointOf(*p)) {
        device = std::make_unique<ModbusServer>(network, *p);
        device->setProperty(QStringLiteral("EnableExceptions"), true);
    }
    auto held = [&](const QString &name) {
        if (!device)
            return network.readValue(name);
        device->setProperty(QStringLiteral("PhysId"), name);
        return device->property(QStringLiteral("Value"));
    };
    try {
        return read(*p, held, error);
    } catch (const AutomationError &e) {
        return fail(e.text());
    }
}

namespace {

std::optional<LayoutData> read(const PrinterPort &portInfo, const std::function<QVariant(const QString &)> &held,
                               QString *error)
{
    const PrinterPort *p = &portInfo;
    const QString &port = p->name;
    auto fail = [&](const QString &text) -> std::optional<LayoutData> {
        if (error)
            *error = text;
        return std::nullopt;
    };
    using namespace PortVariables;
    using M = Member;
    const QVariant lines = held(linesName(port));
    const int elements = std::min(p->updateElements, int(LayoutData::LastSlot));
    // A download that stopped early leaves fields without a line count: that is shown too.
    bool holdsAnything = lines.isValid() || held(startCodeName(port)).isValid();
    for (int n = LayoutData::FirstSlot; n <= elements && !holdsAnything; ++n)
        holdsAnything = held(elementName(port, n, M::DataIn)).isValid();
    if (!holdsAnything)
        return fail(noTicketError(port));

    LayoutData layout;
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

} // namespace

} // namespace tkl
