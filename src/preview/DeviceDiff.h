#pragma once

#include "device/PortVariables.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

namespace tkl {

class ProcessNetwork;
class TicketModel;

/// Whether a printer device holds exactly what a download of a layout would leave in it.
///
/// Every device variable the download writes is read from the device and compared with
/// the value it would write, in register order (a real device over one connection of its
/// own). A real device must also be in the finished download state with the layout's
/// checksum; its checksum is compared, never trusted in place of the registers, so that a
/// register changed behind the program's back is found whatever the checksum says.
/// Variables the download does not write (a field element's members while its DataIn is
/// 0, the ticket entries beyond the line count) are not compared: they may hold anything.
namespace DeviceDiff {

/// One thing the device holds otherwise: "line 4 text", "field 2 Chars", "start code",
/// "line count", "checksum", with the value the layout gives and the one the device holds
/// (invalid where it holds none).
struct Difference
{
    QString what;
    QVariant layout;
    QVariant device;
};

/// What comparing one port came to.
struct Outcome
{
    enum class Kind {
        Holds,      ///< the device holds the layout
        Differs,    ///< differences lists what differs
        Unfinished, ///< the last download to it did not finish
        NoTicket,   ///< the device holds no ticket
        Unreadable, ///< the device could not be read: error
        Unusable,   ///< the layout cannot go to this port (a download would refuse it): error
    };
    Kind kind = Kind::Holds;
    QList<Difference> differences;
    QString error;
};

/// Compares the device of `port` (a port of `network`) with `model` and `boxLines` as a
/// download would write them. Blocking; for a real device it reads the network only, so
/// several ports may be compared at once in different threads (simulated ones on the
/// thread that owns the network).
Outcome compare(ProcessNetwork &network, const TicketModel &model, const QStringList &boxLines,
                const PrinterPort &port);

/// "field 2 Chars 9 → 7", "line 4 text": what a line of text names of a difference.
QString describe(const Difference &difference);

} // namespace DeviceDiff

} // namespace tkl
