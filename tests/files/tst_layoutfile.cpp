#include "files/CodePage1252.h"
#include "files/FieldPlacement.h"
#include "files/LayoutData.h"
#include "files/LayoutFile.h"
#include "files/LayoutLines.h"
#include "files/LayoutReader.h"
#include "files/LayoutWriter.h"
#include "model/CharGrid.h"
#include "model/TicketModel.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

using namespace tkl;

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray golden()
{
    return readAll(QStringLiteral(TKL_FILES_DATA "/worked-example.txt"));
}

// The layout of the worked example: New on a 120-twip cell, one field in slot 1.
LayoutData exampleLayout()
{
    LayoutData d;
    d.EditorWidth = 5170;
    d.EditorHeight = 3155;
    d.TicketLines = 2;
    d.BoxLoaded[1] = 1;
    UpdateBox &b = d.UpdateBoxes[1];
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
    d.StartCode = QStringLiteral("[27]E");
    d.StopCode = QStringLiteral("[12]");
    d.text = QStringLiteral("WEIGHT TICKET\r\nNet:");
    return d;
}

QList<QByteArray> fileLines(const QByteArray &bytes)
{
    QList<QByteArray> lines = bytes.split('\n');
    for (QByteArray &l : lines)
        l.chop(l.endsWith('\r') ? 1 : 0);
    return lines;
}

QString why(const std::optional<LayoutError> &e)
{
    return e ? e->message : QString();
}

// `base` (the golden file unless given) with line `line` (1-based) replaced.
QByteArray withLine(int line, const QByteArray &content, const QByteArray &base = golden())
{
    QList<QByteArray> lines = base.split('\n');
    lines[line - 1] = content + '\r';
    return lines.join('\n');
}

// The golden file cut after `count` lines.
QByteArray firstLines(int count)
{
    const QByteArray g = golden();
    qsizetype pos = 0;
    for (int i = 0; i < count; ++i)
        pos = g.indexOf("\r\n", pos) + 2;
    return g.left(pos);
}

QByteArray fixedPart()
{
    return firstLines(LayoutLines::StopCode);
}

QByteArray toBytes(const LayoutData &d)
{
    QByteArray out;
    const auto e = LayoutWriter::toBytes(d, out);
    return e ? QByteArray("refused: ") + e->message.toUtf8() : out;
}

// The numeric value the reader stored for a fixed line, whatever its field.
int valueOfLine(const LayoutData &d, int line)
{
    if (line == LayoutLines::EditorWidth)
        return d.EditorWidth;
    if (line == LayoutLines::EditorHeight)
        return d.EditorHeight;
    if (line == LayoutLines::TicketLines)
        return d.TicketLines;
    if (line < LayoutLines::FirstBlock)
        return d.BoxLoaded[line - LayoutLines::FirstMarker + 1];
    const int k = line - LayoutLines::FirstBlock;
    const UpdateBox &b = d.UpdateBoxes[k / LayoutLines::BlockSize + 1];
    switch (k % LayoutLines::BlockSize) {
    case LayoutLines::NodeAdr: return b.NodeAdr;
    case LayoutLines::SWNo: return b.SWNo;
    case LayoutLines::Offset: return b.Offset;
    case LayoutLines::Typ: return b.Typ;
    case LayoutLines::BitNo: return b.BitNo;
    case LayoutLines::Code: return b.Code;
    case LayoutLines::DevType: return b.DevType;
    case LayoutLines::Chars: return b.Chars;
    case LayoutLines::Digits: return b.Digits;
    case LayoutLines::DataIn: return b.DataIn ? 1 : 0;
    case LayoutLines::Linie: return b.Linie;
    case LayoutLines::Pos: return b.Pos;
    default: return -99999;
    }
}

// A layout with every field somewhere in its range, and strings from the whole code page.
LayoutData randomLayout(QRandomGenerator &rng)
{
    const auto i16 = [&rng] { return qint16(rng.bounded(-32768, 32768)); };
    const auto u8 = [&rng] { return quint8(rng.bounded(256)); };
    const auto str = [&rng](bool multiLine) {
        QByteArray bytes;
        const int n = rng.bounded(12);
        for (int i = 0; i < n; ++i) {
            char c = char(rng.bounded(256));
            if (c == '\r' || (c == '\n' && !multiLine))
                c = 'x';
            bytes += c;
            if (multiLine && rng.bounded(5) == 0)
                bytes += "\r\n";
        }
        return CodePage1252::decode(bytes);
    };
    LayoutData d;
    d.EditorWidth = i16();
    d.EditorHeight = i16();
    d.TicketLines = i16();
    for (int i = 1; i <= 30; ++i) {
        d.BoxLoaded[i] = i16();
        UpdateBox &b = d.UpdateBoxes[i];
        b = {str(false), u8(), i16(), i16(), i16(), u8(), u8(), i16(), i16(), i16(), rng.bounded(2) == 1, i16(), i16()};
    }
    d.StartCode = str(false);
    d.StopCode = str(false);
    d.text = str(true);
    return d;
}

} // namespace

class TestLayoutFile : public QObject
{
    Q_OBJECT

private slots:
    void workedExample_data();
    void workedExample();
    void emptyModelWrites426Lines();
    void textRoundTrip_data();
    void textRoundTrip();
    void textAfterStopCode_data();
    void textAfterStopCode();
    void everyByteRoundTrips();
    void randomLayoutsRoundTrip();
    void numbersWrittenPlain();
    void readValues_data();
    void readValues();
    void readErrors_data();
    void readErrors();
    void cleanUpBeforeWriting();
    void applyKeepsMarkersWithFields();
    void scrollMaximum_data();
    void scrollMaximum();
    void placement_data();
    void placement();
    void refusedValues_data();
    void refusedValues();
    void failingDevice();
    void saveReplacesExistingFile();
    void failedSaveKeepsOldFile_data();
    void failedSaveKeepsOldFile();
    void unreadablePaths_data();
    void unreadablePaths();
    void largeFiles();
};

void TestLayoutFile::workedExample_data()
{
    QTest::addColumn<bool>("throughModel");
    QTest::newRow("layout value") << false;
    QTest::newRow("from the model") << true;
}

void TestLayoutFile::workedExample()
{
    QFETCH(bool, throughModel);
    const QByteArray expected = golden();
    QVERIFY(!expected.isEmpty());

    LayoutData d = exampleLayout();
    if (throughModel) {
        TicketModel model;
        d.applyTo(model);
        d = LayoutData::fromModel(model, d.text);
    }
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    const std::optional<LayoutError> e = LayoutWriter::write(buffer, d);
    QVERIFY2(!e, qPrintable(why(e)));
    QCOMPARE(buffer.data(), expected);

    const LayoutReadResult r = LayoutReader::read(expected);
    QVERIFY2(r, qPrintable(r.error.message));
    QVERIFY(*r.layout == exampleLayout());

    const QList<FieldPlacement> fields = FieldPlacement::defined(r.layout->UpdateBoxes, CharGrid(120, 225));
    QCOMPARE(fields.size(), 1);
    QCOMPARE(fields[0].slot, 1);
    QCOMPARE(fields[0].left, 5 * 120 - 100);
    QCOMPARE(fields[0].top, 1 * 225 + 20);
    QCOMPARE(fields[0].width, 880);
    QCOMPARE(fields[0].caption, QStringLiteral("XXXXX.X"));
}

void TestLayoutFile::emptyModelWrites426Lines()
{
    const TicketModel model;
    const QByteArray bytes = toBytes(LayoutData::fromModel(model, QString()));
    QCOMPARE(bytes.count("\r\n"), 426);
    QVERIFY(bytes.endsWith("\r\n\r\n")); // the stop code and the text are empty lines
    QCOMPARE(bytes.count('\n'), 426);    // no stray LF anywhere

    const LayoutReadResult r = LayoutReader::read(bytes);
    QVERIFY(r);
    QCOMPARE(r.layout->text, QString());
}

void TestLayoutFile::textRoundTrip_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("fileLines");   // lines of the whole file
    QTest::addColumn<QString>("readBack");

    QTest::newRow("empty") << "" << 426 << "";
    QTest::newRow("A CR LF: last line empty") << "A\r\n" << 427 << "A\r\n";
    QTest::newRow("A") << "A" << 426 << "A";
    QTest::newRow("two lines") << "WEIGHT TICKET\r\nNet:" << 427 << "WEIGHT TICKET\r\nNet:";
    QTest::newRow("only line ends") << "\r\n\r\n" << 428 << "\r\n\r\n";
    QTest::newRow("lone LF stays inside its line") << "a\nb" << 426 << "a\nb";
    QTest::newRow("blanks kept") << "  x  \r\n  " << 427 << "  x  \r\n  ";
    QTest::newRow("euro and undefined byte") << QString::fromUtf16(u"\u20ac 5\u0081") << 426
                                             << QString::fromUtf16(u"\u20ac 5\u0081");
    QTest::newRow("lone CR is a line end") << "a\rb" << 427 << "a\r\nb";
}

void TestLayoutFile::textRoundTrip()
{
    QFETCH(QString, text);
    QFETCH(int, fileLines);
    QFETCH(QString, readBack);

    LayoutData d = exampleLayout();
    d.text = text;
    const QByteArray bytes = toBytes(d);
    QCOMPARE(bytes.count('\r'), fileLines); // every line ends in CR LF or a lone CR

    const LayoutReadResult r = LayoutReader::read(bytes);
    QVERIFY2(r, qPrintable(r.error.message));
    QCOMPARE(r.layout->text, readBack);
    // A second cycle changes nothing: the text does not grow by a line per save.
    d.text = r.layout->text;
    QCOMPARE(LayoutReader::read(toBytes(d)).layout.value_or(LayoutData{}).text, readBack);
}

void TestLayoutFile::textAfterStopCode_data()
{
    QTest::addColumn<QByteArray>("tail");
    QTest::addColumn<QString>("text");

    QTest::newRow("file ends after line 425") << QByteArray() << "";
    QTest::newRow("last line without line end") << QByteArray("abc") << "abc";
    QTest::newRow("CR line ends") << QByteArray("a\rb\r") << "a\r\nb";
    QTest::newRow("mixed line ends") << QByteArray("a\r\nb\rc\r\n") << "a\r\nb\r\nc";
    QTest::newRow("CR then CR LF") << QByteArray("a\r\r\n") << "a\r\n";
    QTest::newRow("LF only is not a line end") << QByteArray("a\nb\n") << "a\nb\n";
}

void TestLayoutFile::textAfterStopCode()
{
    QFETCH(QByteArray, tail);
    QFETCH(QString, text);
    const LayoutReadResult r = LayoutReader::read(fixedPart() + tail);
    QVERIFY2(r, qPrintable(r.error.message));
    QCOMPARE(r.layout->text, text);
}

void TestLayoutFile::everyByteRoundTrips()
{
    // Every byte value once; CR only as part of CR LF, since a lone CR ends a line.
    QByteArray tail;
    for (int b = 0; b < 256; ++b) {
        tail += char(b);
        if (b == '\r')
            tail += '\n';
    }
    tail += "\r\n";
    const QByteArray file = fixedPart() + tail;

    const LayoutReadResult r = LayoutReader::read(file);
    QVERIFY(r);
    const QString &text = r.layout->text;
    QCOMPARE(text.size(), 257);
    QCOMPARE(text.at(0x80 + 1), QChar(0x20AC)); // +1 for the LF added after byte 13
    QCOMPARE(text.at(0x81 + 1), QChar(0x0081));
    QCOMPARE(text.at(0x9F + 1), QChar(0x0178));
    QCOMPARE(text.at(0xFF + 1), QChar(0x00FF));
    QCOMPARE(toBytes(*r.layout), file);
}

void TestLayoutFile::randomLayoutsRoundTrip()
{
    QRandomGenerator rng(4711);
    for (int n = 0; n < 50; ++n) {
        const LayoutData d = randomLayout(rng);
        const QByteArray bytes = toBytes(d);
        QVERIFY(!bytes.startsWith("refused"));
        const LayoutReadResult r = LayoutReader::read(bytes);
        QVERIFY2(r, qPrintable(r.error.message));
        QVERIFY2(*r.layout == d, qPrintable(QStringLiteral("layout %1").arg(n)));
    }
}

void TestLayoutFile::numbersWrittenPlain()
{
    LayoutData d;
    d.EditorWidth = 5;
    d.EditorHeight = -3;
    d.TicketLines = -32768;
    d.UpdateBoxes[30].NodeAdr = 255;
    d.UpdateBoxes[30].DataIn = true;
    const QList<QByteArray> lines = fileLines(toBytes(d));
    QCOMPARE(lines[0], QByteArray("5"));
    QCOMPARE(lines[1], QByteArray("-3"));
    QCOMPARE(lines[2], QByteArray("-32768"));
    QCOMPARE(lines[LayoutLines::memberLine(30, LayoutLines::NodeAdr) - 1], QByteArray("255"));
    QCOMPARE(lines[LayoutLines::memberLine(30, LayoutLines::DataIn) - 1], QByteArray("True"));
    QCOMPARE(lines[LayoutLines::memberLine(29, LayoutLines::DataIn) - 1], QByteArray("False"));
}

void TestLayoutFile::readValues_data()
{
    QTest::addColumn<int>("line");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("value");

    const int nodeAdr2 = LayoutLines::memberLine(2, LayoutLines::NodeAdr);
    const int dataIn2 = LayoutLines::memberLine(2, LayoutLines::DataIn);
    const int chars30 = LayoutLines::memberLine(30, LayoutLines::Chars);

    QTest::newRow("blanks around") << 1 << QByteArray(" \t12 ") << 12;
    QTest::newRow("half to even down") << 1 << QByteArray("2.5") << 2;
    QTest::newRow("half to even up") << 1 << QByteArray("3.5") << 4;
    QTest::newRow("negative half") << 1 << QByteArray("-2.5") << -2;
    QTest::newRow("fraction below the top") << 1 << QByteArray("32767.4") << 32767;
    QTest::newRow("lowest 16-bit") << 2 << QByteArray("-32768") << -32768;
    QTest::newRow("plus sign") << 3 << QByteArray("+7") << 7;
    QTest::newRow("marker kept as stored") << LayoutLines::markerLine(30) << QByteArray("5") << 5;
    QTest::newRow("8-bit top") << nodeAdr2 << QByteArray("255") << 255;
    QTest::newRow("8-bit rounds into range") << nodeAdr2 << QByteArray("254.5") << 254;
    QTest::newRow("Chars past 16-bit width overflow") << chars30 << QByteArray("32767") << 32767;
    QTest::newRow("DataIn lower case") << dataIn2 << QByteArray("true") << 1;
    QTest::newRow("DataIn upper case") << dataIn2 << QByteArray("FALSE") << 0;
    QTest::newRow("DataIn with blanks") << dataIn2 << QByteArray(" tRuE ") << 1;
    QTest::newRow("DataIn -1") << dataIn2 << QByteArray("-1") << 1;
    QTest::newRow("DataIn 0") << dataIn2 << QByteArray("0") << 0;
    QTest::newRow("DataIn fraction is non-zero") << dataIn2 << QByteArray("0.25") << 1;
}

void TestLayoutFile::readValues()
{
    QFETCH(int, line);
    QFETCH(QByteArray, content);
    QFETCH(int, value);
    const LayoutReadResult r = LayoutReader::read(withLine(line, content));
    QVERIFY2(r, qPrintable(r.error.message));
    QCOMPARE(valueOfLine(*r.layout, line), value);
}

void TestLayoutFile::readErrors_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("message");

    const int nodeAdr2 = LayoutLines::memberLine(2, LayoutLines::NodeAdr); // 48
    const int dataIn2 = LayoutLines::memberLine(2, LayoutLines::DataIn);   // 57
    const int chars30 = LayoutLines::memberLine(30, LayoutLines::Chars);   // 419

    QTest::newRow("not a number") << withLine(nodeAdr2, "abc") << 48 << "NodeAdr of UpdateBox 2"
                                  << R"(Line 48: "abc" is not a number (NodeAdr of UpdateBox 2))";
    QTest::newRow("number with junk") << withLine(nodeAdr2, "12abc") << 48 << "NodeAdr of UpdateBox 2"
                                      << R"(Line 48: "12abc" is not a number (NodeAdr of UpdateBox 2))";
    QTest::newRow("exponent") << withLine(3, "1e3") << 3 << "TicketLines"
                              << R"(Line 3: "1e3" is not a number (TicketLines))";
    QTest::newRow("placeholders in the line") << withLine(nodeAdr2, "%2%3") << 48 << "NodeAdr of UpdateBox 2"
                                              << R"(Line 48: "%2%3" is not a number (NodeAdr of UpdateBox 2))";
    QTest::newRow("control characters shown") << withLine(1, QByteArray("\x01\x00x", 3)) << 1 << "EditorWidth"
                                              << R"(Line 1: "[1][0]x" is not a number (EditorWidth))";
    QTest::newRow("empty") << withLine(1, "") << 1 << "EditorWidth"
                           << "Line 1 is empty where a number is expected (EditorWidth)";
    QTest::newRow("blanks only") << withLine(LayoutLines::markerLine(3), "  ") << 6 << "BoxLoaded of UpdateBox 3"
                                 << "Line 6 is empty where a number is expected (BoxLoaded of UpdateBox 3)";
    QTest::newRow("8-bit too big") << withLine(nodeAdr2, "256") << 48 << "NodeAdr of UpdateBox 2"
                                   << R"(Line 48: "256" is outside the range 0 to 255 (NodeAdr of UpdateBox 2))";
    QTest::newRow("8-bit negative") << withLine(nodeAdr2 + 4, "-1") << 52 << "BitNo of UpdateBox 2"
                                    << R"(Line 52: "-1" is outside the range 0 to 255 (BitNo of UpdateBox 2))";
    QTest::newRow("8-bit rounds out of range") << withLine(nodeAdr2 + 5, "255.5") << 53 << "Code of UpdateBox 2"
                                               << R"(Line 53: "255.5" is outside the range 0 to 255 (Code of UpdateBox 2))";
    QTest::newRow("16-bit too big") << withLine(chars30, "32768") << 419 << "Chars of UpdateBox 30"
                                    << R"(Line 419: "32768" is outside the range -32768 to 32767 (Chars of UpdateBox 30))";
    QTest::newRow("16-bit too small") << withLine(2, "-32769") << 2 << "EditorHeight"
                                      << R"(Line 2: "-32769" is outside the range -32768 to 32767 (EditorHeight))";
    QTest::newRow("DataIn word") << withLine(dataIn2, "yes") << 57 << "DataIn of UpdateBox 2"
                                 << R"(Line 57: "yes" is neither True nor False nor a number (DataIn of UpdateBox 2))";
    QTest::newRow("DataIn empty") << withLine(dataIn2, "") << 57 << "DataIn of UpdateBox 2"
                                  << R"(Line 57: "" is neither True nor False nor a number (DataIn of UpdateBox 2))";
    QTest::newRow("ends at line 300") << firstLines(300) << 301 << "DevType of UpdateBox 21"
                                      << "The file ends at line 300, before the stop code on line 425";
    QTest::newRow("stop code missing") << firstLines(424) << 425 << "stop code"
                                       << "The file ends at line 424, before the stop code on line 425";
    QTest::newRow("last fixed line without line end") << firstLines(424) + "[12]" << 0 << "" << "";
    QTest::newRow("empty file") << QByteArray() << 1 << "EditorWidth"
                                << "The file is empty; a layout file has at least 425 lines, up to the stop code";
    QByteArray lfOnly = golden();
    lfOnly.replace("\r\n", "\n");
    QTest::newRow("LF line ends") << lfOnly << 1 << "EditorWidth"
                                  << R"(Line 1: "5170[10]3155[10]2[10]1[10])" + QStringLiteral("0[10]").repeated(13)
                                         + R"(..." is not a number (EditorWidth))";
}

void TestLayoutFile::readErrors()
{
    QFETCH(QByteArray, file);
    QFETCH(int, line);
    QFETCH(QString, field);
    QFETCH(QString, message);

    QBuffer buffer(&file);
    buffer.open(QIODevice::ReadOnly);
    const LayoutReadResult r = LayoutReader::read(buffer);
    if (message.isEmpty()) {
        QVERIFY2(r, qPrintable(r.error.message));
        return;
    }
    QVERIFY(!r);
    QCOMPARE(r.error.message, message);
    QCOMPARE(r.error.line, line);
    QCOMPARE(r.error.field, field);
}

void TestLayoutFile::cleanUpBeforeWriting()
{
    // Slot 1 defined, 2 and 5 inserted but never defined, 3 defined but not on screen.
    TicketModel model;
    model.BoxLoaded[1] = 1;
    model.UpdateBoxes[1].DataIn = true;
    model.BoxLoaded[2] = 1;
    model.BoxLoaded[5] = 1;
    model.UpdateBoxes[3].DataIn = true;
    LayoutData d = LayoutData::fromModel(model, QString());

    QCOMPARE(freeUndefinedSlots(model), QList<int>({2, 5}));
    QCOMPARE(freeUndefinedSlots(d), QList<int>({2, 5}));
    QCOMPARE(freeUndefinedSlots(d), QList<int>()); // nothing left to free
    QCOMPARE(model.BoxLoaded, d.BoxLoaded);
    QCOMPARE(model.loadedCount(), 1);

    const QList<QByteArray> lines = fileLines(toBytes(d));
    QList<QByteArray> markers = lines.mid(LayoutLines::FirstMarker - 1, 30);
    QList<QByteArray> expected(30, "0");
    expected[0] = "1";
    QCOMPARE(markers, expected);
}

void TestLayoutFile::applyKeepsMarkersWithFields()
{
    // A hand-edited file whose markers disagree with DataIn: the model follows the
    // fields the editor rebuilds, the layout value keeps what the file said.
    const QByteArray file = withLine(LayoutLines::markerLine(4), "1", // slot 4 never defined
                                     withLine(LayoutLines::markerLine(1), "0"));
    const LayoutReadResult r = LayoutReader::read(file);
    QVERIFY(r);
    QCOMPARE(r.layout->BoxLoaded[1], qint16(0));
    QCOMPARE(r.layout->BoxLoaded[4], qint16(1));

    TicketModel model;
    model.BoxLoaded[7] = 1;
    r.layout->applyTo(model);
    QCOMPARE(model.BoxLoaded[1], qint16(1));
    QCOMPARE(model.BoxLoaded[4], qint16(0));
    QCOMPARE(model.BoxLoaded[7], qint16(0));
    QCOMPARE(model.UpdateBoxes[1].VarName, QStringLiteral("Scale1.Net"));
    QCOMPARE(model.StopCode, QStringLiteral("[12]"));
    QCOMPARE(model.EditorWidth, qint16(5170));
}

void TestLayoutFile::scrollMaximum_data()
{
    QTest::addColumn<QByteArray>("ticketLines");
    QTest::addColumn<int>("maximum");
    QTest::newRow("22 keeps 22") << QByteArray("22") << 22;
    QTest::newRow("23 sets 23") << QByteArray("23") << 23;
    QTest::newRow("few lines") << QByteArray("2") << 22;
    QTest::newRow("negative") << QByteArray("-5") << 22;
    QTest::newRow("many") << QByteArray("30000") << 30000;
}

void TestLayoutFile::scrollMaximum()
{
    QFETCH(QByteArray, ticketLines);
    QFETCH(int, maximum);
    const LayoutReadResult r = LayoutReader::read(withLine(LayoutLines::TicketLines, ticketLines));
    QVERIFY(r);
    QCOMPARE(r.layout->scrollMaximum(), maximum);
}

void TestLayoutFile::placement_data()
{
    QTest::addColumn<int>("chars");
    QTest::addColumn<int>("digits");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("caption");

    QTest::newRow("no width yet") << 0 << 3 << 1335 << "UpdateBox7";
    QTest::newRow("no decimals") << 4 << 0 << 520 << "XXXX";
    QTest::newRow("point first") << 3 << 2 << 400 << ".XX";
    QTest::newRow("digits exceed chars") << 2 << 5 << 280 << "XXXXX";
    QTest::newRow("first width past 16 bits") << 273 << 0 << 32800 << QString(273, u'X');
    QTest::newRow("widest") << 32767 << 1 << 3932080 << QString(32765, u'X') + ".X";
    QTest::newRow("negative chars") << -3 << 0 << 0 << "";
}

void TestLayoutFile::placement()
{
    QFETCH(int, chars);
    QFETCH(int, digits);
    QFETCH(int, width);
    QFETCH(QString, caption);

    LayoutData d = exampleLayout();
    UpdateBox &b = d.UpdateBoxes[7];
    b.DataIn = true;
    b.Chars = qint16(chars);
    b.Digits = qint16(digits);
    b.Linie = 3;
    b.Pos = 1;
    // Through the file, as the editor gets it.
    const LayoutReadResult r = LayoutReader::read(toBytes(d));
    QVERIFY(r);
    const FieldPlacement p = FieldPlacement::of(7, r.layout->UpdateBoxes[7], CharGrid(96, 180));
    QCOMPARE(p.slot, 7);
    QCOMPARE(p.left, 96 - 100);
    QCOMPARE(p.top, 3 * 180 + 20);
    QCOMPARE(p.width, width);
    QCOMPARE(p.caption, caption);
}

void TestLayoutFile::refusedValues_data()
{
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("errorLine");
    QTest::addColumn<QString>("message");

    const int varName4 = LayoutLines::memberLine(4, LayoutLines::VarName);
    const QString shifts = QStringLiteral(" holds a line break and cannot be saved: it would shift every later line of the file");
    const QString cannot = QStringLiteral(", which the Windows-1252 code page cannot store");

    QTest::newRow("VarName with LF") << varName4 << "Tank\n1" << varName4 << "VarName of UpdateBox 4" + shifts;
    QTest::newRow("start code with CR") << LayoutLines::StartCode << "[27]\r" << 424 << "Start code" + shifts;
    QTest::newRow("stop code with CR LF") << LayoutLines::StopCode << "a\r\nb" << 425 << "Stop code" + shifts;
    QTest::newRow("VarName outside the code page") << varName4 << QString::fromUtf16(u"Tank\u4e2d") << varName4
                                                   << QString::fromUtf16(u"VarName of UpdateBox 4 cannot be saved: it holds \"\u4e2d\" (U+4E2D)") + cannot;
    QTest::newRow("C1 control the code page lacks") << LayoutLines::StopCode << QString::fromUtf16(u"x\u0080") << 425
                                                    << QString::fromUtf16(u"Stop code cannot be saved: it holds \"\u0080\" (U+0080)") + cannot;
    QTest::newRow("text, second line") << LayoutLines::FirstText << QString::fromUtf16(u"abc\r\nde\u4e2df") << 427
                                       << QString::fromUtf16(u"The ticket text cannot be saved: line 2, column 3 holds \"\u4e2d\" (U+4E2D)") + cannot;
    QTest::newRow("text, pair counts once") << LayoutLines::FirstText << QString::fromUtf16(u"\u20ac\r\n\U0001F600\U0001F600\u4e2d") << 427
                                            << QString::fromUtf16(u"The ticket text cannot be saved: line 2, column 1 holds \"\U0001F600\" (U+1F600)") + cannot;
    QTest::newRow("text, after lone LF and CR") << LayoutLines::FirstText << QString::fromUtf16(u"a\nb\rc\u0100") << 427
                                                << QString::fromUtf16(u"The ticket text cannot be saved: line 3, column 2 holds \"\u0100\" (U+0100)") + cannot;
}

void TestLayoutFile::refusedValues()
{
    QFETCH(int, line);
    QFETCH(QString, value);
    QFETCH(int, errorLine);
    QFETCH(QString, message);

    LayoutData d = exampleLayout();
    if (line == LayoutLines::StartCode)
        d.StartCode = value;
    else if (line == LayoutLines::StopCode)
        d.StopCode = value;
    else if (line == LayoutLines::FirstText)
        d.text = value;
    else
        d.UpdateBoxes[4].VarName = value;

    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    const std::optional<LayoutError> e = LayoutWriter::write(buffer, d);
    QVERIFY(e);
    QCOMPARE(e->message, message);
    QCOMPARE(e->line, errorLine);
    QCOMPARE(buffer.size(), 0); // nothing written, not even the lines before
}

void TestLayoutFile::failingDevice()
{
    QBuffer buffer;
    buffer.open(QIODevice::ReadOnly);
    QTest::ignoreMessage(QtWarningMsg, "QIODevice::write (QBuffer): ReadOnly device");
    const std::optional<LayoutError> e = LayoutWriter::write(buffer, exampleLayout());
    QVERIFY(e);
    QVERIFY(e->message.startsWith(QStringLiteral("The layout could not be written: ")));
}

void TestLayoutFile::saveReplacesExistingFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ticket.txt"));
    QVERIFY(writeAll(path, QByteArray(20000, 'z')));
    const std::optional<LayoutError> e = saveLayoutFile(path, exampleLayout());
    QVERIFY2(!e, qPrintable(why(e)));
    QCOMPARE(readAll(path), golden());

    const LayoutReadResult r = readLayoutFile(path);
    QVERIFY2(r, qPrintable(r.error.message));
    QVERIFY(*r.layout == exampleLayout());
}

void TestLayoutFile::failedSaveKeepsOldFile_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("messagePart");
    QTest::newRow("refused text") << "refused" << "cannot store";
    QTest::newRow("disk full") << "full" << "cannot be saved as";
    QTest::newRow("path is a folder") << "folder" << "is a folder";
    QTest::newRow("folder missing") << "missing" << "cannot be saved as";
}

void TestLayoutFile::failedSaveKeepsOldFile()
{
    QFETCH(QString, how);
    QFETCH(QString, messagePart);

    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("ticket.txt"));
    const QByteArray old = golden();
    QVERIFY(writeAll(path, old));

    LayoutData d = exampleLayout();
    d.text = QString(4000, u'y');
    if (how == QLatin1String("refused"))
        d.text += QChar(0x4E2D);
    else if (how == QLatin1String("folder"))
        path = dir.path();
    else if (how == QLatin1String("missing"))
        path = dir.filePath(QStringLiteral("no/such/ticket.txt"));

    std::optional<LayoutError> e;
    if (how == QLatin1String("full")) {
        // Writes past this size fail as on a full disk; works for root, unlike permissions.
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = saved;
        small.rlim_cur = 3000;
        setrlimit(RLIMIT_FSIZE, &small);
        e = saveLayoutFile(path, d);
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);
    } else {
        e = saveLayoutFile(path, d);
    }
    QVERIFY(e);
    QVERIFY2(e->message.contains(messagePart), qPrintable(e->message));
    QCOMPARE(readAll(dir.filePath(QStringLiteral("ticket.txt"))), old);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("ticket.txt")});
}

void TestLayoutFile::unreadablePaths_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing") << "/nonexistent/ticket.txt" << "The file \"/nonexistent/ticket.txt\" does not exist";
    QTest::newRow("folder") << "/tmp" << "\"/tmp\" is a folder, not a layout file";
    QTest::newRow("device") << "/dev/zero" << "\"/dev/zero\" is not a regular file";
}

void TestLayoutFile::unreadablePaths()
{
    QFETCH(QString, path);
    QFETCH(QString, message);
    const LayoutReadResult r = readLayoutFile(path);
    QVERIFY(!r);
    QCOMPARE(r.error.message, message);
}

void TestLayoutFile::largeFiles()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.txt"));

    // About 50 MB of text: many short lines and a few lines of megabytes.
    LayoutData d = exampleLayout();
    QString text;
    text.reserve(52 * 1024 * 1024);
    const QString shortLine = QStringLiteral("Net weight ........ 12345.6 kg\r\n");
    for (int i = 0; i < 1000000; ++i)
        text += shortLine;
    for (int i = 0; i < 4; ++i)
        text += QString(5 * 1024 * 1024, QChar(u'a' + i)) + QStringLiteral("\r\n");
    d.text = text;
    const std::optional<LayoutError> e = saveLayoutFile(path, d);
    QVERIFY2(!e, qPrintable(why(e)));

    LayoutReadResult r = readLayoutFile(path);
    QVERIFY2(r, qPrintable(r.error.message));
    QCOMPARE(r.layout->text.size(), text.size());
    QVERIFY(r.layout->text == text);

    // The same bytes with LF line ends: one line of 50 MB, reported briefly.
    QByteArray lf = readAll(path);
    lf.replace("\r\n", "\n");
    r = LayoutReader::read(lf);
    QVERIFY(!r);
    QCOMPARE(r.error.line, 1);
    QVERIFY(r.error.message.size() < 200);
}

QTEST_GUILESS_MAIN(TestLayoutFile)
#include "tst_layoutfile.moc"
