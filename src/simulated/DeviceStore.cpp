#include "DeviceStore.h"

#include "model/WholeFileSave.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QLockFile>
#include <QThread>

#include <algorithm>

#include <sys/stat.h>

namespace tkl {

namespace {

constexpr int FormatVersion = 1;

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// What stands at `path` when it is no regular file, as a message names it; empty for a
// regular file and for nothing at all. A symbolic link is not followed.
QString specialFileKind(const QString &path)
{
    struct stat st{};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    if (S_ISREG(st.st_mode))
        return {};
    if (S_ISDIR(st.st_mode))
        return QStringLiteral("a folder");
    if (S_ISFIFO(st.st_mode))
        return QStringLiteral("a pipe (FIFO)");
    if (S_ISSOCK(st.st_mode))
        return QStringLiteral("a socket");
    if (S_ISCHR(st.st_mode))
        return QStringLiteral("a character device");
    if (S_ISBLK(st.st_mode))
        return QStringLiteral("a block device");
    if (S_ISLNK(st.st_mode))
        return QStringLiteral("a symbolic link");
    return QStringLiteral("no regular file");
}

QString lockPathOf(const QString &path)
{
    return path + QStringLiteral(".lock");
}

} // namespace

int DeviceStore::lockWaitMs()
{
    const QByteArray text = qgetenv("TKL_LOCK_WAIT").trimmed();
    bool ok = false;
    const qlonglong seconds = text.toLongLong(&ok);
    if (!ok || seconds < 0)
        return DefaultLockWaitMs;
    return int(std::min<qlonglong>(seconds, MaxLockWaitMs / 1000) * 1000);
}

QString DeviceStore::lockPathProblem(const QString &path)
{
    const QString lockPath = lockPathOf(path);
    const QString kind = specialFileKind(lockPath);
    if (kind.isEmpty())
        return {};
    // Said at once: a pipe would block the open for ever, and waiting out the lock for
    // something that is no lock helps nobody.
    return QStringLiteral("The device memory's lock %1 is %2, not a lock file; the device memory is not used until it "
                          "is removed.")
        .arg(native(lockPath), kind);
}

Result<DeviceStore::Ports> DeviceStore::parse(const QByteArray &bytes)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError)
        return Failure{QStringLiteral("not JSON (%1 at byte %2)").arg(error.errorString()).arg(error.offset)};
    if (!doc.isObject())
        return Failure{QStringLiteral("not a JSON object")};
    const QJsonObject root = doc.object();
    const QJsonValue version = root.value(QLatin1String("version"));
    if (!version.isDouble() || version.toDouble() != FormatVersion)
        return Failure{QStringLiteral("\"version\" is not %1").arg(FormatVersion)};
    const QJsonValue ports = root.value(QLatin1String("ports"));
    if (!ports.isObject())
        return Failure{QStringLiteral("\"ports\" is not an object")};

    Ports result;
    const QJsonObject all = ports.toObject();
    for (auto it = all.constBegin(); it != all.constEnd(); ++it) {
        if (!it.value().isObject())
            return Failure{QStringLiteral("port \"%1\" is not an object").arg(it.key())};
        const QJsonObject values = it.value().toObject();
        const QString prefix = it.key() + QLatin1Char('.');
        for (auto v = values.constBegin(); v != values.constEnd(); ++v) {
            if (!v.key().startsWith(prefix))
                return Failure{QStringLiteral("\"%1\" is not a variable of port \"%2\"").arg(v.key(), it.key())};
            if (!v.value().isBool() && !v.value().isDouble() && !v.value().isString())
                return Failure{QStringLiteral("\"%1\" holds neither a Boolean, a number nor a string").arg(v.key())};
            // Kept, it would be written back with every save of any port.
            if (v.value().isString() && v.value().toString().size() > MaxStringLength)
                return Failure{QStringLiteral("\"%1\" holds a text of %2 characters; no device variable holds more "
                                              "than %3")
                                   .arg(v.key())
                                   .arg(v.value().toString().size())
                                   .arg(MaxStringLength)};
        }
        result.insert(it.key(), values);
    }
    return result;
}

bool DeviceStore::isNewer(const QByteArray &bytes)
{
    const QJsonDocument doc = QJsonDocument::fromJson(bytes);
    const QJsonValue version = doc.object().value(QLatin1String("version"));
    return version.isDouble() && version.toDouble() > FormatVersion;
}

QByteArray DeviceStore::serialize(const Ports &ports)
{
    QJsonObject all;
    for (auto it = ports.constBegin(); it != ports.constEnd(); ++it)
        all.insert(it.key(), it.value());
    QJsonObject root;
    root.insert(QStringLiteral("version"), FormatVersion);
    root.insert(QStringLiteral("ports"), all);
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

DeviceStore::Contents DeviceStore::setAside(const QString &path, const QString &what)
{
    Contents contents;
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString target = path + QStringLiteral(".damaged-") + stamp;
    for (int n = 2; QFileInfo::exists(target); ++n)
        target = path + QStringLiteral(".damaged-%1-%2").arg(stamp).arg(n);
    if (QFile::rename(path, target)) {
        contents.warning = QStringLiteral("The device memory %1 was damaged (%2); it was set aside as %3 and the devices start "
                              "empty.")
            .arg(native(path), what, native(target));
        return contents;
    }
    contents.unread = true;
    contents.warning = QStringLiteral("The device memory %1 is damaged (%2) and could not be set aside; the devices start empty "
                          "and downloads are not remembered.")
        .arg(native(path), what);
    return contents;
}

DeviceStore::Contents DeviceStore::readLocked(const QString &path)
{
    Contents contents;
    QFile file(path);
    if (!file.exists())
        return contents;
    const QFileInfo info(path);
    if (info.isDir() || !info.isFile()) {
        // A pipe or a device could block or never end.
        contents.unread = true;
        contents.warning = QStringLiteral("The device memory %1 is %2, not a file; what the devices hold could not "
                                          "be read and downloads are not remembered.")
                               .arg(native(path), info.isDir() ? QStringLiteral("a folder")
                                                               : QStringLiteral("a pipe or device"));
        return contents;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        // Unreadable is not damaged: leave it alone and do not write over it.
        contents.unread = true;
        contents.warning = QStringLiteral("The device memory %1 could not be read (%2); downloads are not "
                                          "remembered.")
                               .arg(native(path), file.errorString());
        return contents;
    }
    if (file.size() > MaxFileSize) {
        file.close();
        return setAside(path, QStringLiteral("larger than %1 bytes").arg(MaxFileSize));
    }
    const QByteArray bytes = file.readAll();
    file.close();
    Result<Ports> ports = parse(bytes);
    if (ports.ok()) {
        contents.ports = std::move(ports).value();
        return contents;
    }
    if (isNewer(bytes)) {
        // Not ours to judge or replace: the newer program reads it again.
        contents.unread = true;
        contents.warning = QStringLiteral("The device memory %1 was written by a newer program and could not be "
                                          "read; downloads are not remembered.")
                               .arg(native(path));
        return contents;
    }
    return setAside(path, ports.error().message);
}

bool DeviceStore::lock(QLockFile &lock)
{
    // Qt takes a lock over once its owner's process is gone, but cannot tell the owner of
    // an empty lock file and then waits for the stale time. Every owner holds a system
    // lock on the file for as long as it lives, and Qt removes a stale-looking lock file
    // only when it can take that system lock itself: a short stale time never takes a
    // lock from a living owner, however long it holds it.
    lock.setStaleLockTime(StaleLockMs);
    // Short steps rather than tryLock(timeout), which sleeps ever longer between its
    // tries and so loses the lock to writers that come back sooner.
    const QDeadlineTimer deadline(lockWaitMs());
    while (!lock.tryLock(0)) {
        if (lock.error() != QLockFile::LockFailedError || deadline.hasExpired())
            return false;
        QThread::msleep(10);
    }
    return true;
}

DeviceStore::Contents DeviceStore::load(const QString &path)
{
    if (!QFileInfo::exists(path))
        return {};
    if (const QString problem = lockPathProblem(path); !problem.isEmpty()) {
        Contents contents;
        contents.unread = true;
        contents.warning = problem;
        return contents;
    }
    // Setting a damaged file aside must not race a writer that is replacing it.
    QLockFile lockFile(lockPathOf(path));
    if (!lock(lockFile) && lockFile.error() == QLockFile::LockFailedError) {
        Contents contents;
        contents.unread = true;
        contents.warning = QStringLiteral("The device memory %1 stayed locked by another program and could not be "
                                          "read.")
                               .arg(native(path));
        return contents;
    }
    // Without the right to lock (a read-only folder) it is read all the same: nobody can
    // be replacing it there.
    return readLocked(path);
}

Result<DeviceStore::Contents> DeviceStore::mergePorts(const QString &path, const Ports &written)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        return Failure{QStringLiteral("cannot create the folder %1").arg(native(folder))};
    if (const QString problem = lockPathProblem(path); !problem.isEmpty())
        return Failure{problem};
    QLockFile lockFile(lockPathOf(path));
    if (!lock(lockFile)) {
        return Failure{lockFile.error() == QLockFile::LockFailedError
                           ? QStringLiteral("%1 stayed locked by another program").arg(native(path))
                           : QStringLiteral("cannot lock %1").arg(native(path))};
    }

    Contents contents = readLocked(path);
    if (contents.unread)
        return Failure{contents.warning};

    for (auto it = written.constBegin(); it != written.constEnd(); ++it) {
        if (it.value().isEmpty())
            contents.ports.remove(it.key());
        else
            contents.ports.insert(it.key(), it.value());
    }

    if (const Result<void> saved = saveWholeFile(path, serialize(contents.ports)); !saved.ok())
        return Failure{QStringLiteral("cannot write %1: %2").arg(native(path), saved.error().message)};
    return contents;
}

} // namespace tkl
