// The port dialog and its progress window, driven as the operator does.

#include "device/DeviceTestSupport.h"
#include "device/AutomationFactory.h"
#include "device-widgets/PortDialog.h"
#include "device/ProcessNetwork.h"
#include "device-widgets/ProgressWindow.h"
#include "device-widgets/VariableTree.h"
#include "model/TicketModel.h"
#include "support/ScriptedPrompts.h"

#include <QComboBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace tkl;
using namespace tkl::test;

namespace {

struct PortSetup
{
    TicketModel model;
    std::unique_ptr<ProcessNetwork> network = ProcessNetwork::builtIn();
    ScriptedFaults faults{*network};
    AutomationFactory factory{*network};
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

} // namespace

class TestDeviceWidgets : public QObject
{
    Q_OBJECT

private slots:
    void downloadsListThePortEachTime()
    {
        PortSetup s;
        QSignalSpy downloaded(&s.dialog, &PortDialog::downloaded);
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
    }

    // What the operator is told when a download cannot be made, or only in part. One that
    // got as far as writing has listed the port; one without a port, without a server or
    // refused before its first write has written nothing. The ticket stays as it was, and
    // only a chosen port closes the dialog. A failure is told each time; a device memory
    // that cannot be written only once, and the download itself succeeds.
    void downloadOutcome_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("message"); // a part of it
        QTest::addColumn<bool>("listed");
        const QString error = QStringLiteral("Download Error");
        QTest::newRow("no port, only blanks") << "   " << "" << "Download" << PortDialog::NoPortMessage << false;
        QTest::newRow("unknown port") << "Printer9" << "" << error << "\"Printer9.UpdateArr[1].DataIn\"" << true;
        QTest::newRow("no server") << "Printer1" << "no server" << error << "not registered" << false;
        QTest::newRow("a line longer than the port stores")
            << "Printer1" << "long line" << error << "text line 6 has 256 characters; port Printer1 stores at most 255" << false;
        QTest::newRow("read-back differs")
            << "Printer1" << "read-back" << error
            << "Read-back of Printer1.Ticket[1] gave \"   WEIGHING TICKEt\" where \"   WEIGHING TICKET\" was written"
            << true;
        // A folder where the file should be.
        QTest::newRow("device memory cannot be written") << "Printer1" << "store" << "Device memory" << "" << true;
    }

    void downloadOutcome()
    {
        QFETCH(QString, port);
        QFETCH(QString, fault);
        QFETCH(QString, title);
        QFETCH(QString, message);
        QFETCH(bool, listed);
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
        QTest::addColumn<bool>("asked");
        QTest::newRow("none: no question") << 0 << false << false << false;
        QTest::newRow("one, cancelled") << 1 << false << false << true;
        QTest::newRow("one, downloaded anyway") << 1 << false << true << true;
        QTest::newRow("more than are listed") << PortDialog::MaxListedFindings + 2 << false << true << true;
        QTest::newRow("an error among them") << 1 << true << false << false;
    }

    void findingsAskFirst()
    {
        QFETCH(int, warnings);
        QFETCH(bool, error);
        QFETCH(bool, goOn);
        QFETCH(bool, asked);
        PortSetup s;
        QList<LayoutFinding> found;
        for (int i = 1; i <= warnings; ++i) {
            LayoutFinding f;
            f.severity = LayoutFinding::Severity::Warning;
            f.message = QStringLiteral("problem %1.").arg(i);
            found << f;
        }
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

    // A click that reaches the dialog while the download lets events run starts nothing.
    void noSecondDownloadWhileOneRuns()
    {
        PortSetup s;
        s.dialog.setRestorePointer([&] {
            s.combo()->setEditText(QStringLiteral("Printer2"));
            s.dialog.download(); // as a click queued before the button was disabled
        });
        s.download(QStringLiteral("Printer1"));
        QCOMPARE(s.factory.createdCount(), 1);
        QVERIFY(s.dialog.lastResult().ok());
        for (const WriteRecord &w : s.network->writeLog())
            QVERIFY2(w.name.startsWith(QStringLiteral("Printer1.")), qPrintable(w.name));
    }

    // Closing the program among the events the download lets run must not touch the
    // dialog afterwards; the download goes on to its end without its windows.
    void dialogClosedDuringDownload()
    {
        PortSetup s;
        auto *dialog = new PortDialog(s.model, s.factory, *s.network, s.prompts, [] { return goldenBoxLines(); },
                                      &s.mainWindow);
        QPointer<PortDialog> alive(dialog);
        dialog->combo()->setEditText(QStringLiteral("Printer1"));
        QTimer::singleShot(0, dialog, [dialog] { delete dialog; });
        dialog->download();
        QVERIFY(!alive);
        QCOMPARE(s.network->writeLog().last().name, QStringLiteral("Printer1.PrintCode.stop"));
    }
};

QTEST_MAIN(TestDeviceWidgets)
#include "tst_device_widgets.moc"
