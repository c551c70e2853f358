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

        /// A changed layout with text, one defined field in slot 1 and both codes.
        void fill()
        {
            editor.textBox()->setPlainText(FilledText);
            QCOMPARE(editor.insertField(), 1);
            model.setRecord(1, {.VarName = QStringLiteral("Scale1.Net"), .NodeAdr = 3, .SWNo = 1, .Offset = 12,
                                .Typ = 4, .DevType = 2, .Chars = 7, .Digits = 1, .DataIn = true, .Linie = 1,
                                .Pos = 5});
            model.setStartCode(QStringLiteral("[27]E"));
            model.setStopCode(QStringLiteral("[12]"));
            model.textEdited();
        }

        /// What fill() made is still on the editor, and still marked as changed.
        void expectFilledLayout() const
        {
            QCOMPARE(editor.textBox()->toPlainText(), FilledText);
            QVERIFY(editor.fieldFrame(1));
            QCOMPARE(model.UpdateBoxes[1].VarName, QStringLiteral("Scale1.Net"));
            QCOMPARE(model.StartCode, QStringLiteral("[27]E"));
            QVERIFY(model.LayoutChanged);
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

    // Saved over an older, longer file, with a second field inserted but never defined:
    // the old file is replaced and the undefined field is dropped before writing.
    void saveWritesTheWorkedExample()
    {
        Fixture f;
        f.fill();
        QCOMPARE(f.editor.insertField(), 2);
        QVERIFY(test::writeFile(path("worked.txt"), QByteArray(5000, 'z')));
        f.prompts.saveNames = {path("worked.txt")};
        QVERIFY(f.commands.save());
        QCOMPARE(test::contentsOf(path("worked.txt")), test::contentsOf(Golden));
        QVERIFY(!f.editor.fieldFrame(2));
        QCOMPARE(f.title, path("worked.txt"));
        QVERIFY(!f.model.LayoutChanged);
        QCOMPARE(f.prompts.lastFilter, QStringLiteral("Screen layout (*.txt)|*.txt"));
        QCOMPARE(f.busy, 0);
    }

    // New, Open and Exit over a changed layout: the question, then what the answers,
    // the save and the file opened leave behind. A command that stops short leaves the
    // layout exactly as it was and still changed, so Exit asks again; a failed read
    // changes nothing on the editor either.
    void unsavedLayout_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("yes");          // to "save the current layout?"
        QTest::addColumn<QString>("saveTo");    // a file the save is refused over; empty: cancelled
        QTest::addColumn<QString>("openName");  // empty: the open dialog is cancelled
        QTest::addColumn<QByteArray>("content"); // of the file opened; empty: there is none
        QTest::addColumn<QString>("message");   // part of the one message shown; empty: none
        QTest::addColumn<bool>("kept");
        for (const char *c : {"new", "open", "exit"}) {
            QTest::addRow("%s, Yes, save cancelled", c) << c << true << "" << "" << QByteArray() << "" << true;
            QTest::addRow("%s, Yes, save refused", c) << c << true << "kept.txt" << "" << QByteArray() << "U+4E2D" << true;
        }
        QTest::newRow("new, No: cleared") << "new" << false << "" << "" << QByteArray() << "" << false;
        QTest::newRow("open, No, cancelled") << "open" << false << "" << "" << QByteArray() << "" << true;
        QTest::newRow("open, No, truncated file") << "open" << false << "" << "bad.txt"
                                                  << QByteArray("5170\r\n3155\r\n2\r\n") << "425" << true;
        QTest::newRow("open, No, not a number") << "open" << false << "" << "bad.txt" << QByteArray("abc\r\n")
                                                << "bad.txt, line 1: \"abc\"" << true;
        QTest::newRow("open, No, missing file") << "open" << false << "" << "missing.txt" << QByteArray()
                                                << "does not exist" << true;
        // Saved by a Linux editor: the first line runs on through the whole file.
        QTest::newRow("open, No, LF line ends") << "open" << false << "" << "bad.txt" << QByteArray("5170\n3155\n2\n")
                                                << "end in LF alone" << true;
    }

    void unsavedLayout()
    {
        QFETCH(QString, command);
        QFETCH(bool, yes);
        QFETCH(QString, saveTo);
        QFETCH(QString, openName);
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        QFETCH(bool, kept);
        Fixture f;
        f.fill();
        f.title = QStringLiteral("before.txt");
        f.prompts.answers = {yes};
        if (!saveTo.isEmpty()) { // the stop code holds a character the file cannot store
            QVERIFY(test::writeFile(path(saveTo), "previous"));
            f.model.setStopCode(QStringLiteral("[12]\u4e2d"));
            f.prompts.saveNames = {path(saveTo)};
        }
        if (!openName.isEmpty())
            f.prompts.openNames = {path(openName)};
        if (!content.isEmpty())
            QVERIFY(test::writeFile(path(openName), content));
        bool exited = false;
        if (command == "new")
            f.commands.newTicket();
        else if (command == "open")
            f.commands.open();
        else
            exited = f.commands.mayExit();
        QVERIFY(!exited);
        QCOMPARE(f.prompts.questions.size(), 1);
        QCOMPARE(f.prompts.questions.first().title, QStringLiteral("  Delete Warning !!"));
        QCOMPARE(f.prompts.questions.first().text, QStringLiteral("Do you want to save\r\nthe current Layout ?"));
        QCOMPARE(f.prompts.openDialogs, command == "open" && !yes ? 1 : 0);
        QCOMPARE(f.prompts.messages.size(), message.isEmpty() ? 0 : 1);
        if (!message.isEmpty())
            QVERIFY2(f.prompts.messages.first().text.contains(message), qPrintable(f.prompts.messages.first().text));
        QCOMPARE(f.opened, 0);
        if (!saveTo.isEmpty())
            QCOMPARE(test::contentsOf(path(saveTo)), QByteArray("previous"));
        if (kept) {
            f.expectFilledLayout();
            QCOMPARE(f.title, QStringLiteral("before.txt"));
        } else { // the text, the fields, their records and the codes
            QVERIFY(f.editor.textBox()->toPlainText().isEmpty());
            QCOMPARE(f.model.loadedCount(), 0);
            QVERIFY(!f.editor.fieldFrame(1) && !f.model.UpdateBoxes[1].DataIn);
            QVERIFY(f.model.StartCode.isEmpty() && f.model.StopCode.isEmpty());
            QVERIFY(!f.model.LayoutChanged);
            QCOMPARE(f.title, QStringLiteral("UnNamed Ticket"));
        }
        f.prompts.answers = {false};
        QVERIFY(f.commands.mayExit());
        QCOMPARE(f.prompts.questions.size(), kept ? 2 : 1);
    }

    // A lone LF is a character of its line: the editor keeps it there (the box, the
    // caret's line and the download's lines agree with the file) and saves it back;
    // a no-break space, a tab, trailing blanks and an empty last line come back too.
    void openThenSaveKeepsEveryByte()
    {
        Fixture f;
        QByteArray bytes = test::contentsOf(Golden);
        bytes.replace("WEIGHT TICKET\r\nNet:\r\n", "WEIGHT\nTICKET\xa0\t|\r\n\r\nNet:  \r\n\r\n");
        bytes.replace("\r\n3155\r\n2\r\n", "\r\n3155\r\n4\r\n"); // TicketLines
        QVERIFY(test::writeFile(path("lf.txt"), bytes));
        f.fill(); // opened over an editor with fields of its own, which must all go
        QCOMPARE(f.editor.insertField(), 2);
        f.prompts.answers = {false};
        f.prompts.openNames = {path("lf.txt")};
        f.commands.open();
        QCOMPARE(f.prompts.messages.size(), 0);
        QCOMPARE(f.opened, 1);
        QVERIFY(f.editor.fieldFrame(1)); // the file's field is rebuilt on the editor
        QVERIFY(!f.editor.fieldFrame(2));
        QCOMPARE(f.model.loadedCount(), 1);
        QCOMPARE(f.editor.lineCount(), 4);
        const auto read = readLayoutFile(path("lf.txt"));
        QVERIFY(read.ok());
        QCOMPARE(f.editor.boxLines(), read->text.split(QStringLiteral("\r\n"))); // the CLI's lines
        f.editor.textBox()->moveCursor(QTextCursor::End);
        f.editor.RefreshReadout();
        QCOMPARE(f.editor.readoutText(), QStringLiteral("Ch:40\r\nLn:4"));
        f.prompts.saveNames = {path("lf-saved.txt")};
        QVERIFY(f.commands.save());
        QCOMPARE(test::contentsOf(path("lf-saved.txt")), bytes);
    }
};

QTEST_MAIN(TestFileCommands)
#include "tst_filecommands.moc"
