#include "model/CharGrid.h"
#include "model/Numbers.h"
#include "model/ShapeCaption.h"

#include <QTest>

using namespace tkl;

class TestModel : public QObject
{
    Q_OBJECT

private slots:
    void roundHalfEven_data();
    void roundHalfEven();
    void leadingNumber_data();
    void leadingNumber();
    void storedNumber_data();
    void storedNumber();
    void shapeCaption_data();
    void shapeCaption();
    void snapEditorWidth_data();
    void snapEditorWidth();
    void drop_data();
    void drop();
};

void TestModel::roundHalfEven_data()
{
    QTest::addColumn<double>("in");
    QTest::addColumn<double>("out");
    QTest::newRow("2.5 down") << 2.5 << 2.0;
    QTest::newRow("3.5 up") << 3.5 << 4.0;
    QTest::newRow("-2.5 to -2") << -2.5 << -2.0;
    QTest::newRow("2.51") << 2.51 << 3.0;
}

void TestModel::roundHalfEven()
{
    QFETCH(double, in);
    QFETCH(double, out);
    QCOMPARE(tkl::roundHalfEven(in), out);
}

void TestModel::leadingNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::newRow("digit behind placeholder") << " Not selected5" << 0.0;
    QTest::newRow("trailing text") << "3 fast nodes" << 3.0;
    QTest::newRow("leading blanks, fraction") << "  2.5abc" << 2.5;
    QTest::newRow("negative") << "-4" << -4.0;
}

void TestModel::leadingNumber()
{
    QFETCH(QString, text);
    QFETCH(double, value);
    QCOMPARE(tkl::leadingNumber(text), value);
}

// A stored value as the reader takes it: strictly parsed, then rounded into the field's range.
void TestModel::storedNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("min");
    QTest::addColumn<int>("max");
    QTest::addColumn<int>("expected"); // -99999: refused
    QTest::newRow("blanks around") << "  12 " << -32768 << 32767 << 12;
    QTest::newRow("empty") << "" << -32768 << 32767 << -99999;
    QTest::newRow("trailing junk") << "12a" << -32768 << 32767 << -99999;
    QTest::newRow("two numbers") << "1 2" << -32768 << 32767 << -99999;
    QTest::newRow("byte top") << "255" << 0 << 255 << 255;
    QTest::newRow("byte over") << "256" << 0 << 255 << -99999;
    QTest::newRow("byte half rounds into range") << "255.4" << 0 << 255 << 255;
    QTest::newRow("byte negative") << "-1" << 0 << 255 << -99999;
    QTest::newRow("int16 half to even over") << "32767.5" << -32768 << 32767 << -99999;
    QTest::newRow("int16 bottom") << "-32768" << -32768 << 32767 << -32768;
}

void TestModel::storedNumber()
{
    QFETCH(QString, text);
    QFETCH(int, min);
    QFETCH(int, max);
    QFETCH(int, expected);
    const auto parsed = tkl::parseDecimal(text);
    const auto r = parsed ? tkl::fitRounded(*parsed, min, max) : std::nullopt;
    QCOMPARE(r.value_or(-99999), expected);
}

void TestModel::shapeCaption_data()
{
    QTest::addColumn<int>("chars");
    QTest::addColumn<int>("digits");
    QTest::addColumn<QString>("caption");
    QTest::newRow("7 with 1") << 7 << 1 << "XXXXX.X";
    QTest::newRow("5 with 0") << 5 << 0 << "XXXXX";
    QTest::newRow("3 with 2: no X before the point") << 3 << 2 << ".XX";
    QTest::newRow("3 with 3") << 3 << 3 << "XXX";
    QTest::newRow("2 with 5") << 2 << 5 << "XXXXX";
}

void TestModel::shapeCaption()
{
    QFETCH(int, chars);
    QFETCH(int, digits);
    QFETCH(QString, caption);
    QCOMPARE(ShapeCaption(chars, digits), caption);
}

void TestModel::snapEditorWidth_data()
{
    QTest::addColumn<double>("requested");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("chars");
    // 120-twip cells, main window 9500 wide
    QTest::newRow("New's 5260") << 5260.0 << 5170 << 40;
    QTest::newRow("already snapped") << 5170.0 << 5170 << 40;
    QTest::newRow("100 chars ends at 76") << double(101 * 120 + 250) << 9490 << 76;
    QTest::newRow("one cell") << 370.0 << 370 << 0;
}

void TestModel::snapEditorWidth()
{
    QFETCH(double, requested);
    QFETCH(int, width);
    QFETCH(int, chars);
    const CharGrid grid(120, 225);
    const int w = grid.snapEditorWidth(requested, 9500);
    QCOMPARE(w, width);
    QCOMPARE(grid.charsPerLine(w - CharGrid::TextBoxInset), chars);
}

void TestModel::drop_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");
    QTest::addColumn<int>("firstVisible");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("pos");
    QTest::addColumn<int>("linie");
    // label pressed at (10, 5) inside it; cell 120 x 195
    QTest::newRow("2.6 cells, 1.2 lines, line 4 on top")
        << (2.6 * 120 + 10) << (1.2 * 195 + 5) << 5 << 2 * 120 + 20 << 195 + 20 << 3 << 5;
    // above the top edge: the screen row truncates to 0, the line floors to -1
    QTest::newRow("above the text") << 10.0 << (5 - 0.5 * 195) << 1 << 20 << 20 << 1 << -1;
    QTest::newRow("left of the text") << (10 - 1.5 * 120) << 5.0 << 1 << -120 + 20 << 20 << 0 << 0;
}

void TestModel::drop()
{
    QFETCH(double, x);
    QFETCH(double, y);
    QFETCH(int, firstVisible);
    QFETCH(int, left);
    QFETCH(int, top);
    QFETCH(int, pos);
    QFETCH(int, linie);
    const DropResult r = CharGrid(120, 195).drop(x, y, 10, 5, firstVisible);
    QCOMPARE(r.left, left);
    QCOMPARE(r.top, top);
    QCOMPARE(r.Pos, pos);
    QCOMPARE(r.Linie, linie);
}

QTEST_GUILESS_MAIN(TestModel)
#include "tst_model.moc"
