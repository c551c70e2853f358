// The ticket as the device prints it: field values in their cells, printer codes made
// readable, values files, and the layout rebuilt from what a device holds.

#include "device/DeviceTestSupport.h"
#include "device/AutomationFactory.h"
#include "device/ProcessNetwork.h"
#include "device/TicketDownload.h"
#include "preview/DeviceLayout.h"
#include "preview/FieldFormat.h"
#include "preview/PrinterCodeText.h"
#include "preview/TicketRenderer.h"
#include "preview/ValuesFile.h"

#include <QTemporaryDir>
#include <QTest>

#include <limits>

using namespace tkl;

namespace {

using Values = QHash<QString, double>;

// A defined field of `chars` cells with `digits` decimals at line `linie`, column `pos`.
UpdateBox field(const QString &var, int linie, int pos, int chars, int digits)
{
    UpdateBox box;
    box.VarName = var;
    box.DataIn = true;
    box.Linie = qint16(linie);
    box.Pos = qint16(pos);
    box.Chars = qint16(chars);
    box.Digits = qint16(digits);
    return box;
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
    void valuesFileThatCannotBeRead();
    void renderTicket_data();
    void renderTicket();
    void networkValuesMove();
    void layoutFromDevice();
    void layoutFromDeviceRefused_data();
    void layoutFromDeviceRefused();
};

void TestPreview::formatFieldValue_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("chars");
    QTest::addColumn<int>("digits");
    QTest::addColumn<QString>("expected");

    constexpr double inf = std::numeric_limits<double>::infinity();
    // Rounding happens on the decimal the value is written as, halves away from zero.
    QTest::newRow("carry into a new digit") << 9.995 << 5 << 2 << "10.00";
    QTest::newRow("the carry no longer fits") << 9.995 << 4 << 2 << "****";
    QTest::newRow("1.005 is a half") << 1.005 << 4 << 2 << "1.01";
    QTest::newRow("2.675 is a half") << 2.675 << 4 << 2 << "2.68";
    QTest::newRow("carry across the point") << 99.96 << 5 << 1 << "100.0";
    QTest::newRow("half away from zero, not to even") << 2.5 << 1 << 0 << "3";
    QTest::newRow("negative half away from zero") << -1.5 << 2 << 0 << "-2";
    QTest::newRow("below a half") << 0.4999 << 1 << 0 << "0";
    // Placement in the cells.
    QTest::newRow("right-aligned") << 12.34 << 7 << 1 << "   12.3";
    QTest::newRow("0 decimals has no point") << 7.0 << 3 << 0 << "  7";
    QTest::newRow("decimals padded with zeros") << 0.1 << 20 << 17 << " 0.10000000000000000";
    QTest::newRow("exact fit") << 123.45 << 6 << 2 << "123.45";
    QTest::newRow("one cell too many") << 123.45 << 5 << 2 << "*****";
    QTest::newRow("minus sign fits") << -12.3 << 5 << 1 << "-12.3";
    QTest::newRow("minus sign takes a cell") << -12.3 << 4 << 1 << "****";
    QTest::newRow("rounds to zero: no minus") << -0.004 << 5 << 2 << " 0.00";
    QTest::newRow("tiny value") << 1e-7 << 5 << 2 << " 0.00";
    QTest::newRow("large whole number") << 1234567890123.0 << 13 << 0 << "1234567890123";
    QTest::newRow("huge value") << 1e300 << 5 << 0 << "*****";
    // Digits against Chars: the point and the digit before it need two more cells.
    QTest::newRow("digits two below chars") << 0.5 << 3 << 1 << "0.5";
    QTest::newRow("digits one below chars") << 0.5 << 2 << 1 << "**";
    QTest::newRow("digits equal chars") << 0.5 << 3 << 3 << "***";
    QTest::newRow("digits above chars") << 1.0 << 2 << 5 << "**";
    QTest::newRow("negative digits as 0") << 7.6 << 2 << -1 << " 8";
    QTest::newRow("not a number") << std::nan("") << 4 << 1 << "****";
    QTest::newRow("infinite") << -inf << 3 << 0 << "***";
    QTest::newRow("no cells") << 5.0 << 0 << 0 << "";
    QTest::newRow("negative cells") << 5.0 << -3 << 0 << "";
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
    QTest::newRow("codes in a row") << "[27][69][13][10]" << "ESC E CR LF";
    QTest::newRow("a run of plain characters") << "[27]@AB[12]" << "ESC @AB FF";
    QTest::newRow("printable code joins the run") << "A[66]C" << "ABC";
    QTest::newRow("control characters held raw") << QString(QChar(13)) + QChar(27) + "x" << "CR ESC x";
    QTest::newRow("ends of the control range") << "[0][31][32][127]" << "NUL US   DEL";
    QTest::newRow("more names") << "[9][17][20][21][26]" << "HT DC1 DC4 NAK SUB";
    QTest::newRow("code page 1252") << "[128][255]" << QStringLiteral("\u20ac\u00ff");
    QTest::newRow("code the page leaves free") << "[129]" << "x81";
    QTest::newRow("leading zeros") << "[027]" << "ESC";
    QTest::newRow("above 255 stays") << "[27]E[256]" << "ESC E[256]";
    QTest::newRow("very long number stays") << "[99999999999]" << "[99999999999]";
    QTest::newRow("unclosed stays") << "[27" << "[27";
    QTest::newRow("empty brackets stay") << "[]" << "[]";
    QTest::newRow("not a number stays") << "[1x]" << "[1x]";
    QTest::newRow("bracket before a code") << "[[27]" << "[ ESC";
    QTest::newRow("empty") << "" << "";
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
    QTest::addColumn<int>("errorLine");
    QTest::addColumn<QString>("error");
    QTest::addColumn<Values>("values");

    QTest::newRow("names, blanks, comments")
        << QByteArray("# weights\nScale1.NetWeight=1250.5\n\n  Kiln.Zone1Temp = -3 \n   # indented\nB.C=1e3\n")
        << 0 << "" << Values{{"Scale1.NetWeight", 1250.5}, {"Kiln.Zone1Temp", -3}, {"B.C", 1000}};
    QTest::newRow("CR LF and lone CR") << QByteArray("a=1\r\nb=2\rc=3") << 0 << "" << Values{{"a", 1}, {"b", 2}, {"c", 3}};
    QTest::newRow("byte order mark") << QByteArray("\xef\xbb\xbf" "a=1\n") << 0 << "" << Values{{"a", 1}};
    QTest::newRow("last of a repeated name") << QByteArray("a=1\na=2\n") << 0 << "" << Values{{"a", 2}};
    QTest::newRow("empty file") << QByteArray() << 0 << "" << Values{};
    QTest::newRow("no equals sign") << QByteArray("a=1\nScale1.Net 12\n") << 2
                                    << "line 2: expected name=value: Scale1.Net 12" << Values{};
    QTest::newRow("counted across CR LF and blank lines") << QByteArray("\r\n\r\n# x\r\nq\r\n") << 4
                                                          << "line 4: expected name=value: q" << Values{};
    QTest::newRow("no name") << QByteArray(" = 3") << 1 << "line 1: no name before \"=\":  = 3" << Values{};
    QTest::newRow("no value") << QByteArray("a=") << 1 << "line 1: no value after \"=\": a=" << Values{};
    QTest::newRow("decimal comma") << QByteArray("a=12,5") << 1 << "line 1: \"12,5\" is not a number: a=12,5"
                                   << Values{};
    QTest::newRow("second equals sign") << QByteArray("a=b=2") << 1 << "line 1: \"b=2\" is not a number: a=b=2"
                                        << Values{};
    QTest::newRow("infinity") << QByteArray("a=inf") << 1 << "line 1: \"inf\" is not a number: a=inf" << Values{};
    QTest::newRow("binary junk") << QByteArray("a=1\nb=\x01\x02", 8) << 2
                                 << QStringLiteral("line 2: control character: b=\x01\x02") << Values{};
    QTest::newRow("not UTF-8") << QByteArray("\xff\xfe=1") << 1
                               << QStringLiteral("line 1: not UTF-8 text: \ufffd\ufffd=1") << Values{};
}

void TestPreview::valuesFile()
{
    QFETCH(QByteArray, text);
    QFETCH(int, errorLine);
    QFETCH(QString, error);
    QFETCH(Values, values);
    const ValuesFile file = ValuesFile::parse(text);
    QCOMPARE(file.errorLine, errorLine);
    QCOMPARE(file.error, error);
    QCOMPARE(file.ok(), errorLine == 0);
    QCOMPARE(file.values, values);
}

void TestPreview::valuesFileThatCannotBeRead()
{
    QTemporaryDir dir;
    for (const QString &path : {dir.filePath(QStringLiteral("missing.txt")), dir.path()}) {
        const ValuesFile file = ValuesFile::read(path);
        QCOMPARE(file.errorLine, -1);
        QVERIFY2(file.error.startsWith(path + QStringLiteral(": ")), qPrintable(file.error));
    }
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
    QTest::newRow("short line padded")
        << "Net:" << QList<UpdateBox>{field("N.T", 0, 8, 3, 0)} << v << QStringList{"Net:    -7"} << "-";
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
        << "abc" << QList<UpdateBox>{field("N.T", 0, 0, 3, 0)} << v << QStringList{"-7c"}
        << "c";
    QTest::newRow("negative line is not printed")
        << "abc" << QList<UpdateBox>{field("N.T", -1, 1, 3, 0)} << v << QStringList{"abc"} << "c";
    QTest::newRow("no cells prints nothing")
        << "abc" << QList<UpdateBox>{field("N.Gone", 5, 1, 0, 0)} << v << QStringList{"abc"} << "-";
    QTest::newRow("last line end keeps an empty line")
        << "a\r\n" << QList<UpdateBox>{} << v << QStringList{"a", ""} << "";
    QTest::newRow("empty ticket") << "" << QList<UpdateBox>{} << v << QStringList{} << "";
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

void TestPreview::networkValuesMove()
{
    auto network = ProcessNetwork::builtIn();
    // Scale1.NetWeight ramps from 0 to 1500 in 90 s, then starts again.
    QCOMPARE(networkValues(*network, 45000)(QStringLiteral("Scale1.NetWeight")), std::optional<double>(750));
    QCOMPARE(networkValues(*network, 90000 + 30000)(QStringLiteral("Scale1.NetWeight")), std::optional<double>(500));
    QCOMPARE(networkValues(*network, 12345)(QStringLiteral("Scale1.Tare")), std::optional<double>(12.5));
    QCOMPARE(networkValues(*network, 0)(QStringLiteral("Scale1.Nope")), std::nullopt);
    // A device variable is no network variable.
    QCOMPARE(networkValues(*network, 0)(QStringLiteral("Printer1.lines")), std::nullopt);

    // The preview and the server read the same clock.
    const qint64 before = ProcessNetwork::networkTime();
    QVERIFY(std::abs(before - QDateTime::currentMSecsSinceEpoch()) < 1000);
}

void TestPreview::layoutFromDevice()
{
    auto network = ProcessNetwork::builtIn();
    AutomationFactory factory(*network);
    TicketDownload download(factory);
    TicketModel model;
    test::fillGoldenTicket(model);
    // A longer ticket first: its lines beyond the new count must not come back.
    QVERIFY(download.run(model, QStringList(8, QStringLiteral("old")), QStringLiteral("Printer1")).ok());
    model.UpdateBoxes[7].DataIn = false;
    const QStringList lines = test::goldenBoxLines();
    QVERIFY(download.run(model, lines, QStringLiteral("Printer1")).ok());
    model.UpdateBoxes[7].DataIn = true;

    QString error;
    const std::optional<LayoutData> layout = tkl::layoutFromDevice(*network, QStringLiteral("Printer1"), &error);
    QVERIFY2(layout, qPrintable(error));
    QCOMPARE(layout->UpdateBoxes[1], model.UpdateBoxes[1]);
    QCOMPARE(layout->UpdateBoxes[30], model.UpdateBoxes[30]);
    // Slot 7 was cleared by the second download; slot 3 was never defined.
    QCOMPARE(layout->UpdateBoxes[7], UpdateBox{});
    QCOMPARE(layout->UpdateBoxes[3], UpdateBox{});
    QCOMPARE(layout->BoxLoaded[1], qint16(1));
    QCOMPARE(layout->BoxLoaded[7], qint16(0));
    QCOMPARE(layout->TicketLines, qint16(lines.size()));
    QCOMPARE(layout->text, lines.join(QStringLiteral("\r\n")));
    QCOMPARE(layout->StartCode, QStringLiteral("[27]@"));
    QCOMPARE(layout->StopCode, QString(QChar(13)));

    // The device prints what the editor's layout shows.
    LayoutData original = LayoutData::fromModel(model, lines.join(QStringLiteral("\r\n")));
    original.UpdateBoxes[7].DataIn = false;
    const ValueSource values = networkValues(*network, 30000);
    QCOMPARE(tkl::renderTicket(*layout, values).lines, tkl::renderTicket(original, values).lines);
    QCOMPARE(tkl::renderTicket(*layout, values).stopCode, QStringLiteral("CR"));
}

void TestPreview::layoutFromDeviceRefused_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("error");

    QTest::newRow("unknown port") << "Printer9" << "No port \"Printer9\" in the network";
    QTest::newRow("empty port") << "" << "No port \"\" in the network";
    QTest::newRow("a node, not a port") << "Scale1" << "No port \"Scale1\" in the network";
    QTest::newRow("never downloaded") << "Printer2" << "Port \"Printer2\" holds no ticket";
}

void TestPreview::layoutFromDeviceRefused()
{
    QFETCH(QString, port);
    QFETCH(QString, error);
    auto network = ProcessNetwork::builtIn();
    QString actual;
    QVERIFY(!tkl::layoutFromDevice(*network, port, &actual));
    QCOMPARE(actual, error);
}

QTEST_GUILESS_MAIN(TestPreview)
#include "tst_preview.moc"
