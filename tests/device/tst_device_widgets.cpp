// The variable tree, the port dialog and the progress window, driven as the operator does.

#include "DeviceTestSupport.h"
#include "device/AutomationFactory.h"
#include "device/PortDialog.h"
#include "device/ProcessNetwork.h"
#include "device/ProgressWindow.h"
#include "device/VariableTree.h"
#include "model/CharGrid.h"
#include "model/TicketModel.h"
#include "support/ScriptedPrompts.h"

#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace tkl;
using namespace tkl::test;

Q_DECLARE_METATYPE(VariableTree::Mode)

namespace {

struct PortSetup
{
    TicketModel model;
    std::unique_ptr<ProcessNetwork> network = ProcessNetwork::builtIn();
    AutomationFactory factory{*network};
    ScriptedPrompts prompts;
    QStringList lines = goldenBoxLines();
    QWidget mainWindow;
    PortDialog dialog{model, factory, *network, prompts, [this] { return lines; }, &mainWindow};

    QComboBox *combo() { return dialog.findChild<QComboBox *>(QStringLiteral("Combo1")); }
    QPushButton *button() { return dialog.findChild<QPushButton *>(QStringLiteral("Command1")); }
    VariableTree *tree() { return dialog.findChild<VariableTree *>(QStringLiteral("Vatrix1")); }

    PortSetup()
    {
        fillGoldenTicket(model);
        mainWindow.setGeometry(40, 30, 600, 400);
        mainWindow.show();
    }

    void pressDownload()
    {
        dialog.show();
        QTest::mouseClick(button(), Qt::LeftButton);
    }

    QStringList listed()
    {
        QStringList items;
        for (int i = 0; i < combo()->count(); ++i)
            items << combo()->itemText(i);
        return items;
    }
};

QRect twipsRect(const QWidget *w, int left, int top, int width, int height)
{
    const double dpi = w->logicalDpiX();
    return QRect(Twips::toPixels(left, dpi), Twips::toPixels(top, dpi), Twips::toPixels(width, dpi),
                 Twips::toPixels(height, dpi));
}

} // namespace

class TestDeviceWidgets : public QObject
{
    Q_OBJECT

private slots:
    void treeChoice_data();
    void treeChoice();
    void portDialogLayout_data();
    void portDialogLayout();
    void nodeSelectedSetsTextNotList();
    void downloadsListThePortEachTime();
    void failingDownload_data();
    void failingDownload();
    void failureAtEveryWriteThroughTheDialog();
    void readBackDifferenceShown();
    void deviceMemoryWarningShownOnce();
    void progressWindowDuringDownload();
    void noSecondDownloadWhileOneRuns();
    void dialogClosedDuringDownload();
    void screenshots();
};

void TestDeviceWidgets::treeChoice_data()
{
    QTest::addColumn<VariableTree::Mode>("mode");
    QTest::addColumn<QString>("item");
    QTest::addColumn<bool>("byKey");
    QTest::addColumn<QString>("selected"); // empty: no signal

    using M = VariableTree::Mode;
    QTest::newRow("variable, double-click") << M::Variables << "Kiln.Zone2Temp" << false << "Kiln.Zone2Temp";
    QTest::newRow("variable, Enter") << M::Variables << "Scale1.Tare" << true << "Scale1.Tare";
    QTest::newRow("node, double-click") << M::Variables << "Kiln" << false << "";
    QTest::newRow("node, Enter") << M::Variables << "Scale1" << true << "";
    QTest::newRow("port, double-click") << M::Ports << "Printer2" << false << "Printer2";
    QTest::newRow("port, Enter") << M::Ports << "Printer1" << true << "Printer1";
    QTest::newRow("printer module node") << M::Ports << "PrinterModule" << false << "";
}

void TestDeviceWidgets::treeChoice()
{
    QFETCH(VariableTree::Mode, mode);
    QFETCH(QString, item);
    QFETCH(bool, byKey);
    QFETCH(QString, selected);

    const auto network = ProcessNetwork::builtIn();
    VariableTree tree(*network, mode);
    tree.resize(300, 400);
    tree.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tree));

    QTreeWidgetItem *target = tree.itemForName(item);
    if (!target) {
        const auto found = tree.findItems(item, Qt::MatchExactly);
        QCOMPARE(found.size(), 1);
        target = found.first();
    }
    QSignalSpy variable(&tree, &VariableTree::VariableSelected);
    QSignalSpy node(&tree, &VariableTree::NodeSelected);
    // Whoever handles the signal reads SelectedName at once.
    QString seen;
    auto record = [&] { seen = tree.SelectedName(); };
    connect(&tree, &VariableTree::VariableSelected, &tree, record);
    connect(&tree, &VariableTree::NodeSelected, &tree, record);

    if (byKey) {
        tree.setCurrentItem(target);
        QTest::keyClick(&tree, Qt::Key_Return);
    } else {
        tree.scrollToItem(target);
        // The first click of the pair, then the second that makes it a double-click.
        QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, tree.visualItemRect(target).center());
        QTest::mouseDClick(tree.viewport(), Qt::LeftButton, {}, tree.visualItemRect(target).center());
    }

    const bool ports = mode == VariableTree::Mode::Ports;
    QCOMPARE(variable.size(), !selected.isEmpty() && !ports ? 1 : 0);
    QCOMPARE(node.size(), !selected.isEmpty() && ports ? 1 : 0);
    QCOMPARE(seen, selected);
    QCOMPARE(tree.SelectedName(), selected);
}

void TestDeviceWidgets::portDialogLayout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("twips");
    QTest::addColumn<QString>("text");

    QTest::newRow("tree") << "Vatrix1" << QRect(0, 720, 4335, 1935) << "";
    QTest::newRow("combo") << "Combo1" << QRect(0, 360, 4335, 315) << "";
    QTest::newRow("label 1") << "Label1" << QRect(0, 120, 1215, 255) << "Selected port";
    QTest::newRow("label 2") << "Label2" << QRect(120, 2880, 2415, 255) << "\"Select port before download\"";
    QTest::newRow("button") << "Command1" << QRect(2640, 2760, 1575, 375) << "Download";
}

void TestDeviceWidgets::portDialogLayout()
{
    QFETCH(QString, name);
    QFETCH(QRect, twips);
    QFETCH(QString, text);
    PortSetup s;
    QCOMPARE(s.dialog.objectName(), QStringLiteral("Form8"));
    QCOMPARE(s.dialog.windowTitle(), QStringLiteral("Port setup for Printer Ticket download"));

    auto *w = s.dialog.findChild<QWidget *>(name);
    QVERIFY(w);
    QCOMPARE(w->geometry(), twipsRect(w, twips.x(), twips.y(), twips.width(), twips.height()));
    if (auto *label = qobject_cast<QLabel *>(w)) {
        QCOMPARE(label->text(), text);
        // All of it readable, not clipped at the label's edge.
        QVERIFY(label->fontMetrics().horizontalAdvance(text) <= label->width());
    }
    if (auto *button = qobject_cast<QPushButton *>(w))
        QCOMPARE(button->text(), text);
    if (auto *combo = qobject_cast<QComboBox *>(w)) {
        QVERIFY(combo->isEditable());
        QCOMPARE(combo->count(), 0);
        QCOMPARE(combo->currentText(), QString());
    }
    if (auto *tree = qobject_cast<VariableTree *>(w)) {
        QCOMPARE(tree->mode(), VariableTree::Mode::Ports);
        QCOMPARE(tree->property("ApplicationName").toString(), QStringLiteral("Zavoda_Ridezov"));
    }
}

void TestDeviceWidgets::nodeSelectedSetsTextNotList()
{
    PortSetup s;
    s.dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&s.dialog));
    s.combo()->setEditText(QStringLiteral("typed"));
    VariableTree *tree = s.tree();
    tree->setCurrentItem(tree->itemForName(QStringLiteral("Printer2")));
    QTest::keyClick(tree, Qt::Key_Return);
    QCOMPARE(s.combo()->currentText(), QStringLiteral("Printer2"));
    QCOMPARE(s.combo()->count(), 0);

    // Enter in the combo box does not list the name either.
    QTest::keyClick(s.combo(), Qt::Key_Return);
    QCOMPARE(s.combo()->count(), 0);
    QVERIFY(s.network->writeLog().isEmpty());
}

void TestDeviceWidgets::downloadsListThePortEachTime()
{
    PortSetup s;
    s.combo()->setEditText(QStringLiteral("Printer1"));
    s.pressDownload();
    QCOMPARE(s.listed(), QStringList{"Printer1"});
    QVERIFY(!s.dialog.isVisible());
    QVERIFY(!s.dialog.progressWindow()->isVisible());
    QVERIFY(s.prompts.messages.isEmpty());
    const QList<WriteRecord> first = s.network->writeLog();
    QCOMPARE(first.last().name, QStringLiteral("Printer1.PrintCode.stop"));
    QCOMPARE(s.model.TicketLines, qint16(s.lines.size()));
    QCOMPARE(s.dialog.progressWindow()->progressBar()->value(), 100);
    AutomationObject *server = s.dialog.downloadServer();
    QVERIFY(server);

    // The same port again, after the ticket grew by a line: a new server object.
    s.lines << QStringLiteral("one more");
    s.network->clearWriteLog();
    s.pressDownload();
    QCOMPARE(s.listed(), (QStringList{"Printer1", "Printer1"}));
    QCOMPARE(s.combo()->currentText(), QStringLiteral("Printer1"));
    QCOMPARE(s.model.TicketLines, qint16(6));
    QCOMPARE(s.network->writeLog().size(), first.size() + 1);
    QCOMPARE(s.factory.createdCount(), 2);
    QVERIFY(s.prompts.messages.isEmpty());
}

void TestDeviceWidgets::failingDownload_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<int>("failAt");          // 0: no injected fault
    QTest::addColumn<bool>("creationFails");
    QTest::addColumn<QString>("messagePart");

    QTest::newRow("device refuses a write") << "Printer1" << 45 << false << "\"Printer1.UpdateArr[7].NodeAdr\"";
    QTest::newRow("device refuses the last write") << "Printer1" << 77 << false << "\"Printer1.PrintCode.stop\"";
    QTest::newRow("unknown port") << "Nowhere" << 0 << false << "\"Nowhere.UpdateArr[1].DataIn\"";
    QTest::newRow("empty port") << "" << 0 << false << "\".UpdateArr[1].DataIn\"";
    QTest::newRow("no server") << "Printer1" << 0 << true << "not registered";
}

void TestDeviceWidgets::failingDownload()
{
    QFETCH(QString, port);
    QFETCH(int, failAt);
    QFETCH(bool, creationFails);
    QFETCH(QString, messagePart);
    PortSetup s;
    TicketModel before;
    fillGoldenTicket(before);
    if (creationFails)
        s.factory.setCreationFailure(QStringLiteral("Component not registered"));
    s.network->failWriteAt(failAt);
    s.combo()->setEditText(port);
    s.pressDownload();

    QCOMPARE(s.prompts.messages.size(), 1);
    const ScriptedPrompts::Message &message = s.prompts.messages.first();
    QCOMPARE(message.title, QStringLiteral("Download Error"));
    QVERIFY2(message.text.contains(messagePart), qPrintable(message.text));
    if (s.dialog.downloadServer())
        QCOMPARE(message.text, s.dialog.downloadServer()->property(QStringLiteral("ErrorString")).toString());
    QVERIFY(!s.dialog.isVisible());
    if (s.dialog.progressWindow())
        QVERIFY(!s.dialog.progressWindow()->isVisible());
    QCOMPARE(s.network->writeLog().size(), std::max(0, failAt - 1));
    // A download that got as far as writing has listed the port; one without a server has not.
    QCOMPARE(s.listed(), creationFails ? QStringList() : QStringList{port});
    QCOMPARE(s.model.UpdateBoxes, before.UpdateBoxes);
    QCOMPARE(s.model.StopCode, before.StopCode);

    // The dialog still works afterwards.
    s.factory.setCreationFailure(QString());
    s.combo()->setEditText(QStringLiteral("Printer2"));
    s.pressDownload();
    QCOMPARE(s.prompts.messages.size(), 1);
    QCOMPARE(s.listed().last(), QStringLiteral("Printer2"));
}

void TestDeviceWidgets::failureAtEveryWriteThroughTheDialog()
{
    PortSetup s;
    s.combo()->setEditText(QStringLiteral("Printer1"));
    s.pressDownload();
    const int writes = int(s.network->writeLog().size());
    TicketModel before;
    fillGoldenTicket(before);

    for (int k = 1; k <= writes; ++k) {
        s.network->failWriteAt(k);
        s.pressDownload();
        QCOMPARE(s.prompts.messages.size(), k);
        QCOMPARE(s.prompts.messages.last().title, QStringLiteral("Download Error"));
        QCOMPARE(s.prompts.messages.last().text, s.dialog.lastResult().errorString);
        QVERIFY(!s.dialog.isVisible());
        QVERIFY(!s.dialog.progressWindow()->isVisible());
        QVERIFY(s.button()->isEnabled());
        QCOMPARE(s.model.UpdateBoxes, before.UpdateBoxes);
        QCOMPARE(s.model.StartCode, before.StartCode);
    }
    QCOMPARE(s.combo()->count(), writes + 1);
}

void TestDeviceWidgets::readBackDifferenceShown()
{
    PortSetup s;
    s.network->corruptOnReadBack(QStringLiteral("Printer1.Ticket[1]"), QStringLiteral("   WEIGHING TICKEt"));
    s.combo()->setEditText(QStringLiteral("Printer1"));
    s.pressDownload();

    QCOMPARE(s.prompts.messages.size(), 1);
    QCOMPARE(s.prompts.messages.first().title, QStringLiteral("Download Error"));
    QCOMPARE(s.prompts.messages.first().text,
             QStringLiteral("Read-back of Printer1.Ticket[1] gave \"   WEIGHING TICKEt\" where \"   WEIGHING TICKET\" "
                            "was written"));
    QVERIFY(!s.dialog.isVisible());
    QVERIFY(!s.dialog.progressWindow()->isVisible());
    QCOMPARE(s.listed(), QStringList{QStringLiteral("Printer1")});
}

// A device memory that cannot be written: the download itself succeeds, and the
// operator learns once that other programs will not see the ticket.
void TestDeviceWidgets::deviceMemoryWarningShownOnce()
{
    QTemporaryDir folder;
    PortSetup s;
    s.network->attachStore(folder.path()); // a folder where the file should be
    QVERIFY(!s.network->storeWarning().isEmpty());
    s.combo()->setEditText(QStringLiteral("Printer1"));
    s.pressDownload();
    QVERIFY(s.dialog.lastResult().ok());
    QCOMPARE(s.prompts.messages.size(), 1);
    QCOMPARE(s.prompts.messages.first().title, QStringLiteral("Device memory"));
    s.pressDownload();
    QCOMPARE(s.prompts.messages.size(), 1);
}

void TestDeviceWidgets::progressWindowDuringDownload()
{
    PortSetup s;
    s.mainWindow.move(100, 50);
    QPoint mainTopLeft = s.mainWindow.frameGeometry().topLeft();
    bool visible = false;
    int value = -1;
    QPoint placed;
    s.dialog.setRestorePointer([&] {
        ProgressWindow *form7 = s.dialog.progressWindow();
        visible = form7 && form7->isVisible();
        value = form7 ? form7->progressBar()->value() : -1;
        placed = form7 ? form7->pos() : QPoint();
    });
    s.combo()->setEditText(QStringLiteral("Printer1"));
    s.pressDownload();

    ProgressWindow *form7 = s.dialog.progressWindow();
    QVERIFY(form7);
    QCOMPARE(form7->objectName(), QStringLiteral("Form7"));
    QCOMPARE(form7->windowTitle(), QStringLiteral("Downloading Printer Ticket"));
    QVERIFY(visible);
    QCOMPARE(value, 0);
    const double dpi = form7->logicalDpiX();
    QCOMPARE(placed, mainTopLeft + QPoint(Twips::toPixels(3500, dpi), Twips::toPixels(5500, dpi)));
    auto *bar = form7->findChild<QProgressBar *>(QStringLiteral("ProgressBar1"));
    QVERIFY(bar);
    QCOMPARE(bar->minimum(), 0);
    QCOMPARE(bar->maximum(), 100);
    QCOMPARE(bar->geometry(), twipsRect(form7, 120, 720, 3135, 195));
    auto *picture = form7->findChild<QLabel *>(QStringLiteral("Picture1"));
    QVERIFY(picture);
    QCOMPARE(picture->pixmap().size(), QSize(32, 32));

    // The next download starts the bar from 0 again.
    value = -1;
    s.pressDownload();
    QCOMPARE(value, 0);
}

void TestDeviceWidgets::noSecondDownloadWhileOneRuns()
{
    PortSetup s;
    bool buttonEnabled = true;
    s.dialog.setRestorePointer([&] {
        buttonEnabled = s.button()->isEnabled();
        // A click that reaches the dialog anyway while events run.
        s.combo()->setEditText(QStringLiteral("Printer2"));
        s.dialog.download();
    });
    s.combo()->setEditText(QStringLiteral("Printer1"));
    s.pressDownload();

    QVERIFY(!buttonEnabled);
    QVERIFY(s.button()->isEnabled());
    QCOMPARE(s.factory.createdCount(), 1);
    QCOMPARE(s.listed(), QStringList{"Printer1"});
    QVERIFY(s.dialog.lastResult().ok());
    for (const WriteRecord &w : s.network->writeLog())
        QVERIFY2(w.name.startsWith(QStringLiteral("Printer1.")), qPrintable(w.name));
}

void TestDeviceWidgets::dialogClosedDuringDownload()
{
    TicketModel model;
    fillGoldenTicket(model);
    const auto network = ProcessNetwork::builtIn();
    AutomationFactory factory(*network);
    ScriptedPrompts prompts;
    QWidget mainWindow;
    QPointer<PortDialog> dialog =
        new PortDialog(model, factory, *network, prompts, [] { return goldenBoxLines(); }, &mainWindow);
    dialog->combo()->setEditText(QStringLiteral("Printer1"));
    dialog->show();
    // Runs among the events the download lets run, as closing the program would.
    QTimer::singleShot(0, dialog, [&] { delete dialog.data(); });
    dialog->download();

    QVERIFY(!dialog);
    // The download went on to its end without its windows.
    QCOMPARE(network->writeLog().last().name, QStringLiteral("Printer1.PrintCode.stop"));
    QVERIFY(prompts.messages.isEmpty());
}

// Pictures of both windows for a person to look at: TKL_GRAB_DIR=<folder>.
void TestDeviceWidgets::screenshots()
{
    const QString dir = qEnvironmentVariable("TKL_GRAB_DIR");
    if (dir.isEmpty())
        QSKIP("set TKL_GRAB_DIR to write the pictures");
    PortSetup s;
    s.dialog.show();
    s.combo()->setEditText(QStringLiteral("Printer1"));
    QVERIFY(s.dialog.grab().save(dir + QStringLiteral("/form8.png")));
    s.dialog.setRestorePointer([&] {
        s.dialog.progressWindow()->progressBar()->setValue(40);
        QVERIFY(s.dialog.progressWindow()->grab().save(dir + QStringLiteral("/form7.png")));
    });
    s.pressDownload();
}

QTEST_MAIN(TestDeviceWidgets)
#include "tst_device_widgets.moc"
