#include "files/FieldPlacement.h"
#include "files/LayoutData.h"
#include "files/LayoutFile.h"
#include "files/LayoutLines.h"
#include "files/LayoutReader.h"
#include "files/LayoutWriter.h"
#include "model/CharGrid.h"
#include "model/TicketModel.h"
#include "support/ToolProcess.h"

#include <QBuffer>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace tkl;

namespace {

QByteArray golden()
{
    return test::contentsOf(QStringLiteral(TKL_FILES_DATA "/worked-example.txt"));
}

// The layout of the worked example: New on a 120-twip cell, one field in slot 1.
LayoutData exampleLayout()
{
    LayoutData d{.EditorWidth = 5170, .EditorHeight = 3155, .TicketLines = 2, .StartCode = QStringLiteral("[27]E"),
                 .StopCode = QStringLiteral("[12]"), .text = QStringLiteral("WEIGHT TICKET\r\nNet:")};
    d.BoxLoaded[1] = 1;
    d.UpdateBoxes[1] = UpdateBox{QStringLiteral("Scale1.Net"), 3, 1, 12, 4, 0, 0, 2, 7, 1, true, 1, 5};
    return d;
}

// The golden file with line `line` (1-based) replaced.
QByteArray withLine(int line, const QByteArray &content)
{
    QList<QByteArray> lines = golden().split('\n');
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

constexpr int NodeAdr2 = LayoutLines::memberLine(2, LayoutLines::NodeAdr); // 48
constexpr int DataIn2 = LayoutLines::memberLine(2, LayoutLines::DataIn);   // 57
constexpr int Chars30 = LayoutLines::memberLine(30, LayoutLines::Chars);   // 419

// Windows-1252 from 0x80 to 0x9F; its free bytes are their C1 codes.
const char16_t HighHalf[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// A file, its text, and the file written of it (none: the same bytes).
struct ReadWriteCase { QByteArray file; QString text; QByteArray written = {}; };
// A file the reader refuses (or takes: no message), the line and the field it names.
struct ReadErrorCase { QByteArray file; int line = 0; QString field = {}, message = {}; };
// A value the writer refuses at one of these lines, the line it names and its message.
struct RefusedCase { int line; QString value; int errorLine; QString message; };

QByteArray toBytes(const LayoutData &d)
{
    const auto bytes = LayoutWriter::toBytes(d);
    return bytes.ok() ? *bytes : QByteArray("refused: ") + bytes.error().message.toUtf8();
}

} // namespace

class TestLayoutFile : public QObject
{
    Q_OBJECT

private slots:
    // Written from the layout as it is, and after a trip through the model as Open and
    // Save take it there and back.
    void workedExample_data()
    {
        QTest::addColumn<bool>("throughModel");
        QTest::newRow("layout value") << false;
        QTest::newRow("from the model") << true;
    }

    void workedExample()
    {
        QFETCH(bool, throughModel);
        const QByteArray expected = golden();

        LayoutData d = exampleLayout();
        if (throughModel) {
            TicketModel model;
            d.applyTo(model);
            d = LayoutData::fromModel(model, d.text);
        }
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QVERIFY(LayoutWriter::write(buffer, d).ok());
        QCOMPARE(buffer.data(), expected);

        const auto r = LayoutReader::read(expected);
        QVERIFY2(r.ok(), qPrintable(r.error().message));
        QVERIFY(*r == exampleLayout());

        const QList<FieldPlacement> fields = FieldPlacement::defined(r->UpdateBoxes, CharGrid(120, 225));
        QCOMPARE(fields.size(), 1);
        QCOMPARE((QList<int>{fields[0].left, fields[0].top, fields[0].width}), (QList<int>{5 * 120 - 100, 1 * 225 + 20, 880}));
    }

    // What the reader makes of a file: its text, and the file the writer makes of it
    // again, which reads back to the same (the text does not grow by a line per save).
    void readWrite_data()
    {
        QTest::addColumn<ReadWriteCase>("c");
        auto row = [](const char *name, const ReadWriteCase &c) { QTest::newRow(name) << c; };
        const QString example = exampleLayout().text;
        row("blanks and plus sign", {withLine(1, " \t+12 "), example, withLine(1, "12")});
        row("half to even", {withLine(3, "2.5"), example, withLine(3, "2")});
        row("marker kept as stored", {withLine(LayoutLines::markerLine(30), "5"), example});
        row("Chars 32767", {withLine(Chars30, "32767"), example});
        row("DataIn any case, blanks", {withLine(DataIn2, " tRuE "), example, withLine(DataIn2, "True")});
        row("DataIn -1", {withLine(DataIn2, "-1"), example, withLine(DataIn2, "True")});
        row("DataIn fraction is non-zero", {withLine(DataIn2, "0.25"), example, withLine(DataIn2, "True")});
        const QByteArray fixed = firstLines(LayoutLines::StopCode);
        row("text: empty", {fixed + "\r\n", ""});
        row("text: A CR LF, last line empty", {fixed + "A\r\n\r\n", "A\r\n"});
        row("text: only line ends", {fixed + "\r\n\r\n\r\n", "\r\n\r\n"});
        // Decoded a byte at a time; the every-byte file below is decoded sixteen bytes at a time.
        row("text: euro and undefined byte", {fixed + "\x80 5\x81\r\n", QString::fromUtf16(u"\u20ac 5\u0081")});
        row("text: last line without line end", {fixed + "abc", "abc", fixed + "abc\r\n"});
        row("text: last line ends in a lone CR", {fixed + "abc\r", "abc", fixed + "abc\r\n"});
        row("text: mixed line ends", {fixed + "a\r\nb\rc\r\n", "a\r\nb\r\nc", fixed + "a\r\nb\r\nc\r\n"});
        row("text: LF only is not a line end", {fixed + "a\nb\n", "a\nb\n", fixed + "a\nb\n\r\n"});
        // Every byte value once; CR only as part of CR LF, since a lone CR ends a line.
        QByteArray tail;
        QString decoded;
        for (int b = 0; b < 256; ++b) {
            tail += b == '\r' ? QByteArray("\r\n") : QByteArray(1, char(b));
            decoded += b == '\r' ? QStringLiteral("\r\n") : QString(QChar(b >= 0x80 && b < 0xA0 ? HighHalf[b - 0x80] : b));
        }
        row("text: every byte", {fixed + tail + "\r\n", decoded});
    }

    void readWrite()
    {
        QFETCH(ReadWriteCase, c);
        const auto &[file, text, rewritten] = c;
        const QByteArray &written = rewritten.isEmpty() ? file : rewritten;
        const auto r = LayoutReader::read(file);
        QVERIFY2(r.ok(), qPrintable(r.error().message));
        QCOMPARE(r->text, text);
        QCOMPARE(toBytes(*r), written);
        const auto again = LayoutReader::read(written);
        QVERIFY(again.ok());
        QCOMPARE(toBytes(*again), written);
    }

    // The bytes 0x80 to 0x9F alone, the byte-wise path (the every-byte text above takes the
    // vectorised one), against the Windows-1252 table, and written back.
    void codePageHighHalf_data()
    {
        QTest::addColumn<int>("byte");
        QTest::addColumn<int>("character");
        for (int b = 0x80; b < 0xA0; ++b)
            QTest::addRow("0x%X", b) << b << int(HighHalf[b - 0x80]);
    }

    void codePageHighHalf()
    {
        QFETCH(int, byte);
        QFETCH(int, character);
        const QByteArray one(1, char(byte));
        const QByteArray file = firstLines(LayoutLines::StartCode - 1) + one + "\r\n" + one + "\r\n";
        const auto r = LayoutReader::read(file);
        QVERIFY(r.ok());
        QCOMPARE(r->StartCode, QString(QChar(character)));
        QCOMPARE(toBytes(*r), file + "\r\n"); // and the empty text
    }

    void readErrors_data(); // below the class: its raw strings confuse moc

    void readErrors()
    {
        QFETCH(ReadErrorCase, c);
        QBuffer buffer(&c.file);
        buffer.open(QIODevice::ReadOnly);
        const auto r = LayoutReader::read(buffer);
        QCOMPARE(r.error().message, c.message);
        QCOMPARE(r.ok(), c.message.isEmpty());
        if (!r.ok()) {
            QCOMPARE(r.error().line, c.line);
            QCOMPARE(r.error().field, c.field);
        }
    }

    void refusedValues_data()
    {
        QTest::addColumn<RefusedCase>("c");
        auto row = [](const char *name, const RefusedCase &c) { QTest::newRow(name) << c; };
        const int varName4 = LayoutLines::memberLine(4, LayoutLines::VarName);
        const QString shifts = QStringLiteral(" holds a line break and cannot be saved: it would shift every later line of the file");
        const QString cannot = QStringLiteral(", which the Windows-1252 code page cannot store");

        row("VarName with LF", {varName4, "Tank\n1", varName4, "VarName of UpdateBox 4" + shifts});
        row("VarName outside the code page", {varName4, QString::fromUtf16(u"Tank\u4e2d"), varName4,
            QString::fromUtf16(u"VarName of UpdateBox 4 cannot be saved: it holds \"\u4e2d\" (U+4E2D)") + cannot});
        row("C1 control the code page lacks", {LayoutLines::StartCode, QString::fromUtf16(u"x\u0080"), 424,
            QString::fromUtf16(u"Start code cannot be saved: it holds \"\u0080\" (U+0080)") + cannot});
        row("text, pair counts once", {LayoutLines::FirstText, QString::fromUtf16(u"\u20ac\r\n\U0001F600\U0001F600\u4e2d"), 427,
            QString::fromUtf16(u"The ticket text cannot be saved: line 2, column 1 holds \"\U0001F600\" (U+1F600)") + cannot});
        row("text, after lone LF and CR", {LayoutLines::FirstText, QString::fromUtf16(u"a\nb\rc\u0100"), 427,
            QString::fromUtf16(u"The ticket text cannot be saved: line 3, column 2 holds \"\u0100\" (U+0100)") + cannot});
        // Saved, it could never be opened again.
        row("text line longer than a device holds", {LayoutLines::FirstText, "a\r\n" + QString(32768, u'x'), 427,
            "Line 427 has 32768 characters; no device holds a line longer than 32767 (ticket text)"});
    }

    void refusedValues()
    {
        QFETCH(RefusedCase, c);
        LayoutData d = exampleLayout();
        QString &target = c.line == LayoutLines::StartCode ? d.StartCode : c.line == LayoutLines::FirstText ? d.text
                                                                                                    : d.UpdateBoxes[4].VarName;
        target = c.value;

        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        const auto written = LayoutWriter::write(buffer, d);
        QVERIFY(!written.ok());
        QCOMPARE(written.error().message, c.message);
        QCOMPARE(written.error().line, c.errorLine);
        QCOMPARE(buffer.size(), 0); // nothing written, not even the lines before
    }

    void fullDiskKeepsOldFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("ticket.txt"));
        QVERIFY(test::writeFile(path, golden()));
        LayoutData d = exampleLayout();
        d.text = QString(4000, u'y');

        const rlimit saved = test::limitFileSize(3000);
        const auto result = saveLayoutFile(path, d);
        setrlimit(RLIMIT_FSIZE, &saved);

        QVERIFY(!result.ok());
        QVERIFY2(result.error().message.contains(QStringLiteral("cannot be saved as")), qPrintable(result.error().message));
        QCOMPARE(test::contentsOf(path), golden());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("ticket.txt")});

        // A file that cannot even be begun is no success either.
        const auto nowhere = saveLayoutFile(dir.filePath(QStringLiteral("no-such-folder/ticket.txt")), exampleLayout());
        QVERIFY(!nowhere.ok());
        QVERIFY2(nowhere.error().message.contains(QStringLiteral("cannot be saved as")), qPrintable(nowhere.error().message));
    }
};

void TestLayoutFile::readErrors_data()
{
    QTest::addColumn<ReadErrorCase>("c");
    auto row = [](const char *name, const ReadErrorCase &c) { QTest::newRow(name) << c; };

    row("number with junk", {withLine(NodeAdr2, "12abc"), 48, "NodeAdr of UpdateBox 2",
        R"(Line 48: "12abc" is not a number (NodeAdr of UpdateBox 2))"});
    row("exponent", {withLine(3, "1e3"), 3, "TicketLines", R"(Line 3: "1e3" is not a number (TicketLines))"});
    row("control characters shown", {withLine(1, QByteArray("\x01\x00x", 3)), 1, "EditorWidth",
        R"(Line 1: "[1][0]x" is not a number (EditorWidth))"});
    row("8-bit rounds out of range", {withLine(NodeAdr2 + 5, "255.5"), 53, "Code of UpdateBox 2",
        R"(Line 53: "255.5" is outside the range 0 to 255 (Code of UpdateBox 2))"});
    row("16-bit too big", {withLine(Chars30, "32768"), 419, "Chars of UpdateBox 30",
        R"(Line 419: "32768" is outside the range -32768 to 32767 (Chars of UpdateBox 30))"});
    row("DataIn word", {withLine(DataIn2, "yes"), 57, "DataIn of UpdateBox 2",
        R"(Line 57: "yes" is neither True nor False nor a number (DataIn of UpdateBox 2))"});
    row("ends at line 300", {firstLines(300), 301, "DevType of UpdateBox 21",
        "The file ends at line 300, before the stop code on line 425"});
    row("last fixed line without line end", {firstLines(424) + "[12]"});
    row("empty file", {QByteArray(), 1, "EditorWidth",
        "The file is empty; a layout file has at least 425 lines, up to the stop code"});
    // What no device holds: a line longer than a 16-bit string length, more lines than
    // a 16-bit line number counts. A lone CR ends a line too.
    const QByteArray fixed = firstLines(LayoutLines::StopCode);
    row("text line of 32767 characters", {fixed + QByteArray(32767, 'x') + "\r\n"});
    row("text line of 32768 characters", {fixed + "a\r\n" + QByteArray(32766, 'x') + "\ny\r\n", 427, "ticket text",
        "Line 427 has 32768 characters; no device holds a line longer than 32767 (ticket text)"});
    row("VarName of 32768 characters", {withLine(LayoutLines::memberLine(2, LayoutLines::VarName), QByteArray(32768, 'v')), 47,
        "VarName of UpdateBox 2", "Line 47 has 32768 characters; no device holds a line longer than 32767 (VarName of UpdateBox 2)"});
    row("32767 text lines", {fixed + QByteArray("t\r\n").repeated(32767)});
    row("32768 text lines, some ending in a lone CR", {fixed + QByteArray("t\r").repeated(100) + QByteArray("t\r\n").repeated(32668),
        33193, "ticket text", "Line 33193: the ticket text has more than 32767 lines; no device holds more"});
    row("larger than 1 MiB", {fixed + QByteArray(LayoutReader::MaxFileSize - fixed.size() + 1, 'x'), 0, "",
        "The file is too large for a layout (1048577 bytes; at most 1048576, 1 MiB)"});
    QByteArray lfOnly = golden();
    lfOnly.replace("\r\n", "\n");
    row("LF line ends", {lfOnly, 1, "EditorWidth", R"(Line 1: "5170[10]3155[10]2[10]1[10])" + QStringLiteral("0[10]").repeated(13)
        + R"(..." is not a number (EditorWidth))"});
}

QTEST_GUILESS_MAIN(TestLayoutFile)
#include "tst_layoutfile.moc"
