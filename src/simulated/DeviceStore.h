#pragma once

#include "model/Result.h"

#include <QJsonObject>
#include <QMap>
#include <QString>

class QLockFile;

namespace tkl {

/// The file in which the simulated devices keep their memory, as plain JSON per port;
/// ProcessNetwork turns it into device values and back (see ProcessNetwork::attachStore).
///
/// Every function works on the file as it stands on disk. load() does not lock, because
/// the file is only ever replaced whole by a rename and so is always complete;
/// mergePorts() holds "<path>.lock" for its whole read-modify-write.
class DeviceStore
{
public:
    /// Port name -> { device variable full name: stored value }.
    using Ports = QMap<QString, QJsonObject>;

    /// What a load found. A damaged or unreadable file is no failure of the load: the
    /// devices start empty and the warning goes with the (empty) contents, for the
    /// caller to show when it suits.
    struct Contents
    {
        Ports ports;
        QString warning;   ///< set when the file was damaged (and set aside) or unreadable
        /// The file is there but what it holds could not be read (it stayed locked, cannot
        /// be opened, is no regular file, or is of a newer program): the devices' memory
        /// is unknown, not empty.
        bool unread = false;
    };

    /// How long a program waits for the others to finish with the file, unless
    /// TKL_LOCK_WAIT says otherwise. A writer holds the lock only while it reads and
    /// replaces the file, but many downloads at once on a busy machine queue for it, and
    /// a program that gives up reports a failure it did not cause: wait as long as a
    /// download itself may take.
    static constexpr int DefaultLockWaitMs = 30000;

    /// The longest TKL_LOCK_WAIT taken (one hour); more is taken as this.
    static constexpr int MaxLockWaitMs = 3600 * 1000;

    /// How long to wait for the lock: TKL_LOCK_WAIT in seconds (a whole number, 0 for
    /// one try) or DefaultLockWaitMs when it is unset or no such number.
    static int lockWaitMs();

    /// A lock file older than this whose owner does not hold it any more is taken over:
    /// one left behind by a program that was killed, also an empty one (killed between
    /// creating and filling it), whose owner nobody can tell.
    static constexpr int StaleLockMs = 200;

    /// Far more than the 100 ports of the largest network hold (a port of 30 fields and
    /// 100 lines of 255 characters takes about 40 KB here, and no port holds more than
    /// 128 KiB of text); a larger file is not a store and is set aside unread.
    static constexpr qint64 MaxFileSize = qint64(64) * 1024 * 1024;

    /// The longest text a device variable holds; a store with a longer one is damaged.
    static constexpr int MaxStringLength = 32767;

    /// Why the lock path cannot be used, when something other than a regular file (a
    /// pipe, a folder, a socket, a device, a symbolic link) is there: opening it could
    /// block for ever or take something that is not a lock. Empty when the path is free
    /// or a regular file.
    static QString lockPathProblem(const QString &path);

    /// Reads the file; a missing file is empty. A damaged one is set aside (see
    /// setAside()) and reads as empty with a warning that says where it went. One of a
    /// newer format, a folder, a pipe or device, an unreadable file or one that stays
    /// locked reads as empty and `unread`, with a warning, and stays as it is;
    /// mergePorts() then refuses to write over it.
    static Contents load(const QString &path);

    /// Under the lock: reads the file again, replaces the entry of every port in
    /// `written` (an empty object removes the port), and saves atomically. Gives the
    /// whole contents as saved, with a damaged file's report as their warning (the file
    /// was set aside and the save went on without it). On failure the file stays as it
    /// was.
    static Result<Contents> mergePorts(const QString &path, const Ports &written);

    /// Parses a store's bytes; the failure says why they are not a store.
    static Result<Ports> parse(const QByteArray &bytes);

    /// Whether the bytes are a store of a later format than this program writes; such a
    /// file is left alone, neither read nor set aside nor replaced.
    static bool isNewer(const QByteArray &bytes);

    /// The bytes of a store that holds `ports`.
    static QByteArray serialize(const Ports &ports);

private:
    /// Reads the file under the lock. `unread` also means "leave the file alone".
    static Contents readLocked(const QString &path);
    static bool lock(QLockFile &lock);
    /// Renames a damaged file out of the way; `unread` when that failed.
    static Contents setAside(const QString &path, const QString &what);
};

} // namespace tkl
