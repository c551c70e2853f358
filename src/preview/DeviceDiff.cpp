#include "DeviceDiff.h"

#include "DeviceLayout.h"
#include "device/LayoutChecksum.h"
#include "network/ProcessNetwork.h"
#include "device/TicketDownload.h"

#include <memory>

namespace tkl::DeviceDiff {

namespace {

using Kind = PortVariables::Place::Kind;

// The name a difference goes by, from where the variable lies.
QString whatOf(const PortVariables::Place &place)
{
    switch (place.kind) {
    case Kind::Member:
        return QStringLiteral("field %1 %2").arg(place.index).arg(QLatin1String(PortVariables::info(place.member).name));
    case Kind::Lines: return QStringLiteral("line count");
    case Kind::Ticket: return QStringLiteral("line %1 text").arg(place.index);
    case Kind::StartCode: return QStringLiteral("start code");
    case Kind::StopCode: return QStringLiteral("stop code");
    case Kind::DownloadState: return QStringLiteral("download state");
    case Kind::Checksum: return QStringLiteral("checksum");
    }
    return {};
}

QString shown(const QVariant &v)
{
    if (!v.isValid())
        return QStringLiteral("nothing");
    if (v.metaType().id() == QMetaType::Bool)
        return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    return v.toString();
}

} // namespace

Outcome compare(ProcessNetwork &network, const TicketModel &model, const QStringList &boxLines,
                const PrinterPort &port)
{
    Outcome outcome;
    QString why;
    const auto planned = TicketDownload::plannedWrites(model, boxLines, port, &why);
    if (!planned) {
        outcome.kind = Outcome::Kind::Unusable;
        outcome.error = why;
        return outcome;
    }

    HeldValues held(network, port);
    try {
        using State = PortVariables::DownloadState;
        const QVariant state = held(PortVariables::downloadStateName(port.name));
        const int stateValue = state.isValid() ? state.toInt() : int(State::NeverWritten);
        if (stateValue != int(State::Finished)) {
            outcome.kind = stateValue == int(State::NeverWritten) ? Outcome::Kind::NoTicket : Outcome::Kind::Unfinished;
            return outcome;
        }
        if (held.real()) {
            const quint32 checksum = LayoutChecksum::of(port, *planned);
            const QVariant stored = held(PortVariables::checksumName(port.name));
            if (!TicketDownload::readsAsWritten(QVariant::fromValue(checksum), stored))
                outcome.differences.append({QStringLiteral("checksum"), QVariant::fromValue(checksum), stored});
        }
        for (const auto &[name, value] : *planned) {
            const QVariant got = held(name);
            if (!TicketDownload::readsAsWritten(value, got))
                outcome.differences.append({whatOf(*PortVariables::placeOf(port, name)), value, got});
        }
    } catch (const AutomationError &e) {
        outcome.kind = Outcome::Kind::Unreadable;
        outcome.error = e.text();
        return outcome;
    }
    held.close();
    outcome.kind = outcome.differences.isEmpty() ? Outcome::Kind::Holds : Outcome::Kind::Differs;
    return outcome;
}

QString describe(const Difference &d)
{
    // Texts are long and may hold anything: named, not shown; the JSON carries them.
    if (d.layout.metaType().id() == QMetaType::QString)
        return d.what;
    return QStringLiteral("%1 %2 \u2192 %3").arg(d.what, shown(d.layout), shown(d.device));
}

} // namespace tkl::DeviceDiff
