#include "app/AppSession.h"
#include "app/DataFiles.h"
#include "app/FileCommands.h"
#include "app/MainWindow.h"
#include "device/AutomationFactory.h"
#include "device/ProcessNetwork.h"
#include "device-widgets/PortDialog.h"
#include "dialogs/HelpWindow.h"
#include "dialogs/PreviewWindow.h"
#include "dialogs/PrinterSettingsDialog.h"
#include "dialogs/TicketSizeDialog.h"
#include "dialogs/UpdateBoxDialog.h"
#include "editor/EditorWindow.h"
#include "model/CharGrid.h"
#include "ui/WindowLook.h"
#include "model/TicketModel.h"
#include "support/ScriptedPrompts.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTimer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextBrowser>

#include <memory>

using namespace tkl;

namespace {

constexpr int TickWait = 2000; // ms: generous for a 300 ms timer on a busy machine

// The layout as the operator leaves it: edited, or as saved.
void setChanged(TicketModel &model, bool changed)
{
    if (changed)
        model.textEdited();
    else
        model.markSaved();
}

struct Fixture
{
    std::unique_ptr<AppSession> session;
    test::ScriptedPrompts *prompts = nullptr;

    explicit Fixture(const QString &layoutFile = {}, bool shown = true)
    {
        AppSession::Options options;
        options.layoutFile = layoutFile;
        options.loadNetwork = [] { return Result<std::unique_ptr<ProcessNetwork>>(ProcessNetwork::builtIn()); };
        auto scripted = std::make_unique<test::ScriptedPrompts>();
        prompts = scripted.get();
        options.prompts = std::move(scripted);
        QString error;
        session = AppSession::start(std::move(options), &error);
        if (!session)
            qFatal("start-up failed: %s", qPrintable(error));
        if (shown)
            show();
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
    T *child(const QString &name) const
    {
        T *found = w().findChild<T *>(name);
        if (!found)
            qFatal("no child %s", qPrintable(name));
        return found;
    }

    void click(const QString &button) const { QTest::mouseClick(child(button), Qt::LeftButton); }
    void hover(const QString &name) const { QTest::mouseMove(child(name), child(name)->rect().center()); }
    QLineEdit *tip() const { return child<QLineEdit>(QStringLiteral("txttooltip")); }

    int px(double twips) const { return Twips::toPixels(twips, w().logicalDpiX()); }
    int py(double twips) const { return Twips::toPixels(twips, w().logicalDpiY()); }
};

} // namespace

class TestApp : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { installFontSubstitutions(); }

    void startUpState()
    {
        Fixture f({}, false);
        QCOMPARE(f.w().windowTitle(), QStringLiteral("Dodurev Ezuzez Avedur         UnNamed Ticket"));
        QVERIFY(!(f.w().windowFlags() & Qt::WindowMaximizeButtonHint));
        QCOMPARE(f.model().ScrollPos, qint16(22));
        QVERIFY(!f.model().LayoutChanged);
        QVERIFY(f.session->sharedServer().property("EnableExceptions").toBool());
        // Everything exists hidden until its command shows it.
        for (QWidget *dialog : std::initializer_list<QWidget *>{
                 f.w().updateBoxDialog(), f.w().printerSettingsDialog(), f.w().ticketSizeDialog()})
            QVERIFY(dialog && dialog->isHidden());
        // Showing the window shows the editor, at the width New asks for.
        QVERIFY(f.editor().isHidden());
        f.show();
        QVERIFY(f.editor().isVisible());
        QCOMPARE(f.editor().pos(), QPoint(0, f.py(615)));
        QCOMPARE(f.editor().widthTwips(),
                 double(CharGrid(f.editor().charWidthTwips(), 1).snapEditorWidth(5260, 9500)));
    }

    void startUpFailure_data()
    {
        QTest::addColumn<QString>("factoryFailure");
        QTest::addColumn<bool>("badNetwork");
        QTest::addColumn<QStringList>("messageHas"); // empty: the program starts

        QTest::newRow("server cannot be created")
            << QStringLiteral("Server not registered") << false
            << QStringList{QStringLiteral("KELM.PRO"), QStringLiteral("Server not registered")};
        QTest::newRow("malformed network file")
            << QString() << true << QStringList{QStringLiteral("mynet.json"), QStringLiteral("3:14")};
        QTest::newRow("starts") << QString() << false << QStringList();
    }

    void startUpFailure()
    {
        QFETCH(QString, factoryFailure);
        QFETCH(bool, badNetwork);
        QFETCH(QStringList, messageHas);
        AppSession::Options options;
        options.loadNetwork = [badNetwork]() -> Result<std::unique_ptr<ProcessNetwork>> {
            if (!badNetwork)
                return ProcessNetwork::builtIn();
            return Failure{QStringLiteral("mynet.json: 3:14: missing value")};
        };
        options.prepareFactory = [factoryFailure](AutomationFactory &factory) {
            factory.setCreationFailure(factoryFailure);
        };
        options.prompts = std::make_unique<test::ScriptedPrompts>();
        QStringList reports;
        const int code = AppSession::run(
            std::move(options), [&](const QString &text) { reports.append(text); }, false);
        QCOMPARE(code, messageHas.isEmpty() ? 0 : 1);
        QCOMPARE(reports.size(), messageHas.isEmpty() ? 0 : 1);
        for (const QString &part : messageHas)
            QVERIFY2(reports.first().contains(part), qPrintable(reports.first()));
        // No window is left behind by a failed start.
        for (QWidget *top : QApplication::topLevelWidgets())
            QVERIFY(top->objectName() != QLatin1String("Form1"));
    }

    void geometrySnapsBack_data()
    {
        QTest::addColumn<QRect>("given"); // pixels

        QTest::newRow("smaller") << QRect(0, 67, 300, 200);
        QTest::newRow("larger and moved") << QRect(150, 220, 1000, 800);
        QTest::newRow("one pixel wider") << QRect(0, 67, 634, 384);
        QTest::newRow("one pixel lower") << QRect(0, 67, 633, 383);
    }

    void geometrySnapsBack()
    {
        QFETCH(QRect, given);
        Fixture f;
        const int lineHeight = f.editor().lineHeightTwips();
        const int height = 5390 + (lineHeight > 195 ? 22 * (lineHeight - 195) : 0);
        f.w().setGeometry(given);
        QTRY_COMPARE(f.w().size(), QSize(f.px(9500), f.py(height - MainWindow::CaptionHeight)));
        QTRY_COMPARE(f.w().pos(), QPoint(0, f.py(1000)));
        QVERIFY(f.editor().isVisible());
    }

    void tooltip_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("left");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("cells");

        QTest::newRow("exit") << "SSCommand4" << 1620 << "Exit" << 6;
        QTest::newRow("insert") << "SSCommand7" << 2700 << "Insert UpdateBox" << 20;
        QTest::newRow("download") << "SSCommand11" << 4320 << "DownLoad Ticket" << 19;
        QTest::newRow("preview") << "SSCommand12" << 4860 << "Preview Ticket" << 17;
    }

    void tooltip()
    {
        QFETCH(QString, button);
        QFETCH(int, left);
        QFETCH(QString, text);
        QFETCH(int, cells);
        Fixture f;
        f.hover(button);
        QVERIFY(f.tip()->isHidden()); // only the first tick shows it
        QTRY_VERIFY_WITH_TIMEOUT(f.tip()->isVisible(), TickWait);
        QCOMPARE(f.tip()->text(), text);
        // The width counts cells of the main window's font, not of the tip's own.
        const int cell = f.w().charWidthTwips();
        QCOMPARE(f.tip()->geometry(), QRect(f.px(left + 555 + 300), f.py(200), f.px(cells * cell), f.py(315)));

        // On to the delete button: the old tip stays until the next tick moves it.
        f.hover(QStringLiteral("SSCommand9"));
        QCOMPARE(f.tip()->text(), text);
        QTRY_COMPARE_WITH_TIMEOUT(f.tip()->text(), QStringLiteral("Delete UpdateBox"), TickWait);
        QCOMPARE(f.tip()->x(), f.px(3240 + 555 + 300));
    }

    void pressHides_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("hides"); // which of Form3, Form4 and Form6 a press hides

        QTest::newRow("save") << "SSCommand1" << "346";
        QTest::newRow("new") << "SSCommand2" << "346";
        QTest::newRow("open") << "SSCommand3" << "34";
        QTest::newRow("exit") << "SSCommand4" << "34";
        QTest::newRow("printer setup") << "SSCommand6" << "3";
        QTest::newRow("insert") << "SSCommand7" << "34";
        QTest::newRow("help") << "SSCommand8" << "34";
        QTest::newRow("delete") << "SSCommand9" << "34";
        QTest::newRow("size") << "SSCommand10" << "";
        QTest::newRow("download") << "SSCommand11" << "";
        QTest::newRow("preview") << "SSCommand12" << "";
        QTest::newRow("band") << "Picture1" << "346";
        QTest::newRow("grey box") << "Picture2" << "";
        QTest::newRow("background") << "Form1" << "346";
        QTest::newRow("ticket text") << "Text1" << "346";
        QTest::newRow("editor background") << "Form2" << "6";
    }

    void pressHides()
    {
        QFETCH(QString, target);
        QFETCH(QString, hides);
        Fixture f;
        QWidget *updateBox = f.w().updateBoxDialog();
        QWidget *printerSettings = f.w().printerSettingsDialog();
        QWidget *ticketSize = f.w().ticketSizeDialog();
        for (QWidget *dialog : {updateBox, printerSettings, ticketSize})
            dialog->show();

        QWidget *widget = target == QLatin1String("Form1")   ? &f.w()
                          : target == QLatin1String("Form2") ? &f.editor()
                          : target == QLatin1String("Text1") ? f.editor().textBox()->viewport()
                                                             : f.child(target);
        QPoint at(3, 3);
        if (target == QLatin1String("Form1"))
            at = QPoint(f.px(8000), f.py(3000)); // right of the editor
        else if (target == QLatin1String("Form2"))
            at = QPoint(f.editor().width() - 2, f.editor().height() - 2); // below the scroll bar
        else if (target == QLatin1String("Picture1"))
            at = QPoint(f.px(6500), f.py(300)); // between the buttons and the grey box
        QTest::mousePress(widget, Qt::LeftButton, {}, at);
        QCOMPARE(updateBox->isHidden(), hides.contains(u'3'));
        QCOMPARE(printerSettings->isHidden(), hides.contains(u'4'));
        QCOMPARE(ticketSize->isHidden(), hides.contains(u'6'));
        // Let go away from the button, so that no command runs.
        QTest::mouseRelease(widget, Qt::LeftButton, {}, QPoint(-100, -100));
    }

    void insertWithAllSlotsLoaded()
    {
        Fixture f;
        for (int i = 0; i < 30; ++i)
            f.click(QStringLiteral("SSCommand7"));
        const auto before = f.model().UpdateBoxes;
        f.click(QStringLiteral("SSCommand7"));
        QCOMPARE(f.prompts->messages.size(), 1);
        QVERIFY(f.prompts->messages.first().text.contains(QStringLiteral("30")));
        QCOMPARE(f.model().loadedCount(), 30);
        QVERIFY(f.model().UpdateBoxes == before);
        QVERIFY(!f.model().LayoutChanged);
    }

    void closing_data()
    {
        QTest::addColumn<bool>("exitButton");
        QTest::addColumn<bool>("changed");
        QTest::addColumn<int>("answer"); // 0: No, 1: Yes and the Save As dialog is cancelled
        QTest::addColumn<bool>("ends");

        for (bool exitButton : {false, true}) {
            const char *how = exitButton ? "Exit" : "close box";
            QTest::addRow("%s, unchanged", how) << exitButton << false << 0 << true;
            QTest::addRow("%s, changed, No", how) << exitButton << true << 0 << true;
            // The save the operator asked for did not happen: the layout must not be lost.
            QTest::addRow("%s, changed, Yes, cancelled", how) << exitButton << true << 1 << false;
        }
    }

    void closing()
    {
        QFETCH(bool, exitButton);
        QFETCH(bool, changed);
        QFETCH(int, answer);
        QFETCH(bool, ends);
        Fixture f;
        f.click(QStringLiteral("SSCommand9")); // eraser pointer on
        setChanged(f.model(), changed);
        f.prompts->answers = {answer == 1};
        QSignalSpy closed(&f.w(), &MainWindow::closed);
        if (exitButton)
            f.click(QStringLiteral("SSCommand4"));
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

    // tkledit FILE: the layout opens as Open opens it, once the window is up.
    void layoutFileAtStart_data()
    {
        QTest::addColumn<bool>("layout");
        QTest::addColumn<QString>("file"); // in examples/
        QTest::addColumn<QString>("note"); // what the band says after Open
        QTest::newRow("a layout") << true << "weighing-ticket.txt" << "";
        // Its problems are told without a question, and without moving anything.
        QTest::newRow("a layout with problems") << true << "old-ticket.txt" << "Opened: 6 problems\nPreview (F5) lists them";
        QTest::newRow("not a layout") << false << "values.txt" << "";
    }

    void layoutFileAtStart()
    {
        QFETCH(bool, layout);
        QFETCH(QString, file);
        QFETCH(QString, note);
        const QString path = QFileInfo(QStringLiteral(EXAMPLE_LAYOUT)).dir().filePath(file);
        Fixture f(path, false);
        f.session->showWindow();
        QVERIFY(f.w().isVisible());
        QCOMPARE(f.w().downloadNote(), note);
        if (layout) {
            QCOMPARE(f.w().windowTitle(), MainWindow::TitlePrefix + path);
            QVERIFY(f.model().loadedCount() > 0);
            QVERIFY(f.prompts->messages.isEmpty());
        } else {
            QCOMPARE(f.w().windowTitle(), MainWindow::TitlePrefix + FileCommands::UnnamedTicket);
            QCOMPARE(f.prompts->messages.size(), 1);
            QVERIFY2(f.prompts->messages.first().text.startsWith(QStringLiteral("values.txt, line 1: ")),
                     qPrintable(f.prompts->messages.first().text));
        }
    }

    // Each key runs its button's command, from the ticket text and from the program's
    // other windows; only New, Open and Exit touch the ticket.
    void commandKeys_data()
    {
        QTest::addColumn<QKeySequence>("key"); // none: the command's button is clicked
        QTest::addColumn<QString>("from");     // the window the key is pressed in
        QTest::addColumn<QString>("command");
        QTest::newRow("Ctrl+N") << QKeySequence(Qt::CTRL | Qt::Key_N) << "text" << "new";
        QTest::newRow("Ctrl+O in the preview") << QKeySequence(Qt::CTRL | Qt::Key_O) << "preview" << "open";
        QTest::newRow("Ctrl+S in the help") << QKeySequence(Qt::CTRL | Qt::Key_S) << "help" << "save";
        QTest::newRow("Ctrl+S in the UpdateBox window") << QKeySequence(Qt::CTRL | Qt::Key_S) << "updateBox" << "save";
        QTest::newRow("Ctrl+Q") << QKeySequence(Qt::CTRL | Qt::Key_Q) << "text" << "exit";
        QTest::newRow("F1") << QKeySequence(Qt::Key_F1) << "text" << "help";
        QTest::newRow("F5") << QKeySequence(Qt::Key_F5) << "text" << "preview";
        QTest::newRow("F5 in the help") << QKeySequence(Qt::Key_F5) << "help" << "preview";
        QTest::newRow("Preview button") << QKeySequence() << "text" << "preview";
        // In a printer code box a Ctrl key types its code, as it always did.
        QTest::newRow("Ctrl+S in a printer code box") << QKeySequence(Qt::CTRL | Qt::Key_S) << "code" << "";
    }

    void commandKeys()
    {
        QFETCH(QKeySequence, key);
        QFETCH(QString, from);
        QFETCH(QString, command);
        Fixture f;
        QWidget *target = f.child(QStringLiteral("Text1"));
        if (from == u"preview") {
            f.w().onPreview();
            target = f.w().previewWindow();
            target->activateWindow();
        } else if (from == u"help") {
            f.w().onHelp();
            target = f.w().findChild<HelpWindow *>();
        } else if (from == u"updateBox") {
            f.w().updateBoxDialog()->show();
            target = f.w().updateBoxDialog()->findChild<QLineEdit *>(QStringLiteral("Text2"));
        } else if (from == u"code") {
            f.click(QStringLiteral("SSCommand6"));
            target = f.w().printerSettingsDialog()->findChild<QLineEdit *>(QStringLiteral("Text1"));
        }
        QVERIFY(target);
        // New and Exit first ask about the changed layout; Open asks, then shows its dialog.
        const bool asks = command == u"new" || command == u"open" || command == u"exit";
        QTest::keyClick(f.child(QStringLiteral("Text1")), Qt::Key_Shift); // no command
        setChanged(f.model(), asks);
        QSignalSpy closed(&f.w(), &MainWindow::closed);
        const bool helpBefore = f.w().findChild<HelpWindow *>() && f.w().findChild<HelpWindow *>()->isVisible();
        if (auto *help = f.w().findChild<HelpWindow *>(); help && from != u"help")
            help->hide();

        if (key.isEmpty())
            f.click(QStringLiteral("SSCommand12"));
        else
            QTest::keySequence(target, key);

        QCOMPARE(f.prompts->questions.size(), asks ? 1 : 0);
        QCOMPARE(f.prompts->openDialogs, command == u"open" ? 1 : 0);
        QCOMPARE(f.prompts->saveDialogs, command == u"save" ? 1 : 0);
        QCOMPARE(closed.size(), command == u"exit" ? 1 : 0);
        if (!asks)
            QVERIFY(!f.model().LayoutChanged);
        if (command == u"new")
            QCOMPARE(f.w().windowTitle(), MainWindow::TitlePrefix + FileCommands::UnnamedTicket);
        if (command == u"help") { // found beside the test program, with text; Escape closes it
            auto *help = f.w().findChild<HelpWindow *>();
            QVERIFY(!helpBefore && help->isVisible());
            QVERIFY(help->findChild<QTextBrowser *>()->toPlainText().contains(QStringLiteral("tklcli")));
            QTest::keyClick(help->findChild<QTextBrowser *>(), Qt::Key_Escape);
            QVERIFY(!help->isVisible());
        }
        if (command == u"preview")
            QVERIFY(f.w().previewWindow() && f.w().previewWindow()->isVisible());
        if (from == u"code")
            QCOMPARE(f.model().StartCode, QStringLiteral("[19]"));
    }

    // While a question waits for its answer, the keys do nothing; afterwards they work.
    void commandKeysWaitForAQuestion()
    {
        Fixture f;
        QDialog question(&f.w());
        question.setModal(true);
        int saveDialogs = -1;
        bool helpShown = true;
        QTimer::singleShot(0, &question, [&] {
            QTest::keyClick(&question, Qt::Key_S, Qt::ControlModifier);
            QTest::keyClick(f.child(QStringLiteral("Text1")), Qt::Key_F1);
            QTest::keyClick(&question, Qt::Key_Q, Qt::ControlModifier);
            saveDialogs = f.prompts->saveDialogs;
            helpShown = f.w().findChild<HelpWindow *>() != nullptr;
            question.reject();
        });
        question.exec();
        QCOMPARE(saveDialogs, 0);
        QVERIFY(!helpShown);
        QVERIFY(f.w().isVisible());
        QTest::keyClick(f.child(QStringLiteral("Text1")), Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(f.prompts->saveDialogs, 1);
    }

    // A layout file dropped on the window or on the ticket text opens as Open would,
    // after the question about a changed layout.
    void dropOpensTheFile_data()
    {
        QTest::addColumn<bool>("onText");
        QTest::addColumn<bool>("changed");
        QTest::newRow("on the band") << false << false;
        QTest::newRow("on the text, changed layout") << true << true;
    }

    void dropOpensTheFile()
    {
        QFETCH(bool, onText);
        QFETCH(bool, changed);
        Fixture f;
        setChanged(f.model(), changed);
        QWidget *target = onText ? f.child<QPlainTextEdit>(QStringLiteral("Text1"))->viewport() : &f.w();
        const QPoint at(target->width() - 5, onText ? target->height() / 2 : 5);
        QMimeData mime;
        const QString path = QStringLiteral(EXAMPLE_LAYOUT);
        mime.setUrls({QUrl::fromLocalFile(path)});
        mime.setText(QUrl::fromLocalFile(path).toString());
        QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
        QTRY_COMPARE(f.w().windowTitle(), MainWindow::TitlePrefix + path);
        QCOMPARE(f.prompts->questions.size(), changed ? 1 : 0);
        QVERIFY(!f.child<QPlainTextEdit>(QStringLiteral("Text1"))->toPlainText().contains(QStringLiteral("file:")));
        QVERIFY(f.model().loadedCount() > 0);
    }

    // After a download the band says so, without moving or resizing anything.
    void downloadNote()
    {
        Fixture f;
        const QRect before = f.w().geometry();
        QVERIFY(f.w().downloadNote().isEmpty());
        f.hover(QStringLiteral("SSCommand11"));
        QTRY_VERIFY(f.tip()->isVisible());
        f.click(QStringLiteral("SSCommand11"));
        auto *form8 = f.w().findChild<PortDialog *>(QStringLiteral("Form8"));
        form8->combo()->setEditText(QStringLiteral("Printer1"));
        QTest::mouseClick(form8->findChild<QPushButton *>(QStringLiteral("Command1")), Qt::LeftButton);
        QVERIFY(f.prompts->messages.isEmpty());
        const int writes = int(f.session->network().writeLog().size());
        QCOMPARE(f.w().downloadNote(), QStringLiteral("Printer1: downloaded\n%1 writes, verified").arg(writes));
        QCOMPARE(f.w().geometry(), before);
        QVERIFY(!f.tip()->isVisible()); // it would lie over the note
        // In the band, clear of the buttons and the readout.
        auto *note = f.child<QLabel>(QStringLiteral("downloadNote"));
        const QRect noteRect(note->mapTo(&f.w(), QPoint(0, 0)), note->size());
        QVERIFY(noteRect.bottom() < f.editor().geometry().top());
        for (QPushButton *b : f.w().findChildren<QPushButton *>()) {
            if (b->window() == &f.w())
                QVERIFY2(!noteRect.intersects(QRect(b->mapTo(&f.w(), QPoint(0, 0)), b->size())),
                         qPrintable(b->objectName()));
        }
        QVERIFY(!noteRect.intersects(QRect(f.child(QStringLiteral("Picture2"))->mapTo(&f.w(), QPoint(0, 0)),
                                           f.child(QStringLiteral("Picture2"))->size())));
        // The next download starts without it; a failed one does not bring it back.
        f.click(QStringLiteral("SSCommand11"));
        QVERIFY(f.w().downloadNote().isEmpty());
        form8->combo()->setEditText(QStringLiteral("Printer9"));
        QTest::mouseClick(form8->findChild<QPushButton *>(QStringLiteral("Command1")), Qt::LeftButton);
        QCOMPARE(f.prompts->messages.size(), 1);
        QVERIFY(f.w().downloadNote().isEmpty());
    }

    // The program's files: beside the executable first, then the installed data folder.
    void dataFiles_data()
    {
        QTest::addColumn<QStringList>("present"); // relative to the prefix
        QTest::addColumn<QString>("found");
        const QString bin = QStringLiteral("bin/Tkl_edit.hlp"), share = QStringLiteral("share/tkledit/Tkl_edit.hlp");
        QTest::newRow("build tree") << QStringList{bin} << bin;
        QTest::newRow("installed") << QStringList{share} << share;
        QTest::newRow("both: beside wins") << QStringList{bin, share} << bin;
        QTest::newRow("neither: beside") << QStringList() << bin;
    }

    void dataFiles()
    {
        QFETCH(QStringList, present);
        QFETCH(QString, found);
        QTemporaryDir prefix;
        for (const QString &name : present) {
            QDir(prefix.path()).mkpath(QFileInfo(name).path());
            QFile file(prefix.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QCOMPARE(findDataFile(prefix.filePath(QStringLiteral("bin")), QStringLiteral("Tkl_edit.hlp")),
                 prefix.filePath(found));
    }
};

QTEST_MAIN(TestApp)
#include "tst_app.moc"
