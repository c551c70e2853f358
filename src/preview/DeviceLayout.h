#pragma once

#include "device/AutomationObject.h"
#include "device/PortVariables.h"
#include "files/LayoutData.h"

#include <QString>
#include <QVariant>

#include <memory>
#include <optional>

namespace tkl {

class ProcessNetwork;
struct PrinterPort;

/// The values a port's device holds, read by name: a simulated device's from the
/// network, a real device's over one Modbus connection of its own, closed with this
/// object. A failed read of a real device throws AutomationError.
class HeldValues
{
public:
    HeldValues(ProcessNetwork &network, const PrinterPort &port);
    ~HeldValues();

    QVariant operator()(const QString &name) const;

    /// The port is on a real device.
    bool real() const { return m_device != nullptr; }
    /// Ends a real device's session; nothing for a simulated one.
    void close();

private:
    ProcessNetwork &m_network;
    std::unique_ptr<AutomationObject> m_device; ///< a real device's client; none for a simulated one
};

/// What a printer device holds: how its last download ended, the checksum a real device
/// keeps of a finished one, and its layout.
struct DeviceTicket
{
    PortVariables::DownloadState state = PortVariables::DownloadState::Finished;
    std::optional<quint32> checksum; ///< a real device's, as it holds it; none for a simulated one
    LayoutData layout;

    bool finished() const { return state == PortVariables::DownloadState::Finished; }
};

/// The ticket a printer device holds. Its download state comes first: NeverWritten is
/// no ticket (nothing, with noTicketError()); Started gives what the unfinished download
/// wrote; a state register holding anything else is an error.
/// The layout as layoutFromDevice() describes it.
std::optional<DeviceTicket> ticketFromDevice(ProcessNetwork &network, const QString &port, QString *error);

/// The layout a printer device holds, rebuilt from its device variables: the fields
/// from UpdateArr[1..30] whose DataIn is true (every member, Linie back to 0-based;
/// BoxLoaded 1 for them), TicketLines from "lines", the text from Ticket[1..lines]
/// joined with CR LF (a line never written is empty), and the printer codes as the
/// device holds them (a lone CR where the layout had none). A member never written
/// reads as 0 or empty. The editor's size is not kept by a device and stays 0.
///
/// A device whose last download stopped early may hold fields without "lines": its
/// ticket then has no lines. Nothing, with `error` set, for a port the network does not
/// have ("No port "P" in the network") or a device that holds nothing, as its download
/// state tells ("Port "P" holds no ticket"). A port on a real device is read over Modbus (one connection, closed at
/// the end); a failed read gives its error text, naming the variable, endpoint and cause.
std::optional<LayoutData> layoutFromDevice(ProcessNetwork &network, const QString &port, QString *error);

/// The editor's size that New gives, which an uploaded layout takes: a device does not
/// keep it. (The editor snaps the width to whole character cells when it opens the file.)
inline constexpr qint16 UploadEditorWidth = 5260;
inline constexpr qint16 UploadEditorHeight = 3155;

/// What a device holds as a layout to save or open: its fields, lines and codes, with
/// the editor's size New gives, and a printer code the device holds as a lone CR (what a
/// download sends for no code) empty again, so that downloading the layout writes what
/// the device holds.
LayoutData uploadedLayout(const DeviceTicket &ticket);

/// The error of layoutFromDevice() for a device that holds no ticket: an answer, not a
/// failure to read.
QString noTicketError(const QString &port);

} // namespace tkl
