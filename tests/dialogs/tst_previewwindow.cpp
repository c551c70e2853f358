#include "FakeEditorSurface.h"

#include "device/ProcessNetwork.h"
#include "dialogs/PreviewWindow.h"
#include "model/EditorFont.h"
#include "model/TicketModel.h"

#include <QPlainTextEdit>
#include <QTest>

using namespace tkl;
using tkl::test::FakeEditorSurface;

/// The preview window renders the editor's box lines with the network's values.
class TestPreviewWindow : public QObject
{
    Q_OBJECT

    struct Fixture
    {
        ProcessNetwork network;
        TicketModel model;
        FakeEditorSurface editor{model};
        PreviewWindow window{model, editor, network};

        Fixture()
        {
            const int node = network.addNode(QStringLiteral("Scale1"), QStringLiteral("NODE03"), QStringLiteral("3"));
            SimulatedValue net;
            net.from = 1234.56;
            network.addVariable(node, QStringLiteral("Net"), 1, 12, 4, 0, net);
        }

        void field(int slot, const QString &var, int linie, int pos, int chars, int digits)
        {
            UpdateBox &b = model.UpdateBoxes[slot];
            b.VarName = var;
            b.DataIn = true;
            b.Linie = qint16(linie);
            b.Pos = qint16(pos);
            b.Chars = qint16(chars);
            b.Digits = qint16(digits);
            model.BoxLoaded[slot] = 1;
        }
    };

private slots:
    void initTestCase() { installFontSubstitutions(); }

    void rendersBoxLinesWithValues_data()
    {
        QTest::addColumn<int>("chars");
        QTest::addColumn<int>("digits");
        QTest::addColumn<QString>("line2");
        QTest::addColumn<int>("marked");
        QTest::newRow("fits") << 8 << 1 << "Net:  1234.6  kg" << 0;
        QTest::newRow("one cell short") << 5 << 1 << "Net:*****" << 1;
    }

    void rendersBoxLinesWithValues()
    {
        QFETCH(int, chars);
        QFETCH(int, digits);
        QFETCH(QString, line2);
        QFETCH(int, marked);
        Fixture f;
        f.editor.lines = {QStringLiteral("WEIGHT TICKET"), QStringLiteral("Net:          kg")};
        f.field(1, QStringLiteral("Scale1.Net"), 1, 5, chars, digits);
        f.model.StartCode = QStringLiteral("[27]E");
        f.window.refresh();
        const QStringList shown = f.window.shownText().split(u'\n');
        QCOMPARE(shown.value(0), QStringLiteral("-- start: ESC E"));
        QCOMPARE(shown.value(1), QStringLiteral("WEIGHT TICKET"));
        QVERIFY2(shown.value(2).startsWith(line2), qPrintable(shown.value(2)));
        QCOMPARE(shown.last(), QStringLiteral("-- stop: "));
        QCOMPARE(f.window.markedFields(), marked);
    }

    // Linie counts box lines: a wrapped line moves the field's line with it.
    void fieldsFollowTheBoxLines()
    {
        Fixture f;
        f.editor.lines = {QStringLiteral("a long line that"), QStringLiteral("wraps"), QStringLiteral("Net:")};
        f.field(1, QStringLiteral("Scale1.Net"), 2, 6, 4, 0);
        f.window.refresh();
        QCOMPARE(f.window.shownText().split(u'\n').value(2), QStringLiteral("Net: 1235"));
    }

    void unknownVariableIsMarked()
    {
        Fixture f;
        f.editor.lines = {QStringLiteral("x")};
        f.field(2, QStringLiteral("Nowhere.Nothing"), 0, 3, 3, 0);
        f.window.refresh();
        QCOMPARE(f.window.shownText(), QStringLiteral("x ???"));
        QCOMPARE(f.window.markedFields(), 1);
    }
};

QTEST_MAIN(TestPreviewWindow)
#include "tst_previewwindow.moc"
