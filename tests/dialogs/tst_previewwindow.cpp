#include "FakeEditorSurface.h"

#include "device/ProcessNetwork.h"
#include "dialogs/PreviewWindow.h"
#include "ui/WindowLook.h"
#include "model/TicketModel.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QTest>

#include <memory>

using namespace tkl;
using tkl::test::FakeEditorSurface;

/// The preview window renders the editor's box lines with the network's values.
class TestPreviewWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { installFontSubstitutions(); }

    void rendersBoxLinesWithValues_data()
    {
        QTest::addColumn<QStringList>("lines"); // the box lines of the editor
        QTest::addColumn<QString>("var");
        QTest::addColumn<int>("linie");
        QTest::addColumn<int>("chars");
        QTest::addColumn<int>("digits");
        QTest::addColumn<QString>("startCode");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("marked");
        const QStringList ticket{"WEIGHT TICKET", "Net:          kg"};
        // The same text as `tklcli preview`: codes decoded, an empty code the CR a
        // download sends, a control character (a tab, an LF in a line) as [n].
        QTest::newRow("fits") << ticket << "Scale1.Net" << 1 << 8 << 1 << "[27]E"
                              << "<start: ESC E>\nWEIGHT TICKET\nNet:  1234.6  kg\n<stop: CR>" << 0;
        QTest::newRow("one cell short") << ticket << "Scale1.Net" << 1 << 5 << 1 << ""
                                        << "<start: CR>\nWEIGHT TICKET\nNet:*****     kg\n<stop: CR>" << 1;
        // Linie counts box lines: a wrapped line moves the field's line with it.
        QTest::newRow("below a wrapped line") << QStringList{"a long line that", "wraps", "Net:"} << "Scale1.Net" << 2 << 5
                                              << 0 << "" << "<start: CR>\na long line that\nwraps\nNet: 1235\n<stop: CR>" << 0;
        QTest::newRow("tab and line feed in a line") << QStringList{"A\tB\nC:"} << "Nowhere.Nothing" << 0 << 2 << 0 << ""
                                                     << "<start: CR>\nA[9]B[10]??\n<stop: CR>" << 1;
    }

    void rendersBoxLinesWithValues()
    {
        QFETCH(QStringList, lines);
        QFETCH(QString, var);
        QFETCH(int, linie);
        QFETCH(int, chars);
        QFETCH(int, digits);
        QFETCH(QString, startCode);
        QFETCH(QString, shown);
        QFETCH(int, marked);
        ProcessNetwork network;
        SimulatedValue net;
        net.from = 1234.56;
        network.addVariable(network.addNode(QStringLiteral("Scale1"), QStringLiteral("NODE03"), QStringLiteral("3")),
                            QStringLiteral("Net"), 1, 12, 4, 0, net);
        TicketModel model;
        FakeEditorSurface editor(model);
        editor.lines = lines;
        model.setRecord(1, UpdateBox{var, 0, 0, 0, 0, 0, 0, 0, qint16(chars), qint16(digits), true, qint16(linie), 5});
        model.loadSlot(1);
        model.setStartCode(startCode);
        PreviewWindow window(model, editor, network);
        window.refresh();
        QCOMPARE(window.shownText(), shown);
        QCOMPARE(window.markedFields(), marked);
        // The field's mark covers its cells, wherever control characters moved them.
        const auto marks = window.findChild<QPlainTextEdit *>(QStringLiteral("PreviewText"))->extraSelections();
        QCOMPARE(marks.size(), 1);
        const QString markedText = marks.first().cursor.selectedText();
        QCOMPARE(markedText.size(), chars);
        QVERIFY(!markedText.contains(u'['));
    }

    // What is wrong with the layout is listed below the ticket: each problem once, and a
    // field that reaches over the editor's scroll bar too.
    void listsTheLayoutsProblems()
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
                     "Warning: UpdateBox 1 is bound to \"Nowhere.Nothing\", which the network does not know",
                     "Warning: UpdateBox 2 ends in column 42, past the right edge of the ticket (40 characters per line)",
                     "Error: UpdateBox 4: Chars is -1; port Printer1 takes 0 to 255",
                     "Error: UpdateBox 4: Chars is -1; port Printer2 takes 0 to 255",
                     "Warning: UpdateBox 3 reaches over the editor's scroll bar",
                 }));
        QVERIFY(window.findChild<QLabel *>(QStringLiteral("PreviewStatus"))->text().endsWith(QStringLiteral("5 problems:")));
        QVERIFY(window.findChild<QWidget *>(QStringLiteral("PreviewFindings"))->isVisibleTo(&window));
    }
};

QTEST_MAIN(TestPreviewWindow)
#include "tst_previewwindow.moc"
