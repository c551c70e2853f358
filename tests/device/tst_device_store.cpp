// The devices' memory: what a download leaves in the devices survives a restart, a
// damaged file is set aside, and programs writing at the same time keep each other's
// ports.

#include "DeviceTestSupport.h"
#include "support/ToolProcess.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

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
        QVERIFY2(network->storeWarning().isEmpty(), qPrintable(network->storeWarning()));
        for (const WriteRecord &w : written.network->writeLog()) {
            const QVariant held = network->readValue(w.name);
            const QVariant expected = written.network->readValue(w.name);
            QVERIFY2(held.metaType() == expected.metaType() && held == expected, qPrintable(w.name));
        }
    }
};

QStringList damagedCopies(const QString &folder)
{
    return QDir(folder).entryList({QStringLiteral("devices.json.damaged-*")}, QDir::Files);
}

} // namespace

class TestDeviceStore : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void survivesRestart_data();
    void survivesRestart();
    void damagedStoreSetAside_data();
    void damagedStoreSetAside();
    void concurrentProgramsLoseNothing();
    void fullDiskKeepsTheOldMemory();
    void leftOverLock_data();
    void leftOverLock();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
};

void TestDeviceStore::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_path = m_dir->filePath(QStringLiteral("devices.json"));
}

void TestDeviceStore::survivesRestart_data()
{
    QTest::addColumn<QStringList>("ports"); // downloaded in this order, golden ticket each
    QTest::addColumn<int>("failAt");        // the last download's failing write; 0: none
    QTest::addColumn<bool>("longerFirst");  // a longer ticket to Printer1 before

    QTest::newRow("two ports") << QStringList{"Printer1", "Printer2"} << 0 << false;
    // Writes made before a failure stay in the device, and so in its memory.
    QTest::newRow("download failed half-way") << QStringList{"Printer2", "Printer1"} << 45 << false;
    // Lines of the longer ticket behind the new line count stay in the device.
    QTest::newRow("shorter ticket over a longer one") << QStringList{"Printer1"} << 0 << true;
    // A finished download to the port clears the mark of an unfinished one.
    QTest::newRow("finished after a failed one") << QStringList{"Printer1", "Printer1"} << 0 << false;
}

void TestDeviceStore::survivesRestart()
{
    QFETCH(QStringList, ports);
    QFETCH(int, failAt);
    QFETCH(bool, longerFirst);
    Plant plant(m_path);
    if (longerFirst)
        QVERIFY(plant.run(QStringList(9, QStringLiteral("old line"))).ok());
    fillGoldenTicket(plant.model);
    for (qsizetype i = 0; i < ports.size(); ++i) {
        const bool fails = failAt && i == ports.size() - 1;
        if (fails)
            plant.faults.failWriteAt(failAt);
        QCOMPARE(plant.run(goldenBoxLines(), ports.at(i)).ok(), !fails);
    }
    QVERIFY2(plant.network->storeWarning().isEmpty(), qPrintable(plant.network->storeWarning()));
    const Plant restarted(m_path);
    restarted.checkRestoredFrom(plant);
    for (const QString &port : ports)
        QCOMPARE(restarted.network->lastDownloadUnfinished(port), failAt != 0 && port == ports.last());
    QVERIFY(!QFileInfo::exists(m_path + QStringLiteral(".lock")));
    QVERIFY(damagedCopies(m_dir->path()).isEmpty());
}

void TestDeviceStore::damagedStoreSetAside_data()
{
    QTest::addColumn<QByteArray>("contents");

    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("cut short") << QByteArray(R"({"version": 1, "ports": {"Printer1": {"Printer1.lines": 3)");
    QTest::newRow("version as text") << QByteArray(R"({"version": "1", "ports": {}})");
    QTest::newRow("variable of another port")
        << QByteArray(R"({"version": 1, "ports": {"Printer1": {"Printer2.lines": 1}}})");
}

void TestDeviceStore::damagedStoreSetAside()
{
    QFETCH(QByteArray, contents);
    QVERIFY(writeFile(m_path, contents));
    Plant plant(m_path);
    const QString warning = plant.network->storeWarning();
    QVERIFY2(warning.contains(QDir::toNativeSeparators(m_path)), qPrintable(warning));
    for (const QString &name : {QStringLiteral("Printer1.lines"), QStringLiteral("Printer2.lines")})
        QVERIFY(!plant.network->readValue(name).isValid());

    // Set aside whole, under a name that says what it is; the place is free again.
    const QStringList copies = damagedCopies(m_dir->path());
    QCOMPARE(copies.size(), 1);
    QVERIFY2(warning.contains(copies.first()), qPrintable(warning));
    QVERIFY(!QFileInfo::exists(m_path));
    QCOMPARE(contentsOf(m_dir->filePath(copies.first())), contents);

    // The next download starts a sound memory.
    QVERIFY(plant.runGolden().ok());
    Plant(m_path).checkRestoredFrom(plant);

    // A second damaged file gets a name of its own.
    QVERIFY(writeFile(m_path, contents));
    Plant again(m_path);
    QVERIFY(!again.network->storeWarning().isEmpty());
    QCOMPARE(damagedCopies(m_dir->path()).size(), 2);
}

// Several programs save one after another in no fixed order: each keeps the others' ports.
void TestDeviceStore::concurrentProgramsLoseNothing()
{
    constexpr int writers = 4;
    constexpr int rounds = 25;
    QList<QProcess *> processes;
    for (int w = 1; w <= writers; ++w) {
        auto *p = new QProcess(this);
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(QStringLiteral(TKL_STORE_WRITER), {m_path, QStringLiteral("W%1").arg(w), QString::number(rounds)});
        processes << p;
    }
    for (QProcess *p : processes) {
        QVERIFY(p->waitForFinished(60000));
        QCOMPARE(p->exitStatus(), QProcess::NormalExit);
        QCOMPARE(p->exitCode(), 0);
        delete p;
    }

    const QJsonObject ports = QJsonDocument::fromJson(contentsOf(m_path)).object().value(QLatin1String("ports")).toObject();
    QCOMPARE(ports.size(), writers);
    for (int w = 1; w <= writers; ++w) {
        const QString port = QStringLiteral("W%1").arg(w);
        QCOMPARE(ports.value(port).toObject().value(port + QStringLiteral(".Ticket[1]")).toString(),
                 QStringLiteral("%1 round %2").arg(port).arg(rounds));
    }
    QVERIFY(damagedCopies(m_dir->path()).isEmpty());
}

// A save that cannot put all of the file on disk leaves the old one as it was.
void TestDeviceStore::fullDiskKeepsTheOldMemory()
{
    Plant plant(m_path);
    QVERIFY(plant.runGolden(QStringLiteral("Printer2")).ok());
    const QByteArray before = contentsOf(m_path);
    QVERIFY(!before.isEmpty());

    const rlimit saved = limitFileSize(rlim_t(before.size() + 100));
    const bool sent = plant.run(goldenBoxLines()).ok();
    setrlimit(RLIMIT_FSIZE, &saved);

    QVERIFY(sent);
    const QString warning = plant.network->storeWarning();
    QVERIFY2(warning.contains(QStringLiteral("could not be saved")), qPrintable(warning));
    QCOMPARE(contentsOf(m_path), before);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("devices.json")});
}

void TestDeviceStore::leftOverLock_data()
{
    QTest::addColumn<QString>("owner"); // "empty", "gone" or "living"

    // Left by a program killed between creating the lock file and writing into it.
    QTest::newRow("empty lock file") << "empty";
    QTest::newRow("owner gone") << "gone";
    QTest::newRow("owner still at work") << "living";
}

// A lock nobody holds is taken over; one that is held leaves the memory unknown, not empty.
void TestDeviceStore::leftOverLock()
{
    QFETCH(QString, owner);
    {
        Plant first(m_path);
        QVERIFY(first.runGolden().ok());
    }
    const QByteArray stored = contentsOf(m_path);
    const QString lockPath = m_path + QStringLiteral(".lock");
    QLockFile living(lockPath);
    if (owner == u"living") {
        QVERIFY(living.tryLock(0));
    } else {
        // Above the largest process id the system hands out.
        QVERIFY(writeFile(lockPath, owner == u"gone" ? "9999999\ntklcli\n" + QSysInfo::machineHostName().toUtf8() + '\n'
                                                     : QByteArray()));
    }

    Plant plant(m_path);
    const bool held = owner == u"living";
    QCOMPARE(plant.network->storeRead(), !held);
    QCOMPARE(plant.network->readValue(QStringLiteral("Printer1.lines")).isValid(), !held);
    if (held) {
        QVERIFY2(plant.network->storeWarning().contains(QStringLiteral("could not be read")),
                 qPrintable(plant.network->storeWarning()));
        // Nothing is written over a memory that could not be read.
        plant.run(goldenBoxLines(), QStringLiteral("Printer2"));
        QVERIFY(!plant.network->storeWarning().isEmpty());
        QCOMPARE(contentsOf(m_path), stored);
        QVERIFY(living.isLocked());
    } else {
        QVERIFY2(plant.network->storeWarning().isEmpty(), qPrintable(plant.network->storeWarning()));
        QVERIFY(plant.run(goldenBoxLines(), QStringLiteral("Printer2")).ok());
        QVERIFY(plant.network->storeWarning().isEmpty());
        QVERIFY(!QFileInfo::exists(lockPath));
    }
}

QTEST_GUILESS_MAIN(TestDeviceStore)
#include "tst_device_store.moc"
