#pragma once

#include "device/LayoutFinding.h"
#include "device/PortVariables.h"

#include <QList>
#include <QStringList>

namespace tkl {

class TicketModel;

/// The rules a printer port's device holds a ticket download to: every value must fit
/// the device variable it is written to (PortVariables gives their types and bounds),
/// every variable written must exist in the port, and a variable name or printer code
/// is one line. The download checks them before its first write, `tklcli check` and the
/// editor report them: a layout these rules pass is one the device takes whole.
namespace PortRules {

/// Slots a download clears (DataIn := false) before it writes the defined fields: every
/// slot, so that no field of an earlier ticket stays active in the device.
inline constexpr int ClearedSlots = 30;

/// Every rule of `port` that downloading `model`'s defined fields and printer codes with
/// `lines` as the ticket lines would break, as errors (LayoutFinding::isError()) in the
/// order the download writes the variables concerned; empty when the device takes it.
/// `lines` are the lines as the download sends them: the editor's box lines, or the
/// layout text split at CR LF. Linear in the size of the layout.
///
///     const QList<LayoutFinding> errors = PortRules::check(model, boxLines, *network.findPort(name));
///     if (!errors.isEmpty())
///         show(errors.first().message);  // the first one is where a download would stop
QList<LayoutFinding> check(const TicketModel &model, const QStringList &lines, const PrinterPort &port);

} // namespace PortRules

} // namespace tkl
