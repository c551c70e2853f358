// The devices' memory: what a download leaves in the devices survives a restart, a
// damaged file is set aside, and programs writing at the same time keep each other's
// ports.

#include "DeviceTestSupport.h"
#include "device/AutomationFactory.h"
#include "device/DeviceStore.h"
#include "device/ProcessNetwork.h"
#include "device/TicketDownload.h"
#include "model/TicketModel.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace tkl;
using namespace tkl::test;

namespace {

// A network with its devices' memory in `path`, and a download over it.
struct Plant
{
    std::unique_ptr<ProcessNetwork> network = ProcessNetwork::builtIn();
    AutomationFactory factory{*network};
    TicketDownload download{factory};
    TicketModel model;

    explicit Plant(const QString &path) { network->attachStore(path); }

    DownloadResult send(const QStringList &lines, const QString &port = QStringLiteral("Printer1"))
    {
        return download.run(model, lines, port);
    }
};

// Every device variable of both networks holds the same value of the same type.
void compareDevices(const ProcessNetwork &actual, const ProcessNetwork &expected)
{
    int held = 0;
    for (const PrinterPort &port : expected.ports()) {
        const int last = port.updateElements;
        QStringList names{port.name + QStringLiteral(".lines"), port.name + QStringLiteral(".PrintCode.start"),
                          port.name + QStringLiteral(".PrintCode.stop")};
        for (int n = 1; n <= port.ticketLines; ++n)
            names << QStringLiteral("%1.Ticket[%2]").arg(port.name).arg(n);
        for (int n = 1; n <= last; ++n) {
            for (const ProcessNetwork::UpdateMember &m : ProcessNetwork::updateMembers())
                names << QStringLiteral("%1.UpdateArr[%2].%3").arg(port.name).arg(n).arg(QLatin1String(m.name));
        }
        for (const QString &name : names) {
            const QVariant a = actual.findDeviceVariable(name)->value;
            const QVariant e = expected.findDeviceVariable(name)->value;
            QVERIFY2(a.metaType() == e.metaType(), qPrintable(name));
            QVERIFY2(a == e, qPrintable(name));
            held += e.isValid();
        }
    }
    QVERIFY(held > 0);
}

bool devicesEmpty(const ProcessNetwork &network)
{
    for (const PrinterPort &port : network.ports()) {
        if (network.findDeviceVariable(port.name + QStringLiteral(".lines"))->value.isValid()
            || network.findDeviceVariable(port.name + QStringLiteral(".UpdateArr[1].DataIn"))->value.isValid())
            return false;
    }
    return true;
}

QStringList damagedCopies(const QString &folder)
{
    return QDir(folder).entryList({QStringLiteral("devices.json.damaged-*")}, QDir::Files);
}

QJsonObject storedPorts(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object().value(QLatin1String("ports")).toObject();
}

} // namespace

class TestDeviceStore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void survivesRestart_data();
    void survivesRestart();
    void loadUsesTheStoreNamedInTheEnvironment();
    void damagedStoreSetAside_data();
    void damagedStoreSetAside();
    void oversizedStoreSetAside();
    void storedValuesThatNoLongerFit();
    void twoNetworksKeepEachOthersPorts();
    void concurrentProgramsLoseNothing();
    void unsavableStoreWarnsButDownloads_data();
    void unsavableStoreWarnsButDownloads();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
};

void TestDeviceStore::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void TestDeviceStore::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_path = m_dir->filePath(QStringLiteral("devices.json"));
}

void TestDeviceStore::survivesRestart_data()
{
    QTest::addColumn<QStringList>("ports");   // downloaded in this order, golden ticket each
    QTest::addColumn<int>("failAt");          // the last download's failing write; 0: none
    QTest::addColumn<bool>("longerFirst");    // a longer ticket to Printer1 before

    QTest::newRow("one port") << QStringList{"Printer1"} << 0 << false;
    QTest::newRow("two ports") << QStringList{"Printer1", "Printer2"} << 0 << false;
    // Writes made before a failure stay in the device, and so in its memory.
    QTest::newRow("download failed half-way") << QStringList{"Printer2", "Printer1"} << 45 << false;
    // Lines of the longer ticket behind the new line count stay in the device.
    QTest::newRow("shorter ticket over a longer one") << QStringList{"Printer1"} << 0 << true;
}

void TestDeviceStore::survivesRestart()
{
    QFETCH(QStringList, ports);
    QFETCH(int, failAt);
    QFETCH(bool, longerFirst);
    {
        Plant plant(m_path);
        QVERIFY(plant.network->storeWarning().isEmpty());
        if (longerFirst)
            QVERIFY(plant.send(QStringList(9, QStringLiteral("old line"))).ok());
        fillGoldenTicket(plant.model);
        for (qsizetype i = 0; i < ports.size(); ++i) {
            if (failAt && i == ports.size() - 1)
                plant.network->failWriteAt(failAt);
            const DownloadResult result = plant.send(goldenBoxLines(), ports.at(i));
            QCOMPARE(result.ok(), !(failAt && i == ports.size() - 1));
        }
        QVERIFY2(plant.network->storeWarning().isEmpty(), qPrintable(plant.network->storeWarning()));

        Plant restarted(m_path);
        QVERIFY2(restarted.network->storeWarning().isEmpty(), qPrintable(restarted.network->storeWarning()));
        compareDevices(*restarted.network, *plant.network);
    }
    if (longerFirst) {
        Plant restarted(m_path);
        QCOMPARE(restarted.network->findDeviceVariable(QStringLiteral("Printer1.Ticket[9]"))->value.toString(),
                 QStringLiteral("old line"));
    }
    QVERIFY(!QFileInfo::exists(m_path + QStringLiteral(".lock")));
    QVERIFY(damagedCopies(m_dir->path()).isEmpty());
}

void TestDeviceStore::loadUsesTheStoreNamedInTheEnvironment()
{
    qputenv("TKL_DEVICE_STORE", m_path.toUtf8());
    QCOMPARE(ProcessNetwork::defaultStorePath(), m_path);
    QString error;
    auto first = ProcessNetwork::load(&error);
    QVERIFY2(first, qPrintable(error));
    QCOMPARE(first->storePath(), m_path);
    QVERIFY(first->write(QStringLiteral("Printer2.Ticket[4]"), QStringLiteral("kept")) == std::nullopt);
    QVERIFY(first->saveStore());

    auto second = ProcessNetwork::load(&error);
    qunsetenv("TKL_DEVICE_STORE");
    QVERIFY(second);
    QCOMPARE(second->findDeviceVariable(QStringLiteral("Printer2.Ticket[4]"))->value, QVariant(QStringLiteral("kept")));
    // Networks made in code or from a description have no memory unless given one.
    QVERIFY(ProcessNetwork::builtIn()->storePath().isEmpty());
    // Every program finds the same memory, whatever it is called.
    const QString shared = ProcessNetwork::defaultStorePath();
    QVERIFY2(shared.endsWith(QStringLiteral("/tkledit/devices.json")), qPrintable(shared));
    const QString name = QCoreApplication::applicationName();
    QCoreApplication::setApplicationName(QStringLiteral("another-program"));
    QCOMPARE(ProcessNetwork::defaultStorePath(), shared);
    QCoreApplication::setApplicationName(name);
}

void TestDeviceStore::damagedStoreSetAside_data()
{
    QTest::addColumn<QByteArray>("contents");

    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("cut short") << QByteArray(R"({"version": 1, "ports": {"Printer1": {"Printer1.lines": 3)");
    QTest::newRow("binary junk") << QByteArray("\x7f" "ELF\x02\x01\x00\x00\xff\xfe", 10);
    QTest::newRow("an array") << QByteArray("[1, 2]");
    QTest::newRow("no ports") << QByteArray(R"({"version": 1})");
    QTest::newRow("version 0") << QByteArray(R"({"version": 0, "ports": {}})");
    QTest::newRow("version as text") << QByteArray(R"({"version": "1", "ports": {}})");
    QTest::newRow("port is not an object") << QByteArray(R"({"version": 1, "ports": {"Printer1": 5}})");
    QTest::newRow("value is an object")
        << QByteArray(R"({"version": 1, "ports": {"Printer1": {"Printer1.lines": {}}}})");
    QTest::newRow("variable of another port")
        << QByteArray(R"({"version": 1, "ports": {"Printer1": {"Printer2.lines": 1}}})");
}

void TestDeviceStore::damagedStoreSetAside()
{
    QFETCH(QByteArray, contents);
    {
        QFile file(m_path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(contents);
    }
    Plant plant(m_path);
    const QString warning = plant.network->storeWarning();
    QVERIFY(!warning.isEmpty());
    QVERIFY2(warning.contains(QDir::toNativeSeparators(m_path)), qPrintable(warning));
    QVERIFY(devicesEmpty(*plant.network));

    // Set aside whole, under a name that says what it is; the place is free again.
    const QStringList copies = damagedCopies(m_dir->path());
    QCOMPARE(copies.size(), 1);
    QVERIFY2(warning.contains(copies.first()), qPrintable(warning));
    QVERIFY(!QFileInfo::exists(m_path));
    QFile copy(m_dir->filePath(copies.first()));
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QCOMPARE(copy.readAll(), contents);

    // The next download starts a sound memory.
    fillGoldenTicket(plant.model);
    QVERIFY(plant.send(goldenBoxLines()).ok());
    Plant restarted(m_path);
    QVERIFY2(restarted.network->storeWarning().isEmpty(), qPrintable(restarted.network->storeWarning()));
    compareDevices(*restarted.network, *plant.network);

    // A second damaged file gets a name of its own.
    {
        QFile file(m_path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(contents);
    }
    Plant again(m_path);
    QVERIFY(!again.network->storeWarning().isEmpty());
    QCOMPARE(damagedCopies(m_dir->path()).size(), 2);
}

void TestDeviceStore::oversizedStoreSetAside()
{
    // Not read into memory: set aside by its size alone (a sparse file costs no disk).
    QFile file(m_path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.resize(DeviceStore::MaxFileSize + 1));
    file.close();
    Plant plant(m_path);
    QVERIFY2(plant.network->storeWarning().contains(QStringLiteral("larger than")),
             qPrintable(plant.network->storeWarning()));
    QVERIFY(!QFileInfo::exists(m_path));
    QCOMPARE(damagedCopies(m_dir->path()).size(), 1);
}

void TestDeviceStore::storedValuesThatNoLongerFit()
{
    // The network description may change under a memory: what does not fit is left
    // out quietly, what fits is loaded, and ports the network lacks are kept.
    QFile file(m_path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(R"({"version": 1, "ports": {
        "Printer1": {"Printer1.lines": 99999, "Printer1.Ticket[1]": 5, "Printer1.Ticket[2]": "ok",
                     "Printer1.UpdateArr[1].DataIn": true, "Printer1.UpdateArr[1].NodeAdr": 2.5,
                     "Printer1.UpdateArr[1].Chars": 7, "Printer1.Ticket[200]": "gone"},
        "Printer9": {"Printer9.lines": 1}}})");
    file.close();

    Plant plant(m_path);
    QVERIFY2(plant.network->storeWarning().isEmpty(), qPrintable(plant.network->storeWarning()));
    auto held = [&](const char *name) { return plant.network->findDeviceVariable(QLatin1String(name))->value; };
    QVERIFY(!held("Printer1.lines").isValid());
    QVERIFY(!held("Printer1.Ticket[1]").isValid());
    QVERIFY(!held("Printer1.UpdateArr[1].NodeAdr").isValid());
    QCOMPARE(held("Printer1.Ticket[2]"), QVariant(QStringLiteral("ok")));
    QCOMPARE(held("Printer1.UpdateArr[1].DataIn"), QVariant(true));
    QCOMPARE(held("Printer1.UpdateArr[1].Chars"), QVariant::fromValue(qint16(7)));

    QVERIFY(plant.send({QStringLiteral("new")}, QStringLiteral("Printer2")).ok());
    const QJsonObject ports = storedPorts(m_path);
    QCOMPARE(ports.value(QLatin1String("Printer9")).toObject().value(QLatin1String("Printer9.lines")).toInt(), 1);
    // Printer1 was not written by this network: the file keeps it as it was.
    QCOMPARE(ports.value(QLatin1String("Printer1")).toObject().value(QLatin1String("Printer1.lines")).toInt(), 99999);
}

void TestDeviceStore::twoNetworksKeepEachOthersPorts()
{
    Plant a(m_path);
    Plant b(m_path);  // loaded before anything was written
    fillGoldenTicket(a.model);
    QVERIFY(a.send(goldenBoxLines(), QStringLiteral("Printer1")).ok());
    QVERIFY(b.send({QStringLiteral("from b")}, QStringLiteral("Printer2")).ok());
    // b's save took in what a had saved.
    QCOMPARE(b.network->findDeviceVariable(QStringLiteral("Printer1.Ticket[1]"))->value.toString(),
             goldenBoxLines().first());
    QVERIFY(a.send({QStringLiteral("from a, again")}, QStringLiteral("Printer1")).ok());

    Plant restarted(m_path);
    auto line = [&](const char *name) {
        return restarted.network->findDeviceVariable(QLatin1String(name))->value.toString();
    };
    QCOMPARE(line("Printer1.Ticket[1]"), QStringLiteral("from a, again"));
    QCOMPARE(line("Printer2.Ticket[1]"), QStringLiteral("from b"));
    // What a sent the first time and did not overwrite stays.
    QCOMPARE(line("Printer1.Ticket[3]"), goldenBoxLines().at(2));
}

void TestDeviceStore::concurrentProgramsLoseNothing()
{
    constexpr int writers = 4;
    constexpr int rounds = 25;
    QList<QProcess *> processes;
    for (int w = 1; w <= writers; ++w) {
        auto *p = new QProcess(this);
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(QStringLiteral(TKL_STORE_WRITER),
                 {m_path, QStringLiteral("W%1").arg(w), QString::number(rounds)});
        processes << p;
    }
    for (QProcess *p : processes) {
        QVERIFY(p->waitForFinished(60000));
        QCOMPARE(p->exitStatus(), QProcess::NormalExit);
        QCOMPARE(p->exitCode(), 0);
        delete p;
    }

    const QJsonObject ports = storedPorts(m_path);
    QCOMPARE(ports.size(), writers);
    for (int w = 1; w <= writers; ++w) {
        const QString port = QStringLiteral("W%1").arg(w);
        QCOMPARE(ports.value(port).toObject().value(port + QStringLiteral(".Ticket[1]")).toString(),
                 QStringLiteral("%1 round %2").arg(port).arg(rounds));
    }
    QVERIFY(damagedCopies(m_dir->path()).isEmpty());
}

void TestDeviceStore::unsavableStoreWarnsButDownloads_data()
{
    QTest::addColumn<QString>("store");       // relative to the temporary folder
    QTest::addColumn<QByteArray>("contents"); // written there first, unless empty
    QTest::addColumn<bool>("warnsOnLoad");

    // "blocker" is a plain file, "folder" a folder.
    QTest::newRow("a file where its folder should be") << "blocker/devices.json" << QByteArray() << false;
    QTest::newRow("the store is a folder") << "folder" << QByteArray() << true;
    // A later format is not damage: left for the program that wrote it.
    QTest::newRow("written by a newer program")
        << "devices.json" << QByteArray(R"({"version": 2, "ports": {"Printer1": {"Printer1.lines": 1}}})") << true;
}

void TestDeviceStore::unsavableStoreWarnsButDownloads()
{
    QFETCH(QString, store);
    QFETCH(QByteArray, contents);
    QFETCH(bool, warnsOnLoad);
    QFile blocker(m_dir->filePath(QStringLiteral("blocker")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("folder")));
    if (!contents.isEmpty()) {
        QFile file(m_dir->filePath(store));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(contents);
    }

    Plant plant(m_dir->filePath(store));
    QCOMPARE(!plant.network->storeWarning().isEmpty(), warnsOnLoad);
    fillGoldenTicket(plant.model);
    const DownloadResult result = plant.send(goldenBoxLines());
    QVERIFY2(result.ok(), qPrintable(result.errorString));
    const QString warning = plant.network->storeWarning();
    QVERIFY2(warning.startsWith(QStringLiteral("What the devices hold could not be saved: ")), qPrintable(warning));
    // The device itself holds the ticket, and nothing was moved or replaced.
    QCOMPARE(plant.network->findDeviceVariable(QStringLiteral("Printer1.Ticket[1]"))->value.toString(),
             goldenBoxLines().first());
    QVERIFY(!plant.network->saveStore());
    QVERIFY(QFileInfo(m_dir->filePath(QStringLiteral("folder"))).isDir());
    QVERIFY(QFileInfo(blocker).isFile());
    QVERIFY(damagedCopies(m_dir->path()).isEmpty());
    if (!contents.isEmpty()) {
        QFile file(m_dir->filePath(store));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), contents);
    }
}

QTEST_GUILESS_MAIN(TestDeviceStore)
#include "tst_device_store.moc"
