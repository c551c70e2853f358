#include "DeviceLayout.h"

#include "network/NetworkFactory.h"
#include "network/ProcessNetwork.h"

#include <QStringList>

#include <functional>
#include <memory>

namespace tkl {

namespace {

using Held = std::function<QVariant(const QString &)>;

std::optional<DeviceTicket> read(const PrinterPort &portInfo, const Held &held, QString *error);

} // namespace

QString noTicketError(const QString &port)
{
    return QStringLiteral("Port \"%1\" holds no ticket").arg(port);
}

LayoutData uploadedLayout(const DeviceTicket &ticket)
{
    LayoutData layout = ticket.layout;
    layout.EditorWidth = UploadEditorWidth;
    layout.EditorHeight = UploadEditorHeight;
    const QString cr(QChar(13));
    if (layout.StartCode == cr)
        layout.StartCode.clear();
    if (layout.StopCode == cr)
        layout.StopCode.clear();
    return layout;
}

HeldValues::HeldValues(ProcessNetwork &network, const PrinterPort &port)
    : m_network(network)
{
    if (network.endpointOf(port)) {
        m_device = NetworkFactory(network).create(AutomationFactory::ServerProgId, port.name);
        m_device->setProperty(QStringLiteral("EnableExceptions"), true);
    }
}

HeldValues::~HeldValues() = default;

void HeldValues::close()
{
    if (m_device)
        m_device->close();
}

QVariant HeldValues::operator()(const QString &name) const
{
    if (!m_device)
        return m_network.readValue(name);
    m_device->setProperty(QStringLiteral("PhysId"), name);
    return m_device->property(QStringLiteral("Value"));
}

std::optional<LayoutData> layoutFromDevice(ProcessNetwork &network, const QString &port, QString *error)
{
    std::optional<DeviceTicket> ticket = ticketFromDevice(network, port, error);
    if (!ticket)
        return std::nullopt;
    return std::move(ticket->layout);
}

std::optional<DeviceTicket> ticketFromDevice(ProcessNetwork &network, const QString &port, QString *error)
{
    auto fail = [&](const QString &text) -> std::optional<DeviceTicket> {
        if (error)
            *error = text;
        return std::nullopt;
    };
    const PrinterPort *p = network.findPort(port);
    if (!p)
        return fail(QStringLiteral("No port \"%1\" in the network").arg(port));

    // A failed read of a real device ends the showing.
    try {
        const HeldValues held(network, *p);
        return read(*p, std::cref(held), error);
    } catch (const AutomationError &e) {
        return fail(e.text());
    }
}

namespace {

// The download state the device holds; nothing, with `error` set, when the register
// holds no state.
std::optional<PortVariables::DownloadState> stateOf(const PrinterPort &port, const Held &held, QString *error)
{
    using State = PortVariables::DownloadState;
    const QVariant value = held(PortVariables::downloadStateName(port.name));
    if (!value.isValid())
        return State::NeverWritten;
    const int state = value.toInt();
    if (state >= int(State::NeverWritten) && state <= int(State::Finished))
        return State(state);
    if (error) {
        *error = QStringLiteral("Port \"%1\": its download state holds %2, which is none (0 never written, 1 under "
                                "way, 2 finished)")
                     .arg(port.name)
                     .arg(state);
    }
    return std::nullopt;
}

LayoutData layoutOf(const PrinterPort &portInfo, const Held &held);

std::optional<DeviceTicket> read(const PrinterPort &portInfo, const Held &held, QString *error)
{
    const std::optional<PortVariables::DownloadState> state = stateOf(portInfo, held, error);
    if (!state)
        return std::nullopt;
    if (*state == PortVariables::DownloadState::NeverWritten) {
        if (error)
            *error = noTicketError(portInfo.name);
        return std::nullopt;
    }
    DeviceTicket ticket;
    ticket.state = *state;
    if (const QVariant checksum = held(PortVariables::checksumName(portInfo.name)); checksum.isValid())
        ticket.checksum = checksum.toUInt();
    ticket.layout = layoutOf(portInfo, held);
    return ticket;
}

LayoutData layoutOf(const PrinterPort &portInfo, const Held &held)
{
    const PrinterPort *p = &portInfo;
    const QString &port = p->name;
    using namespace PortVariables;
    using M = Member;
    const QVariant lines = held(linesName(port));
    const int elements = std::min(p->updateElements, int(LayoutData::LastSlot));

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
