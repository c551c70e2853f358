#pragma once

#include "device/AutomationObject.h"
#include "device/LayoutFinding.h"
#include "device/WriteRecord.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace tkl {

class AutomationFactory;
class TicketModel;

/// How a download ended.
struct DownloadResult
{
    enum class Status {
        Done,     ///< every write made
        Failed,   ///< stopped at a failure; the writes before it stay in the device
        Refused,  ///< another download was still running; nothing done
        Rejected, ///< the layout breaks a rule of the port's device (PortRules); nothing written
        Cancelled,///< stopped between two requests on the caller's word; the writes before stay
    };
    Status status = Status::Done;
    QString errorString;  ///< the server's "ErrorString", or what else went wrong; for
                          ///< Cancelled what the device holds now
    QString failedName;   ///< the device variable being written when it failed; empty if none
    int writesDone = 0;   ///< device writes completed
    QList<LayoutFinding> findings; ///< Rejected: every rule broken; the first one is errorString
    QList<WriteRecord> written;    ///< the writes made, in order (what a real device got)

    bool ok() const { return status == Status::Done; }
};

/// Writes a ticket into a printer device through a new "KELM.PRO" server object.
///
/// Before anything else, the ticket is checked against the rules of the port's device
/// when the network knows the port (PortRules::check()); a ticket that breaks one is
/// Rejected with the first finding as `errorString` and its device variable as
/// `failedName`, and no server object is made and nothing written: a device left
/// half-written is worse than one left as it was.
///
/// For port P: P.UpdateArr[n].DataIn := false for every slot n (and every element of the
/// port beyond the 30 slots), then the 13 members of every defined slot, P.lines,
/// P.Ticket[1..lines] and P.PrintCode.start / .stop (a one-character CR string where a
/// code is empty).
///
/// A real device also keeps whether its ticket is whole: P.Download.state := Started is
/// the first write, and only once the read-back agreed P.Download.state := Finished and
/// P.Download.checksum := the LayoutChecksum of the writes (one request, sent before
/// the run ends so that its failure fails the download). A download that stops on the
/// way leaves the device Started. A simulated device keeps the same mark in its memory
/// (AutomationFactory::simulatedDownloadEnded()); its writes are exactly the ticket's. Every device write is "PhysId" := the
/// name, then "Value" := the value, typed as the device variable is.
///
/// The ticket is sent as the editor box shows it: one entry per box line, so that the
/// line count, the printed lines and the fields' Linie (which counts box lines) agree.
///
/// After the last write every variable written is read back ("PhysId" := the name, then
/// "Value" read) and compared with the value last written to it, in the order of those
/// last writes. The first difference ends the download as Failed, with `failedName` that
/// variable and `errorString` "Read-back of <name> gave "<read>" where "<written>" was
/// written" (control characters shown as "[13]"); a read the server refuses fails
/// likewise with "Read-back of <name> failed: <server's text>". Reads are not writes:
/// `writesDone` counts only writes and the network's write log holds none of them.
///
/// The server comes from the factory for the port: a simulated port's, or a ModbusServer
/// for a port on a real device, which joins writes to adjacent registers; when it
/// reports a failed request later, `failedName` is the first variable of that request
/// and `writesDone` counts the writes before it.
///
/// When the run ends, successful or not, the server's close() ends its session (a real
/// device's connection is closed) and, for a simulated port, the factory is told
/// (AutomationFactory::simulatedDownloadEnded(): the simulated network remembers how the
/// run ended and saves its devices' memory; a failure to save shows in the network's
/// storeWarning()). A download to a real device changes nothing in the network object,
/// so several may run at once in different threads, each with its own factory.
/// A cancelled download stops before its next write or read: what the server holds back
/// of the writes already handed to it is sent (close()), so that `writesDone` is what the
/// device holds, and `errorString` says what that is. Nothing runs an event loop: the
/// editor runs a download to a real device on a thread of its own (DownloadThread).
///
/// Plain class with callbacks, so the dialog and a command-line tool share it.
class TicketDownload
{
public:
    struct Callbacks
    {
        /// The server is ready, before the first write: set the line count, show progress.
        std::function<void()> prepared;
        /// How far the download has come, 0 to 100; 100 once the last field is written.
        std::function<void(double)> progress;
        /// Asked before every write and every read of the read-back: true stops the
        /// download there as Cancelled. May be asked from the thread that runs it only;
        /// make it read an atomic flag that another thread sets.
        std::function<bool()> cancelled;
    };

    explicit TicketDownload(AutomationFactory &factory);

    /// Downloads `model`'s fields and codes and `boxLines` (every line of the editor box
    /// as it wraps them) to the device of `port`, taken as it stands. P.lines is the
    /// number of box lines, which the caller also keeps as TicketLines. The server
    /// object created stays available as server() until the next download creates one.
    /// Never throws; refuses to start while another run of this object is under way.
    DownloadResult run(const TicketModel &model, const QStringList &boxLines, const QString &port,
                       const Callbacks &callbacks = {});

    /// What a download of `model` and `boxLines` to `port` would leave in its device: every
    /// device variable it writes with the value last written to it, in register order
    /// (the download state and checksum left out). Nothing, with `error` set, when the
    /// download would refuse the layout (its first finding) or cannot convert a value.
    static std::optional<QList<std::pair<QString, QVariant>>> plannedWrites(const TicketModel &model,
                                                                             const QStringList &boxLines,
                                                                             const PrinterPort &port, QString *error);

    /// Whether `read` is what a device gives back for `written`: a number may come back in
    /// a wider type, a Boolean as a number (true as -1, as automation servers do); a string
    /// must come back as the same string. The read-back checks by it, and so does anything
    /// that asks whether a device holds what a download wrote.
    static bool readsAsWritten(const QVariant &written, const QVariant &read);

    /// The server object of the last download that got one (DownloadServer), or nullptr.
    AutomationObject *server() const { return m_server.get(); }

    bool isRunning() const { return m_running; }

private:
    AutomationFactory &m_factory;
    std::unique_ptr<AutomationObject> m_server;
    bool m_running = false;
};

} // namespace tkl
