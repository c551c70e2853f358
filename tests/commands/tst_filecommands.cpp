#include "app/FileCommands.h"
#include "editor/EditorWindow.h"
#include "files/LayoutFile.h"
#include "ui/WindowLook.h"
#include "model/TicketModel.h"
#include "support/ScriptedPrompts.h"

#include <QFile>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>

using namespace tkl;

namespace {

const QString Golden = QStringLiteral(GOLDEN_DIR "/worked-example.txt");
const QString FilledText = QStringLiteral("WEIGHT TICKET\nNet:");

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

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
        writeAll(path("worked.txt"), QByteArray(5000, 'z'));
        f.prompts.saveNames = {path("worked.txt")};
        QVERIFY(f.commands.save());
        QCOMPARE(readAll(path("worked.txt")), readAll(Golden));
        QVERIFY(!f.editor.fieldFrame(2));
        QCOMPARE(f.title, path("worked.txt"));
        QVERIFY(!f.model.LayoutChanged);
        QCOMPARE(f.prompts.lastFilter, QStringLiteral("Screen layout (*.txt)|*.txt"));
        QCOMPARE(f.busy, 0);
    }

    // A failed read changes nothing on the editor: text, fields, codes, title, flag.
    void failedOpenKeepsTheLayout_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("messagePart");
        QTest::newRow("truncated") << QByteArray("5170\r\n3155\r\n2\r\n") << QStringLiteral("425");
        QTest::newRow("not a number") << QByteArray("abc\r\n") << QStringLiteral("bad-not a number.txt, line 1: \"abc\"");
        QTest::newRow("missing file") << QByteArray() << QString();
        // Saved by a Linux editor: the first line runs on through the whole file.
        QTest::newRow("LF line ends") << QByteArray("5170\n3155\n2\n") << QStringLiteral("end in LF alone");
    }

    void failedOpenKeepsTheLayout()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, messagePart);
        Fixture f;
        f.fill();
        f.title = QStringLiteral("before.txt");
        const QString name = path(QStringLiteral("bad-%1.txt").arg(QTest::currentDataTag()));
        if (!content.isEmpty())
            writeAll(name, content);
        f.prompts.answers = {false}; // do not save first
        f.prompts.openNames = {name};
        f.commands.open();
        QCOMPARE(f.prompts.messages.size(), 1);
        QVERIFY2(f.prompts.messages.first().text.contains(messagePart), qPrintable(f.prompts.messages.first().text));
        QCOMPARE(f.title, QStringLiteral("before.txt"));
        QCOMPARE(f.opened, 0);
        f.expectFilledLayout();
    }

    // Yes to the question, then the save does not happen: the command stops there.
    void unsavedYesStopsTheCommand_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("cancelSave"); // else: the save fails
        for (const char *c : {"new", "open", "exit"}) {
            QTest::addRow("%s, save cancelled", c) << QString::fromLatin1(c) << true;
            QTest::addRow("%s, save failed", c) << QString::fromLatin1(c) << false;
        }
    }

    void unsavedYesStopsTheCommand()
    {
        QFETCH(QString, command);
        QFETCH(bool, cancelSave);
        Fixture f;
        f.fill();
        f.prompts.answers = {true};
        if (!cancelSave)
            f.prompts.saveNames = {path("no-such-folder/x.txt")};
        f.prompts.openNames = {Golden};
        bool exited = false;
        if (command == "new")
            f.commands.newTicket();
        else if (command == "open")
            f.commands.open();
        else
            exited = f.commands.mayExit();
        QVERIFY(!exited);
        QCOMPARE(f.prompts.openDialogs, 0);
        QCOMPARE(f.prompts.messages.size(), cancelSave ? 0 : 1);
        f.expectFilledLayout();
    }

    // No to the question: New clears the text, the fields, their records and the codes.
    void newAfterNoClearsTheLayout()
    {
        Fixture f;
        f.fill();
        f.commands.newTicket(); // nothing scripted: No
        QCOMPARE(f.prompts.questions.size(), 1);
        QVERIFY(f.editor.textBox()->toPlainText().isEmpty());
        QCOMPARE(f.model.loadedCount(), 0);
        QVERIFY(!f.editor.fieldFrame(1) && !f.model.UpdateBoxes[1].DataIn);
        QVERIFY(f.model.StartCode.isEmpty() && f.model.StopCode.isEmpty());
        QVERIFY(!f.model.LayoutChanged);
    }

    // No, then a cancelled Open: the changes are still marked, so Exit asks again.
    void cancelledOpenKeepsTheChangedFlag()
    {
        Fixture f;
        f.fill();
        f.prompts.answers = {false, false};
        f.commands.open(); // no open name scripted: cancelled
        QVERIFY(f.model.LayoutChanged);
        QVERIFY(f.commands.mayExit());
        QCOMPARE(f.prompts.questions.size(), 2);
        QCOMPARE(f.prompts.questions.last().title, QStringLiteral("  Delete Warning !!"));
        QCOMPARE(f.prompts.questions.last().text, QStringLiteral("Do you want to save\r\nthe current Layout ?"));
    }

    void saveRefusesAnUnstorableCharacter()
    {
        Fixture f;
        writeAll(path("kept.txt"), "previous");
        f.fill();
        f.editor.textBox()->setPlainText(QStringLiteral("ok\nbad \u4e2d here"));
        f.prompts.saveNames = {path("kept.txt")};
        QVERIFY(!f.commands.save());
        QCOMPARE(readAll(path("kept.txt")), QByteArray("previous"));
        QCOMPARE(f.prompts.messages.size(), 1);
        QVERIFY(f.prompts.messages.first().text.contains(QStringLiteral("U+4E2D")));
        QVERIFY(f.model.LayoutChanged);
    }

    // A lone LF is a character of its line: the editor keeps it there (the box, the
    // caret's line and the download's lines agree with the file) and saves it back;
    // a no-break space, a tab, trailing blanks and an empty last line come back too.
    void openThenSaveKeepsEveryByte()
    {
        Fixture f;
        QByteArray bytes = readAll(Golden);
        bytes.replace("WEIGHT TICKET\r\nNet:\r\n", "WEIGHT\nTICKET\xa0\t|\r\n\r\nNet:  \r\n\r\n");
        bytes.replace("\r\n3155\r\n2\r\n", "\r\n3155\r\n4\r\n"); // TicketLines
        writeAll(path("lf.txt"), bytes);
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
        QCOMPARE(readAll(path("lf-saved.txt")), bytes);
    }
};

QTEST_MAIN(TestFileCommands)
#include "tst_filecommands.moc"
