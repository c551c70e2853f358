// The port dialog and its progress window, driven as the operator does.

#include "device/DeviceTestSupport.h"
#include "device-widgets/PortDialog.h"
#include "device-widgets/ProgressWindow.h"
#include "device-widgets/VariableTree.h"
#include "devsim/DeviceServer.h"
#include "support/LoopbackPort.h"
#include "support/ScriptedPrompts.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/socket.h>

#include <atomic>
#include <thread>

using namespace tkl;
using namespace tkl::test;

namespace {

struct PortSetup
{
    TicketModel model;
    std::unique_ptr<ProcessNetwork> network = ProcessNetwork::builtIn();
    ScriptedFaults faults{*network};
    NetworkFactory factory{*network};
    ScriptedPrompts prompts;
    QStringList lines = goldenBoxLines();
    QWidget mainWindow;
    PortDialog dialog{model, factory, *network, prompts, [this] { return lines; }, &mainWindow};

    QComboBox *combo() { return dialog.findChild<QComboBox *>(QStringLiteral("Combo1")); }

    PortSetup()
    {
        fillGoldenTicket(model);
        mainWindow.show();
    }

    void download(const QString &port)
    {
        combo()->setEditText(port);
        dialog.show();
        QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("Command1")), Qt::LeftButton);
    }

    QStringList listed()
    {
        QStringList items;
        for (int i = 0; i < combo()->count(); ++i)
            items << combo()->itemText(i);
        return items;
    }
};

// The port dialog over a network whose port Remote is a real device at a loopback port.
struct RemoteSetup
{
    int tcpPort = testing::freeLoopbackPort();
    std::unique_ptr<ProcessNetwork> network;
    std::unique_ptr<AutomationFactory> factory;
    TicketModel model;
    ScriptedPrompts prompts;
    QWidget mainWindow;
    QLineEdit *typedInto = new QLineEdit(&mainWindow);
    std::unique_ptr<PortDialog> dialog;

    explicit RemoteSetup(int timeoutMs)
    {
        const QByteArray json = QStringLiteral(R"({"nodes": [
            { "name": "Scale1", "address": "NET1.ST03", "capabilities": "17", "variables": [] },
            { "name": "Module", "address": "NET1.ST07", "capabilities": "65", "variables": [],
              "modbus": { "host": "127.0.0.1", "port": %1, "timeoutMs": %2 } } ],
          "ports": [ { "name": "Remote", "node": "Module", "modbus": { "unit": 1, "base": 0 } } ]})")
                                    .arg(tcpPort)
                                    .arg(timeoutMs)
                                    .toUtf8();
        network = ProcessNetwork::fromJson(json, QStringLiteral("remote.json")).value();
        factory = std::make_unique<NetworkFactory>(*network);
        dialog = std::make_unique<PortDialog>(model, *factory, *network, prompts, [] { return goldenBoxLines(); },
                                              &mainWindow);
        fillGoldenTicket(model);
        mainWindow.show();
        typedInto->setFocus();
        dialog->combo()->setEditText(QStringLiteral("Remote"));
        dialog->show();
    }

    devsim::ServedNode served() const
    {
        devsim::ServedNode node;
        node.name = QStringLiteral("Module");
        node.host = QStringLiteral("127.0.0.1");
        node.tcpPort = tcpPort;
        node.ports = {*network->findPort(QStringLiteral("Remote"))};
        return node;
    }

    ProgressWindow *progress() const { return dialog->progressWindow(); }
};

// A download to `port` with a fault set up before it: the title and a part of the message
// the operator is shown, and whether the port is listed afterwards.
struct OutcomeCase { QString port, fault, title, message; bool listed; };

// Connections to it are taken (the system's queue) and never answered.
class SilentDevice
{
public:
    explicit SilentDevice(int port)
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(quint16(port));
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int yes = 1;
        ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        if (::bind(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || ::listen(m_fd, 4) != 0)
            qFatal("cannot listen on %d", port);
    }
    ~SilentDevice() { ::close(m_fd); }

private:
    int m_fd = -1;
};

} // namespace

class TestDeviceWidgets : public QObject
{
    Q_OBJECT

private slots:
    // Each download lists its port; a click that reaches the dialog while one runs (and
    // lets events run) starts nothing.
    void downloadsListThePortEachTime()
    {
        PortSetup s;
        QSignalSpy downloaded(&s.dialog, &PortDialog::downloaded);
        s.dialog.setRestorePointer([&] {
            s.combo()->setEditText(QStringLiteral("Printer2"));
            s.dialog.download(); // as a click queued before the button was disabled
        });
        s.dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&s.dialog));
        // Choosing the port in the tree, or Enter in the box, puts the name in the box only.
        auto *tree = s.dialog.findChild<VariableTree *>(QStringLiteral("Vatrix1"));
        tree->setCurrentItem(tree->itemForName(QStringLiteral("Printer1")));
        QTest::keyClick(tree, Qt::Key_Return);
        QCOMPARE(s.combo()->currentText(), QStringLiteral("Printer1"));
        QTest::keyClick(s.combo(), Qt::Key_Return);
        QCOMPARE(s.combo()->count(), 0);

        QTest::mouseClick(s.dialog.findChild<QPushButton *>(QStringLiteral("Command1")), Qt::LeftButton);
        QCOMPARE(s.listed(), QStringList{"Printer1"});
        const qsizetype firstWrites = s.network->writeLog().size();
        QCOMPARE(downloaded.count(), 1);
        QCOMPARE(downloaded.first(), (QVariantList{QStringLiteral("Printer1"), int(firstWrites)}));

        // The same port again, after the ticket grew by a line: a new server object.
        s.lines << QStringLiteral("one more");
        s.network->clearWriteLog();
        s.download(QStringLiteral("Printer1"));
        QCOMPARE(s.listed(), (QStringList{"Printer1", "Printer1"}));
        QCOMPARE(s.model.TicketLines, qint16(6));
        QCOMPARE(s.network->writeLog().size(), firstWrites + 1);
        QCOMPARE(s.factory.createdCount(), 2);
        QVERIFY(s.prompts.messages.isEmpty());
        for (const WriteRecord &w : s.network->writeLog())
            QVERIFY2(w.name.startsWith(QStringLiteral("Printer1.")), qPrintable(w.name));
    }

    // What the operator is told when a download cannot be made, or only in part. One that
    // got as far as writing has listed the port; one without a port, without a server or
    // refused before its first write has written nothing. The ticket stays as it was, and
    // only a chosen port closes the dialog. A failure is told each time; a device memory
    // that cannot be written only once, and the download itself succeeds.
    void downloadOutcome_data()
    {
        QTest::addColumn<OutcomeCase>("c");
        auto row = [](const char *name, const OutcomeCase &c) { QTest::newRow(name) << c; };
        const QString error = QStringLiteral("Download Error");
        row("no port, only blanks", {"   ", "", "Download", PortDialog::NoPortMessage, false});
        row("unknown port", {"Printer9", "", error, "\"Printer9.UpdateArr[1].DataIn\"", true});
        row("no server", {"Printer1", "no server", error, "not registered", false});
        row("a line longer than the port stores",
            {"Printer1", "long line", error, "text line 6 has 256 characters; port Printer1 stores at most 255", false});
        row("read-back differs", {"Printer1", "read-back", error,
            "Read-back of Printer1.Ticket[1] gave \"   WEIGHING TICKEt\" where \"   WEIGHING TICKET\" was written", true});
        // A folder where the file should be.
        row("device memory cannot be written", {"Printer1", "store", "Device memory", "", true});
    }

    void downloadOutcome()
    {
        QFETCH(OutcomeCase, c);
        const auto &[port, fault, title, message, listed] = c;
        QTemporaryDir folder;
        PortSetup s;
        QSignalSpy downloaded(&s.dialog, &PortDialog::downloaded);
        if (fault == u"long line")
            s.lines << QString(256, u'=');
        else if (fault == u"no server")
            s.factory.setCreationFailure(QStringLiteral("Component not registered"));
        else if (fault == u"read-back")
            s.faults.corruptOnReadBack(QStringLiteral("Printer1.Ticket[1]"), QStringLiteral("   WEIGHING TICKEt"));
        else if (fault == u"store")
            s.network->attachStore(folder.path());
        s.download(port);

        QCOMPARE(s.prompts.messages.size(), 1);
        QCOMPARE(s.prompts.messages.first().title, title);
        QVERIFY2(s.prompts.messages.first().text.contains(message), qPrintable(s.prompts.messages.first().text));
        QCOMPARE(s.listed(), listed ? QStringList{port} : QStringList());
        if (!listed)
            QVERIFY(s.network->writeLog().isEmpty());
        QCOMPARE(downloaded.count(), fault == u"store" ? 1 : 0);
        QCOMPARE(s.dialog.isVisible(), port.trimmed().isEmpty());
        QVERIFY(!s.dialog.progressWindow() || !s.dialog.progressWindow()->isVisible());
        TicketModel before;
        fillGoldenTicket(before);
        QCOMPARE(s.model.UpdateBoxes, before.UpdateBoxes);
        QCOMPARE(s.model.StartCode, before.StartCode);
        s.download(port);
        QCOMPARE(s.prompts.messages.size(), fault == u"store" ? 1 : 2);
    }

    // A layout with warnings goes to the device only once the operator, shown them all
    // (the list cut short when long), chose to go on; Cancel leaves device, list and
    // dialog as they were. Errors are told by the download's own refusal, unasked.
    void findingsAskFirst_data()
    {
        QTest::addColumn<int>("warnings");
        QTest::addColumn<bool>("error");
        QTest::addColumn<bool>("goOn");
        QTest::newRow("none: no question") << 0 << false << false;
        QTest::newRow("one, cancelled") << 1 << false << false;
        QTest::newRow("one, downloaded anyway") << 1 << false << true;
        QTest::newRow("more than are listed") << PortDialog::MaxListedFindings + 2 << false << true;
        QTest::newRow("an error among them") << 1 << true << false;
    }

    void findingsAskFirst()
    {
        QFETCH(int, warnings);
        QFETCH(bool, error);
        QFETCH(bool, goOn);
        const bool asked = warnings > 0 && !error;
        PortSetup s;
        QList<LayoutFinding> found;
        for (int i = 1; i <= warnings; ++i)
            found << LayoutFinding{LayoutFinding::Severity::Warning, {}, 0, {}, {}, {}, QStringLiteral("problem %1.").arg(i)};
        if (error)
            found << LayoutFinding{LayoutFinding::Severity::Error, {}, 0, {}, "Printer1", "Printer1.lines", "too long"};
        QStringList checkedFor;
        s.dialog.setLayoutCheck([&](const QString &port) {
            checkedFor << port;
            return found;
        });
        s.prompts.goOnAnswers << goOn;
        s.download(QStringLiteral("Printer1"));

        QCOMPARE(checkedFor, QStringList{"Printer1"});
        QCOMPARE(s.prompts.questions.size(), asked ? 1 : 0);
        const bool written = !asked || goOn;
        QCOMPARE(s.network->writeLog().isEmpty(), !written);
        QCOMPARE(s.listed(), written ? QStringList{"Printer1"} : QStringList());
        QCOMPARE(s.dialog.isVisible(), !written);
        if (!asked)
            return;
        const QString text = s.prompts.questions.first().text;
        QVERIFY2(text.startsWith(QStringLiteral("The layout has %1 problem").arg(warnings)), qPrintable(text));
        QVERIFY2(text.endsWith(QStringLiteral("\n\nDownload anyway?")), qPrintable(text));
        const int listed = std::min(warnings, int(PortDialog::MaxListedFindings));
        QVERIFY2(text.contains(QStringLiteral("- problem %1.\n").arg(listed)), qPrintable(text));
        QVERIFY2(!text.contains(QStringLiteral("- problem %1.").arg(listed + 1)), qPrintable(text));
        QCOMPARE(text.contains(QStringLiteral("and 2 more")), warnings > listed);
    }

    // A device that takes the connection and never answers: the windows go on being
    // served while its request waits, the progress window is the only one that takes
    // input (keys typed for the ticket are dropped, not kept for later), and a Cancel
    // ends the download with the failure of the request under way. Closing the dialog
    // meanwhile waits for that end.
    void silentDeviceLeavesWindowsLive()
    {
        RemoteSetup s(1500);
        SilentDevice device(s.tcpPort);
        QSignalSpy finished(s.dialog.get(), &PortDialog::finished);
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(s.dialog->findChild<QPushButton *>(QStringLiteral("Command1")), Qt::LeftButton);
        QVERIFY(s.dialog->isDownloading());
        QVERIFY(s.progress() && s.progress()->isVisible());
        QCOMPARE(QApplication::activeModalWidget(), s.progress());
        // The windows' thread is free: a timer of this thread fires while the request waits.
        bool ticked = false;
        QTimer::singleShot(50, [&] { ticked = true; });
        QTRY_VERIFY_WITH_TIMEOUT(ticked, 1000);
        QVERIFY(finished.isEmpty());
        for (char c : QByteArrayLiteral("typed"))
            QTest::keyClick(s.mainWindow.windowHandle(), c);
        QTest::mouseClick(s.dialog->findChild<QPushButton *>(QStringLiteral("Command1")), Qt::LeftButton);
        QTest::mouseClick(s.progress()->cancelButton(), Qt::LeftButton);

        QVERIFY(finished.wait(5000));
        QVERIFY(clock.elapsed() >= 1500);
        QCOMPARE(s.dialog->lastResult().status, DownloadResult::Status::Failed);
        QCOMPARE(s.factory->createdCount(), 1);
        QVERIFY(!s.progress()->isVisible());
        QCOMPARE(s.prompts.messages.size(), 1);
        QCOMPARE(s.prompts.messages.first().title, PortDialog::CancelledTitle);
        QVERIFY(s.prompts.messages.first().text.startsWith(u"Download cancelled; the request under way failed first"));
        QVERIFY(s.prompts.messages.first().text.endsWith(u"Nothing was written: the device of Remote holds the ticket "
                                                         u"it held before."));
        QCoreApplication::processEvents();
        QCOMPARE(s.typedInto->text(), QString());

        // Gone while one waits: it stops with the request under way.
        s.dialog->download();
        QVERIFY(s.dialog->isDownloading());
        s.dialog.reset();
    }

    // Cancel stops a slow device's download before its next request (what the server
    // still held of the writes made goes out with the end of the session) and says what
    // the device holds; the writes before stay. Escape and the close box cancel as well.
    void cancelStopsBeforeTheNextRequest_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Cancel") << "button";
        QTest::newRow("Escape") << "escape";
        QTest::newRow("close box") << "close";
    }

    void cancelStopsBeforeTheNextRequest()
    {
        QFETCH(QString, how);
        RemoteSetup s(2000);
        devsim::FaultOptions faults;
        faults.delayMs = 60;
        devsim::DeviceServer device({s.served()}, faults);
        std::atomic<int> requests{0};
        device.setObserver([&](const devsim::DeviceServer::Request &) { ++requests; });
        QString why;
        QVERIFY2(device.listen(&why), qPrintable(why));
        std::thread serving([&] { device.run(); });

        QSignalSpy finished(s.dialog.get(), &PortDialog::finished);
        s.dialog->download();
        QTRY_VERIFY_WITH_TIMEOUT(requests >= 3, 3000);
        const int atCancel = requests;
        if (how == u"button")
            QTest::mouseClick(s.progress()->cancelButton(), Qt::LeftButton);
        else if (how == u"escape")
            QTest::keyClick(s.progress(), Qt::Key_Escape);
        else
            s.progress()->close();
        QVERIFY(!s.progress()->cancelButton()->isEnabled());
        QVERIFY(s.progress()->findChild<QLabel *>(QStringLiteral("CancelNote"))->text().contains(u"at most 2 s"));
        QVERIFY(finished.wait(5000));
        device.stop();
        serving.join();

        const DownloadResult &result = s.dialog->lastResult();
        QCOMPARE(result.status, DownloadResult::Status::Cancelled);
        QVERIFY2(requests <= atCancel + 2, qPrintable(QStringLiteral("%1 -> %2").arg(atCancel).arg(int(requests))));
        QVERIFY(result.writesDone >= atCancel - 1);
        QCOMPARE(s.prompts.messages.size(), 1);
        QCOMPARE(s.prompts.messages.first().title, PortDialog::CancelledTitle);
        QVERIFY2(s.prompts.messages.first().text.contains(u"The device of Remote now holds part of the new ticket"),
                 qPrintable(s.prompts.messages.first().text));
        QVERIFY(!s.progress()->isVisible());
        QCOMPARE(s.dialog->combo()->count(), 1);
    }
};

QTEST_MAIN(TestDeviceWidgets)
#include "tst_device_widgets.moc"
