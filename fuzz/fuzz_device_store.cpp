// Feeds arbitrary bytes to the reader of the devices' memory. Besides crashes, leaks and
// hangs it checks that whatever reads as a store writes and reads back unchanged, and
// that the built-in network takes from it only values its devices can hold.
//
// An input whose last line is "#lock KIND" has KIND stand at the lock path while the
// store is attached (fifo, folder, link or empty: an empty lock file); the rest is the
// store. Whatever stands there, attaching ends at once: a pipe must never block it.
#include "simulated/DeviceStore.h"
#include "network/ProcessNetwork.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <sys/stat.h>
#include <unistd.h>

using namespace tkl;

namespace {

[[noreturn]] void fault(const char *what)
{
    std::fprintf(stderr, "store fuzz: %s\n", what);
    std::abort();
}

bool holdsItsType(const DeviceVariable &d, const QVariant &value)
{
    if (!value.isValid())
        return true;
    if (value.metaType().id() != valueMetaTypeId(d.type))
        return false;
    if (d.type == ValueType::String)
        return value.toString().size() <= d.maximum;
    return value.toInt() >= d.minimum && value.toInt() <= d.maximum;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static QTemporaryDir dir;
    static const auto network = ProcessNetwork::builtIn();
    // A lock left behind empty is taken over after a short while; never wait long.
    static const bool shortWait = qputenv("TKL_LOCK_WAIT", "1");
    (void)shortWait;

    QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QByteArray lockKind;
    if (const qsizetype at = bytes.lastIndexOf("\n#lock "); at >= 0 && !bytes.sliced(at + 1).contains('\n')) {
        lockKind = bytes.sliced(at + 7);
        bytes.truncate(at);
    }
    const auto ports = DeviceStore::parse(bytes);
    if (!ports.ok()) {
        if (ports.error().message.isEmpty())
            fault("a refusal without a reason");
        return 0;
    }
    const QByteArray written = DeviceStore::serialize(*ports);
    const auto reread = DeviceStore::parse(written);
    if (!reread.ok())
        fault("a written store does not read back");
    if (*reread != *ports)
        fault("a written store reads back different");

    // The devices take what fits them and leave the rest.
    const QString path = dir.filePath(QStringLiteral("devices.json"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        fault("cannot write the temporary store");
    file.close();
    const QString lockPath = path + QStringLiteral(".lock");
    const QByteArray lockName = QFile::encodeName(lockPath);
    bool lockRefused = true;
    if (lockKind == "fifo")
        mkfifo(lockName.constData(), 0600);
    else if (lockKind == "folder")
        QDir().mkdir(lockPath);
    else if (lockKind == "link")
        QFile::link(dir.filePath(QStringLiteral("nowhere")), lockPath);
    else if (lockKind == "empty")
        QFile(lockPath).open(QIODevice::WriteOnly);
    else
        lockRefused = false;
    if (lockKind == "empty")
        lockRefused = false;
    const bool attached = network->attachStore(path);
    ::unlink(lockName.constData());
    ::rmdir(lockName.constData());
    if (lockRefused) {
        if (attached || !network->storeWarning().contains(QLatin1String("not a lock file")))
            fault("something other than a lock file at the lock path was not refused");
        return 0;
    }
    if (!attached)
        fault("a store that parses is not attached without a warning");
    // Every variable the file names that the network has: what the device took fits it.
    for (const QJsonObject &values : *ports) {
        for (auto it = values.begin(); it != values.end(); ++it) {
            const auto d = network->findDeviceVariable(it.key());
            if (d && !holdsItsType(*d, network->readValue(*d)))
                fault("a device variable holds a value it cannot hold");
        }
    }
    return 0;
}
