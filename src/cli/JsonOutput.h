#pragma once

#include "preview/DeviceLayout.h"

#include <QByteArray>
#include <QString>

#include <optional>

class QCommandLineOption;
class QCommandLineParser;

namespace tkl {
struct LayoutData;
struct ModbusEndpoint;
struct PrinterPort;
}

namespace tkl::cli {

struct CheckFinding;
struct Console;

/// The --format json output of check and show: JSON Lines, one compact object per
/// line, so that a pipeline can take them one at a time (jq, a script's line reader).
/// Strings are the file's and the device's own text; JSON escapes what needs it.
class JsonOutput
{
public:
    /// The --format option: "text" (the default) or "json".
    static QCommandLineOption formatOption();

    /// True for json, false for text; nothing, after a message, for any other value.
    static std::optional<bool> wantsJson(const QCommandLineParser &parser, const QString &command,
                                         Console &console);

    /// {"file", "line" (0: no single line), "severity" ("error" or "warning"), "kind" (one
    /// word, CheckFinding::kind), "message", and where there is one "slot" (the field) and
    /// "port" (the printer port an error holds for)}.
    static QByteArray finding(const QString &file, const CheckFinding &finding);

    /// {"port", "node", "kind" ("simulated", "modbus-tcp" or "modbus-rtu"),
    /// "updateElements", "ticketLines", "stringLength", and for a real device "endpoint"
    /// ("host:port" or the serial line's path), "unit" and "base"}. `endpoint` is nullptr for a simulated device.
    static QByteArray port(const PrinterPort &port, const QString &node, const ModbusEndpoint *endpoint);

    /// {"port", "holdsTicket", and when it does: "lines" (the ticket's text lines),
    /// "fields" (each defined field: "slot", "VarName", "line" and "column" counted from 1
    /// as the device counts them, "Chars", "Digits", "NodeAdr", "SWNo", "Offset", "Typ",
    /// "BitNo", "Code", "DevType"), "startCode" and "stopCode" as stored ("[27]@"),
    /// "lastDownloadFinished" (false: the device holds what a download wrote before it
    /// stopped)}, and always "downloadState" (0 never written, 1 under way, 2 finished)
    /// and "checksum" (the layout checksum a real device holds, null for none).
    /// `ticket` is nullptr when the device holds no ticket.
    static QByteArray device(const QString &port, const DeviceTicket *ticket);
};

} // namespace tkl::cli
