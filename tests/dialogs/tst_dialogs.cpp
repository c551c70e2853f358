// The UpdateBox, printer settings and ticket size dialogs and the preview window,
// each over its own model and an editor that records what it is asked.
#include "support/ScriptedPrompts.h"

#include "device-widgets/VariableTree.h"
#include "device/AutomationObject.h"
#include "network/ProcessNetwork.h"
#include "dialogs/PreviewWindow.h"
#include "dialogs/PrinterSettingsDialog.h"
#include "dialogs/TicketSizeDialog.h"
#include "dialogs/UpdateBoxDialog.h"
#include "editor/EditorSurface.h"
#include "model/CharGrid.h"
#include "model/ProgramTitle.h"
#include "model/TicketModel.h"
#include "ui/WindowLook.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QListWidget>
#include <QSignalSpy>
#include <QTest>

using namespace tkl;
using tkl::test::ScriptedPrompts;

namespace {

const QString VariablePlaceholder = QStringLiteral(" Press tree to select variable");
const QString NumberPlaceholder = QStringLiteral(" Not selected");

/// An editor that records what the dialogs ask of it and sizes itself with the same
/// grid rule as the real one: width snapped to whole cells, never wider than the main
/// window, CharsPerLine derived from the text box.
class FakeEditorSurface : public EditorSurface
{
public:
    explicit FakeEditorSurface(TicketModel &model) : m_model(model) {}

    QStringList shapes; ///< "slot width caption", width -1 when only the caption was set
    QList<double> widthRequests;
    QStringList lines;  ///< the box lines the editor shows
    QList<int> overBar; ///< the fields that reach over the scroll bar

    int editorTopTwips() const override { return 1500; }
    int fieldTopTwips(int) const override { return 0; }
    void setFieldShape(int slot, int width, const QString &caption) override
    {
        shapes.append(QStringLiteral("%1 %2 %3").arg(slot).arg(width).arg(caption));
    }
    void setFieldCaption(int slot, const QString &caption) override { setFieldShape(slot, -1, caption); }
    void focusText() override {}
    void requestEditorWidth(double twips) override
    {
        widthRequests.append(twips);
        const int width = m_grid.snapEditorWidth(twips, 9500);
        m_model.setEditorWidth(qint16(width));
        m_model.setCharsPerLine(qint16(m_grid.charsPerLine(width - CharGrid::TextBoxInset)));
    }
    int lineCount() const override { return int(lines.size()); }
    QStringList boxLines() const override { return lines; }
    QList<int> fieldsOverScrollBar() const override { return overBar; }

private:
    TicketModel &m_model;
    CharGrid m_grid{120, 225};
};

/// An automation object that answers from a table, so that a test can script what a
/// variable's attributes read as and which access fails.
class FakeServer : public AutomationObject
{
public:
    QHash<QString, QVariant> values; ///< what each property reads as
    QString failOn;                  ///< the property whose access fails
    QString errorString;             ///< "ErrorString"; stays as it is after a success
    bool exceptions = false;

    void setProperty(const QString &name, const QVariant &value) override
    {
        if (name == failOn)
            fail();
        else if (name == QLatin1String("EnableExceptions"))
            exceptions = value.toBool();
    }
    QVariant property(const QString &name) override
    {
        if (name == QLatin1String("ErrorString"))
            return errorString;
        if (name == failOn)
            fail();
        return name == failOn ? QVariant() : values.value(name);
    }

private:
    void fail()
    {
        errorString = QStringLiteral("Access denied");
        if (exceptions)
            throw AutomationError(errorString);
    }
};

/// An UpdateBox dialog over its own model, network, server and editor.
struct Rig
{
    TicketModel model;
    ProcessNetwork network;
    FakeServer server;
    FakeEditorSurface editor{model};
    ScriptedPrompts prompts;
    UpdateBoxDialog dialog{model, server, network, editor, prompts};

    Rig()
    {
        network.addVariable(network.addNode("Scale1", "NET1.ST07", "3 weighing"), "NetWeight", 120, 0, 4, 0);
        dialog.findChild<VariableTree *>(QStringLiteral("Vatrix1"))->reload();
    }

    /// Opens the dialog on a field inserted into the slot, with the record given when a name is.
    const UpdateBox &open(int slot, const QString &name = {}, int chars = 0, int digits = 0, bool defined = true)
    {
        model.loadSlot(slot);
        if (!name.isEmpty()) {
            model.editRecord(slot, [&](UpdateBox &r) {
                r.DataIn = defined;
                r.VarName = name;
                r.Chars = qint16(chars);
                r.Digits = qint16(digits);
            });
        }
        model.CurrentBox = qint16(slot);
        dialog.openForSlot(slot);
        return model.UpdateBoxes[slot];
    }

    QLineEdit *box(const QString &name) const { return dialog.findChild<QLineEdit *>(name); }

    void choose(const QString &fullName)
    {
        QTest::mouseClick(dialog.findChild<QPushButton *>("SSCommand1"), Qt::LeftButton);
        auto *tree = dialog.findChild<VariableTree *>(QStringLiteral("Vatrix1"));
        tree->setCurrentItem(tree->itemForName(fullName));
        QTest::keyClick(tree, Qt::Key_Return);
    }
};

// Rows of the wider tables, one case each. KeysCase: defined slots start with Chars 12,
// Digits 3; focus "tab", "click", or none (caret at the end). ShapeCase: left is the box
// that loses the focus, or "close"; shapes what the editor was asked. BindCase: what the
// server reads, and the record afterwards (NodeAdr, SWNo, Offset, Typ, BitNo, Code; old values 99).
struct KeysCase { QString box; bool defined; QString focus, keys, text; QList<int> charsDigits; bool hidden; };
struct ShapeCase { int chars, digits; QString left; QStringList shapes; int digitsAfter; };
struct BindCase { QVariant node, offset, caps; QString failOn; QList<int> fields; QString message; };
struct CodeKeyCase { QString box, before; int caret; Qt::Key key; QString after; };
struct PreviewCase { QStringList lines; QString var; int linie, chars, digits; QString startCode, shown; int marked; };

/// Types keys into a box: '\b' is Backspace, '\r' Enter, '\x16' Ctrl+V.
void typeKeys(QWidget *w, const QString &keys)
{
    for (QChar c : keys) {
        if (c == u'\b' || c == u'\r')
            QTest::keyClick(w, c == u'\b' ? Qt::Key_Backspace : Qt::Key_Return);
        else if (c == u'\x16')
            QTest::keyClick(w, Qt::Key_V, Qt::ControlModifier);
        else
            QTest::keyClicks(w, QString(c));
    }
}

/// The box loses the focus to another window.
void leave(QWidget *box)
{
    QFocusEvent out(QEvent::FocusOut, Qt::MouseFocusReason);
    QCoreApplication::sendEvent(box, &out);
}

} // namespace

class TestDialogs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { installFontSubstitutions(); }

    void updateBoxOpening_data()
    {
        QTest::addColumn<bool>("defined");
        QTest::addColumn<QStringList>("texts"); // the record's VarName afterwards is what Text1 shows
        QTest::newRow("undefined") << false << QStringList{VariablePlaceholder, NumberPlaceholder, NumberPlaceholder};
        QTest::newRow("defined") << true << QStringList{"Old.Name", "12", "3"};
    }

    void updateBoxOpening()
    {
        QFETCH(bool, defined);
        QFETCH(QStringList, texts);
        Rig rig;
        rig.open(2, QStringLiteral("Scale1.Tare"), 5, 1); // Text1 shows another name before
        // New leaves the record of an undefined slot as it was; the placeholders must not clear it.
        const UpdateBox &b = rig.open(3, QStringLiteral("Old.Name"), 12, 3, defined);
        QCOMPARE((QStringList{rig.box("Text1")->text(), rig.box("Text2")->text(), rig.box("Text3")->text()}), texts);
        QCOMPARE(rig.dialog.windowTitle(), QStringLiteral("UpdateBox 3"));
        QCOMPARE((QList<int>{b.DataIn, b.Chars, b.Digits}), (QList<int>{defined, 12, 3}));
        QCOMPARE(b.VarName, texts.first());
        QCOMPARE(rig.model.UpdateBoxes[2].VarName, QStringLiteral("Scale1.Tare"));
    }

    // The number boxes' key rules, shown on the UpdateBox window's boxes. Any key typed
    // marks the field in use. Only digits reach the number boxes, and only while the
    // number fits 16 bits; taking the focus, by Tab or a click, selects the whole text
    // so that typing replaces it. Enter hides the dialog.
    void updateBoxKeys_data()
    {
        QTest::addColumn<KeysCase>("c");
        auto row = [](const char *name, KeysCase c) { QTest::newRow(name) << c; };
        row("digit behind placeholder", {"Text2", false, "", "5", " Not selected5", {0, 0}, false});
        row("letters, blank, minus, backspace", {"Text3", true, "", "a -\b", "3", {12, 3}, false});
        row("paste", {"Text3", true, "", "\x16", "3", {12, 3}, false});
        row("tab, 32767 fits", {"Text2", true, "tab", "32767", "32767", {32767, 3}, false});
        row("tab, 32768 refused", {"Text2", true, "tab", "32768", "3276", {3276, 3}, false});
        row("click over placeholder", {"Text3", false, "click", "8", "8", {0, 8}, false});
        row("enter in Text3", {"Text3", true, "tab", "1\r", "1", {12, 1}, true});
        row("letter and enter in Text1", {"Text1", false, "", "x\r", VariablePlaceholder + "x", {0, 0}, true});
    }

    void updateBoxKeys()
    {
        QFETCH(KeysCase, c);
        QGuiApplication::clipboard()->setText(QStringLiteral("77"));
        Rig rig;
        const UpdateBox &b = rig.open(4, c.defined ? QStringLiteral("Scale1.Tare") : QString(), 12, 3);
        QLineEdit *w = rig.box(c.box);
        rig.box("Text1")->setFocus();
        if (c.focus == u"tab")
            w->setFocus(Qt::TabFocusReason);
        else if (c.focus == u"click")
            QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(w->width() / 2, w->height() / 2));
        else
            w->end(false);
        if (!c.focus.isEmpty())
            QTRY_COMPARE(w->selectedText(), w->text());
        typeKeys(w, c.keys);
        QCOMPARE(w->text(), c.text);
        QCOMPARE((QList<int>{b.Chars, b.Digits}), c.charsDigits);
        QVERIFY(b.DataIn);
        QCOMPARE(rig.dialog.isHidden(), c.hidden);
    }

    // What the editor is asked when a box of a 3.3, 3.2 or 2.5 field is left: slot, width
    // (-1: the caption alone), caption; Digits above Chars is reset.
    void updateBoxShape_data()
    {
        QTest::addColumn<ShapeCase>("c");
        auto row = [](const char *name, ShapeCase c) { QTest::newRow(name) << c; };
        row("3/3 leaving digits", {3, 3, "Text3", {"5 -1 .XXX"}, 3});
        row("3/3 leaving characters", {3, 3, "Text2", {"5 400 XXX"}, 3});
        row("3/3 closing", {3, 3, "close", {"5 400 XXX"}, 3});
        row("3 with 2 decimals", {3, 2, "Text3", {"5 -1 .XX"}, 2});
        row("2 with 5 on characters", {2, 5, "Text2", {"5 280 XXXXX"}, 5});
        row("2 with 5 on digits resets", {2, 5, "Text3", {}, 0});
    }

    void updateBoxShape()
    {
        QFETCH(ShapeCase, c);
        Rig rig;
        rig.open(5, QStringLiteral("Scale1.Tare"), c.chars, c.digits);
        if (c.left == u"close")
            rig.dialog.close();
        else
            leave(rig.box(c.left));
        QCOMPARE(rig.editor.shapes, c.shapes);
        QCOMPARE(rig.model.UpdateBoxes[5].Digits, qint16(c.digitsAfter));
        QCOMPARE(rig.box("Text3")->text(), QString::number(c.digits)); // even when Digits was reset
    }

    // Binding overwrites the name and the addresses and leaves the field's width; a
    // failure keeps what was read before it and leaves the tree open.
    void updateBoxBinding_data()
    {
        QTest::addColumn<BindCase>("c");
        auto row = [](const char *name, BindCase c) { QTest::newRow(name) << c; };
        const QVariant net07 = QStringLiteral("NET1.ST07");
        row("address ending 0 7", {net07, -2, "3 weighing", "", {7, 120, -2, 4, 5, 3}, ""});
        row("address ending 1 2", {"7X12", 2, "abc", "", {12, 120, 2, 4, 5, 0}, ""});
        row("offset 70000", {net07, 70000, "1", "", {7, 120, 99, 99, 99, 99},
                             "Error Message: Offset 70000 does not fit the field (-32768 to 32767)"});
        row("server fails a read", {net07, 6, "1", "SubDataType", {7, 120, 6, 99, 99, 99}, "Error Message: Access denied"});
    }

    void updateBoxBinding()
    {
        QFETCH(BindCase, c);
        Rig rig;
        const UpdateBox &b = rig.open(7);
        rig.model.editRecord(7, [](UpdateBox &r) {
            r.NodeAdr = r.SWNo = r.Offset = r.Typ = r.BitNo = r.Code = 99;
            r.Chars = 8;
            r.Digits = 2;
        });
        rig.server.values = {{"NodeAddress", c.node}, {"InternalAddress", 120}, {"Offset", c.offset},
                             {"SubDataType", 4},      {"BitNo", 5},             {"Nodecapabilities", c.caps}};
        rig.server.failOn = c.failOn;
        rig.server.errorString = QStringLiteral("stale"); // must not stand in for a conversion failure
        rig.choose(QStringLiteral("Scale1.NetWeight"));

        QVERIFY(b.DataIn);
        QCOMPARE(b.VarName, QStringLiteral("Scale1.NetWeight"));
        QCOMPARE((QList<int>{b.NodeAdr, b.SWNo, b.Offset, b.Typ, b.BitNo, b.Code}), c.fields);
        QCOMPARE((QList<int>{b.Chars, b.Digits}), (QList<int>{8, 2}));
        QCOMPARE(rig.prompts.messages.size(), c.message.isEmpty() ? 0 : 1);
        if (!c.message.isEmpty()) {
            QCOMPARE(rig.prompts.messages[0].text, c.message);
            QCOMPARE(rig.prompts.messages[0].title, ProgramTitle);
        }
        QCOMPARE(rig.dialog.isCollapsed(), c.message.isEmpty());
    }

    // A press in delete mode frees the slot but leaves the window open; what is typed
    // or chosen afterwards has nowhere to go.
    void updateBoxFieldDeletedWhileOpen()
    {
        Rig rig;
        rig.open(2, QStringLiteral("Scale1.Tare"), 4, 1);
        rig.model.freeSlot(2);
        rig.model.setRecord(2, UpdateBox{});
        rig.box("Text2")->selectAll();
        typeKeys(rig.box("Text2"), "9");
        typeKeys(rig.box("Text1"), "x");
        leave(rig.box("Text2"));
        rig.choose(QStringLiteral("Scale1.NetWeight"));
        rig.dialog.close();
        QVERIFY(rig.model.UpdateBoxes[2] == UpdateBox{});
        QVERIFY(rig.editor.shapes.isEmpty());
    }

    // A control key types its code at the end of the printer code, whatever the caret.
    void printerCodeKeys_data()
    {
        QTest::addColumn<CodeKeyCase>("c");
        auto row = [](const char *name, CodeKeyCase c) { QTest::newRow(name) << c; };
        row("escape in start code", {"Text1", "", 0, Qt::Key_Escape, "[27]"});
        row("enter in stop code", {"Text2", "AB", 2, Qt::Key_Return, "AB[13]"});
        row("backspace deletes, appends nothing", {"Text1", "AB", 2, Qt::Key_Backspace, "A"});
        row("a blank stays itself", {"Text1", "AB", 2, Qt::Key_Space, "AB "});
        row("caret mid-text, code at the end", {"Text1", "ABCD", 1, Qt::Key_Escape, "ABCD[27]"});
    }

    void printerCodeKeys()
    {
        QFETCH(CodeKeyCase, c);
        TicketModel model;
        PrinterSettingsDialog dialog(model);
        const bool start = c.box == u"Text1";
        start ? model.setStartCode(c.before) : model.setStopCode(c.before);
        dialog.openAt(2000, 2500);
        auto *edit = dialog.findChild<QLineEdit *>(c.box);
        edit->setCursorPosition(c.caret);
        QTest::keyClick(edit, c.key);
        QCOMPARE(edit->text(), c.after);
        QCOMPARE(start ? model.StartCode : model.StopCode, c.after);
    }

    // The editor starts at New's width, 40 characters. The box is a number box without
    // the 16-bit limit; Enter, like leaving the box, asks the editor for the width, and
    // also hides the window.
    void ticketSize_data()
    {
        QTest::addColumn<QString>("typed"); // null: the shown number left as it is
        QTest::addColumn<double>("request");
        QTest::addColumn<int>("charsPerLine");
        QTest::newRow("shown number unchanged") << QString() << 5170.0 << 40;
        QTest::newRow("empty box is one cell") << "" << 370.0 << 0;
        QTest::newRow("20, letters, blank, minus, backspace dropped") << "2x -\b0" << 2770.0 << 20;
        QTest::newRow("enter") << "20\r" << 2770.0 << 20;
        QTest::newRow("100 ends at the widest") << "100" << 12370.0 << 76;
        QTest::newRow("99999999999 the widest") << "99999999999" << 32767.0 * 120 + 250 << 76;
    }

    void ticketSize()
    {
        QFETCH(QString, typed);
        QFETCH(double, request);
        QFETCH(int, charsPerLine);
        TicketModel model;
        FakeEditorSurface editor(model);
        editor.requestEditorWidth(5260);
        editor.widthRequests.clear();
        TicketSizeDialog dialog(model, editor);
        dialog.openAt(2000, 4000);
        auto *charsBox = dialog.findChild<QLineEdit *>("Text1");
        if (!typed.isNull()) {
            // Opening selects the shown number, so that typing replaces it.
            QCOMPARE(charsBox->selectedText(), QString::number(40));
            QTest::keyClick(charsBox, Qt::Key_Delete);
        }
        typeKeys(charsBox, typed);
        QCOMPARE(dialog.isHidden(), typed.endsWith(u'\r'));
        if (!dialog.isHidden())
            leave(charsBox);
        QCOMPARE(editor.widthRequests, QList<double>{request});
        QCOMPARE(model.CharsPerLine, qint16(charsPerLine));
    }

    // The preview renders the editor's box lines with the network's values: the same text
    // as `tklcli preview`, codes decoded, an empty code the CR a download sends, a
    // control character (a tab, an LF in a line) as [n].
    void previewText_data()
    {
        QTest::addColumn<PreviewCase>("c");
        auto row = [](const char *name, PreviewCase c) { QTest::newRow(name) << c; };
        const QStringList ticket{"WEIGHT TICKET", "Net:          kg"};
        row("fits", {ticket, "Scale1.Net", 1, 8, 1, "[27]E", "<start: ESC E>\nWEIGHT TICKET\nNet:  1234.6  kg\n<stop: CR>", 0});
        row("one cell short", {ticket, "Scale1.Net", 1, 5, 1, "", "<start: CR>\nWEIGHT TICKET\nNet:*****     kg\n<stop: CR>", 1});
        // Linie counts box lines: a wrapped line moves the field's line with it.
        row("below a wrapped line", {{"a long line that", "wraps", "Net:"}, "Scale1.Net", 2, 5, 0, "",
                                     "<start: CR>\na long line that\nwraps\nNet: 1235\n<stop: CR>", 0});
        row("tab and line feed in a line", {{"A\tB\nC:"}, "Nowhere.Nothing", 0, 2, 0, "", "<start: CR>\nA[9]B[10]??\n<stop: CR>", 1});
    }

    void previewText()
    {
        QFETCH(PreviewCase, c);
        ProcessNetwork network;
        network.addVariable(network.addNode("Scale1", "NODE03", "3"), "Net", 1, 12, 4, 0, SimulatedValue{.from = 1234.56});
        TicketModel model;
        FakeEditorSurface editor(model);
        editor.lines = c.lines;
        // Bound as the tree binds: the device, and so the preview, finds the value by the address.
        const bool bound = c.var == u"Scale1.Net";
        model.setRecord(1, UpdateBox{c.var, quint8(bound ? 3 : 0), qint16(bound ? 1 : 0), qint16(bound ? 12 : 0),
                                     qint16(bound ? 4 : 0), 0, 0, 0, qint16(c.chars), qint16(c.digits), true,
                                     qint16(c.linie), 5});
        model.loadSlot(1);
        model.setStartCode(c.startCode);
        PreviewWindow window(model, editor, network);
        window.refresh();
        QCOMPARE(window.shownText(), c.shown);
        QCOMPARE(window.markedFields(), c.marked);
        // The field's mark covers its cells, wherever control characters moved them.
        const auto marks = window.findChild<QPlainTextEdit *>(QStringLiteral("PreviewText"))->extraSelections();
        QCOMPARE(marks.size(), 1);
        const QString markedText = marks.first().cursor.selectedText();
        QCOMPARE(markedText.size(), c.chars);
        QVERIFY(!markedText.contains(u'['));
    }

    // What is wrong with the layout is listed below the ticket: each problem once, and a
    // field that reaches over the editor's scroll bar too.
    void previewFindings()
    {
        std::unique_ptr<ProcessNetwork> network = ProcessNetwork::builtIn();
        TicketModel model;
        model.setEditorWidth(5170); // 40 characters a line
        FakeEditorSurface editor(model);
        editor.lines = QStringList{"Net:", "Tare:"};
        const auto bound = [&](int slot, const QString &var, int linie, int pos, int chars) {
            model.setRecord(slot, UpdateBox{var, 3, 120, 0, 4, 0, 17, 0, qint16(chars), 0, true, qint16(linie), qint16(pos)});
            model.loadSlot(slot);
        };
        bound(1, QStringLiteral("Nowhere.Nothing"), 0, 6, 3);
        bound(2, QStringLiteral("Scale1.NetWeight"), 1, 38, 5);
        bound(3, QStringLiteral("Scale1.NetWeight"), 1, 30, 0);
        bound(4, QStringLiteral("Scale1.NetWeight"), 0, 1, -1);
        editor.overBar = {2, 3};
        PreviewWindow window(model, editor, *network);
        window.refresh();
        QCOMPARE(window.shownFindings(),
                 (QStringList{
                     "Warning: UpdateBox 1 is bound to \"Nowhere.Nothing\", which the network does not know; its "
                     "address is that of \"Scale1.NetWeight\", whose value the device prints",
                     "Warning: UpdateBox 2 ends in column 42, past the right edge of the ticket (40 characters per line)",
                     "Error: UpdateBox 4: Chars is -1; port Printer1 takes 0 to 255",
                     "Error: UpdateBox 4: Chars is -1; port Printer2 takes 0 to 255",
                     "Warning: UpdateBox 3 reaches over the editor's scroll bar",
                 }));
        QVERIFY(window.findChild<QLabel *>(QStringLiteral("PreviewStatus"))->text().endsWith(QStringLiteral("5 problems:")));
        QVERIFY(window.findChild<QWidget *>(QStringLiteral("PreviewFindings"))->isVisibleTo(&window));

        // A finding chosen in the list leads to its field, each time it is chosen.
        QSignalSpy chosen(&window, &PreviewWindow::fieldChosen);
        auto *list = window.findChild<QListWidget *>(QStringLiteral("PreviewFindings"));
        window.show();
        for (int row : {2, 4, 4})
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
        QCOMPARE(chosen.size(), 3);
        QCOMPARE((QList<int>{chosen.at(0).first().toInt(), chosen.at(1).first().toInt(), chosen.at(2).first().toInt()}),
                 (QList<int>{4, 3, 3}));
    }
};

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
