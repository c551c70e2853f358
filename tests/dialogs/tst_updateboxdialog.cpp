#include "FakeEditorSurface.h"
#include "FakeServer.h"
#include "support/ScriptedPrompts.h"

#include "device-widgets/VariableTree.h"
#include "device/ProcessNetwork.h"
#include "dialogs/UpdateBoxDialog.h"
#include "model/ProgramTitle.h"
#include "model/TicketModel.h"
#include "ui/WindowLook.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace tkl;
using tkl::test::FakeEditorSurface;
using tkl::test::FakeServer;
using tkl::test::ScriptedPrompts;

namespace {

const QString VariablePlaceholder = QStringLiteral(" Press tree to select variable");
const QString NumberPlaceholder = QStringLiteral(" Not selected");

/// A dialog over its own model, network, server and editor.
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

    /// Opens the dialog on a field inserted into the slot, defined when a name is given.
    const UpdateBox &open(int slot, const QString &name = {}, int chars = 0, int digits = 0)
    {
        model.loadSlot(slot);
        const UpdateBox &b = model.UpdateBoxes[slot];
        if (!name.isEmpty()) {
            model.editRecord(slot, [&](UpdateBox &r) {
                r.DataIn = true;
                r.VarName = name;
                r.Chars = qint16(chars);
                r.Digits = qint16(digits);
            });
        }
        model.CurrentBox = qint16(slot);
        dialog.openForSlot(slot);
        return b;
    }

    QLineEdit *box(const QString &name) const { return dialog.findChild<QLineEdit *>(name); }

    void choose(const QString &fullName)
    {
        QTest::mouseClick(dialog.findChild<QPushButton *>("SSCommand1"), Qt::LeftButton);
        auto *tree = dialog.findChild<VariableTree *>(QStringLiteral("Vatrix1"));
        tree->setCurrentItem(tree->itemForName(fullName));
        QTest::keyClick(tree, Qt::Key_Return);
    }

    void leave(const QString &name)
    {
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QCoreApplication::sendEvent(box(name), &out);
    }
};

/// Types keys into a box: '\b' is Backspace, '\r' Enter, '\x16' Ctrl+V.
void typeKeys(QLineEdit *w, const QString &keys)
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

} // namespace

class TestUpdateBoxDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { installFontSubstitutions(); }

    void opening_data()
    {
        QTest::addColumn<bool>("defined");
        QTest::addColumn<QString>("varName"); // VarName afterwards
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("undefined") << false << VariablePlaceholder
                                   << QStringList{VariablePlaceholder, NumberPlaceholder, NumberPlaceholder};
        QTest::newRow("defined") << true << QStringLiteral("Old.Name") << QStringList{"Old.Name", "12", "3"};
    }

    void opening()
    {
        QFETCH(bool, defined);
        QFETCH(QString, varName);
        QFETCH(QStringList, texts);
        Rig rig;
        rig.open(2, QStringLiteral("Scale1.Tare"), 5, 1); // Text1 shows another name before
        const UpdateBox &b = rig.model.UpdateBoxes[3];
        // New leaves the width of an undefined slot as it was; the placeholders must not clear it.
        rig.model.editRecord(3, [](UpdateBox &r) {
            r.VarName = QStringLiteral("Old.Name");
            r.Chars = 12;
            r.Digits = 3;
        });
        rig.open(3, defined ? b.VarName : QString(), 12, 3);

        QCOMPARE((QStringList{rig.box("Text1")->text(), rig.box("Text2")->text(), rig.box("Text3")->text()}), texts);
        QCOMPARE(rig.dialog.windowTitle(), QStringLiteral("UpdateBox 3"));
        QCOMPARE((QList<int>{b.DataIn, b.Chars, b.Digits}), (QList<int>{defined, 12, 3}));
        QCOMPARE(b.VarName, varName);
        QCOMPARE(rig.model.UpdateBoxes[2].VarName, QStringLiteral("Scale1.Tare"));
    }

    // Any key typed marks the field in use. Only digits reach the number boxes, and only
    // while the number fits 16 bits; taking the focus, by Tab or a click, selects the
    // whole text so that typing replaces it. Enter hides the dialog.
    void boxKeys_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<bool>("defined"); // defined slots start with Chars 12, Digits 3
        QTest::addColumn<QString>("focus"); // "tab", "click", or none: caret at the end
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<int>>("charsDigits");
        QTest::addColumn<bool>("hidden");
        QTest::newRow("digit behind placeholder") << "Text2" << false << "" << "5" << " Not selected5"
                                                  << QList<int>{0, 0} << false;
        QTest::newRow("letters, blank, minus, backspace")
            << "Text3" << true << "" << "a -\b" << "3" << QList<int>{12, 3} << false;
        QTest::newRow("paste") << "Text3" << true << "" << "\x16" << "3" << QList<int>{12, 3} << false;
        QTest::newRow("tab, 32767 fits") << "Text2" << true << "tab" << "32767" << "32767" << QList<int>{32767, 3}
                                         << false;
        QTest::newRow("tab, 32768 refused") << "Text2" << true << "tab" << "32768" << "3276"
                                            << QList<int>{3276, 3} << false;
        QTest::newRow("click over placeholder") << "Text3" << false << "click" << "8" << "8" << QList<int>{0, 8}
                                                << false;
        QTest::newRow("enter in Text3") << "Text3" << true << "tab" << "1\r" << "1" << QList<int>{12, 1} << true;
        QTest::newRow("letter and enter in Text1") << "Text1" << false << "" << "x\r" << VariablePlaceholder + "x"
                                                   << QList<int>{0, 0} << true;
    }

    void boxKeys()
    {
        QFETCH(QString, box);
        QFETCH(bool, defined);
        QFETCH(QString, focus);
        QFETCH(QString, keys);
        QFETCH(QString, text);
        QFETCH(QList<int>, charsDigits);
        QFETCH(bool, hidden);
        QGuiApplication::clipboard()->setText(QStringLiteral("77"));
        Rig rig;
        const UpdateBox &b = rig.open(4, defined ? QStringLiteral("Scale1.Tare") : QString(), 12, 3);
        QLineEdit *w = rig.box(box);
        rig.box("Text1")->setFocus();
        if (focus == u"tab")
            w->setFocus(Qt::TabFocusReason);
        else if (focus == u"click")
            QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(w->width() / 2, w->height() / 2));
        else
            w->end(false);
        if (!focus.isEmpty())
            QTRY_COMPARE(w->selectedText(), w->text());
        typeKeys(w, keys);
        QCOMPARE(w->text(), text);
        QCOMPARE((QList<int>{b.Chars, b.Digits}), charsDigits);
        QVERIFY(b.DataIn);
        QCOMPARE(rig.dialog.isHidden(), hidden);
    }

    void shape_data()
    {
        QTest::addColumn<int>("chars");
        QTest::addColumn<int>("digits");
        QTest::addColumn<QString>("left"); // the box that loses the focus, or "close"
        QTest::addColumn<QStringList>("shapes"); // what the editor was asked: slot, width (-1: caption only), caption
        QTest::addColumn<int>("digitsAfter");
        QTest::newRow("3/3 leaving digits") << 3 << 3 << "Text3" << QStringList{"5 -1 .XXX"} << 3;
        QTest::newRow("3/3 leaving characters") << 3 << 3 << "Text2" << QStringList{"5 400 XXX"} << 3;
        QTest::newRow("3/3 closing") << 3 << 3 << "close" << QStringList{"5 400 XXX"} << 3;
        QTest::newRow("3 with 2 decimals") << 3 << 2 << "Text3" << QStringList{"5 -1 .XX"} << 2;
        QTest::newRow("2 with 5 on characters") << 2 << 5 << "Text2" << QStringList{"5 280 XXXXX"} << 5;
        QTest::newRow("2 with 5 on digits resets") << 2 << 5 << "Text3" << QStringList() << 0;
    }

    void shape()
    {
        QFETCH(int, chars);
        QFETCH(int, digits);
        QFETCH(QString, left);
        QFETCH(QStringList, shapes);
        QFETCH(int, digitsAfter);
        Rig rig;
        rig.open(5, QStringLiteral("Scale1.Tare"), chars, digits);
        if (left == u"close")
            rig.dialog.close();
        else
            rig.leave(left);
        QCOMPARE(rig.editor.shapes, shapes);
        QCOMPARE(rig.model.UpdateBoxes[5].Digits, qint16(digitsAfter));
        QCOMPARE(rig.box("Text3")->text(), QString::number(digits)); // even when Digits was reset
    }

    // Binding overwrites the name and the addresses and leaves the field's width; a
    // failure keeps what was read before it and leaves the tree open.
    void binding_data()
    {
        QTest::addColumn<QVariant>("node");
        QTest::addColumn<QVariant>("offset");
        QTest::addColumn<QVariant>("caps");
        QTest::addColumn<QString>("failOn");
        // The record afterwards: NodeAdr, SWNo, Offset, Typ, BitNo, Code; old values are 99.
        QTest::addColumn<QList<int>>("fields");
        QTest::addColumn<QString>("message");
        const QVariant net07 = QStringLiteral("NET1.ST07");
        QTest::newRow("address ending 0 7") << net07 << QVariant(-2) << QVariant("3 weighing") << ""
                                            << QList<int>{7, 120, -2, 4, 5, 3} << "";
        QTest::newRow("address ending 1 2") << QVariant("7X12") << QVariant(2) << QVariant("abc") << ""
                                            << QList<int>{12, 120, 2, 4, 5, 0} << "";
        QTest::newRow("offset 70000") << net07 << QVariant(70000) << QVariant("1") << "" << QList<int>{7, 120, 99, 99, 99, 99}
                                      << "Error Message: Offset 70000 does not fit the field (-32768 to 32767)";
        QTest::newRow("server fails a read") << net07 << QVariant(6) << QVariant("1") << "SubDataType"
                                             << QList<int>{7, 120, 6, 99, 99, 99} << "Error Message: Access denied";
    }

    void binding()
    {
        QFETCH(QVariant, node);
        QFETCH(QVariant, offset);
        QFETCH(QVariant, caps);
        QFETCH(QString, failOn);
        QFETCH(QList<int>, fields);
        QFETCH(QString, message);
        Rig rig;
        const UpdateBox &b = rig.open(7);
        rig.model.editRecord(7, [](UpdateBox &r) {
            r.NodeAdr = r.SWNo = r.Offset = r.Typ = r.BitNo = r.Code = 99;
            r.Chars = 8;
            r.Digits = 2;
        });
        rig.server.values = {{"NodeAddress", node}, {"InternalAddress", 120}, {"Offset", offset},
                             {"SubDataType", 4},    {"BitNo", 5},             {"Nodecapabilities", caps}};
        rig.server.failOn = failOn;
        rig.server.errorString = QStringLiteral("stale"); // must not stand in for a conversion failure
        rig.choose(QStringLiteral("Scale1.NetWeight"));

        QVERIFY(b.DataIn);
        QCOMPARE(b.VarName, QStringLiteral("Scale1.NetWeight"));
        QCOMPARE((QList<int>{b.NodeAdr, b.SWNo, b.Offset, b.Typ, b.BitNo, b.Code}), fields);
        QCOMPARE((QList<int>{b.Chars, b.Digits}), (QList<int>{8, 2}));
        QCOMPARE(rig.prompts.messages.size(), message.isEmpty() ? 0 : 1);
        if (!message.isEmpty()) {
            QCOMPARE(rig.prompts.messages[0].text, message);
            QCOMPARE(rig.prompts.messages[0].title, ProgramTitle);
        }
        QCOMPARE(rig.dialog.isCollapsed(), message.isEmpty());
    }

    void fieldDeletedWhileOpen()
    {
        // A press in delete mode frees the slot but leaves the window open.
        Rig rig;
        rig.open(2, QStringLiteral("Scale1.Tare"), 4, 1);
        rig.model.freeSlot(2);
        rig.model.setRecord(2, UpdateBox{});
        rig.box("Text2")->selectAll();
        typeKeys(rig.box("Text2"), "9");
        typeKeys(rig.box("Text1"), "x");
        rig.leave("Text2");
        rig.choose(QStringLiteral("Scale1.NetWeight"));
        rig.dialog.close();
        QVERIFY(rig.model.UpdateBoxes[2] == UpdateBox{});
        QVERIFY(rig.editor.shapes.isEmpty());
    }
};

QTEST_MAIN(TestUpdateBoxDialog)
#include "tst_updateboxdialog.moc"
