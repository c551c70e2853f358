#include "app/FileCommands.h"
#include "editor/EditorWindow.h"
#include "model/EditorFont.h"
#include "model/TicketModel.h"
#include "support/ScriptedPrompts.h"

#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

using namespace tkl;
using tkl::test::ScriptedPrompts;

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
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
        ScriptedPrompts prompts;
        QString title = QStringLiteral("UnNamed Ticket");
        int busy = 0;
        FileCommands commands{model, editor, prompts,
                              FileCommands::Window{[this](const QString &t) { title = t; }, {},
                                                   [this](bool b) { busy += b ? 1 : -1; },
                                                   QStringLiteral("Editor")}};

        Fixture()
        {
            editor.setMaxWidthTwips(9500);
            editor.resize(700, 500);
            commands.newTicket();
        }

        /// A layout with text, one defined field in slot 1 and both codes.
        void fill()
        {
            editor.textBox()->setPlainText(QStringLiteral("WEIGHT TICKET\nNet:"));
            QCOMPARE(editor.insertField(), 1);
            UpdateBox &b = model.UpdateBoxes[1];
            b.VarName = QStringLiteral("Scale1.Net");
            b.NodeAdr = 3;
            b.SWNo = 1;
            b.Offset = 12;
            b.Typ = 4;
            b.DevType = 2;
            b.Chars = 7;
            b.Digits = 1;
            b.DataIn = true;
            b.Linie = 1;
            b.Pos = 5;
            model.StartCode = QStringLiteral("[27]E");
            model.StopCode = QStringLiteral("[12]");
            model.LayoutChanged = true;
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

    void saveWritesTheWorkedExample()
    {
        Fixture f;
        f.fill();
        QCOMPARE(f.editor.charWidthTwips(), 120);
        f.prompts.saveNames = {path("worked.txt")};
        QVERIFY(f.commands.save());
        QCOMPARE(readAll(path("worked.txt")), readAll(QStringLiteral(GOLDEN_DIR "/worked-example.txt")));
        QCOMPARE(f.title, path("worked.txt"));
        QVERIFY(!f.model.LayoutChanged);
        QCOMPARE(f.prompts.lastFilter, QStringLiteral("Screen layout (*.txt)|*.txt"));
        QCOMPARE(f.busy, 0);
    }

    void openRebuildsFieldsAndText()
    {
        Fixture f;
        f.prompts.openNames = {QStringLiteral(GOLDEN_DIR "/worked-example.txt")};
        f.commands.open();
        QCOMPARE(f.editor.textBox()->toPlainText(), QStringLiteral("WEIGHT TICKET\nNet:"));
        QLabel *label = f.editor.fieldLabel(1);
        QVERIFY(label);
        QCOMPARE(label->text(), QStringLiteral("XXXXX.X"));
        QCOMPARE(f.editor.fieldTopTwips(1), 1 * f.editor.lineHeightTwips() + 20);
        QCOMPARE(f.editor.fieldLeftTwips(1), 5 * f.editor.charWidthTwips() - 100);
        QCOMPARE(f.model.BoxLoaded[1], qint16(1));
        QCOMPARE(f.model.loadedCount(), 1);
        QCOMPARE(f.model.StartCode, QStringLiteral("[27]E"));
        QCOMPARE(f.model.CharsPerLine, qint16(40));
        QVERIFY(!f.model.LayoutChanged);
        QCOMPARE(f.title, QStringLiteral(GOLDEN_DIR "/worked-example.txt"));
    }

    void saveDropsUndefinedFields()
    {
        Fixture f;
        f.fill();
        QCOMPARE(f.editor.insertField(), 2); // inserted, never defined
        f.prompts.saveNames = {path("cleanup.txt")};
        QVERIFY(f.commands.save());
        QVERIFY(!f.editor.fieldFrame(2));
        QCOMPARE(f.model.BoxLoaded[2], qint16(0));
        const QList<QByteArray> lines = readAll(path("cleanup.txt")).split('\n');
        QCOMPARE(lines.at(3 + 1), QByteArray("0\r")); // marker of slot 2, line 5
    }

    // A failed read changes nothing on the editor: text, fields, codes, title, flag.
    void failedOpenKeepsTheLayout_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("messagePart");
        QTest::newRow("truncated") << QByteArray("5170\r\n3155\r\n2\r\n") << QStringLiteral("425");
        QTest::newRow("not a number") << QByteArray("abc\r\n") << QStringLiteral("Line 1");
        QTest::newRow("missing file") << QByteArray() << QString();
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
        QVERIFY(f.prompts.messages.first().text.contains(messagePart));
        QCOMPARE(f.editor.textBox()->toPlainText(), QStringLiteral("WEIGHT TICKET\nNet:"));
        QVERIFY(f.editor.fieldFrame(1));
        QCOMPARE(f.model.UpdateBoxes[1].VarName, QStringLiteral("Scale1.Net"));
        QCOMPARE(f.model.StartCode, QStringLiteral("[27]E"));
        QCOMPARE(f.title, QStringLiteral("before.txt"));
        QVERIFY(f.model.LayoutChanged);
    }

    // Yes to the question, then the save does not happen: the command stops there.
    void unsavedYesStopsTheCommand_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("cancelSave"); // else: the save fails
        for (const char *c : {"new", "open", "exit"}) {
            QTest::newRow(qPrintable(QStringLiteral("%1, save cancelled").arg(c))) << QString::fromLatin1(c) << true;
            QTest::newRow(qPrintable(QStringLiteral("%1, save failed").arg(c))) << QString::fromLatin1(c) << false;
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
        f.prompts.openNames = {QStringLiteral(GOLDEN_DIR "/worked-example.txt")};

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
        QVERIFY(f.model.LayoutChanged);
        QCOMPARE(f.editor.textBox()->toPlainText(), QStringLiteral("WEIGHT TICKET\nNet:"));
        QVERIFY(f.editor.fieldFrame(1));
    }

    // No, then a cancelled Open: the changes are still marked, so Exit asks again.
    void cancelledOpenKeepsTheChangedFlag()
    {
        Fixture f;
        f.fill();
        f.prompts.answers = {false};
        f.commands.open(); // no open name scripted: cancelled
        QVERIFY(f.model.LayoutChanged);
        QCOMPARE(f.prompts.questions.size(), 1);
        f.prompts.answers = {false};
        QVERIFY(f.commands.mayExit());
        QCOMPARE(f.prompts.questions.size(), 2);
        QCOMPARE(f.prompts.questions.last().title, QStringLiteral("  Delete Warning !!"));
        QCOMPARE(f.prompts.questions.last().text, QStringLiteral("Do you want to save\r\nthe current Layout ?"));
    }

    void newWithNoDiscards()
    {
        Fixture f;
        f.fill();
        f.title = QStringLiteral("old.txt");
        f.prompts.answers = {false};
        f.commands.newTicket();
        QCOMPARE(f.prompts.saveDialogs, 0);
        QVERIFY(f.editor.textBox()->toPlainText().isEmpty());
        QCOMPARE(f.model.loadedCount(), 0);
        QVERIFY(!f.model.UpdateBoxes[1].DataIn);
        QCOMPARE(f.model.UpdateBoxes[1].VarName, QStringLiteral("Scale1.Net")); // only DataIn is reset
        QVERIFY(f.model.StartCode.isEmpty());
        QCOMPARE(f.model.TicketLines, qint16(16));
        QCOMPARE(f.model.EditorWidth, qint16(5170));
        QCOMPARE(f.model.EditorHeight, qint16(3155));
        QCOMPARE(f.model.ScrollPos, qint16(22));
        QCOMPARE(f.title, QStringLiteral("UnNamed Ticket"));
        QVERIFY(!f.model.LayoutChanged);
    }

    void unchangedLayoutAsksNothing()
    {
        Fixture f;
        QVERIFY(f.commands.mayExit());
        f.commands.newTicket();
        QCOMPARE(f.prompts.questions.size(), 0);
        f.prompts.saveNames = {path("empty.txt")};
        QVERIFY(f.commands.save()); // Save always asks for a name
        QCOMPARE(readAll(path("empty.txt")).count("\r\n"), 426);
    }

    void saveOverAnExistingFileReplacesIt()
    {
        Fixture f;
        writeAll(path("existing.txt"), QByteArray(5000, 'z'));
        f.fill();
        f.prompts.saveNames = {path("existing.txt")};
        QVERIFY(f.commands.save());
        QVERIFY(readAll(path("existing.txt")).startsWith("5170\r\n3155\r\n2\r\n"));
        QCOMPARE(f.commands.lastFileName(), path("existing.txt"));
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

    void saveThenOpenGivesTheSameLayout()
    {
        Fixture f;
        f.fill();
        f.editor.textBox()->setPlainText(QStringLiteral("A\n\nB  \n"));
        f.prompts.saveNames = {path("round.txt")};
        QVERIFY(f.commands.save());
        const QByteArray first = readAll(path("round.txt"));
        f.prompts.openNames = {path("round.txt")};
        f.commands.open();
        QCOMPARE(f.editor.textBox()->toPlainText(), QStringLiteral("A\n\nB  \n"));
        f.prompts.saveNames = {path("round2.txt")};
        QVERIFY(f.commands.save());
        QCOMPARE(readAll(path("round2.txt")), first);
    }
};

QTEST_MAIN(TestFileCommands)
#include "tst_filecommands.moc"
