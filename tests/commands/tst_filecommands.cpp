#include "app/FileCommands.h"
#include "editor/EditorWindow.h"
#include "files/LayoutFile.h"
#include "ui/WindowLook.h"
#include "model/TicketModel.h"
#include "support/ScriptedPrompts.h"
#include "support/ToolProcess.h"

#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>

using namespace tkl;

namespace {

struct UnsavedCase
{
    QString command;         // over a changed layout
    Prompts::Answer answer;  // to "save the current layout?"
    QString saveTo = {};     // a file the save is refused over; empty: the save is cancelled
    QString openName = {};   // empty: the open dialog is cancelled
    QByteArray content = {}; // of the file opened; empty: there is none
    QString message = {};    // part of the one message shown; empty: none
    bool kept = true;
};

// How the layout got its own file ("", "open", "save"); the file dialog's answers ("other"
// exists) and those to the replace question; the file saved to (empty: none).
struct SaveAsCase { QString own; QStringList names; QList<Prompts::Answer> answers; QString written; };

const QString Golden = QStringLiteral(GOLDEN_DIR "/worked-example.txt");
const QString FilledText = QStringLiteral("WEIGHT TICKET\nNet:");

} // namespace

/// The file commands end to end: a real editor, the real reader and writer, files in
/// a temporary folder and scripted answers from the operator.
class TestFileCommands : public QObject
{
    Q_OBJECT

    struct Fixture
    {
        TicketModel model;
        EditorWindow editor{model};
        test::ScriptedPrompts prompts;
        QString title = QStringLiteral("UnNamed Ticket");
        int busy = 0;
        int opened = 0;
        FileCommands commands{model, editor, prompts,
                              FileCommands::Window{[this](const QString &t) { title = t; }, {},
                                                   [this](bool b) { busy += b ? 1 : -1; },
                                                   QStringLiteral("Editor"), [this] { ++opened; }}};

        Fixture()
        {
            editor.setMaxWidthTwips(9500);
            editor.resize(700, 500);
            commands.newTicket();
        }

        /// A changed layout with text, a defined field in slot 1, one inserted but never
        /// defined in slot 2, and both codes.
        void fill()
        {
            editor.textBox()->setPlainText(FilledText);
            QCOMPARE(editor.insertField(), 1);
            QCOMPARE(editor.insertField(), 2);
            model.setRecord(1, {.VarName = QStringLiteral("Scale1.Net"), .NodeAdr = 3, .SWNo = 1, .Offset = 12,
                                .Typ = 4, .DevType = 2, .Chars = 7, .Digits = 1, .DataIn = true, .Linie = 1,
                                .Pos = 5});
            model.setStartCode(QStringLiteral("[27]E"));
            model.setStopCode(QStringLiteral("[12]"));
            model.textEdited();
        }
    };

    QTemporaryDir m_dir;

    QString path(const QString &name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase()
    {
        installFontSubstitutions();
        QVERIFY(m_dir.isValid());
    }

    // New, Open and Exit over a changed layout: the question, then what the answers,
    // the save and the file opened leave behind. A command that stops short leaves the
    // layout exactly as it was and still changed, so Exit asks again; a failed read
    // changes nothing on the editor either.
    void unsavedLayout_data()
    {
        using A = Prompts::Answer;
        QTest::addColumn<UnsavedCase>("c");
        auto row = [](const char *name, const UnsavedCase &c) { QTest::newRow(name) << c; };
        for (const char *c : {"new", "open", "exit", "device"}) {
            QTest::addRow("%s, Yes, save cancelled", c) << UnsavedCase{c, A::Yes};
            QTest::addRow("%s, Yes, save refused", c) << UnsavedCase{c, A::Yes, "kept.txt", {}, {}, "U+4E2D"};
            // Escape, Cancel and the question's close button: the whole command is off.
            QTest::addRow("%s, Cancel", c) << UnsavedCase{c, A::Cancel};
        }
        row("new, No: cleared", {"new", A::No, {}, {}, {}, {}, false});
        row("device, No, holds no ticket", {"device", A::No, {}, {}, {}, "Port \"P\" holds no ticket"});
        row("open, No, cancelled", {"open", A::No});
        row("open, No, truncated file", {"open", A::No, {}, "bad.txt", "5170\r\n3155\r\n2\r\n", "425"});
        row("open, No, not a number", {"open", A::No, {}, "bad.txt", "abc\r\n", "bad.txt, line 1: \"abc\""});
        row("open, No, missing file", {"open", A::No, {}, "missing.txt", {}, "does not exist"});
        // Saved by a Linux editor: the first line runs on through the whole file.
        row("open, No, LF line ends", {"open", A::No, {}, "bad.txt", "5170\n3155\n2\n", "end in LF alone"});
    }

    void unsavedLayout()
    {
        QFETCH(UnsavedCase, c);
        const auto &[command, answer, saveTo, openName, content, message, kept] = c;
        Fixture f;
        f.fill();
        f.title = QStringLiteral("before.txt");
        f.prompts.answers = {answer};
        if (!saveTo.isEmpty()) { // the stop code holds a character the file cannot store
            QVERIFY(test::writeFile(path(saveTo), "previous"));
            f.model.setStopCode(QStringLiteral("[12]\u4e2d"));
            f.prompts.saveNames = {path(saveTo)};
            f.prompts.answers.append(Prompts::Answer::Yes); // replace it
        }
        if (!openName.isEmpty())
            f.prompts.openNames = {path(openName)};
        if (!content.isEmpty())
            QVERIFY(test::writeFile(path(openName), content));
        int deviceReads = 0;
        if (command == "new") {
            f.commands.newTicket();
        } else if (command == "open") {
            f.commands.open();
        } else if (command == "device") {
            f.commands.openFromDevice([&](QString *error) -> std::optional<LayoutData> {
                ++deviceReads;
                *error = QStringLiteral("Port \"P\" holds no ticket");
                return std::nullopt;
            });
        } else {
            QVERIFY(!f.commands.mayExit());
        }
        // The device is read only once the layout on the editor may go.
        QCOMPARE(deviceReads, command == "device" && answer == Prompts::Answer::No ? 1 : 0);
        const int asked = saveTo.isEmpty() ? 1 : 2;
        QCOMPARE(f.prompts.questions.size(), asked);
        QCOMPARE(f.prompts.questions.first().title, QStringLiteral("  Delete Warning !!"));
        QCOMPARE(f.prompts.questions.first().text, QStringLiteral("Do you want to save\r\nthe current Layout ?"));
        QCOMPARE(f.prompts.openDialogs, command == "open" && answer == Prompts::Answer::No ? 1 : 0);
        QCOMPARE(f.prompts.saveDialogs, answer == Prompts::Answer::Yes ? 1 : 0);
        QCOMPARE(f.prompts.messages.size(), message.isEmpty() ? 0 : 1);
        if (!message.isEmpty())
            QVERIFY2(f.prompts.messages.first().text.contains(message), qPrintable(f.prompts.messages.first().text));
        QCOMPARE(f.opened, 0);
        if (!saveTo.isEmpty())
            QCOMPARE(test::contentsOf(path(saveTo)), QByteArray("previous"));
        if (kept) { // what fill() made, still marked as changed
            QCOMPARE(f.editor.textBox()->toPlainText(), FilledText);
            QVERIFY(f.editor.fieldFrame(1));
            QCOMPARE(f.model.UpdateBoxes[1].VarName, QStringLiteral("Scale1.Net"));
            QCOMPARE(f.model.StartCode, QStringLiteral("[27]E"));
            QVERIFY(f.model.LayoutChanged);
            QCOMPARE(f.title, QStringLiteral("before.txt"));
        } else { // the text, the fields, their records and the codes
            QVERIFY(f.editor.textBox()->toPlainText().isEmpty());
            QCOMPARE(f.model.loadedCount(), 0);
            QVERIFY(!f.editor.fieldFrame(1) && !f.model.UpdateBoxes[1].DataIn);
            QVERIFY(f.model.StartCode.isEmpty() && f.model.StopCode.isEmpty());
            QVERIFY(!f.model.LayoutChanged);
            QCOMPARE(f.title, QStringLiteral("UnNamed Ticket"));
        }
        f.prompts.answers = {Prompts::Answer::No};
        QVERIFY(f.commands.mayExit());
        QCOMPARE(f.prompts.questions.size(), kept ? asked + 1 : asked);
    }

    // Save As onto a file that exists asks first, unless it is the layout's own file
    // (opened from it or saved to it); No offers the file dialog again. A file saved over
    // was longer: it is replaced whole. The field inserted but never defined is dropped.
    void saveOverExistingFile_data()
    {
        using A = Prompts::Answer;
        QTest::addColumn<SaveAsCase>("c");
        auto row = [](const char *name, const SaveAsCase &c) { QTest::newRow(name) << c; };
        row("other file, Yes", {"", {"other"}, {A::Yes}, "other"});
        row("other file, No, cancelled", {"", {"other"}, {A::No}, ""});
        row("other file, No, then a new one", {"", {"other", "fresh"}, {A::No}, "fresh"});
        row("new file", {"", {"fresh"}, {}, "fresh"});
        row("own file, opened", {"open", {"own"}, {}, "own"});
        row("own file, saved before", {"save", {"own"}, {}, "own"});
        row("other file after saving to own", {"save", {"other"}, {A::Yes}, "other"});
    }

    void saveOverExistingFile()
    {
        QFETCH(SaveAsCase, c);
        const auto &[own, names, answers, written] = c;
        QTemporaryDir dir;
        const auto at = [&dir](const QString &name) { return dir.filePath(name + QStringLiteral(".txt")); };
        const QByteArray older(5000, 'z');
        QVERIFY(test::writeFile(at("other"), older));
        Fixture f;
        if (own == "open") {
            QVERIFY(test::writeFile(at("own"), test::contentsOf(Golden)));
            f.prompts.openNames = {at("own")};
            f.commands.open();
        } else if (own == "save") {
            f.prompts.saveNames = {at("own")};
            QVERIFY(f.commands.save());
        }
        if (own != "open") // an opened file is the same layout already
            f.fill();
        for (const QString &name : names)
            f.prompts.saveNames.append(at(name));
        f.prompts.answers = answers;
        QCOMPARE(f.commands.save(), !written.isEmpty());
        QCOMPARE(f.prompts.questions.size(), answers.size());
        for (const auto &question : std::as_const(f.prompts.questions))
            QCOMPARE(question.text, QStringLiteral("other.txt already exists.\r\nDo you want to replace it?"));
        QCOMPARE(f.prompts.saveDialogs, int(names.size()) + (own == "save" ? 1 : 0) + (written.isEmpty() ? 1 : 0));
        QCOMPARE(test::contentsOf(at("other")) == older, written != "other");
        if (!written.isEmpty()) {
            QCOMPARE(test::contentsOf(at(written)), test::contentsOf(Golden));
            QVERIFY(!f.editor.fieldFrame(2));
        }
        QCOMPARE(f.title, written.isEmpty() ? QStringLiteral("UnNamed Ticket") : at(written));
        QCOMPARE(f.model.LayoutChanged, written.isEmpty());
        QCOMPARE(f.prompts.lastFilter, QStringLiteral("Screen layout (*.txt)|*.txt"));
        QCOMPARE(f.busy, 0);
    }

    // A layout opened from a file or a device takes the place of the one on the editor:
    // its text, fields, records and codes, the findings note; one from a device has no
    // file yet (the unnamed title; Save asks for a name). A lone LF is a character of its
    // line: the editor keeps it there (the box, the caret's line and the download's lines
    // agree with the file) and saves it back; a no-break space, a tab, trailing blanks
    // and an empty last line come back too.
    void openThenSaveKeepsEveryByte_data()
    {
        QTest::addColumn<bool>("fromDevice");
        QTest::newRow("file") << false;
        QTest::newRow("device") << true;
    }

    void openThenSaveKeepsEveryByte()
    {
        QFETCH(bool, fromDevice);
        Fixture f;
        QByteArray bytes = test::contentsOf(Golden);
        bytes.replace("WEIGHT TICKET\r\nNet:\r\n", "WEIGHT\nTICKET\xa0\t|\r\n\r\nNet:  \r\n\r\n");
        bytes.replace("\r\n3155\r\n2\r\n", "\r\n3155\r\n4\r\n"); // TicketLines
        bytes.replace("Scale1.Net\r\n", "Scale1.Tare\r\n").replace("\r\n[27]E\r\n[12]\r\n", "\r\n[27]@\r\n\r\n");
        QVERIFY(test::writeFile(path("lf.txt"), bytes));
        const auto read = readLayoutFile(path("lf.txt"));
        QVERIFY(read.ok());
        f.fill(); // opened over an editor with fields of its own, which must all go
        // ... and over a file of its own, which a device's layout is not
        const QString before = path(QStringLiteral("before-%1.txt").arg(QTest::currentDataTag()));
        f.prompts.saveNames = {before};
        QVERIFY(f.commands.save());
        f.prompts.openNames = {path("lf.txt")};
        if (fromDevice)
            f.commands.openFromDevice([&](QString *) { return std::optional<LayoutData>(*read); });
        else
            f.commands.open();
        QCOMPARE(f.prompts.messages.size(), 0);
        QCOMPARE(f.opened, 1);
        QCOMPARE(f.title, fromDevice ? QStringLiteral("UnNamed Ticket") : path("lf.txt"));
        QVERIFY(f.editor.fieldFrame(1)); // the file's field is rebuilt on the editor
        QVERIFY(!f.editor.fieldFrame(2));
        QCOMPARE(f.model.loadedCount(), 1);
        QCOMPARE(f.editor.lineCount(), 4);
        QCOMPARE(f.editor.boxLines(), read->text.split(QStringLiteral("\r\n"))); // the CLI's lines
        f.editor.textBox()->moveCursor(QTextCursor::End);
        f.editor.RefreshReadout();
        QCOMPARE(f.editor.readoutText(), QStringLiteral("Ch:40\r\nLn:4"));
        const QString saved = path(QStringLiteral("saved-from-%1.txt").arg(QTest::currentDataTag()));
        // Saving a device's layout over the file open before it is replacing another file.
        using Names = QList<std::optional<QString>>;
        f.prompts.saveNames = fromDevice ? Names{before, saved} : Names{saved};
        QVERIFY(f.commands.save());
        QCOMPARE(f.prompts.saveDialogs, fromDevice ? 3 : 2);
        QCOMPARE(f.prompts.questions.size(), fromDevice ? 1 : 0);
        QCOMPARE(test::contentsOf(saved), bytes);
    }
};

QTEST_MAIN(TestFileCommands)
#include "tst_filecommands.moc"
