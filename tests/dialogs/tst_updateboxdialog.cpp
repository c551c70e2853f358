#include "FakeEditorSurface.h"
#include "FakeServer.h"
#include "support/ScriptedPrompts.h"

#include "device/ProcessNetwork.h"
#include "device/SimulatedServer.h"
#include "device/VariableTree.h"
#include "dialogs/UpdateBoxDialog.h"
#include "model/CharGrid.h"
#include "model/EditorFont.h"
#include "model/Numbers.h"
#include "model/TicketModel.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTest>

#include <memory>

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
    std::unique_ptr<UpdateBoxDialog> dialog;

    Rig()
    {
        const int scale = network.addNode(QStringLiteral("Scale1"), QStringLiteral("NET1.ST07"), QStringLiteral("3 weighing"));
        network.addVariable(scale, QStringLiteral("NetWeight"), 120, 0, 4, 0);
        network.addVariable(scale, QStringLiteral("Tare"), 122, 2, 4, 0);
        const int oven = network.addNode(QStringLiteral("Oven"), QStringLiteral("X12"), QStringLiteral("9"));
        network.addVariable(oven, QStringLiteral("Temp"), 7, 0, 2, 3);
        dialog = std::make_unique<UpdateBoxDialog>(model, server, network, editor, prompts);
        setAttributes(QStringLiteral("NET1.ST07"), 120, 0, 4, 0, QStringLiteral("3 weighing"));
    }

    void setAttributes(const QVariant &node, const QVariant &internal, const QVariant &offset, const QVariant &type,
                       const QVariant &bit, const QVariant &caps)
    {
        server.values = {{QStringLiteral("NodeAddress"), node},      {QStringLiteral("InternalAddress"), internal},
                         {QStringLiteral("Offset"), offset},         {QStringLiteral("SubDataType"), type},
                         {QStringLiteral("BitNo"), bit},             {QStringLiteral("Nodecapabilities"), caps}};
    }

    /// The field as the editor would have it after Insert UpdateBox.
    void load(int slot) { model.BoxLoaded[slot] = 1; }

    void open(int slot)
    {
        model.CurrentBox = qint16(slot);
        dialog->openForSlot(slot);
    }

    void define(int slot, const QString &name, int chars, int digits)
    {
        UpdateBox &b = model.UpdateBoxes[slot];
        b.DataIn = true;
        b.VarName = name;
        b.Chars = qint16(chars);
        b.Digits = qint16(digits);
    }

    QLineEdit *box(const QString &name) const { return dialog->findChild<QLineEdit *>(name); }
    VariableTree *tree() const { return dialog->findChild<VariableTree *>(QStringLiteral("Vatrix1")); }

    void choose(const QString &fullName)
    {
        VariableTree *t = tree();
        QTreeWidgetItem *item = t->itemForName(fullName);
        QVERIFY(item);
        t->setCurrentItem(item);
        QTest::keyClick(t, Qt::Key_Return);
    }

    void leave(QLineEdit *b)
    {
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QCoreApplication::sendEvent(b, &out);
    }
};

/// Keys typed into a box: printable text, or one of the named keys.
void typeKeys(QWidget *w, const QStringList &keys)
{
    for (const QString &k : keys) {
        if (k == QLatin1String("<bs>"))
            QTest::keyClick(w, Qt::Key_Backspace);
        else if (k == QLatin1String("<del>"))
            QTest::keyClick(w, Qt::Key_Delete);
        else if (k == QLatin1String("<home>"))
            QTest::keyClick(w, Qt::Key_Home);
        else if (k == QLatin1String("<end>"))
            QTest::keyClick(w, Qt::Key_End);
        else if (k == QLatin1String("<right>"))
            QTest::keyClick(w, Qt::Key_Right);
        else if (k == QLatin1String("<all>"))
            static_cast<QLineEdit *>(w)->selectAll();
        else if (k == QLatin1String("<paste>"))
            QTest::keyClick(w, Qt::Key_V, Qt::ControlModifier);
        else if (k == QLatin1String("<shiftins>"))
            QTest::keyClick(w, Qt::Key_Insert, Qt::ShiftModifier);
        else
            QTest::keyClicks(w, k);
    }
}

} // namespace

class TestUpdateBoxDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void opening_data();
    void opening();
    void numberBoxKeys_data();
    void numberBoxKeys();
    void variableBoxKeys_data();
    void variableBoxKeys();
    void enterLeavesForEditor_data();
    void enterLeavesForEditor();
    void shape_data();
    void shape();
    void treeButtonExpands();
    void binding_data();
    void binding();
    void secondBindingKeepsWidth();
    void bindingWithNetworkServer_data();
    void bindingWithNetworkServer();
    void fieldDeletedWhileOpen();
    void keyStorm_data();
    void keyStorm();
};

void TestUpdateBoxDialog::initTestCase()
{
    installFontSubstitutions();
}

void TestUpdateBoxDialog::opening_data()
{
    QTest::addColumn<bool>("defined");
    QTest::addColumn<bool>("text1Elsewhere"); // Text1 shows another slot's name before opening
    QTest::addColumn<QString>("varName");     // VarName afterwards
    QTest::addColumn<QStringList>("texts");

    // The placeholder goes into VarName only through a real change of the box.
    QTest::newRow("undefined, box showed another name") << false << true << VariablePlaceholder
                                                        << QStringList{VariablePlaceholder, NumberPlaceholder, NumberPlaceholder};
    QTest::newRow("undefined, box already shows placeholder") << false << false << QStringLiteral("Old.Name")
                                                              << QStringList{VariablePlaceholder, NumberPlaceholder, NumberPlaceholder};
    QTest::newRow("defined") << true << true << QStringLiteral("Old.Name") << QStringList{"Old.Name", "12", "3"};
}

void TestUpdateBoxDialog::opening()
{
    QFETCH(bool, defined);
    QFETCH(bool, text1Elsewhere);
    QFETCH(QString, varName);
    QFETCH(QStringList, texts);

    Rig rig;
    rig.load(2);
    rig.load(3);
    if (text1Elsewhere) {
        rig.define(2, QStringLiteral("Scale1.Tare"), 5, 1);
        rig.open(2);
    }
    UpdateBox &b = rig.model.UpdateBoxes[3];
    b.VarName = QStringLiteral("Old.Name");
    // New leaves the width of an undefined slot as it was; the placeholders must not clear it.
    b.Chars = 6;
    b.Digits = 2;
    if (defined)
        rig.define(3, QStringLiteral("Old.Name"), 12, 3);
    rig.dialog->setCollapsed(false);
    rig.editor.editorTop = 1800;
    rig.editor.fieldTops[3] = 470;
    const int left = rig.dialog->pos().x();

    rig.open(3);

    QCOMPARE(rig.dialog->windowTitle(), QStringLiteral("UpdateBox 3"));
    QVERIFY(rig.dialog->isVisible());
    QCOMPARE(rig.dialog->heightTwips(), UpdateBoxDialog::CollapsedHeight);
    QCOMPARE(rig.dialog->pos(), QPoint(left, Twips::toPixels(1800 + 470, rig.dialog->logicalDpiY())));
    QCOMPARE(rig.box("Text1")->text(), texts[0]);
    QCOMPARE(rig.box("Text2")->text(), texts[1]);
    QCOMPARE(rig.box("Text3")->text(), texts[2]);
    QCOMPARE(b.VarName, varName);
    QCOMPARE(b.DataIn, defined);
    QCOMPARE(b.Chars, qint16(defined ? 12 : 6));
    QCOMPARE(b.Digits, qint16(defined ? 3 : 2));
    // The other slot keeps what it had.
    QCOMPARE(rig.model.UpdateBoxes[2].VarName, QString(text1Elsewhere ? "Scale1.Tare" : ""));
}

void TestUpdateBoxDialog::numberBoxKeys_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<bool>("defined");
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("chars");
    QTest::addColumn<int>("digits");
    QTest::addColumn<bool>("dataIn");

    // Defined slots start with Chars 12, Digits 3.
    QTest::newRow("digit behind placeholder") << "Text2" << false << QStringList{"<end>", "5"} << " Not selected5" << 0 << 0 << true;
    QTest::newRow("placeholder overtyped") << "Text2" << false << QStringList{"<all>", "42"} << "42" << 42 << 0 << true;
    QTest::newRow("letters keep slot undefined") << "Text2" << false << QStringList{"<end>", "ab -."} << " Not selected" << 0 << 0 << false;
    QTest::newRow("backspace ignored") << "Text2" << true << QStringList{"<end>", "<bs>", "<bs>"} << "12" << 12 << 3 << true;
    QTest::newRow("non-digits ignored") << "Text2" << true << QStringList{"<end>", "x-. +", "4"} << "124" << 124 << 3 << true;
    QTest::newRow("delete removes") << "Text2" << true << QStringList{"<home>", "<del>"} << "2" << 2 << 3 << true;
    QTest::newRow("digits box stores Digits") << "Text3" << true << QStringList{"<all>", "7"} << "7" << 12 << 7 << true;
    QTest::newRow("32767 fits") << "Text2" << true << QStringList{"<all>", "32767"} << "32767" << 32767 << 3 << true;
    QTest::newRow("32768 refused") << "Text2" << true << QStringList{"<all>", "32768"} << "3276" << 3276 << 3 << true;
    QTest::newRow("fifth nine refused") << "Text3" << true << QStringList{"<all>", "99999"} << "9999" << 12 << 9999
                                        << true;
    QTest::newRow("too large by deletion refused")
        << "Text2" << false << QStringList{"<home>", "9", "<right>", "9999", "<home>", "<right>", "<del>"}
        << "9 9999Not selected" << 9 << 0 << true;
    QTest::newRow("paste refused") << "Text2" << true << QStringList{"<end>", "<paste>"} << "12" << 12 << 3 << true;
    QTest::newRow("shift insert refused") << "Text3" << true << QStringList{"<end>", "<shiftins>"} << "3" << 12 << 3 << true;
}

void TestUpdateBoxDialog::numberBoxKeys()
{
    QFETCH(QString, box);
    QFETCH(bool, defined);
    QFETCH(QStringList, keys);
    QFETCH(QString, text);
    QFETCH(int, chars);
    QFETCH(int, digits);
    QFETCH(bool, dataIn);

    QGuiApplication::clipboard()->setText(QStringLiteral("77abc"));
    Rig rig;
    rig.load(4);
    if (defined)
        rig.define(4, QStringLiteral("Scale1.Tare"), 12, 3);
    rig.open(4);
    QLineEdit *edit = rig.box(box);
    typeKeys(edit, keys);

    QCOMPARE(edit->text(), text);
    const UpdateBox &b = rig.model.UpdateBoxes[4];
    QCOMPARE(b.Chars, qint16(chars));
    QCOMPARE(b.Digits, qint16(digits));
    QCOMPARE(b.DataIn, dataIn);
}

void TestUpdateBoxDialog::variableBoxKeys_data()
{
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<bool>("dataIn");
    QTest::addColumn<QString>("varName");

    QTest::newRow("letter defines the slot") << QStringList{"<end>", "x"} << true << VariablePlaceholder + "x";
    QTest::newRow("backspace defines the slot") << QStringList{"<end>", "<bs>"} << true << VariablePlaceholder.chopped(1);
    QTest::newRow("caret keys change nothing") << QStringList{"<home>", "<end>"} << false << QString("Old");
    QTest::newRow("delete edits without defining") << QStringList{"<home>", "<del>"} << false << VariablePlaceholder.mid(1);
}

void TestUpdateBoxDialog::variableBoxKeys()
{
    QFETCH(QStringList, keys);
    QFETCH(bool, dataIn);
    QFETCH(QString, varName);

    Rig rig;
    rig.load(6);
    rig.model.UpdateBoxes[6].VarName = QStringLiteral("Old");
    rig.open(6);
    typeKeys(rig.box("Text1"), keys);
    QCOMPARE(rig.model.UpdateBoxes[6].DataIn, dataIn);
    QCOMPARE(rig.model.UpdateBoxes[6].VarName, varName);
}

void TestUpdateBoxDialog::enterLeavesForEditor_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("dataIn");

    QTest::newRow("Text1") << "Text1" << VariablePlaceholder << true;
    QTest::newRow("Text2") << "Text2" << NumberPlaceholder << false;
    QTest::newRow("Text3") << "Text3" << NumberPlaceholder << false;
}

void TestUpdateBoxDialog::enterLeavesForEditor()
{
    QFETCH(QString, box);
    QFETCH(QString, text);
    QFETCH(bool, dataIn);

    Rig rig;
    rig.load(1);
    rig.open(1);
    QTest::keyClick(rig.box(box), Qt::Key_Return);
    QVERIFY(!rig.dialog->isVisible());
    QCOMPARE(rig.editor.focusTextCalls, 1);
    QCOMPARE(rig.box(box)->text(), text);
    QCOMPARE(rig.model.UpdateBoxes[1].DataIn, dataIn);
}

void TestUpdateBoxDialog::shape_data()
{
    QTest::addColumn<int>("chars");
    QTest::addColumn<int>("digits");
    QTest::addColumn<QString>("how"); // leave Text2, leave Text3, Enter in Text2/Text3, close box
    QTest::addColumn<int>("width");   // -1: caption only; 0: nothing asked of the editor
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("digitsAfter");

    QTest::newRow("3/3 leaving digits") << 3 << 3 << "leave3" << -1 << ".XXX" << 3;
    QTest::newRow("3/3 leaving characters") << 3 << 3 << "leave2" << 400 << "XXX" << 3;
    QTest::newRow("3/3 closing") << 3 << 3 << "close" << 400 << "XXX" << 3;
    QTest::newRow("3 with 2 decimals") << 3 << 2 << "leave3" << -1 << ".XX" << 2;
    QTest::newRow("6 with 2 decimals") << 6 << 2 << "enter3" << -1 << "XXX.XX" << 2;
    QTest::newRow("6 with 2 decimals, characters") << 6 << 2 << "enter2" << 760 << "XXX.XX" << 2;
    QTest::newRow("2 with 5 on characters") << 2 << 5 << "leave2" << 280 << "XXXXX" << 5;
    QTest::newRow("2 with 5 on digits resets") << 2 << 5 << "leave3" << 0 << "" << 0;
    QTest::newRow("no decimals on digits") << 6 << 0 << "leave3" << 0 << "" << 0;
    QTest::newRow("no width") << 0 << 0 << "leave2" << 0 << "" << 0;
    QTest::newRow("negative width from a file") << -4 << 0 << "close" << 0 << "" << 0;
}

void TestUpdateBoxDialog::shape()
{
    QFETCH(int, chars);
    QFETCH(int, digits);
    QFETCH(QString, how);
    QFETCH(int, width);
    QFETCH(QString, caption);
    QFETCH(int, digitsAfter);

    Rig rig;
    rig.load(5);
    rig.define(5, QStringLiteral("Scale1.Tare"), chars, digits);
    rig.open(5);
    if (how == "leave2")
        rig.leave(rig.box("Text2"));
    else if (how == "leave3")
        rig.leave(rig.box("Text3"));
    else if (how == "enter2")
        QTest::keyClick(rig.box("Text2"), Qt::Key_Return);
    else if (how == "enter3")
        QTest::keyClick(rig.box("Text3"), Qt::Key_Return);
    else
        rig.dialog->close();

    if (width == 0) {
        QVERIFY(rig.editor.shapes.isEmpty());
    } else {
        QVERIFY(!rig.editor.shapes.isEmpty());
        const auto &s = rig.editor.shapes.last();
        QCOMPARE(s.slot, 5);
        QCOMPARE(s.width, width);
        QCOMPARE(s.caption, caption);
    }
    QCOMPARE(rig.model.UpdateBoxes[5].Digits, qint16(digitsAfter));
    // The box keeps what it showed, even when Digits was reset.
    QCOMPARE(rig.box("Text3")->text(), QString::number(digits));
    if (how == "close")
        QVERIFY(!rig.dialog->isVisible());
}

void TestUpdateBoxDialog::treeButtonExpands()
{
    Rig rig;
    rig.load(1);
    rig.tree()->hide();
    rig.open(1);
    QVERIFY(rig.tree()->isHidden());
    const int collapsedHeight = rig.dialog->height();
    QVERIFY(collapsedHeight <= rig.tree()->y()); // the tree is out of sight

    QTest::mouseClick(rig.dialog->findChild<QPushButton *>("SSCommand1"), Qt::LeftButton);
    QCOMPARE(rig.dialog->heightTwips(), UpdateBoxDialog::ExpandedHeight);
    QVERIFY(!rig.tree()->isHidden());
    QVERIFY(rig.dialog->height() >= rig.tree()->geometry().bottom());

    // Opening again collapses without touching the tree's own visibility.
    rig.open(1);
    QVERIFY(rig.dialog->isCollapsed());
    QVERIFY(!rig.tree()->isHidden());
}

void TestUpdateBoxDialog::binding_data()
{
    QTest::addColumn<QVariant>("node");
    QTest::addColumn<QVariant>("internal");
    QTest::addColumn<QVariant>("offset");
    QTest::addColumn<QVariant>("type");
    QTest::addColumn<QVariant>("bit");
    QTest::addColumn<QVariant>("caps");
    QTest::addColumn<QString>("failOn");
    // The record afterwards: NodeAdr, SWNo, Offset, Typ, BitNo, Code; old values are 99.
    QTest::addColumn<QList<int>>("fields");
    QTest::addColumn<QString>("message");

    const QVariant net07 = QStringLiteral("NET1.ST07");
    QTest::newRow("address ending 0 7") << net07 << QVariant(120) << QVariant(-2) << QVariant(4) << QVariant(5)
                                        << QVariant("3 weighing") << "" << QList<int>{7, 120, -2, 4, 5, 3} << "";
    QTest::newRow("address ending 1 2") << QVariant("7X12") << QVariant(1) << QVariant(2) << QVariant(3) << QVariant(4)
                                        << QVariant("abc") << "" << QList<int>{12, 1, 2, 3, 4, 0} << "";
    QTest::newRow("field limits") << QVariant("00") << QVariant(-32768) << QVariant(32767) << QVariant(0)
                                  << QVariant(255) << QVariant("255") << "" << QList<int>{0, -32768, 32767, 0, 255, 255}
                                  << "";
    QTest::newRow("capabilities round halves to even") << net07 << QVariant(1) << QVariant(1) << QVariant(1)
                                                      << QVariant(1) << QVariant("2.5 x") << ""
                                                      << QList<int>{7, 1, 1, 1, 1, 2} << "";
    QTest::newRow("numbers as text") << net07 << QVariant("17") << QVariant(" -3 ") << QVariant(1.5) << QVariant(1)
                                     << QVariant("1") << "" << QList<int>{7, 17, -3, 2, 1, 1} << "";
    QTest::newRow("address without two digits")
        << QVariant("Node3") << QVariant(1) << QVariant(1) << QVariant(1) << QVariant(1) << QVariant("1") << ""
        << QList<int>{99, 99, 99, 99, 99, 99} << "Error Message: NodeAddress \"Node3\" does not end in two digits";
    QTest::newRow("offset 70000") << net07 << QVariant(5) << QVariant(70000) << QVariant(1) << QVariant(1)
                                  << QVariant("1") << "" << QList<int>{7, 5, 99, 99, 99, 99}
                                  << "Error Message: Offset 70000 does not fit the field (-32768 to 32767)";
    QTest::newRow("bit 256") << net07 << QVariant(5) << QVariant(6) << QVariant(1) << QVariant(256) << QVariant("1")
                             << "" << QList<int>{7, 5, 6, 1, 99, 99}
                             << "Error Message: BitNo 256 does not fit the field (0 to 255)";
    QTest::newRow("negative bit") << net07 << QVariant(5) << QVariant(6) << QVariant(1) << QVariant(-1)
                                  << QVariant("1") << "" << QList<int>{7, 5, 6, 1, 99, 99}
                                  << "Error Message: BitNo -1 does not fit the field (0 to 255)";
    QTest::newRow("capabilities 300") << net07 << QVariant(5) << QVariant(6) << QVariant(1) << QVariant(2)
                                      << QVariant("300 x") << "" << QList<int>{7, 5, 6, 1, 2, 99}
                                      << "Error Message: Nodecapabilities \"300 x\" does not fit the field (0 to 255)";
    QTest::newRow("internal address not a number")
        << net07 << QVariant("abc") << QVariant(6) << QVariant(1) << QVariant(2) << QVariant("1") << ""
        << QList<int>{7, 99, 99, 99, 99, 99} << "Error Message: InternalAddress \"abc\" is not a number";
    QTest::newRow("server fails a read") << net07 << QVariant(5) << QVariant(6) << QVariant(1) << QVariant(2)
                                         << QVariant("1") << "SubDataType" << QList<int>{7, 5, 6, 99, 99, 99}
                                         << "Error Message: Access denied";
    QTest::newRow("server refuses the variable") << net07 << QVariant(5) << QVariant(6) << QVariant(1) << QVariant(2)
                                                 << QVariant("1") << "PhysId" << QList<int>{99, 99, 99, 99, 99, 99}
                                                 << "Error Message: Access denied";
}

void TestUpdateBoxDialog::binding()
{
    QFETCH(QVariant, node);
    QFETCH(QVariant, internal);
    QFETCH(QVariant, offset);
    QFETCH(QVariant, type);
    QFETCH(QVariant, bit);
    QFETCH(QVariant, caps);
    QFETCH(QString, failOn);
    QFETCH(QList<int>, fields);
    QFETCH(QString, message);

    Rig rig;
    rig.load(7);
    UpdateBox &b = rig.model.UpdateBoxes[7];
    b.NodeAdr = b.BitNo = b.Code = 99;
    b.SWNo = b.Offset = b.Typ = 99;
    b.DevType = 5;
    b.Linie = 4;
    b.Pos = 9;
    UpdateBox untouched = rig.model.UpdateBoxes[8];
    rig.setAttributes(node, internal, offset, type, bit, caps);
    rig.server.failOn = failOn;
    // A stale text from an earlier failure must not stand in for a conversion failure.
    rig.server.errorString = QStringLiteral("stale");
    rig.open(7);
    QTest::mouseClick(rig.dialog->findChild<QPushButton *>("SSCommand1"), Qt::LeftButton);

    rig.choose(QStringLiteral("Scale1.NetWeight"));

    QCOMPARE(rig.server.accesses.value(0), QStringLiteral("set EnableExceptions"));
    QVERIFY(rig.server.exceptions);
    QVERIFY(b.DataIn);
    QCOMPARE(b.VarName, QStringLiteral("Scale1.NetWeight"));
    QCOMPARE(rig.box("Text1")->text(), QStringLiteral("Scale1.NetWeight"));
    if (failOn != "PhysId")
        QCOMPARE(rig.server.physId, QStringLiteral("Scale1.NetWeight"));
    const QList<int> got{b.NodeAdr, b.SWNo, b.Offset, b.Typ, b.BitNo, b.Code};
    QCOMPARE(got, fields);
    QCOMPARE(b.DevType, qint16(5));
    QCOMPARE(b.Linie, qint16(4));
    QCOMPARE(b.Pos, qint16(9));
    QCOMPARE(b.Chars, qint16(0));
    QVERIFY(rig.model.UpdateBoxes[8] == untouched);

    if (message.isEmpty()) {
        QVERIFY(rig.prompts.messages.isEmpty());
        QVERIFY(rig.dialog->isCollapsed());
        QVERIFY(rig.tree()->isHidden());
    } else {
        QCOMPARE(rig.prompts.messages.size(), 1);
        QCOMPARE(rig.prompts.messages[0].text, message);
        QVERIFY(!rig.dialog->isCollapsed());
        QVERIFY(!rig.tree()->isHidden());
    }
    QVERIFY(rig.dialog->isVisible());
}

void TestUpdateBoxDialog::secondBindingKeepsWidth()
{
    Rig rig;
    rig.load(3);
    rig.open(3);
    QTest::mouseClick(rig.dialog->findChild<QPushButton *>("SSCommand1"), Qt::LeftButton);
    rig.choose(QStringLiteral("Scale1.NetWeight"));
    typeKeys(rig.box("Text2"), {"<all>", "8"});
    typeKeys(rig.box("Text3"), {"<all>", "2"});

    rig.setAttributes(QStringLiteral("X12"), 7, 1, 2, 3, QStringLiteral("9"));
    QTest::mouseClick(rig.dialog->findChild<QPushButton *>("SSCommand1"), Qt::LeftButton);
    rig.choose(QStringLiteral("Oven.Temp"));

    const UpdateBox &b = rig.model.UpdateBoxes[3];
    QCOMPARE(b.VarName, QStringLiteral("Oven.Temp"));
    const QList<int> got{b.NodeAdr, b.SWNo, b.Offset, b.Typ, b.BitNo, b.Code, b.Chars, b.Digits};
    QCOMPARE(got, (QList<int>{12, 7, 1, 2, 3, 9, 8, 2}));
    QCOMPARE(rig.server.physId, QStringLiteral("Oven.Temp"));
}

void TestUpdateBoxDialog::bindingWithNetworkServer_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QList<int>>("fields"); // NodeAdr, SWNo, Offset, Typ, BitNo, Code
    QTest::addColumn<bool>("failed");

    QTest::newRow("plain") << "Scale1.NetWeight" << QList<int>{7, 120, 0, 4, 1, 3} << false;
    QTest::newRow("offset beyond 16 bits") << "Scale1.Wide" << QList<int>{7, 121, 0, 0, 0, 0} << true;
}

void TestUpdateBoxDialog::bindingWithNetworkServer()
{
    QFETCH(QString, name);
    QFETCH(QList<int>, fields);
    QFETCH(bool, failed);

    // The real server over a network hands the attributes over as 32-bit integers.
    TicketModel model;
    ProcessNetwork network;
    const int scale = network.addNode(QStringLiteral("Scale1"), QStringLiteral("NET1.ST07"), QStringLiteral("3 weighing"));
    network.addVariable(scale, QStringLiteral("NetWeight"), 120, 0, 4, 1);
    network.addVariable(scale, QStringLiteral("Wide"), 121, 70000, 4, 1);
    SimulatedServer server(network);
    FakeEditorSurface editor(model);
    ScriptedPrompts prompts;
    UpdateBoxDialog dialog(model, server, network, editor, prompts);
    model.BoxLoaded[1] = 1;
    model.CurrentBox = 1;
    dialog.openForSlot(1);
    QTest::mouseClick(dialog.findChild<QPushButton *>("SSCommand1"), Qt::LeftButton);
    auto *tree = dialog.findChild<VariableTree *>("Vatrix1");
    tree->setCurrentItem(tree->itemForName(name));
    QTest::keyClick(tree, Qt::Key_Return);

    const UpdateBox &b = model.UpdateBoxes[1];
    const QList<int> got{b.NodeAdr, b.SWNo, b.Offset, b.Typ, b.BitNo, b.Code};
    QCOMPARE(got, fields);
    QCOMPARE(b.VarName, name);
    QCOMPARE(prompts.messages.size(), failed ? 1 : 0);
    QCOMPARE(dialog.isCollapsed(), !failed);
}

void TestUpdateBoxDialog::fieldDeletedWhileOpen()
{
    // A press in delete mode frees the slot but leaves the window open.
    Rig rig;
    rig.load(2);
    rig.define(2, QStringLiteral("Scale1.Tare"), 4, 1);
    rig.open(2);
    rig.model.BoxLoaded[2] = 0;
    rig.model.UpdateBoxes[2] = UpdateBox{};

    typeKeys(rig.box("Text2"), {"<all>", "9"});
    typeKeys(rig.box("Text1"), {"x"});
    rig.leave(rig.box("Text2"));
    QTest::mouseClick(rig.dialog->findChild<QPushButton *>("SSCommand1"), Qt::LeftButton);
    rig.choose(QStringLiteral("Scale1.NetWeight"));
    rig.dialog->close();

    QVERIFY(rig.model.UpdateBoxes[2] == UpdateBox{});
    QVERIFY(rig.editor.shapes.isEmpty());
}

void TestUpdateBoxDialog::keyStorm_data()
{
    QTest::addColumn<bool>("defined");
    QTest::addColumn<quint32>("seed");
    for (quint32 seed : {1u, 2u, 3u}) {
        QTest::addRow("undefined %u", seed) << false << seed;
        QTest::addRow("defined %u", seed) << true << seed;
    }
}

void TestUpdateBoxDialog::keyStorm()
{
    QFETCH(bool, defined);
    QFETCH(quint32, seed);

    static const Qt::Key keys[] = {Qt::Key_0,      Qt::Key_1,     Qt::Key_5,      Qt::Key_9,        Qt::Key_A,
                                   Qt::Key_Minus,  Qt::Key_Space, Qt::Key_Period, Qt::Key_Backspace, Qt::Key_Delete,
                                   Qt::Key_Home,   Qt::Key_End,   Qt::Key_Left,   Qt::Key_Right,    Qt::Key_Return,
                                   Qt::Key_Escape, Qt::Key_Tab,   Qt::Key_V,      Qt::Key_Z,        Qt::Key_Insert};
    QGuiApplication::clipboard()->setText(QStringLiteral("99999999"));
    QRandomGenerator rng(seed);
    Rig rig;
    rig.load(9);
    if (defined)
        rig.define(9, QStringLiteral("Scale1.Tare"), 32000, 7);
    rig.open(9);
    const UpdateBox neighbour = rig.model.UpdateBoxes[10];
    const QStringList names{"Text1", "Text2", "Text3"};
    for (int i = 0; i < 3000; ++i) {
        QLineEdit *box = rig.box(names[rng.bounded(3)]);
        const Qt::Key key = keys[rng.bounded(int(std::size(keys)))];
        const int m = rng.bounded(4);
        const Qt::KeyboardModifiers mods = m == 0 ? Qt::ControlModifier : m == 1 ? Qt::ShiftModifier : Qt::NoModifier;
        QTest::keyClick(box, key, mods);
        if (rng.bounded(50) == 0)
            rig.leave(box);
        if (!rig.dialog->isVisible())
            rig.open(9);
    }
    rig.dialog->close();

    const UpdateBox &b = rig.model.UpdateBoxes[9];
    for (const QString &name : {QStringLiteral("Text2"), QStringLiteral("Text3")}) {
        const double shown = leadingNumber(rig.box(name)->text());
        QVERIFY2(shown >= 0 && shown <= 32767, qPrintable(rig.box(name)->text()));
    }
    // Typed digits never give a negative number: a wrapped value would.
    QVERIFY(b.Chars >= 0);
    QVERIFY(b.Digits >= 0);
    if (b.DataIn)
        QCOMPARE(double(b.Chars), leadingNumber(rig.box("Text2")->text()));
    QVERIFY(rig.model.UpdateBoxes[10] == neighbour);
    QVERIFY(rig.model.UpdateBoxes[0] == UpdateBox{});
    for (const auto &s : rig.editor.shapes) {
        QCOMPARE(s.slot, 9);
        QVERIFY(s.caption.size() <= 32767);
    }
}

QTEST_MAIN(TestUpdateBoxDialog)
#include "tst_updateboxdialog.moc"
