#include "app/AppSession.h"
#include "dialogs/PreviewWindow.h"
#include "app/MainWindow.h"
#include "app/QtPrompts.h"
#include "device/AutomationFactory.h"
#include "device/ProgressWindow.h" // before PortDialog.h, which needs it complete
#include "device/PortDialog.h"
#include "device/ProcessNetwork.h"
#include "dialogs/HelpWindow.h"
#include "dialogs/PrinterSettingsDialog.h"
#include "dialogs/TicketSizeDialog.h"
#include "dialogs/UpdateBoxDialog.h"
#include "editor/EditorWindow.h"
#include "model/CharGrid.h"
#include "model/EditorFont.h"
#include "model/Numbers.h"
#include "model/TicketModel.h"
#include "support/ScriptedPrompts.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QRandomGenerator>
#include <QTimer>

#include <algorithm>
#include <memory>

using namespace tkl;

namespace {

constexpr int TickWait = 2000; // ms: generous for a 300 ms timer on a busy machine

struct Fixture
{
    std::unique_ptr<AppSession> session;
    test::ScriptedPrompts *prompts = nullptr;

    Fixture()
    {
        AppSession::Options options;
        options.loadNetwork = [](QString *) { return ProcessNetwork::builtIn(); };
        auto scripted = std::make_unique<test::ScriptedPrompts>();
        prompts = scripted.get();
        options.prompts = std::move(scripted);
        options.appFolder = QCoreApplication::applicationDirPath();
        QString error;
        session = AppSession::start(std::move(options), &error);
        if (!session)
            qFatal("start-up failed: %s", qPrintable(error));
    }

    MainWindow &w() const { return session->window(); }
    TicketModel &model() const { return session->model(); }
    EditorWindow &editor() const { return *w().editor(); }

    void show() const
    {
        w().show();
        if (!QTest::qWaitForWindowExposed(&w()))
            qFatal("main window not exposed");
    }

    template<typename T = QWidget>
    T *child(const char *name) const
    {
        T *found = w().findChild<T *>(QString::fromLatin1(name));
        if (!found)
            qFatal("no child %s", name);
        return found;
    }

    QLineEdit *tip() const { return child<QLineEdit>("txttooltip"); }
    QTimer *timer() const { return child<QTimer>("Timer1"); }

    int px(double twips) const { return Twips::toPixels(twips, w().logicalDpiX()); }
    int py(double twips) const { return Twips::toPixels(twips, w().logicalDpiY()); }
};

void hover(QWidget *widget)
{
    QTest::mouseMove(widget, widget->rect().center());
}

} // namespace

class TestApp : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void startUpState();
    void startUpClearsAnOldModel();
    void dialogsFollowTheFirstPaint();
    void startUpFailure_data();
    void startUpFailure();

    void geometrySnapsBack_data();
    void geometrySnapsBack();
    void movedWindowPlacesDialogsFromWhereItIs();
    void minimiseHidesEditorAndRestoreResets();
    void maximiseKeepsFixedSize();
    void buttonPlaces_data();
    void buttonPlaces();
    void readoutFollowsEditor();

    void tooltip_data();
    void tooltip();
    void tooltipMovesToNextButtonAtNextTick();
    void tooltipShowsWhilePointerKeepsMoving();
    void sizeButtonKeepsOldTipAndOnlyBandHides();

    void pressHides_data();
    void pressHides();
    void fieldPress_data();
    void fieldPress();
    void backgroundClickEndsEraserButNotDeleteMode();

    void insertWithAllSlotsLoaded();
    void randomOperatorSession();
    void dialogPlaces_data();
    void dialogPlaces();
    void portDialogIsCreatedOnce();
    void previewFromButtonAndF5();
    void closing_data();
    void closing();
    void help_data();
    void help();

    void qtFilter_data();
    void qtFilter();
    void yesNoQuestion_data();
    void yesNoQuestion();
    void saveDialogOffersLastName();
};

namespace {

QtMessageHandler previousHandler = nullptr;

// The offscreen platform cannot raise windows or pass on size hints and says so each
// time a dialog does; that is no finding of these tests.
void quietRaise(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.startsWith(QLatin1String("This plugin does not support")))
        return;
    previousHandler(type, context, message);
}

} // namespace

void TestApp::initTestCase()
{
    installFontSubstitutions();
    previousHandler = qInstallMessageHandler(quietRaise);
}

void TestApp::startUpState()
{
    Fixture f;
    QCOMPARE(f.w().objectName(), QStringLiteral("Form1"));
    QCOMPARE(f.w().windowTitle(), QStringLiteral("Dodurev Ezuzez Avedur         UnNamed Ticket"));
    QVERIFY(!(f.w().windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(f.w().windowFlags() & Qt::WindowMinimizeButtonHint);
    QCOMPARE(f.model().StartCode, QString());
    QCOMPARE(f.model().StopCode, QString());
    QCOMPARE(f.model().loadedCount(), 0);
    QCOMPARE(f.model().ScrollPos, qint16(22));
    QVERIFY(!f.model().LayoutChanged);
    QCOMPARE(f.w().appFolder(), QCoreApplication::applicationDirPath());
    QCOMPARE(f.session->sharedServer().property(QStringLiteral("EnableExceptions")).toBool(), true);

    // Everything exists hidden until its command shows it.
    QVERIFY(f.w().updateBoxDialog() && f.w().updateBoxDialog()->isHidden());
    QCOMPARE(f.w().updateBoxDialog()->heightTwips(), 1260);
    QVERIFY(f.w().printerSettingsDialog() && f.w().printerSettingsDialog()->isHidden());
    QVERIFY(f.w().ticketSizeDialog() && f.w().ticketSizeDialog()->isHidden());
    QVERIFY(!f.w().portDialog());
    QVERIFY(f.tip()->isHidden());
    QVERIFY(!f.timer()->isActive());
    QCOMPARE(f.timer()->interval(), 300);
    QCOMPARE(f.w().tipIndex(), 0);

    // The first resize that comes with showing the window shows the editor, which
    // starts at the width New asks for.
    QVERIFY(f.editor().isHidden());
    f.show();
    QVERIFY(f.editor().isVisible());
    QCOMPARE(f.editor().pos(), QPoint(0, f.py(615)));
    QCOMPARE(f.editor().widthTwips(), double(CharGrid(f.editor().charWidthTwips(), 1).snapEditorWidth(5260, 9500)));
    if (f.editor().charWidthTwips() == 120)
        QCOMPARE(f.model().CharsPerLine, qint16(40));
}

void TestApp::startUpClearsAnOldModel()
{
    // A model that went through an earlier ticket is cleared by start-up steps 7 to 10.
    ProcessNetwork &network = *ProcessNetwork::builtIn().release();
    std::unique_ptr<ProcessNetwork> owner(&network);
    AutomationFactory factory(network);
    auto server = factory.create(AutomationFactory::ServerProgId);
    TicketModel model;
    model.UpdateBoxes[7].VarName = QStringLiteral("Scale1.NetWeight");
    model.UpdateBoxes[7].Chars = 6;
    model.UpdateBoxes[30].DataIn = true;
    model.StartCode = QStringLiteral("[27]");
    model.StopCode = QStringLiteral("[12]");
    model.ScrollPos = 40;
    model.LayoutChanged = true;
    test::ScriptedPrompts prompts;
    MainWindow w(model, network, factory, *server, prompts, QStringLiteral("/nowhere"));
    QCOMPARE(model.UpdateBoxes[7], UpdateBox{});
    QCOMPARE(model.UpdateBoxes[30], UpdateBox{});
    QCOMPARE(model.StartCode, QString());
    QCOMPARE(model.StopCode, QString());
    QCOMPARE(model.ScrollPos, qint16(22));
    QVERIFY(!model.LayoutChanged);
    QCOMPARE(w.appFolder(), QStringLiteral("/nowhere"));
}

void TestApp::dialogsFollowTheFirstPaint()
{
    // Nobody asks for them: they are made, hidden, once the window has been painted.
    Fixture f;
    f.show();
    for (const char *name : {"Form3", "Form4", "Form6"}) {
        QTRY_VERIFY(f.w().findChild<QWidget *>(QLatin1String(name)));
        QWidget *dialog = f.w().findChild<QWidget *>(QLatin1String(name));
        QVERIFY(dialog->isWindow());
        QVERIFY(dialog->isHidden());
    }
    QCOMPARE(f.w().findChildren<UpdateBoxDialog *>().size(), 1);
}

void TestApp::startUpFailure_data()
{
    QTest::addColumn<QString>("factoryFailure");
    QTest::addColumn<bool>("badNetwork");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("messageHas");

    QTest::newRow("server cannot be created")
        << QStringLiteral("Server not registered") << false << 1
        << QStringList{QStringLiteral("KELM.PRO"), QStringLiteral("Server not registered")};
    QTest::newRow("malformed network file")
        << QString() << true << 1 << QStringList{QStringLiteral("mynet.json"), QStringLiteral("3:14")};
    QTest::newRow("starts") << QString() << false << 0 << QStringList();
}

void TestApp::startUpFailure()
{
    QFETCH(QString, factoryFailure);
    QFETCH(bool, badNetwork);
    QFETCH(int, exitCode);
    QFETCH(QStringList, messageHas);

    AppSession::Options options;
    if (badNetwork) {
        options.loadNetwork = [](QString *error) {
            *error = QStringLiteral("mynet.json: 3:14: missing value");
            return std::unique_ptr<ProcessNetwork>();
        };
    } else {
        options.loadNetwork = [](QString *) { return ProcessNetwork::builtIn(); };
    }
    options.prepareFactory = [factoryFailure](AutomationFactory &factory) {
        factory.setCreationFailure(factoryFailure);
    };
    options.prompts = std::make_unique<test::ScriptedPrompts>();
    QStringList reports;
    const int code = AppSession::run(std::move(options), [&](const QString &text) { reports.append(text); },
                                     false);
    QCOMPARE(code, exitCode);
    if (exitCode == 0) {
        QVERIFY(reports.isEmpty());
        return;
    }
    QCOMPARE(reports.size(), 1);
    for (const QString &part : messageHas)
        QVERIFY2(reports.first().contains(part), qPrintable(reports.first()));
    // No window is left behind by a failed start.
    for (QWidget *top : QApplication::topLevelWidgets())
        QVERIFY(top->objectName() != QLatin1String("Form1"));
}

void TestApp::geometrySnapsBack_data()
{
    QTest::addColumn<QRect>("given"); // pixels

    QTest::newRow("smaller") << QRect(0, 67, 300, 200);
    QTest::newRow("larger and moved") << QRect(150, 220, 1000, 800);
    QTest::newRow("one pixel wider") << QRect(0, 67, 634, 384);
    QTest::newRow("one pixel lower") << QRect(0, 67, 633, 383);
}

void TestApp::geometrySnapsBack()
{
    QFETCH(QRect, given);
    Fixture f;
    f.show();
    const int lineHeight = f.editor().lineHeightTwips();
    const int expectedHeight = 5390 + (lineHeight > 195 ? 22 * (lineHeight - 195) : 0);
    QCOMPARE(f.w().heightTwips(), expectedHeight);
    // The editor's 22 lines fill the window below the band exactly.
    QCOMPARE(expectedHeight - MainWindow::CaptionHeight, 615 + CharGrid(1, lineHeight).editorHeight());

    f.w().setGeometry(given);
    QTRY_COMPARE(f.w().size(), QSize(f.px(9500), f.py(expectedHeight - MainWindow::CaptionHeight)));
    QTRY_COMPARE(f.w().pos(), QPoint(f.px(0), f.py(1000)));
    QCOMPARE(f.w().leftTwips(), 0);
    QCOMPARE(f.w().topTwips(), 1000);
    QCOMPARE(f.w().widthTwips(), 9500);
    QVERIFY(f.editor().isVisible());
    QCOMPARE(f.editor().pos(), QPoint(0, f.py(615)));
}

void TestApp::movedWindowPlacesDialogsFromWhereItIs()
{
    // Moving without resizing raises no snap-back: the window stays, and the dialogs
    // are placed from where it now is.
    Fixture f;
    f.show();
    // Whole pixels that are whole twips at 96 dpi as well as elsewhere.
    const QPoint moved(100, 150);
    f.w().move(moved);
    QTRY_COMPARE(f.w().pos(), moved);
    const int left = int(roundHalfEven(Twips::fromPixels(moved.x(), f.w().logicalDpiX())));
    const int top = int(roundHalfEven(Twips::fromPixels(moved.y(), f.w().logicalDpiY())));
    QCOMPARE(f.w().leftTwips(), left);
    QCOMPARE(f.w().topTwips(), top);
    QTest::mouseClick(f.child<QPushButton>("SSCommand10"), Qt::LeftButton);
    QCOMPARE(f.w().ticketSizeDialog()->pos(), QPoint(f.px(left + 2000), f.py(top + 3000)));
}

void TestApp::minimiseHidesEditorAndRestoreResets()
{
    Fixture f;
    f.show();
    f.w().showMinimized();
    QVERIFY(f.editor().isHidden());
    f.w().move(f.px(3000), f.py(3000));
    f.w().showNormal();
    QVERIFY(f.editor().isVisible());
    QTRY_COMPARE(f.w().pos(), QPoint(0, f.py(1000)));
    QCOMPARE(f.w().topTwips(), 1000);
}

void TestApp::maximiseKeepsFixedSize()
{
    Fixture f;
    f.show();
    const QSize fixed = f.w().size();
    f.w().showMaximized();
    QTRY_VERIFY(!f.w().isMaximized());
    QTRY_COMPARE(f.w().size(), fixed);
    QCOMPARE(f.w().pos(), QPoint(0, f.py(1000)));
    QVERIFY(f.editor().isVisible());
}

void TestApp::buttonPlaces_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("left");
    QTest::addColumn<QString>("accessible");

    QTest::newRow("new") << "SSCommand2" << 0 << "New Ticket";
    QTest::newRow("open") << "SSCommand3" << 540 << "Open Ticket";
    QTest::newRow("save") << "SSCommand1" << 1080 << "Save Ticket";
    QTest::newRow("exit") << "SSCommand4" << 1620 << "Exit";
    QTest::newRow("printer") << "SSCommand6" << 2160 << "Printer Setup";
    QTest::newRow("insert") << "SSCommand7" << 2700 << "Insert UpdateBox";
    QTest::newRow("delete") << "SSCommand9" << 3240 << "Delete UpdateBox";
    QTest::newRow("help") << "SSCommand8" << 3780 << "Help";
    QTest::newRow("download") << "SSCommand11" << 4320 << "DownLoad Ticket";
    QTest::newRow("preview") << "SSCommand12" << 4860 << "Preview Ticket";
    QTest::newRow("size") << "SSCommand10" << -1 << "Ticket Size";
}

void TestApp::buttonPlaces()
{
    QFETCH(QString, name);
    QFETCH(int, left);
    QFETCH(QString, accessible);
    Fixture f;
    auto *button = f.child<QPushButton>(name.toLatin1().constData());
    QCOMPARE(button->accessibleName(), accessible);
    QVERIFY(!button->icon().isNull());
    QVERIFY(!button->icon().pixmap(button->iconSize()).toImage().isNull());
    auto *band = f.child<QWidget>("Picture1");
    QCOMPARE(band->geometry(), QRect(0, 0, f.px(9500), f.py(615)));
    if (left >= 0) {
        QCOMPARE(button->parentWidget(), &f.w());
        QCOMPARE(button->geometry(), QRect(f.px(left), 0, f.px(555), f.py(555)));
        return;
    }
    // The size button sits at the left of the grey box at the band's right end.
    auto *picture2 = f.child<QWidget>("Picture2");
    QCOMPARE(button->parentWidget(), picture2);
    QCOMPARE(button->geometry(), QRect(0, 0, f.px(555), f.py(525)));
    QCOMPARE(picture2->mapTo(&f.w(), QPoint(0, 0)), QPoint(f.px(9350 - 1215), 0));
    QCOMPARE(picture2->size(), QSize(f.px(1215), f.py(555)));
    QCOMPARE(f.child<QLabel>("Label1")->parentWidget(), picture2);
    QCOMPARE(f.child<QLabel>("Label1")->geometry(), QRect(f.px(600), 0, f.px(555), f.py(525)));
}

void TestApp::readoutFollowsEditor()
{
    Fixture f;
    f.show();
    auto *readout = f.w().findChild<QLabel *>(QStringLiteral("Label1"), Qt::FindDirectChildrenOnly);
    QVERIFY(!readout); // the readout lives in Picture2, not beside the editor's labels
    readout = f.child<QWidget>("Picture2")->findChild<QLabel *>(QStringLiteral("Label1"));
    QVERIFY(readout);
    QCOMPARE(readout->text(), f.editor().readoutText());
    f.editor().setWidthTwips(CharGrid(f.editor().charWidthTwips(), 1).widthForChars(20));
    QCOMPARE(readout->text(), QStringLiteral("Ch:20\r\nLn:1"));
}

void TestApp::tooltip_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("left");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("cells");
    QTest::addColumn<int>("index");

    QTest::newRow("save") << "SSCommand1" << 1080 << "Save Ticket" << 14 << 1;
    QTest::newRow("new") << "SSCommand2" << 0 << "New Ticket" << 13 << 2;
    QTest::newRow("exit") << "SSCommand4" << 1620 << "Exit" << 6 << 4;
    QTest::newRow("insert") << "SSCommand7" << 2700 << "Insert UpdateBox" << 20 << 7;
    QTest::newRow("help") << "SSCommand8" << 3780 << "Help" << 6 << 8;
    QTest::newRow("download") << "SSCommand11" << 4320 << "DownLoad Ticket" << 19 << 10;
    QTest::newRow("preview") << "SSCommand12" << 4860 << "Preview Ticket" << 17 << 11;
}

void TestApp::tooltip()
{
    QFETCH(QString, button);
    QFETCH(int, left);
    QFETCH(QString, text);
    QFETCH(int, cells);
    QFETCH(int, index);
    Fixture f;
    f.show();
    hover(f.child(button.toLatin1().constData()));
    QCOMPARE(f.w().tipIndex(), index);
    QVERIFY(f.timer()->isActive());
    QVERIFY(f.tip()->isHidden()); // only the first tick shows it
    QTRY_VERIFY_WITH_TIMEOUT(f.tip()->isVisible(), TickWait);
    QCOMPARE(f.tip()->text(), text);

    // Width in cells of "a" in the main window's Courier 9.75 pt, not of the tip's font.
    const int cell = f.w().charWidthTwips();
    const QFontMetrics courier(editorFont(), &f.w());
    QCOMPARE(f.px(cell), courier.horizontalAdvance(u'a'));
    QCOMPARE(f.tip()->geometry(), QRect(f.px(left + 555 + 300), f.py(200), f.px(cells * cell), f.py(315)));
    if (cell == 120)
        QCOMPARE(f.tip()->width(), f.px(cells * 120));
    QCOMPARE(f.tip()->font().family(), QFont(QStringLiteral("Courier New")).family());
    QCOMPARE(f.tip()->font().pointSizeF(), 8.25);
    // The timer keeps running: the tip is refreshed on every tick.
    QVERIFY(f.timer()->isActive());
}

void TestApp::tooltipMovesToNextButtonAtNextTick()
{
    Fixture f;
    f.show();
    hover(f.child("SSCommand7"));
    QTRY_VERIFY_WITH_TIMEOUT(f.tip()->isVisible(), TickWait);
    QCOMPARE(f.tip()->text(), QStringLiteral("Insert UpdateBox"));

    hover(f.child("SSCommand9"));
    QCOMPARE(f.w().tipIndex(), 9);
    // Until the next tick the old tip stays where it was.
    QCOMPARE(f.tip()->text(), QStringLiteral("Insert UpdateBox"));
    QTRY_COMPARE_WITH_TIMEOUT(f.tip()->text(), QStringLiteral("Delete UpdateBox"), TickWait);
    QCOMPARE(f.tip()->x(), f.px(3240 + 555 + 300));
    QVERIFY(f.tip()->isVisible());
}

void TestApp::tooltipShowsWhilePointerKeepsMoving()
{
    // Moves arrive far more often than ticks; they must not keep pushing the first
    // tick away.
    Fixture f;
    f.show();
    auto *button = f.child("SSCommand6");
    for (int i = 0; i < 12 && !f.tip()->isVisible(); ++i) {
        QTest::mouseMove(button, QPoint(5 + (i % 2) * 10, 10));
        QTest::qWait(100);
    }
    QVERIFY(f.tip()->isVisible());
    QCOMPARE(f.tip()->text(), QStringLiteral("Printer Setup"));
}

void TestApp::sizeButtonKeepsOldTipAndOnlyBandHides()
{
    Fixture f;
    f.show();
    // Alone, the size button shows nothing.
    hover(f.child("SSCommand10"));
    QCOMPARE(f.w().tipIndex(), 0);
    QVERIFY(!f.timer()->isActive());

    hover(f.child("SSCommand4"));
    QTRY_VERIFY_WITH_TIMEOUT(f.tip()->isVisible(), TickWait);
    hover(f.child("SSCommand10"));
    hover(f.child("Picture2"));
    QTest::qWait(400);
    QVERIFY(f.tip()->isVisible());
    QCOMPARE(f.tip()->text(), QStringLiteral("Exit"));
    QCOMPARE(f.w().tipIndex(), 4);

    // The band itself (between the buttons and the grey box) hides it and stops the timer.
    auto *band = f.child("Picture1");
    QTest::mouseMove(band, QPoint(f.px(7000), f.py(300)));
    QVERIFY(f.tip()->isHidden());
    QVERIFY(!f.timer()->isActive());

    // So does the window's background, and a move over the ticket text.
    hover(f.child("SSCommand4"));
    QTRY_VERIFY_WITH_TIMEOUT(f.tip()->isVisible(), TickWait);
    QTest::mouseMove(&f.w(), QPoint(f.px(8000), f.py(3000)));
    QVERIFY(f.tip()->isHidden());
    hover(f.child("SSCommand4"));
    QTRY_VERIFY_WITH_TIMEOUT(f.tip()->isVisible(), TickWait);
    QTest::mouseMove(f.editor().textBox()->viewport(), QPoint(20, 20));
    QVERIFY(f.tip()->isHidden());
    QVERIFY(!f.timer()->isActive());
}

void TestApp::pressHides_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("hides3");
    QTest::addColumn<bool>("hides4");
    QTest::addColumn<bool>("hides6");

    QTest::newRow("save") << "SSCommand1" << true << true << true;
    QTest::newRow("new") << "SSCommand2" << true << true << true;
    QTest::newRow("open") << "SSCommand3" << true << true << false;
    QTest::newRow("exit") << "SSCommand4" << true << true << false;
    QTest::newRow("printer setup") << "SSCommand6" << true << false << false;
    QTest::newRow("insert") << "SSCommand7" << true << true << false;
    QTest::newRow("help") << "SSCommand8" << true << true << false;
    QTest::newRow("delete") << "SSCommand9" << true << true << false;
    QTest::newRow("size") << "SSCommand10" << false << false << false;
    QTest::newRow("download") << "SSCommand11" << false << false << false;
    QTest::newRow("preview") << "SSCommand12" << false << false << false;
    QTest::newRow("band") << "Picture1" << true << true << true;
    QTest::newRow("grey box") << "Picture2" << false << false << false;
    QTest::newRow("background") << "Form1" << true << true << true;
    QTest::newRow("ticket text") << "Text1" << true << true << true;
    QTest::newRow("editor background") << "Form2" << false << false << true;
}

void TestApp::pressHides()
{
    QFETCH(QString, target);
    QFETCH(bool, hides3);
    QFETCH(bool, hides4);
    QFETCH(bool, hides6);
    Fixture f;
    f.show();
    QWidget *form3 = f.w().updateBoxDialog();
    QWidget *form4 = f.w().printerSettingsDialog();
    QWidget *form6 = f.w().ticketSizeDialog();
    for (QWidget *dialog : {form3, form4, form6})
        dialog->show();

    QWidget *widget = nullptr;
    QPoint at;
    if (target == QLatin1String("Form1")) {
        widget = &f.w();
        at = QPoint(f.px(8000), f.py(3000)); // right of the editor
    } else if (target == QLatin1String("Form2")) {
        widget = &f.editor();
        at = QPoint(f.editor().width() - 2, f.editor().height() - 2); // below the scroll bar
    } else if (target == QLatin1String("Text1")) {
        widget = f.editor().textBox()->viewport();
        at = QPoint(10, 10);
    } else if (target == QLatin1String("Picture1")) {
        widget = f.child("Picture1");
        at = QPoint(f.px(6500), f.py(300));
    } else {
        widget = f.child(target.toLatin1().constData());
        at = QPoint(3, 3);
    }
    QTest::mousePress(widget, Qt::LeftButton, {}, at);
    QCOMPARE(form3->isHidden(), hides3);
    QCOMPARE(form4->isHidden(), hides4);
    QCOMPARE(form6->isHidden(), hides6);
    // Let go away from the button, so that no command runs.
    QTest::mouseRelease(widget, Qt::LeftButton, {}, QPoint(-100, -100));
}

void TestApp::fieldPress_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<bool>("deleteMode");
    QTest::addColumn<bool>("form3Before");
    QTest::addColumn<bool>("form3After");

    QTest::newRow("right opens the dialog") << int(Qt::RightButton) << false << false << true;
    QTest::newRow("left hides it") << int(Qt::LeftButton) << false << true << false;
    // Deleting stops there: no dialog is opened, and an open one is left alone.
    QTest::newRow("right in delete mode") << int(Qt::RightButton) << true << false << false;
    QTest::newRow("left in delete mode") << int(Qt::LeftButton) << true << true << true;
}

void TestApp::fieldPress()
{
    QFETCH(int, button);
    QFETCH(bool, deleteMode);
    QFETCH(bool, form3Before);
    QFETCH(bool, form3After);
    Fixture f;
    f.show();
    QTest::mouseClick(f.child<QPushButton>("SSCommand7"), Qt::LeftButton);
    QTest::mouseClick(f.child<QPushButton>("SSCommand7"), Qt::LeftButton);
    if (deleteMode)
        QTest::mouseClick(f.child<QPushButton>("SSCommand9"), Qt::LeftButton);
    f.w().updateBoxDialog()->setVisible(form3Before);
    f.w().printerSettingsDialog()->show();

    QLabel *label = f.editor().fieldLabel(2);
    QVERIFY(label);
    QTest::mousePress(label, Qt::MouseButton(button), {}, QPoint(3, 3));
    QTest::mouseRelease(label, Qt::MouseButton(button), {}, QPoint(3, 3));
    QVERIFY(f.w().printerSettingsDialog()->isHidden());
    QCOMPARE(f.w().updateBoxDialog()->isVisible(), form3After);
    QCOMPARE(f.model().CurrentBox, qint16(2));
    QCOMPARE(f.model().BoxLoaded[2], qint16(deleteMode ? 0 : 1));
    if (form3After && !form3Before)
        QCOMPARE(f.w().updateBoxDialog()->windowTitle(), QStringLiteral("UpdateBox 2"));
}

void TestApp::backgroundClickEndsEraserButNotDeleteMode()
{
    Fixture f;
    f.show();
    QTest::mouseClick(f.child<QPushButton>("SSCommand9"), Qt::LeftButton);
    QVERIFY(f.model().DeleteMode);
    QVERIFY(f.editor().testAttribute(Qt::WA_SetCursor));

    // A press and release that do not end on the background are no click.
    const QPoint background(f.px(8000), f.py(3000));
    QTest::mousePress(&f.w(), Qt::LeftButton, {}, background);
    QTest::mouseRelease(&f.w(), Qt::LeftButton, {}, QPoint(-20, -20));
    QVERIFY(f.editor().testAttribute(Qt::WA_SetCursor));

    QTest::mouseClick(&f.w(), Qt::LeftButton, {}, background);
    QVERIFY(!f.editor().testAttribute(Qt::WA_SetCursor));
    QVERIFY(f.model().DeleteMode);
}

void TestApp::insertWithAllSlotsLoaded()
{
    Fixture f;
    f.show();
    auto *insert = f.child<QPushButton>("SSCommand7");
    for (int i = 0; i < 30; ++i)
        QTest::mouseClick(insert, Qt::LeftButton);
    QCOMPARE(f.model().loadedCount(), 30);
    QVERIFY(f.prompts->messages.isEmpty());
    const auto before = f.model().UpdateBoxes;

    QTest::mouseClick(insert, Qt::LeftButton);
    QCOMPARE(f.prompts->messages.size(), 1);
    QVERIFY(f.prompts->messages.first().text.contains(QStringLiteral("30")));
    QCOMPARE(f.model().loadedCount(), 30);
    QVERIFY(f.model().UpdateBoxes == before);
    QVERIFY(!f.model().LayoutChanged);
    for (int slot = 1; slot <= 30; ++slot)
        QVERIFY(f.editor().fieldFrame(slot));
}

void TestApp::randomOperatorSession()
{
    // Presses, clicks and moves in any order over the band, the buttons, the fields,
    // the text and the background: nothing crashes, and a slot is loaded exactly when
    // its pair is on the editor.
    Fixture f;
    f.show();
    QRandomGenerator random(20261206);
    const QStringList buttons{"SSCommand1", "SSCommand2", "SSCommand3", "SSCommand6", "SSCommand7",
                              "SSCommand7", "SSCommand7", "SSCommand8", "SSCommand9", "SSCommand10",
                              "SSCommand11"};
    const Qt::MouseButton mouseButtons[] = {Qt::LeftButton, Qt::RightButton};
    int mostLoaded = 0;
    int deletions = 0;
    for (int step = 0; step < 300; ++step) {
        const int loadedBefore = f.model().loadedCount();
        const Qt::MouseButton mouse = mouseButtons[random.bounded(2)];
        switch (random.bounded(6)) {
        case 0:
        case 1: {
            auto *button = f.child(buttons[random.bounded(buttons.size())].toLatin1().constData());
            if (random.bounded(2))
                QTest::mouseClick(button, mouse);
            else
                QTest::mouseMove(button);
            break;
        }
        case 2: {
            const int slot = 1 + int(random.bounded(30));
            if (QLabel *label = f.editor().fieldLabel(slot)) {
                QTest::mousePress(label, mouse, {}, QPoint(2, 2));
                QTest::mouseRelease(label, mouse, {}, QPoint(2, 2));
            }
            break;
        }
        case 3:
            QTest::mouseClick(f.editor().textBox()->viewport(), mouse, {},
                              QPoint(int(random.bounded(200)), int(random.bounded(300))));
            break;
        case 4:
            QTest::mouseClick(&f.w(), mouse, {}, QPoint(f.px(6000 + int(random.bounded(3000))), f.py(3000)));
            break;
        default:
            QTest::mouseMove(f.child("Picture1"), QPoint(f.px(6500), f.py(100 + int(random.bounded(400)))));
            break;
        }
        for (int slot = 1; slot <= 30; ++slot) {
            QVERIFY2((f.model().BoxLoaded[slot] == 1) == (f.editor().fieldFrame(slot) != nullptr),
                     qPrintable(QStringLiteral("step %1, slot %2").arg(step).arg(slot)));
        }
        QVERIFY(f.w().isVisible());
        mostLoaded = std::max(mostLoaded, f.model().loadedCount());
        deletions += f.model().loadedCount() < loadedBefore ? 1 : 0;
    }
    // The walk did reach fields and delete some of them.
    QVERIFY(mostLoaded >= 3);
    QVERIFY(deletions >= 1);
}

void TestApp::dialogPlaces_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("dialog"); // 4, 6 or 8
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("top");    // from the main window's top; -1: from the editor's

    QTest::newRow("printer setup") << "SSCommand6" << 4 << 2000 << -1;
    QTest::newRow("ticket size") << "SSCommand10" << 6 << 2000 << 3000;
    QTest::newRow("download") << "SSCommand11" << 8 << 2000 << 3000;
}

void TestApp::dialogPlaces()
{
    QFETCH(QString, button);
    QFETCH(int, dialog);
    QFETCH(int, left);
    QFETCH(int, top);
    Fixture f;
    f.show();
    QTest::mouseClick(f.child<QPushButton>(button.toLatin1().constData()), Qt::LeftButton);
    QWidget *shown = dialog == 4   ? static_cast<QWidget *>(f.w().printerSettingsDialog())
                     : dialog == 6 ? static_cast<QWidget *>(f.w().ticketSizeDialog())
                                   : static_cast<QWidget *>(f.w().portDialog());
    QVERIFY(shown);
    QVERIFY(shown->isVisible());
    const int expectedTop = top < 0 ? f.editor().editorTopTwips() + 1000 : 1000 + top;
    QCOMPARE(shown->pos(), QPoint(f.px(left), f.py(expectedTop)));
}

void TestApp::portDialogIsCreatedOnce()
{
    Fixture f;
    f.show();
    auto *download = f.child<QPushButton>("SSCommand11");
    QTest::mouseClick(download, Qt::LeftButton);
    PortDialog *first = f.w().portDialog();
    QVERIFY(first);
    first->hide();
    QTest::mouseClick(download, Qt::LeftButton);
    QCOMPARE(f.w().portDialog(), first);
    QVERIFY(first->isVisible());
}

void TestApp::previewFromButtonAndF5()
{
    Fixture f;
    f.show();
    QVERIFY(!f.w().previewWindow());
    QTest::keyClick(f.child<QPlainTextEdit>("Text1"), Qt::Key_F5);
    PreviewWindow *preview = f.w().previewWindow();
    QVERIFY(preview);
    QVERIFY(preview->isVisible());
    preview->hide();
    QTest::mouseClick(f.child<QPushButton>("SSCommand12"), Qt::LeftButton);
    QCOMPARE(f.w().previewWindow(), preview);
    QVERIFY(preview->isVisible());
    QVERIFY(!f.model().LayoutChanged); // F5 in the text is no change to the ticket
}

void TestApp::closing_data()
{
    QTest::addColumn<bool>("exitButton");
    QTest::addColumn<bool>("changed");
    QTest::addColumn<int>("answer"); // 0: No, 1: Yes and the Save As dialog is cancelled
    QTest::addColumn<bool>("ends");

    for (bool exitButton : {false, true}) {
        const QString how = exitButton ? QStringLiteral("Exit") : QStringLiteral("close box");
        QTest::newRow(qPrintable(how + ", unchanged")) << exitButton << false << 0 << true;
        QTest::newRow(qPrintable(how + ", changed, No")) << exitButton << true << 0 << true;
        // The save the operator asked for did not happen: the layout must not be lost.
        QTest::newRow(qPrintable(how + ", changed, Yes, cancelled")) << exitButton << true << 1 << false;
    }
}

void TestApp::closing()
{
    QFETCH(bool, exitButton);
    QFETCH(bool, changed);
    QFETCH(int, answer);
    QFETCH(bool, ends);
    Fixture f;
    f.show();
    QTest::mouseClick(f.child<QPushButton>("SSCommand9"), Qt::LeftButton); // eraser pointer on
    f.model().LayoutChanged = changed;
    f.prompts->answers = {answer == 1};
    QSignalSpy closed(&f.w(), &MainWindow::closed);
    if (exitButton)
        QTest::mouseClick(f.child<QPushButton>("SSCommand4"), Qt::LeftButton);
    else
        f.w().close();
    QCOMPARE(closed.size(), ends ? 1 : 0);
    QCOMPARE(f.w().isVisible(), !ends);
    QCOMPARE(f.prompts->questions.size(), changed ? 1 : 0); // once, whichever way it is closed
    QCOMPARE(f.prompts->saveDialogs, answer);
    QCOMPARE(f.model().LayoutChanged, changed);
    if (exitButton)
        QVERIFY(!f.editor().testAttribute(Qt::WA_SetCursor));
}

void TestApp::help_data()
{
    QTest::addColumn<bool>("fileThere");

    QTest::newRow("help file beside the program") << true;
    QTest::newRow("no help file") << false;
}

void TestApp::help()
{
    QFETCH(bool, fileThere);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    if (fileThere) {
        QFile help(dir.filePath(QStringLiteral("Tkl_edit.hlp")));
        QVERIFY(help.open(QIODevice::WriteOnly));
        help.write("<html><body><p>intro</p><a name=\"topic35\"></a><p>commands</p></body></html>");
    }
    auto network = ProcessNetwork::builtIn();
    AutomationFactory factory(*network);
    auto server = factory.create(AutomationFactory::ServerProgId);
    TicketModel model;
    test::ScriptedPrompts prompts;
    MainWindow w(model, *network, factory, *server, prompts, dir.path());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTest::mouseClick(w.findChild<QPushButton *>(QStringLiteral("SSCommand8")), Qt::LeftButton);
    auto *viewer = w.findChild<HelpWindow *>();
    // A missing help file shows nothing and tells nobody.
    QCOMPARE(viewer && viewer->isVisible(), fileThere);
    QVERIFY(prompts.messages.isEmpty());
}

void TestApp::qtFilter_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("expected");

    QTest::newRow("layout") << "Screen layout (*.txt)|*.txt" << "Screen layout (*.txt)";
    QTest::newRow("description without patterns") << "Text|*.txt" << "Text (*.txt)";
    QTest::newRow("the pattern after the bar counts") << "Layouts (*.lay)|*.txt" << "Layouts (*.txt)";
    QTest::newRow("two entries") << "Screen layout (*.txt)|*.txt|All files (*.*)|*.*"
                                 << "Screen layout (*.txt);;All files (*.*)";
    QTest::newRow("several patterns") << "Text|*.txt;*.lst" << "Text (*.txt *.lst)";
    QTest::newRow("empty") << "" << "";
}

void TestApp::qtFilter()
{
    QFETCH(QString, filter);
    QFETCH(QString, expected);
    QCOMPARE(QtPrompts::toQtFilter(filter), expected);
}

void TestApp::yesNoQuestion_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("answer");

    QTest::newRow("Enter takes the default No") << int(Qt::Key_Return) << false;
    QTest::newRow("Escape is No") << int(Qt::Key_Escape) << false;
    QTest::newRow("Y is Yes") << int(Qt::Key_Y) << true;
}

void TestApp::yesNoQuestion()
{
    QFETCH(int, key);
    QFETCH(bool, answer);
    QtPrompts prompts;
    QString seenText;
    QMessageBox::Icon seenIcon = QMessageBox::NoIcon;
    bool noIsDefault = false;
    QTimer::singleShot(0, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        QVERIFY(box);
        seenText = box->text();
        seenIcon = box->icon();
        noIsDefault = box->defaultButton() == box->button(QMessageBox::No);
        QTest::keyClick(box, Qt::Key(key));
    });
    const bool result = prompts.askYesNo(QStringLiteral("  Delete Warning !!"),
                                         QStringLiteral("Do you want to save\r\nthe current Layout ?"));
    QCOMPARE(result, answer);
    QCOMPARE(seenIcon, QMessageBox::Critical);
    QVERIFY(noIsDefault);
    QCOMPARE(seenText, QStringLiteral("Do you want to save\nthe current Layout ?"));
}

void TestApp::saveDialogOffersLastName()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QtPrompts prompts;
    const QString typed = dir.filePath(QStringLiteral("ticket1"));
    QStringList filters;
    QString suffix;
    bool confirmsOverwrite = true;
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        filters = dialog->nameFilters();
        suffix = dialog->defaultSuffix();
        confirmsOverwrite = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
        dialog->selectFile(typed);
        static_cast<QDialog *>(dialog)->accept();
    });
    const auto name = prompts.askSaveFileName(QStringLiteral("Screen layout (*.txt)|*.txt"), QStringLiteral(".txt"),
                                              QString());
    QCOMPARE(filters, QStringList{QStringLiteral("Screen layout (*.txt)")});
    QCOMPARE(suffix, QStringLiteral("txt"));
    QVERIFY(!confirmsOverwrite);
    QVERIFY(name.has_value());
    QCOMPARE(*name, typed + QStringLiteral(".txt"));

    // The next dialog offers that name again; cancelling it returns nothing and forgets
    // nothing.
    QStringList offered;
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        offered = dialog->selectedFiles();
        dialog->reject();
    });
    QVERIFY(!prompts.askOpenFileName(QStringLiteral("Screen layout (*.txt)|*.txt"), QStringLiteral(".txt"), QString()));
    QCOMPARE(offered, QStringList{typed + QStringLiteral(".txt")});
    QCOMPARE(prompts.offeredFileName(QString()), typed + QStringLiteral(".txt"));
}

QTEST_MAIN(TestApp)
#include "tst_app.moc"
