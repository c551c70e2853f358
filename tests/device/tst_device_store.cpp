// The devices' memory: what a download leaves in the devices survives a restart, a
// damaged file is set aside, and programs writing at the same time keep each other's
// ports.

#include "DeviceTestSupport.h"
#include "simulated/DeviceStore.h"
#include "support/ToolProcess.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QScopeGuard>
#include <QTest>

#include <atomic>
#include <chrono>
#include <thread>

#include <sys/stat.h>

using namespace tkl;
using namespace tkl::test;

namespace {

// A network with its devices' memory in `path`, and a download over it.
struct Plant : DownloadRun
{
    explicit Plant(const QString &path) { network->attachStore(path); }

    // A restarted program finds every value `written` wrote, of the same type.
    void checkRestoredFrom(const Plant &written) const
    {
        for (const WriteRecord &w : written.network->writeLog()) {
            const QVariant held = network->readValue(w.name);
            const QVariant expected = written.network->readValue(w.name);
            QVERIFY2(held.metaType() == expected.metaType() && held == expected, qPrintable(w.name));
        }
    }
};

// A fault set up before a program starts over the store: what a damaged store holds, the
// failing write of the download to Printer2 (0: none), and the warnings once the store is
// read and after the download (empty: none, and saved).
struct StoreCase { QString fault; QByteArray contents = {}; int failAt = 0; QString loaded = {}, saved = {}; };

// Other programs saving their own ports W1..W4 again and again, as the store writer does.
constexpr int Writers = 4;
constexpr int Rounds = 25;

} // namespace

class TestDeviceStore : public QObject
{
    Q_OBJECT

private slots:
    void memoryKept_data()
    {
        QTest::addColumn<StoreCase>("c");
        auto row = [](const char *name, const StoreCase &c) { QTest::newRow(name) << c; };
        row("nothing wrong", {""});
        // Writes made before a failure stay in the device, and so in its memory.
        row("download failed half-way", {"", {}, 45});
        row("damaged: empty file", {"damaged", "", 0, "was damaged"});
        row("damaged: cut short", {"damaged", R"({"version": 1, "ports": {"Printer1": {"Printer1.lines": 3)", 0, "was damaged"});
        row("damaged: version as text", {"damaged", R"({"version": "1", "ports": {}})", 0, "was damaged"});
        row("damaged: variable of another port", {"damaged", R"({"version": 1, "ports": {"Printer1": {"Printer2.lines": 1}}})",
            0, "was damaged"});
        // Kept, it would be written back with every later save.
        row("damaged: a text no device holds", {"damaged",
            R"({"version": 1, "ports": {"Printer1": {"Printer1.Ticket[1]": ")" + QByteArray(32768, 'x') + R"("}}})", 0,
            "holds a text of 32768 characters"});
        // Not ours to judge: left byte for byte as the newer program wrote it.
        row("written by a newer program", {"newer", R"({"version": 2, "ports": {"Printer1": {"Printer1.lines": [1]}}})", 0,
            "written by a newer program", "could not be saved"});
        // Left by a program killed between creating the lock file and writing into it.
        row("empty lock file", {"empty lock"});
        row("lock of a program gone", {"stale lock"});
        // The memory is unknown, not empty; nothing is written over it.
        row("lock held by a living program", {"held lock", {}, 0, "could not be read", "could not be saved"});
        // Many downloads at once queue for the lock far longer than a second.
        row("lock held for a while", {"busy lock"});
        // Opening a pipe would block for ever; whatever is there is named at once.
        row("a pipe at the lock path", {"lock fifo", {}, 0, "is a pipe (FIFO), not a lock file", "could not be saved"});
        row("a folder at the lock path", {"lock folder", {}, 0, "is a folder, not a lock file", "could not be saved"});
        row("a link at the lock path", {"lock link", {}, 0, "is a symbolic link, not a lock file", "could not be saved"});
        // A save that cannot put all of the file on disk leaves the old one as it was.
        row("disk full", {"full disk", {}, 0, "", "could not be saved"});
        row("other programs saving at the same time", {"writers"});
        row("other programs saving on a busy machine", {"writers under load"});
    }

    void memoryKept()
    {
        QFETCH(StoreCase, c);
        const auto &[fault, contents, failAt, loaded, saved] = c;
        const QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("devices.json"));
        const QString lockPath = path + QStringLiteral(".lock");
        auto files = [&] { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden); };

        // Printer1 holds a longer ticket, unfinished, and a shorter one over it, finished: the
        // lines behind the new line count stay, and the mark of the unfinished one goes.
        Plant first(path);
        first.faults.failWriteAt(42);
        QVERIFY(!first.run(QStringList(9, QStringLiteral("old line"))).ok());
        QVERIFY(first.network->lastDownloadUnfinished(QStringLiteral("Printer1")));
        QVERIFY(first.runGolden().ok());
        const QByteArray stored = contentsOf(path);

        QLockFile living(lockPath);
        std::thread releaser;
        std::atomic<bool> burning{true};
        std::vector<std::thread> burners;
        const auto stopThreads = qScopeGuard([&] {
            burning = false;
            for (std::thread &t : burners)
                t.join();
            if (releaser.joinable())
                releaser.join();
            qunsetenv("TKL_LOCK_WAIT");
        });
        std::vector<std::unique_ptr<QProcess>> writers;
        rlimit unlimited{};
        if (fault == u"damaged" || fault == u"newer") {
            QVERIFY(writeFile(path, contents));
        } else if (fault == u"empty lock") {
            QVERIFY(writeFile(lockPath, {}));
        } else if (fault == u"stale lock") {
            // Above the largest process id the system hands out.
            QVERIFY(writeFile(lockPath, "9999999\ntklcli\n" + QSysInfo::machineHostName().toUtf8() + '\n'));
        } else if (fault == u"held lock") {
            QVERIFY(living.tryLock(0));
            qputenv("TKL_LOCK_WAIT", "1");
        } else if (fault == u"busy lock") {
            QVERIFY(living.tryLock(0));
            releaser = std::thread([&living] {
                std::this_thread::sleep_for(std::chrono::milliseconds(2500));
                living.unlock();
            });
        } else if (fault == u"lock fifo") {
            QCOMPARE(mkfifo(QFile::encodeName(lockPath).constData(), 0600), 0);
        } else if (fault == u"lock folder") {
            QVERIFY(QDir().mkdir(lockPath));
        } else if (fault == u"lock link") {
            QVERIFY(QFile::link(dir.filePath(QStringLiteral("elsewhere")), lockPath));
        } else if (fault == u"full disk") {
            unlimited = limitFileSize(rlim_t(stored.size() + 100));
        } else if (fault.startsWith(u"writers")) {
            for (int b = 0; fault.endsWith(u"load") && b < 3; ++b) {
                burners.emplace_back([&burning] {
                    while (burning.load()) {
                    }
                });
            }
            for (int w = 1; w <= Writers; ++w) {
                writers.push_back(std::make_unique<QProcess>());
                writers.back()->setProcessChannelMode(QProcess::ForwardedErrorChannel);
                writers.back()->start(QStringLiteral(TKL_STORE_WRITER),
                                      {path, QStringLiteral("W%1").arg(w), QString::number(Rounds)});
            }
        }

        Plant plant(path);
        const QString warning = plant.network->storeWarning();
        QVERIFY2(loaded.isEmpty() ? warning.isEmpty() : warning.contains(loaded), qPrintable(warning));
        const bool unread = fault == u"held lock" || fault == u"newer" || fault.startsWith(u"lock ");
        QCOMPARE(plant.network->storeRead(), !unread);
        QCOMPARE(plant.network->readValue(QStringLiteral("Printer1.lines")).isValid(), loaded.isEmpty());
        if (fault == u"damaged") {
            // Set aside whole, under a name that says what it is; the place is free again.
            const QStringList copies = files();
            QCOMPARE(copies.size(), 1);
            QVERIFY(copies.first().startsWith(QStringLiteral("devices.json.damaged-")));
            QVERIFY2(warning.contains(QDir::toNativeSeparators(path)) && warning.contains(copies.first()), qPrintable(warning));
            QCOMPARE(contentsOf(dir.filePath(copies.first())), contents);
        }

        plant.faults.failWriteAt(failAt);
        const bool sent = plant.runGolden(QStringLiteral("Printer2")).ok();
        if (fault == u"full disk")
            setrlimit(RLIMIT_FSIZE, &unlimited);
        QCOMPARE(sent, failAt == 0);
        for (const auto &w : writers) {
            QVERIFY(w->waitForFinished(60000));
            QCOMPARE(w->exitStatus(), QProcess::NormalExit);
            QCOMPARE(w->exitCode(), 0);
        }
        const QString after = plant.network->storeWarning();
        QVERIFY2(saved.isEmpty() ? after.isEmpty() : after.contains(saved), qPrintable(after));

        if (!saved.isEmpty()) {
            QCOMPARE(contentsOf(path), fault == u"newer" ? contents : stored);
        } else {
            const Plant restarted(path);
            QVERIFY2(restarted.network->storeWarning().isEmpty(), qPrintable(restarted.network->storeWarning()));
            if (fault != u"damaged")
                restarted.checkRestoredFrom(first);
            restarted.checkRestoredFrom(plant);
            QVERIFY(!restarted.network->lastDownloadUnfinished(QStringLiteral("Printer1")));
            QCOMPARE(restarted.network->lastDownloadUnfinished(QStringLiteral("Printer2")), failAt != 0);
        }
        const QJsonObject ports = QJsonDocument::fromJson(contentsOf(path)).object().value(QLatin1String("ports")).toObject();
        for (int w = 1; w <= int(writers.size()); ++w) {
            const QString port = QStringLiteral("W%1").arg(w);
            QCOMPARE(ports.value(port).toObject().value(port + QStringLiteral(".Ticket[1]")).toString(),
                     QStringLiteral("%1 round %2").arg(port).arg(Rounds));
        }

        // No lock, temporary file or further copy is left behind.
        living.unlock();
        QCOMPARE(files().size(), fault == u"damaged" ? 2 : 1);
        if (fault == u"damaged") {
            // A second damaged file gets a name of its own.
            QVERIFY(writeFile(path, contents));
            QVERIFY(!Plant(path).network->storeWarning().isEmpty());
            QCOMPARE(files().filter(QStringLiteral(".damaged-")).size(), 2);
        }
    }

    void storeFolder_data()
    {
        QTest::addColumn<QByteArray>("earlier"); // what the data folder's memory holds; empty: none
        QTest::addColumn<QByteArray>("current"); // what the state folder's memory holds; empty: none
        QTest::newRow("none yet") << QByteArray() << QByteArray();
        QTest::newRow("an earlier memory is moved") << QByteArray("old") << QByteArray();
        QTest::newRow("the current one wins") << QByteArray("old") << QByteArray("new");
    }

    // The devices' memory lives apart from the program's installed files (under ~/.local
    // those are in the data folder), and a memory kept there by an earlier version is not lost.
    void storeFolder()
    {
        QFETCH(QByteArray, earlier);
        QFETCH(QByteArray, current);
        const QByteArray used = current.isEmpty() ? earlier : current; // the memory in use then
        QTemporaryDir home;
        const QString data = home.filePath(QStringLiteral("data/tkledit/devices.json"));
        const QString state = home.filePath(QStringLiteral("state/tkledit/devices.json"));
        QVERIFY(QDir().mkpath(home.filePath(QStringLiteral("data/tkledit"))));
        QVERIFY(QDir().mkpath(home.filePath(QStringLiteral("state/tkledit"))));
        if (!earlier.isEmpty())
            QVERIFY(writeFile(data, earlier));
        if (!current.isEmpty())
            QVERIFY(writeFile(state, current));

        const QByteArray store = qgetenv("TKL_DEVICE_STORE");
        qunsetenv("TKL_DEVICE_STORE");
        qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toLocal8Bit());
        qputenv("XDG_STATE_HOME", home.filePath(QStringLiteral("state")).toLocal8Bit());
        const QString path = ProcessNetwork::defaultStorePath();
        qputenv("TKL_DEVICE_STORE", store);

        QCOMPARE(path, state);
        QCOMPARE(QFileInfo::exists(state), !used.isEmpty());
        QCOMPARE(contentsOf(state), used);
        // Moved, not copied: a second memory would go its own way; a newer one leaves it be.
        QCOMPARE(QFileInfo::exists(data), !current.isEmpty() && !earlier.isEmpty());
    }

    // How long a save waits for the lock: seconds from the environment, up to an hour;
    // anything unusable leaves the default.
    void lockWait_data()
    {
        QTest::addColumn<QByteArray>("setting");
        QTest::addColumn<int>("ms");
        const std::pair<const char *, int> rows[] = {{"", 30000}, {"0", 0}, {" 5 ", 5000}, {"3600", 3600000},
                                                     {"3601", 3600000}, {"-1", 30000}, {"1.5", 30000},
                                                     {"ten", 30000}};
        for (const auto &[setting, ms] : rows)
            QTest::newRow(*setting ? setting : "empty") << QByteArray(setting) << ms;
    }

    void lockWait()
    {
        QFETCH(QByteArray, setting);
        QFETCH(int, ms);
        const QByteArray kept = qgetenv("TKL_LOCK_WAIT");
        qputenv("TKL_LOCK_WAIT", setting);
        const int waited = DeviceStore::lockWaitMs();
        qputenv("TKL_LOCK_WAIT", kept);
        QCOMPARE(waited, ms);
    }
};

QTEST_GUILESS_MAIN(TestDeviceStore)
#include "tst_device_store.moc"
