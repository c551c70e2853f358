// The ticket as the device prints it: field values in their cells, printer codes made
// readable, and values files.

#include "preview/FieldFormat.h"
#include "preview/PrinterCodeText.h"
#include "preview/TicketRenderer.h"
#include "preview/ValuesFile.h"

#include <QTest>

#include <cmath>

using namespace tkl;

namespace {

using Values = QHash<QString, double>;

// A defined field of `chars` cells with `digits` decimals at line `linie`, column `pos`.
UpdateBox field(const QString &var, qint16 linie, qint16 pos, qint16 chars, qint16 digits)
{
    return {var, 0, 0, 0, 0, 0, 0, 0, chars, digits, true, linie, pos};
}

} // namespace

class TestPreview : public QObject
{
    Q_OBJECT

private slots:
    void formatFieldValue_data();
    void formatFieldValue();
    void decodePrinterCodes_data();
    void decodePrinterCodes();
    void valuesFile_data();
    void valuesFile();
    void renderTicket_data();
    void renderTicket();
    void showTicket_data();
    void showTicket();
};

void TestPreview::formatFieldValue_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("chars");
    QTest::addColumn<int>("digits");
    QTest::addColumn<QString>("expected");

    // Rounding happens on the decimal the value is written as, halves away from zero.
    QTest::newRow("carry into a new digit") << 9.995 << 5 << 2 << "10.00";
    QTest::newRow("2.675 is a half") << 2.675 << 4 << 2 << "2.68";
    QTest::newRow("half away from zero, not to even") << 2.5 << 1 << 0 << "3";
    // Placement in the cells.
    QTest::newRow("right-aligned") << 12.34 << 7 << 1 << "   12.3";
    QTest::newRow("0 decimals has no point") << 7.0 << 3 << 0 << "  7";
    QTest::newRow("exact fit") << 123.45 << 6 << 2 << "123.45";
    QTest::newRow("one cell too many") << 123.45 << 5 << 2 << "*****";
    QTest::newRow("minus sign fits") << -12.3 << 5 << 1 << "-12.3";
    QTest::newRow("minus sign takes a cell") << -12.3 << 4 << 1 << "****";
    QTest::newRow("rounds to zero: no minus") << -0.004 << 5 << 2 << " 0.00";
    QTest::newRow("between -1 and 0 keeps its minus") << -0.5 << 5 << 2 << "-0.50";
    // Digits against Chars: the point and the digit before it need two more cells.
    QTest::newRow("digits two below chars") << 0.5 << 3 << 1 << "0.5";
    QTest::newRow("digits one below chars") << 0.5 << 2 << 1 << "**";
    QTest::newRow("digits above chars") << 1.0 << 2 << 5 << "**";
    QTest::newRow("not a number") << std::nan("") << 4 << 1 << "****";
}

void TestPreview::formatFieldValue()
{
    QFETCH(double, value);
    QFETCH(int, chars);
    QFETCH(int, digits);
    QFETCH(QString, expected);
    bool overflow = false;
    QCOMPARE(tkl::formatFieldValue(value, chars, digits, &overflow), expected);
    QCOMPARE(overflow, expected.startsWith(QLatin1Char('*')));
}

void TestPreview::decodePrinterCodes_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("expected");

    QTest::newRow("escape sequence") << "[27]E" << "ESC E";
    QTest::newRow("a run of plain characters") << "[27]@AB[12]" << "ESC @AB FF";
    QTest::newRow("printable code joins the run") << "A[66]C" << "ABC";
    QTest::newRow("control characters held raw") << QString(QChar(13)) + QChar(27) + "x" << "CR ESC x";
    QTest::newRow("code page 1252") << "[128][255]" << QStringLiteral("\u20ac\u00ff");
    QTest::newRow("above 255 stays") << "[27]E[256]" << "ESC E[256]";
    QTest::newRow("unclosed stays") << "[27" << "[27";
    QTest::newRow("not a number stays") << "[1x]" << "[1x]";
    QTest::newRow("bracket before a code") << "[[27]" << "[ ESC";
}

void TestPreview::decodePrinterCodes()
{
    QFETCH(QString, code);
    QFETCH(QString, expected);
    QCOMPARE(tkl::decodePrinterCodes(code), expected);
}

void TestPreview::valuesFile_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("error");
    QTest::addColumn<Values>("values");

    QTest::newRow("names, blanks, comments")
        << QByteArray("# weights\nScale1.NetWeight=1250.5\n\n  Kiln.Zone1Temp = -3 \n   # indented\nB.C=1e3\n")
        << "" << Values{{"Scale1.NetWeight", 1250.5}, {"Kiln.Zone1Temp", -3}, {"B.C", 1000}};
    QTest::newRow("byte order mark") << QByteArray("\xef\xbb\xbf" "a=1\n") << "" << Values{{"a", 1}};
    QTest::newRow("counted across CR LF and blank lines") << QByteArray("\r\n\r\n# x\r\nq\r\n")
                                                          << "line 4: expected name=value: q" << Values{};
    QTest::newRow("no value") << QByteArray("a=") << "line 1: no value after \"=\": a=" << Values{};
    QTest::newRow("infinity") << QByteArray("a=inf") << "line 1: \"inf\" is not a number: a=inf" << Values{};
    QTest::newRow("not UTF-8") << QByteArray("\xff\xfe=1")
                               << QStringLiteral("line 1: not UTF-8 text: \ufffd\ufffd=1") << Values{};
}

void TestPreview::valuesFile()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, error);
    QFETCH(Values, values);
    const auto file = ValuesFile::parse(text);
    QCOMPARE(file.error().message, error);
    QCOMPARE(file.ok(), error.isEmpty());
    QCOMPARE(file.ok() ? *file : Values{}, values);
}

void TestPreview::renderTicket_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<UpdateBox>>("boxes");   // slots 1, 2, ... in order
    QTest::addColumn<Values>("values");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("flags");           // per field: o overflow, m missing, c clipped, - none

    const Values v{{"N.W", 12.34}, {"N.T", -7}, {"N.Big", 123456}};
    QTest::newRow("field inside a line")
        << "Net:       kg" << QList<UpdateBox>{field("N.W", 0, 6, 5, 1)} << v << QStringList{"Net:  12.3 kg"} << "-";
    QTest::newRow("fields on two lines, Linie from 0, Pos from 1")
        << "A\r\nB" << QList<UpdateBox>{field("N.W", 1, 1, 4, 0), field("N.T", 0, 2, 2, 0)} << v
        << QStringList{"A-7", "  12"} << "--";
    QTest::newRow("field below the text adds lines")
        << "Top" << QList<UpdateBox>{field("N.T", 2, 1, 2, 0)} << v << QStringList{"Top", "", "-7"} << "-";
    QTest::newRow("no value: question marks")
        << "x" << QList<UpdateBox>{field("N.Gone", 0, 1, 3, 0)} << v << QStringList{"???"} << "m";
    QTest::newRow("does not fit: stars")
        << "Sum: ...." << QList<UpdateBox>{field("N.Big", 0, 6, 4, 0)} << v << QStringList{"Sum: ****"} << "o";
    QTest::newRow("higher slot shows where fields overlap")
        << "" << QList<UpdateBox>{field("N.W", 0, 1, 5, 2), field("N.T", 0, 4, 3, 0)} << v << QStringList{"12. -7"}
        << "--";
    QTest::newRow("left of column 1 is not printed")
        << "abc" << QList<UpdateBox>{field("N.T", 0, 0, 3, 0)} << v << QStringList{"-7c"} << "c";
}

void TestPreview::renderTicket()
{
    QFETCH(QString, text);
    QFETCH(QList<UpdateBox>, boxes);
    QFETCH(Values, values);
    QFETCH(QStringList, lines);
    QFETCH(QString, flags);
    LayoutData layout;
    layout.text = text;
    for (qsizetype i = 0; i < boxes.size(); ++i)
        layout.UpdateBoxes[i + 1] = boxes.at(i);
    // A loaded but undefined slot prints nothing even when its variable has a value.
    layout.UpdateBoxes[29] = field("N.W", 0, 1, 5, 0);
    layout.UpdateBoxes[29].DataIn = false;

    const RenderedTicket ticket = tkl::renderTicket(layout, fixedValues(values));
    QCOMPARE(ticket.lines, lines);
    QCOMPARE(ticket.fields.size(), boxes.size());
    QString actual;
    for (const RenderedField &f : ticket.fields) {
        QCOMPARE(f.text.size(), qsizetype(std::max<int>(f.chars, 0)));
        actual += f.overflow ? QLatin1Char('o') : f.missing ? QLatin1Char('m') : f.clipped ? QLatin1Char('c')
                                                                                          : QLatin1Char('-');
    }
    QCOMPARE(actual, flags);
    QCOMPARE(ticket.overflowCount(), int(flags.count(QLatin1Char('o'))));
    QCOMPARE(ticket.missingCount(), int(flags.count(QLatin1Char('m'))));
}

// What the preview window and `tklcli preview` both show, and where the fields are in it.
void TestPreview::showTicket_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("startCode");
    QTest::addColumn<bool>("withCodes");
    QTest::addColumn<QStringList>("lines");

    // A field of 3 cells at column 5 with the value 12.
    QTest::newRow("codes decoded, empty code is CR")
        << "Net:" << "[27]E" << true << QStringList{"<start: ESC E>", "Net: 12", "<stop: CR>"};
    QTest::newRow("control characters before the field")
        << "\t\x1b\n:" << "" << false << QStringList{"[9][27][10]: 12"};
    QTest::newRow("a control character after the field") << "abcd   \tx" << "" << false << QStringList{"abcd 12[9]x"};
}

void TestPreview::showTicket()
{
    QFETCH(QString, text);
    QFETCH(QString, startCode);
    QFETCH(bool, withCodes);
    QFETCH(QStringList, lines);
    LayoutData layout;
    layout.text = text;
    layout.StartCode = startCode;
    layout.UpdateBoxes[3] = ::field("N.W", 0, 5, 3, 0);
    const ShownTicket shown = tkl::showTicket(tkl::renderTicket(layout, fixedValues({{"N.W", 12}})), withCodes);
    QCOMPARE(shown.lines, lines);
    QCOMPARE(shown.fields.size(), 1);
    const ShownField &f = shown.fields.first();
    QCOMPARE(f.slot, 3);
    QCOMPARE(shown.lines.at(f.line).mid(f.start, f.length), QStringLiteral(" 12"));
}

QTEST_GUILESS_MAIN(TestPreview)
#include "tst_preview.moc"
