#include "app/AppSession.h"
#include "app/DataFiles.h"
#include "app/FileCommands.h"
#include "app/MainWindow.h"
#include "app/QtPrompts.h"
#include "device/AutomationFactory.h"
#include "network/ProcessNetwork.h"
#include "device-widgets/PortDialog.h"
#include "device-widgets/VariableTree.h"
#include "dialogs/HelpWindow.h"
#include "dialogs/PreviewWindow.h"
#include "dialogs/PrinterSettingsDialog.h"
#include "dialogs/TicketSizeDialog.h"
#include "dialogs/UpdateBoxDialog.h"
#include "editor/EditorWindow.h"
#include "editor/LayoutHistory.h"
#include "model/CharGrid.h"
#include "ui/ScreenFit.h"
#include "ui/WindowLook.h"
#include "model/TicketModel.h"
#include "support/ScriptedPrompts.h"

#include <QApplication>
#include <QScreen>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QScrollBar>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextBrowser>

using namespace tkl;

Q_DECLARE_METATYPE(tkl::Prompts::Answer)

namespace {

constexpr int TickWait = 2000; // ms: generous for a 300 ms timer on a busy machine

const QString Examples = QFileInfo(QStringLiteral(EXAMPLE_LAYOUT)).path();

/// The program as it starts, over the built-in network, with scripted prompts.
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
    /// A widget's rectangle in the main window's coordinates.
    QRect inWindow(const QWidget *widget) const { return {widget->mapTo(&w(), QPoint(0, 0)), widget->size()}; }

    /// Opens the UpdateBox window on the slot's field, as a right click on it does.
    UpdateBoxDialog *openUpdateBox(int slot = 1) const
    {
        QTest::mousePress(editor().fieldLabel(slot), Qt::RightButton, {}, QPoint(2, 2));
        QTest::mouseRelease(editor().fieldLabel(slot), Qt::RightButton, {}, QPoint(2, 2));
        return w().updateBoxDialog();
    }

    /// Binds the open UpdateBox window's field to `name`, chosen in its variable tree.
    void bind(const QString &name) const
    {
        QTest::mouseClick(w().updateBoxDialog()->findChild<QPushButton *>(QStringLiteral("SSCommand1")), Qt::LeftButton);
        auto *tree = w().updateBoxDialog()->findChild<VariableTree *>(QStringLiteral("Vatrix1"));
        tree->setCurrentItem(tree->itemForName(name));
        QTest::keyClick(tree, Qt::Key_Return);
    }

    /// Types `keys` over all that the window's line box `box` holds.
    static void type(QWidget *window, const QString &box, const QString &keys)
    {
        auto *line = window->findChild<QLineEdit *>(box);
        line->setFocus();
        line->selectAll();
        QTest::keyClicks(line, keys);
    }

    /// Sends the layout to `port` from the open port window, which it returns.
    PortDialog *sendTo(const QString &port) const
    {
        auto *dialog = w().findChild<PortDialog *>(QStringLiteral("Form8"));
        dialog->combo()->setEditText(port);
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("Command1")), Qt::LeftButton);
        return dialog;
    }

    /// Makes an edit, or a move that is none, as the operator does (named as in the rows of
    /// everyEditIsAskedAndUndone; "opener:box:keys" types into a box of the window that opens).
    void make(const QString &edit) const
    {
        QPlainTextEdit *text = editor().textBox();
        const QStringList typed = edit.split(u':');
        if (edit == u"insert") {
            click(QStringLiteral("SSCommand7"));
        } else if (edit == u"moved") {
            QTest::mousePress(editor().fieldLabel(1), Qt::LeftButton, {}, QPoint(2, 2));
            QTest::mouseRelease(text->viewport(), Qt::LeftButton, {}, QPoint(30, 2 * text->fontMetrics().height() + 4));
        } else if (edit == u"typed") {
            QTest::keyClicks(text, QStringLiteral("ab"));
        } else if (edit == u"binding" || typed.size() == 3) {
            const bool changed = model().LayoutChanged;
            edit == u"binding" || typed[0] == u"field" ? void(openUpdateBox()) : click(typed[0]);
            QWidget *window = nullptr; // the one that opened
            for (QWidget *dialog : std::initializer_list<QWidget *>{
                     w().updateBoxDialog(), w().printerSettingsDialog(), w().ticketSizeDialog()})
                window = dialog->isVisible() ? dialog : window;
            QVERIFY(window);
            if (!changed)
                model().markSaved(); // opening is no edit of its own
            edit == u"binding" ? bind(QStringLiteral("Scale1.NetWeight")) : type(window, typed[1], typed[2]);
        } else if (edit == u"arrow key") {
            text->setFocus();
            QTest::keyClick(text, Qt::Key_Down);
        } else if (edit == u"click in text") { // also closes the tool windows
            QTest::mouseClick(text->viewport(), Qt::LeftButton, {}, QPoint(30, 30));
            QVERIFY(w().updateBoxDialog()->isHidden());
        } else if (edit == u"scroll bar") {
            editor().scrollBar()->setFocus();
            editor().scrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
            QCOMPARE(model().ScrollPos, 23);
        } else if (edit == u"Ctrl+N, then Ctrl") {
            prompts->answers = {Prompts::Answer::No};
            QTest::keySequence(text, Qt::CTRL | Qt::Key_N);
        }
    }

    /// The layout as the operator leaves it: edited, or as saved.
    void setChanged(bool changed) const { changed ? model().textEdited() : model().markSaved(); }

    int px(double twips) const { return Twips::toPixels(twips, w().logicalDpiX()); }
    int py(double twips) const { return Twips::toPixels(twips, w().logicalDpiY()); }
};

struct TipCase { QString button; int left; QString text; int cells; };

// file: in examples/; note: what the band says after Open; message: how the message about a file that
// is no layout starts.
struct OpenCase { QString how, file; bool changed; QString note, message; };

struct FitCase { QPoint wanted; QSize frame; QRect available; QPoint placed; };

// messageHas: empty: the program starts.
struct StartCase { QString factoryFailure; bool badNetwork; QStringList messageHas; };

// key: none: `from` is clicked; from: the window the key is pressed in, a button or the close box;
// command: none: nothing runs; answer: to the question; none: the layout is unchanged.
struct CommandCase { QKeySequence key; QString from, command, answer; };

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
        QVERIFY(f.session->sharedServer().property("EnableExceptions").toBool());
        // Everything exists hidden until its command shows it.
        for (QWidget *dialog : std::initializer_list<QWidget *>{
                 f.w().updateBoxDialog(), f.w().printerSettingsDialog(), f.w().ticketSizeDialog(), &f.editor()})
            QVERIFY(dialog->isHidden());
        // Showing the window shows the editor, at the width New asks for.
        f.show();
        QVERIFY(f.editor().isVisible());
        QCOMPARE(f.editor().pos(), QPoint(0, f.py(615)));
        QCOMPARE(f.editor().widthTwips(),
                 double(CharGrid(f.editor().charWidthTwips(), 1).snapEditorWidth(5260, 9500)));
    }

    void startUpFailure_data()
    {
        QTest::addColumn<StartCase>("c");
        QTest::newRow("server cannot be created")
            << StartCase{"Server not registered", false, QStringList{"KELM.PRO", "Server not registered"}};
        QTest::newRow("malformed network file") << StartCase{"", true, QStringList{"mynet.json", "3:14"}};
        QTest::newRow("starts") << StartCase{QString(), false, QStringList()};
    }

    void startUpFailure()
    {
        QFETCH(StartCase, c);
        const auto &[factoryFailure, badNetwork, messageHas] = c;
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
        QTest::addColumn<TipCase>("c");
        QTest::newRow("exit") << TipCase{"SSCommand4", 1620, "Exit", 6};
        QTest::newRow("insert") << TipCase{"SSCommand7", 2700, "Insert UpdateBox", 20};
        QTest::newRow("download") << TipCase{"SSCommand11", 4320, "DownLoad Ticket", 19};
        QTest::newRow("preview") << TipCase{"SSCommand12", 4860, "Preview Ticket", 17};
    }

    void tooltip()
    {
        QFETCH(TipCase, c);
        const auto &[button, left, text, cells] = c;
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
        const QList<QWidget *> dialogs{f.w().updateBoxDialog(), f.w().printerSettingsDialog(), f.w().ticketSizeDialog()};
        for (QWidget *dialog : dialogs)
            dialog->show();
        QWidget *widget = target == u"Form1"   ? &f.w()
                          : target == u"Form2" ? &f.editor()
                          : target == u"Text1" ? f.editor().textBox()->viewport()
                                               : f.child(target);
        QPoint at(3, 3);
        if (target == u"Form1")
            at = QPoint(f.px(8000), f.py(3000)); // right of the editor
        else if (target == u"Form2")
            at = QPoint(f.editor().width() - 2, f.editor().height() - 2); // below the scroll bar
        else if (target == u"Picture1")
            at = QPoint(f.px(6500), f.py(300)); // between the buttons and the grey box
        QTest::mousePress(widget, Qt::LeftButton, {}, at);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(dialogs[i]->isHidden(), hides.contains(QLatin1Char("346"[i])));
        // Let go away from the button, so that no command runs.
        QTest::mouseRelease(widget, Qt::LeftButton, {}, QPoint(-100, -100));
    }

    // Ctrl+D copies the selected field. With all 30 slots in use Insert and Ctrl+D say
    // so and change nothing.
    void allSlotsInUse()
    {
        Fixture f;
        f.click(QStringLiteral("SSCommand7"));
        QTest::mouseClick(f.editor().fieldLabel(1), Qt::LeftButton, {}, QPoint(2, 2));
        QTest::keySequence(f.editor().textBox(), Qt::CTRL | Qt::Key_D);
        QCOMPARE(f.model().loadedCount(), 2);
        while (f.model().loadedCount() < 30)
            f.click(QStringLiteral("SSCommand7"));
        f.model().markSaved();
        const auto before = f.model().UpdateBoxes;
        f.click(QStringLiteral("SSCommand7"));
        QTest::keySequence(f.editor().textBox(), Qt::CTRL | Qt::Key_D);
        QCOMPARE(f.prompts->messages.size(), 2);
        for (const auto &message : f.prompts->messages)
            QCOMPARE(message.text, QStringLiteral("All 30 UpdateBox fields are in use. Delete one to make room."));
        QCOMPARE(f.model().loadedCount(), 30);
        QVERIFY(f.model().UpdateBoxes == before);
        QVERIFY(!f.model().LayoutChanged);
    }

    // A layout file opens as Open opens it, after the question about a changed layout:
    // named on the command line (once the window is up), or dropped on the window or
    // on the ticket text.
    void layoutFileOpens_data()
    {
        QTest::addColumn<OpenCase>("c");
        QTest::newRow("at start") << OpenCase{"start", "weighing-ticket.txt", false, "", ""};
        // Its problems are told without a question, and without moving anything.
        QTest::newRow("at start, with problems")
            << OpenCase{"start", "old-ticket.txt", false, "Opened: 6 problems\nPreview (F5) lists them", ""};
        QTest::newRow("at start, not a layout") << OpenCase{"start", "weighing.values", false, "", "weighing.values, line 1: "};
        QTest::newRow("dropped on the band") << OpenCase{"band", "weighing-ticket.txt", false, "", ""};
        QTest::newRow("dropped on the text, changed") << OpenCase{"text", "weighing-ticket.txt", true, "", ""};
    }

    void layoutFileOpens()
    {
        QFETCH(OpenCase, c);
        const auto &[how, file, changed, note, message] = c;
        const QString path = QDir(Examples).filePath(file);
        Fixture f(how == u"start" ? path : QString(), false);
        f.session->showWindow();
        QVERIFY(QTest::qWaitForWindowExposed(&f.w()));
        if (how != u"start") {
            f.setChanged(changed);
            QWidget *target = how == u"text" ? f.editor().textBox()->viewport() : &f.w();
            const QPoint at(target->width() - 5, how == u"text" ? target->height() / 2 : 5);
            QMimeData mime;
            mime.setUrls({QUrl::fromLocalFile(path)});
            mime.setText(QUrl::fromLocalFile(path).toString());
            QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(target, &enter);
            QVERIFY(enter.isAccepted());
            QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(target, &drop);
            QTRY_COMPARE(f.w().windowTitle(), MainWindow::TitlePrefix + path);
            QVERIFY(!f.editor().textBox()->toPlainText().contains(QStringLiteral("file:")));
        }
        QCOMPARE(f.prompts->questions.size(), changed ? 1 : 0);
        QCOMPARE(f.w().downloadNote(), note);
        QCOMPARE(f.prompts->messages.size(), message.isEmpty() ? 0 : 1);
        if (message.isEmpty()) {
            QCOMPARE(f.w().windowTitle(), MainWindow::TitlePrefix + path);
            QVERIFY(f.model().loadedCount() > 0);
        } else {
            QCOMPARE(f.w().windowTitle(), MainWindow::TitlePrefix + FileCommands::UnnamedTicket);
            QVERIFY2(f.prompts->messages.first().text.startsWith(message), qPrintable(f.prompts->messages.first().text));
        }
    }

    // Each key runs its button's command, from the ticket text and from the program's
    // other windows, but not while a question waits for its answer. New, Open and Exit
    // ask about a changed layout first, Exit and the close box alike and only once.
    void commands_data()
    {
        QTest::addColumn<CommandCase>("c");
        const auto row = [](const char *name, const QKeySequence &key, const char *from, const char *command,
                            const char *answer = "") { QTest::newRow(name) << CommandCase{key, from, command, answer}; };
        row("Ctrl+N", Qt::CTRL | Qt::Key_N, "text", "new", "No");
        row("Ctrl+O in the preview", Qt::CTRL | Qt::Key_O, "preview", "open", "No");
        row("Ctrl+S in the help", Qt::CTRL | Qt::Key_S, "help", "save");
        row("Ctrl+S in the UpdateBox window", Qt::CTRL | Qt::Key_S, "updateBox", "save");
        row("Ctrl+Q", Qt::CTRL | Qt::Key_Q, "text", "exit", "No");
        row("F1", Qt::Key_F1, "text", "help");
        row("F5", Qt::Key_F5, "text", "preview");
        row("F5 in the help", Qt::Key_F5, "help", "preview");
        row("Preview button", {}, "SSCommand12", "preview");
        row("Exit button, unchanged", {}, "SSCommand4", "exit");
        // The save the operator asked for did not happen: the layout must not be lost.
        row("Exit button, Yes, Save As cancelled", {}, "SSCommand4", "exit", "Yes");
        row("close box, No", {}, "close box", "exit", "No");
        // In a printer code box a Ctrl key types its code, as it always did.
        row("Ctrl+S in a printer code box", Qt::CTRL | Qt::Key_S, "code", "");
        row("Ctrl+S while a question waits", Qt::CTRL | Qt::Key_S, "question", "");
        row("Ctrl+Q while a question waits", Qt::CTRL | Qt::Key_Q, "question", "");
    }

    void commands()
    {
        QFETCH(CommandCase, c);
        const auto &[key, from, command, answer] = c;
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
        if (command == u"exit")
            f.click(QStringLiteral("SSCommand9")); // eraser pointer on
        const bool changed = !answer.isEmpty();
        f.setChanged(changed);
        f.prompts->answers = {answer == u"Yes" ? Prompts::Answer::Yes : Prompts::Answer::No};
        QSignalSpy closed(&f.w(), &MainWindow::closed);
        if (from == u"question") {
            QDialog question(&f.w());
            question.setModal(true);
            QTimer::singleShot(0, &question, [&] {
                QTest::keySequence(&question, key);
                question.reject();
            });
            question.exec();
        } else if (!key.isEmpty()) {
            QTest::keySequence(target, key);
        } else if (from == u"close box") {
            f.w().close();
        } else {
            f.click(from);
        }

        const bool saving = command == u"save" || answer == u"Yes";
        const bool ends = command == u"exit" && !saving;
        QCOMPARE(f.prompts->questions.size(), changed ? 1 : 0);
        QCOMPARE(f.prompts->openDialogs, command == u"open" ? 1 : 0);
        QCOMPARE(f.prompts->saveDialogs, saving ? 1 : 0);
        QCOMPARE(closed.size(), ends ? 1 : 0);
        QCOMPARE(f.w().isVisible(), !ends);
        // The release of New's Ctrl key reaches the new ticket's text, and is no edit
        // there; a code typed into the printer code box is one.
        QCOMPARE(f.model().LayoutChanged, command == u"new" ? false : changed || from == u"code");
        if (command == u"new")
            QCOMPARE(f.w().windowTitle(), MainWindow::TitlePrefix + FileCommands::UnnamedTicket);
        if (command == u"exit")
            QVERIFY(!f.editor().testAttribute(Qt::WA_SetCursor));
        if (command == u"help") { // found beside the test program, with text; Escape closes it
            auto *browser = f.w().findChild<HelpWindow *>()->findChild<QTextBrowser *>();
            QVERIFY(browser->isVisible());
            QVERIFY(browser->toPlainText().contains(QStringLiteral("tklcli")));
            QTest::keyClick(browser, Qt::Key_Escape);
            QVERIFY(!browser->isVisible());
        }
        if (command == u"preview")
            QVERIFY(f.w().previewWindow()->isVisible());
        if (from == u"code")
            QCOMPARE(f.model().StartCode, QStringLiteral("[19]"));
    }

    // Every edit of the layout, made in whichever window, is kept from Exit by the
    // question, which Cancel (Escape) answers by keeping the program and the layout;
    // moving about the ticket is no edit, and Exit then asks nothing. Each edit is one
    // step, a tool window's each time it closes: Ctrl+Z steps back through them from any
    // window, past the saved layout to the start and no further, LayoutChanged telling
    // whether it is the saved one; Ctrl+Shift+Z and Ctrl+Y step forward again.
    void everyEditIsAskedAndUndone_data()
    {
        QTest::addColumn<QString>("edits"); // in order; "saved": the layout is saved there
        QTest::addColumn<QString>("from");  // the window the history keys are pressed in
        QTest::addColumn<QKeySequence>("redo");
        const QKeySequence y(Qt::CTRL | Qt::Key_Y), shiftZ(Qt::CTRL | Qt::SHIFT | Qt::Key_Z);
        const QString session = QStringLiteral("insert;moved;binding;click in text;field:Text2:5\r;typed");
        QTest::newRow("insert") << "insert" << "text" << shiftZ;
        QTest::newRow("binding") << "insert;saved;binding" << "updateBox" << y;
        QTest::newRow("name typed") << "insert;saved;field:Text1:7" << "text" << y;
        QTest::newRow("chars") << "insert;saved;field:Text2:7" << "text" << y;
        QTest::newRow("digits") << "insert;saved;field:Text3:7" << "preview" << shiftZ;
        QTest::newRow("start code") << "insert;saved;SSCommand6:Text1:A" << "text" << y;
        QTest::newRow("stop code") << "insert;saved;SSCommand6:Text2:A" << "text" << y;
        QTest::newRow("ticket size") << "insert;saved;SSCommand10:Text1:20\r" << "text" << y;
        QTest::newRow("session, keys in the text") << session << "text" << shiftZ;
        QTest::newRow("session, keys in the UpdateBox window") << session << "updateBox" << y;
        QTest::newRow("session, keys in the preview") << session << "preview" << shiftZ;
        for (const char *move : {"arrow key", "click in text", "scroll bar", "Ctrl+N, then Ctrl"})
            QTest::newRow(move) << QStringLiteral("insert;saved;") + QLatin1String(move) << "text" << y;
    }

    void everyEditIsAskedAndUndone()
    {
        QFETCH(QString, edits);
        QFETCH(QString, from);
        QFETCH(QKeySequence, redo);
        Fixture f;
        QPlainTextEdit *text = f.editor().textBox();
        text->setPlainText(QString(40, u'\n'));
        f.editor().SyncScrollBar();
        const auto state = [&] {
            const UpdateBox &box = f.model().UpdateBoxes[1];
            const EditorWindow::FieldLook look = f.editor().fieldLook(1);
            return QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 %9|").arg(f.model().BoxLoaded[1]).arg(box.VarName)
                       .arg(box.Linie).arg(box.Chars).arg(box.Digits).arg(look.textTop).arg(look.caption)
                       .arg(f.model().CharsPerLine).arg(f.model().StartCode)
                   + f.model().StopCode + u'|' + text->toPlainText();
        };
        QStringList states{state()};
        int saved = 0; // the state saved
        for (const QString &edit : edits.split(u';')) {
            if (edit == u"saved") {
                f.editor().history().markSaved();
                f.model().markSaved();
                saved = int(states.size()) - 1;
                continue;
            }
            f.make(edit);
            if (edit == u"Ctrl+N, then Ctrl") { // a fresh history, with nothing to undo
                states = {state()};
                saved = 0;
                QTest::keySequence(text, Qt::CTRL | Qt::Key_Z);
            }
            if (QStringList{"arrow key", "click in text", "scroll bar", "Ctrl+N, then Ctrl"}.contains(edit))
                QCOMPARE(state(), states.last()); // no edit
            else
                states << state();
        }
        QCOMPARE(QSet<QString>(states.begin(), states.end()).size(), states.size());
        const bool asked = saved != int(states.size()) - 1;
        f.prompts->questions.clear();
        f.prompts->answers = {Prompts::Answer::Cancel};
        QSignalSpy closed(&f.w(), &MainWindow::closed);
        QTest::keySequence(text, Qt::CTRL | Qt::Key_Q);
        QCOMPARE(f.prompts->questions.size(), asked ? 1 : 0);
        QCOMPARE(closed.size(), asked ? 0 : 1);
        QCOMPARE(f.model().LayoutChanged, asked);
        if (!asked)
            return;

        QWidget *target = text;
        if (from == u"updateBox") {
            target = f.openUpdateBox()->findChild<QLineEdit *>(QStringLiteral("Text2"));
            target->setFocus();
        } else if (from == u"preview") {
            f.w().onPreview();
            target = f.w().previewWindow();
            target->activateWindow();
        }
        for (int i = int(states.size()) - 2; i >= 0; --i) {
            QTest::keySequence(target, Qt::CTRL | Qt::Key_Z);
            QCOMPARE(state(), states[i]);
            QCOMPARE(f.model().LayoutChanged, i != saved);
        }
        QTest::keySequence(target, Qt::CTRL | Qt::Key_Z); // nothing more to undo
        QCOMPARE(state(), states.first());
        for (int i = 1; i < int(states.size()); ++i) {
            QTest::keySequence(target, redo);
            QCOMPARE(state(), states[i]);
            QCOMPARE(f.model().LayoutChanged, i != saved);
        }
    }

    // The question itself, as the operator meets it: its text, title, icon and buttons,
    // No the default, and Escape and the close button cancel rather than discard.
    void saveQuestionBox_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<Prompts::Answer>("answer");
        QTest::newRow("Escape") << "escape" << Prompts::Answer::Cancel;
        QTest::newRow("close button") << "close" << Prompts::Answer::Cancel;
        QTest::newRow("Enter: the default") << "enter" << Prompts::Answer::No;
        QTest::newRow("Yes") << "yes" << Prompts::Answer::Yes;
    }

    void saveQuestionBox()
    {
        QFETCH(QString, how);
        QFETCH(Prompts::Answer, answer);
        QtPrompts prompts;
        QString seen;
        QTimer::singleShot(0, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            seen = QStringLiteral("%1|%2|%3|%4|No default: %5").arg(box->windowTitle(), box->text()).arg(int(box->icon()))
                       .arg(box->standardButtons().toInt()).arg(box->defaultButton() == box->button(QMessageBox::No));
            if (how == u"escape")
                QTest::keyClick(box, Qt::Key_Escape);
            else if (how == u"enter")
                QTest::keyClick(box, Qt::Key_Return);
            else if (how == u"close")
                box->close();
            else
                box->button(QMessageBox::Yes)->click();
        });
        QCOMPARE(prompts.askYesNoCancel(FileCommands::SaveQuestionTitle, FileCommands::SaveQuestion), answer);
        QCOMPARE(seen, QStringLiteral("  Delete Warning !!|Do you want to save\nthe current Layout ?|%1|%2|No default: 1")
                           .arg(int(QMessageBox::Critical))
                           .arg((QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel).toInt()));
    }

    // After a download the band says so, without moving or resizing anything, clear of
    // the buttons and the readout; the next download starts without it.
    void downloadNote()
    {
        Fixture f;
        const QRect before = f.w().geometry();
        f.hover(QStringLiteral("SSCommand11"));
        QTRY_VERIFY(f.tip()->isVisible());
        f.click(QStringLiteral("SSCommand11"));
        f.sendTo(QStringLiteral("Printer1"));
        QVERIFY(f.prompts->messages.isEmpty());
        const int writes = int(f.session->network().writeLog().size());
        QCOMPARE(f.w().downloadNote(), QStringLiteral("Printer1: downloaded\n%1 writes, verified").arg(writes));
        QCOMPARE(f.w().geometry(), before);
        QVERIFY(!f.tip()->isVisible()); // it would lie over the note
        const QRect note = f.inWindow(f.child(QStringLiteral("downloadNote")));
        QVERIFY(note.bottom() < f.editor().geometry().top());
        QVERIFY(!note.intersects(f.inWindow(f.child(QStringLiteral("Picture2")))));
        for (QPushButton *b : f.w().findChildren<QPushButton *>()) {
            if (b->window() == &f.w())
                QVERIFY2(!note.intersects(f.inWindow(b)), qPrintable(b->objectName()));
        }
        // A failed download does not bring it back.
        f.click(QStringLiteral("SSCommand11"));
        QVERIFY(f.w().downloadNote().isEmpty());
        f.sendTo(QStringLiteral("Printer9"));
        QCOMPARE(f.prompts->messages.size(), 1);
        QVERIFY(f.w().downloadNote().isEmpty());
    }

    // A layout with problems is listed and the operator asked before anything reaches the
    // device: what the preview lists, without the limits of ports other than the one chosen.
    void downloadAsksAboutProblems()
    {
        Fixture f(QDir(Examples).filePath(QStringLiteral("old-ticket.txt")), false);
        f.session->showWindow();
        f.click(QStringLiteral("SSCommand11"));
        PortDialog *dialog = f.sendTo(QStringLiteral("Printer1"));
        QCOMPARE(f.prompts->questions.size(), 1);
        const QString asked = f.prompts->questions.first().text;
        QVERIFY2(asked.startsWith(QStringLiteral("The layout has 6 problems:")), qPrintable(asked));
        QVERIFY2(asked.endsWith(QStringLiteral("Download anyway?")), qPrintable(asked));
        QVERIFY(f.session->network().writeLog().isEmpty());
        QVERIFY(dialog->isVisible());

        f.prompts->goOnAnswers << true;
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("Command1")), Qt::LeftButton);
        QCOMPARE(f.prompts->questions.size(), 2);
        QVERIFY(!f.session->network().writeLog().isEmpty());
        QVERIFY(f.w().downloadNote().startsWith(QStringLiteral("Printer1: downloaded")));
    }

    // A window placed where it would leave the screen's available area moves in by the
    // least; one larger than the area keeps to its top-left.
    void fitInside_data()
    {
        QTest::addColumn<FitCase>("c");
        const QRect screen(0, 0, 800, 600);
        QTest::newRow("inside") << FitCase{QPoint(100, 100), QSize(200, 100), screen, QPoint(100, 100)};
        QTest::newRow("on the last pixel") << FitCase{QPoint(600, 500), QSize(200, 100), screen, QPoint(600, 500)};
        QTest::newRow("past the right edge") << FitCase{QPoint(700, 100), QSize(200, 100), screen, QPoint(600, 100)};
        QTest::newRow("past the bottom") << FitCase{QPoint(100, 550), QSize(200, 100), screen, QPoint(100, 500)};
        QTest::newRow("left of and above") << FitCase{QPoint(-50, -20), QSize(200, 100), screen, QPoint(0, 0)};
        QTest::newRow("larger than the area") << FitCase{QPoint(300, 300), QSize(900, 700), screen, QPoint(0, 0)};
        QTest::newRow("a panel at the top, a second screen")
            << FitCase{QPoint(1300, 0), QSize(200, 100), QRect(800, 24, 640, 488), QPoint(1240, 24)};
    }

    void fitInside()
    {
        QFETCH(FitCase, c);
        const auto &[wanted, frame, available, placed] = c;
        QCOMPARE(tkl::fitInside(wanted, frame, available), placed);
    }

    // The windows the program places stay on the screen, also where their fixed places
    // were made for a larger one: the preview beside the main window, the port dialog,
    // the UpdateBox dialog grown with its tree.
    void windowsStayOnScreen()
    {
        Fixture f;
        const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
        f.w().onPreview();
        f.click(QStringLiteral("SSCommand11"));
        f.click(QStringLiteral("SSCommand6"));
        const int slot = f.editor().insertField();
        // Low on the editor: the dialog opens level with it and grows past the screen's bottom.
        f.editor().loadFieldFromRecord(slot, 20, 6500, 1335, QStringLiteral("XXXX"));
        f.w().updateBoxDialog()->openForSlot(slot);
        f.w().updateBoxDialog()->findChild<QPushButton *>(QStringLiteral("SSCommand1"))->click();
        for (QWidget *window : QApplication::topLevelWidgets()) {
            if (window->isVisible() && window != &f.w())
                QVERIFY2(available.contains(window->frameGeometry()), qPrintable(window->objectName()));
        }
        QVERIFY(f.w().previewWindow()->isVisible());
    }

    // The program's files: beside the executable first, then the installed data folder.
    void dataFiles_data()
    {
        QTest::addColumn<QStringList>("present"); // relative to the prefix
        QTest::addColumn<QString>("found");
        const QString bin = QStringLiteral("bin/Tkl_edit.hlp"), share = QStringLiteral("share/tkledit/Tkl_edit.hlp");
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
