// The ticket as the device prints it: field values in their cells, printer codes made
// readable, and values files.

#include "device/NetworkCatalogue.h"
#include "preview/FieldFormat.h"
#include "preview/PrinterCodeText.h"
#include "preview/TicketRenderer.h"
#include "preview/ValuesFile.h"

#include <QTest>

#include <cmath>

using namespace tkl;

namespace {

using Values = QHash<QString, double>;

// A ticket text and its fields; what is shown: the lines, per field o (overflow), m (missing),
// c (clipped) or -, and the cells of each shown field. No start code: no code lines.
struct TicketCase { QString text; QList<UpdateBox> boxes; QStringList lines; QString flags; QStringList cells;
                    QString startCode = {}; };
// A values file, what it holds, and the message it is refused with (none: taken).
struct ValuesCase { QByteArray text; Values values; QString error = {}; };
struct FormatCase { double value; int chars, digits; QString expected; };
// A field read through the network's addresses or, without one, by its name; what it shows.
struct AddressCase { UpdateBox box; bool byAddress; QString cells, source; };

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
    void formatFieldValue_data()
    {
        QTest::addColumn<FormatCase>("c");
        auto row = [](const char *name, const FormatCase &c) { QTest::newRow(name) << c; };
        // Rounding happens on the decimal the value is written as, halves away from zero.
        row("carry into a new digit", {9.995, 5, 2, "10.00"});
        row("2.675 is a half", {2.675, 4, 2, "2.68"});
        row("half away from zero, not to even", {2.5, 1, 0, "3"});
        // Placement in the cells.
        row("right-aligned", {12.34, 7, 1, "   12.3"});
        row("0 decimals has no point", {7.0, 3, 0, "  7"});
        row("exact fit", {123.45, 6, 2, "123.45"});
        row("one cell too many", {123.45, 5, 2, "*****"});
        row("minus sign fits", {-12.3, 5, 1, "-12.3"});
        row("minus sign takes a cell", {-12.3, 4, 1, "****"});
        row("rounds to zero: no minus", {-0.004, 5, 2, " 0.00"});
        row("between -1 and 0 keeps its minus", {-0.5, 5, 2, "-0.50"});
        // Digits against Chars: the point and the digit before it need two more cells.
        row("digits two below chars", {0.5, 3, 1, "0.5"});
        row("digits one below chars", {0.5, 2, 1, "**"});
        row("digits above chars", {1.0, 2, 5, "**"});
        row("not a number", {std::nan(""), 4, 1, "****"});
    }

    void formatFieldValue()
    {
        QFETCH(FormatCase, c);
        bool overflow = false;
        QCOMPARE(tkl::formatFieldValue(c.value, c.chars, c.digits, &overflow), c.expected);
        QCOMPARE(overflow, c.expected.startsWith(QLatin1Char('*')));
    }

    void decodePrinterCodes_data()
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

    void decodePrinterCodes()
    {
        QFETCH(QString, code);
        QFETCH(QString, expected);
        QCOMPARE(tkl::decodePrinterCodes(code), expected);
    }

    void valuesFile_data()
    {
        QTest::addColumn<ValuesCase>("c");
        auto row = [](const char *name, const ValuesCase &c) { QTest::newRow(name) << c; };
        row("names, blanks, comments", {"# weights\nScale1.NetWeight=1250.5\n\n  Kiln.Zone1Temp = -3 \n   # indented\nB.C=1e3\n",
                                        {{"Scale1.NetWeight", 1250.5}, {"Kiln.Zone1Temp", -3}, {"B.C", 1000}}});
        row("byte order mark", {"\xef\xbb\xbf" "a=1\n", {{"a", 1}}});
        row("counted across CR LF and blank lines", {"\r\n\r\n# x\r\nq\r\n", {}, "line 4: expected name=value: q"});
        row("no value", {"a=", {}, "line 1: no value after \"=\": a="});
        row("infinity", {"a=inf", {}, "line 1: \"inf\" is not a number: a=inf"});
        row("not UTF-8", {"\xff\xfe=1", {}, QStringLiteral("line 1: not UTF-8 text: \ufffd\ufffd=1")});
    }

    void valuesFile()
    {
        QFETCH(ValuesCase, c);
        const auto file = ValuesFile::parse(c.text);
        QCOMPARE(file.error().message, c.error);
        QCOMPARE(file.ok(), c.error.isEmpty());
        QCOMPARE(file.ok() ? *file : Values{}, c.values);
    }

    // What the preview window and `tklcli preview` both show, and where each field's cells
    // are in it. Values: N.W 12.34, N.T -7, N.Big 123456; the fields go into slots 1, 3, 5...
    void ticket_data()
    {
        QTest::addColumn<TicketCase>("c");
        auto row = [](const char *name, const TicketCase &c) { QTest::newRow(name) << c; };
        row("field inside a line", {"Net:       kg", {field("N.W", 0, 6, 5, 1)}, {"Net:  12.3 kg"}, "-", {" 12.3"}});
        row("fields on two lines, Linie from 0, Pos from 1", {"A\r\nB", {field("N.W", 1, 1, 4, 0), field("N.T", 0, 2, 2, 0)},
            {"A-7", "  12"}, "--", {"  12", "-7"}});
        row("field below the text adds lines", {"Top", {field("N.T", 2, 1, 2, 0)}, {"Top", "", "-7"}, "-", {"-7"}});
        row("no value: question marks", {"x", {field("N.Gone", 0, 1, 3, 0)}, {"???"}, "m", {"???"}});
        row("does not fit: stars", {"Sum: ....", {field("N.Big", 0, 6, 4, 0)}, {"Sum: ****"}, "o", {"****"}});
        row("higher slot shows where fields overlap", {"", {field("N.W", 0, 1, 5, 2), field("N.T", 0, 4, 3, 0)},
            {"12. -7"}, "--", {"12. -", " -7"}});
        row("left of column 1 is not printed", {"abc", {field("N.T", 0, 0, 3, 0)}, {"-7c"}, "c", {"-7"}});
        row("codes decoded, empty code is CR", {"Net:", {field("N.W", 0, 5, 3, 0)}, {"<start: ESC E>", "Net: 12", "<stop: CR>"},
            "-", {" 12"}, "[27]E"});
        row("control characters before the field", {"\t\x1b\n:", {field("N.W", 0, 5, 3, 0)}, {"[9][27][10]: 12"}, "-", {" 12"}});
        row("a control character after the field", {"abcd   \tx", {field("N.W", 0, 5, 3, 0)}, {"abcd 12[9]x"}, "-", {" 12"}});
        // DEL and the C1 codes are control characters as well; the no-break space is none.
        row("DEL, C1 and no-break space", {"\x7f\xc2\x9b\xc2\xa0:", {}, {"[127][155]\u00a0:"}, "", {}});
    }

    void ticket()
    {
        QFETCH(TicketCase, c);
        const auto &[text, boxes, lines, flags, cells, startCode] = c;
        LayoutData layout{.StartCode = startCode, .StopCode = {}, .text = text};
        for (qsizetype i = 0; i < boxes.size(); ++i)
            layout.UpdateBoxes[2 * i + 1] = boxes.at(i);
        // A loaded but undefined slot prints nothing even when its variable has a value.
        layout.UpdateBoxes[30] = field("N.W", 0, 1, 5, 0);
        layout.UpdateBoxes[30].DataIn = false;

        const RenderedTicket ticket = renderTicket(layout, fixedValues({{"N.W", 12.34}, {"N.T", -7}, {"N.Big", 123456}}));
        const ShownTicket shown = showTicket(ticket, !startCode.isEmpty());
        QCOMPARE(shown.lines, lines);
        QString actual;
        for (const RenderedField &f : ticket.fields) {
            QCOMPARE(f.text.size(), qsizetype(f.chars));
            actual += f.overflow ? u'o' : f.missing ? u'm' : f.clipped ? u'c' : u'-';
        }
        QCOMPARE(actual, flags);
        QCOMPARE(ticket.overflowCount(), int(flags.count(u'o')));
        QCOMPARE(ticket.missingCount(), int(flags.count(u'm')));
        QStringList shownCells;
        for (const ShownField &f : shown.fields) {
            QCOMPARE(f.slot, int(2 * shownCells.size() + 1));
            shownCells << shown.lines.at(f.line).mid(f.start, f.length);
        }
        QCOMPARE(shownCells, cells);
    }

    // A field shows the value the device finds at its address members, not the one its
    // name would give: a name typed over a bound field keeps the old variable's address.
    // Without a network the name decides.
    void valueByAddress_data()
    {
        QTest::addColumn<AddressCase>("c");
        auto row = [](const char *name, const AddressCase &c) { QTest::newRow(name) << c; };
        const UpdateBox w{QStringLiteral("N.W"), 3, 120, 0, 4, 0, 17, 0, 5, 1, true, 0, 1};
        UpdateBox tAddress = w, typo = w, node = w, bit = w, offset = w;
        tAddress.SWNo = 122, tAddress.Offset = 8, tAddress.BitNo = 2;
        typo.VarName = QStringLiteral("N.Typo");
        node.NodeAdr = 4, bit.BitNo = 4, offset.Offset = 4;
        row("name and address agree", {w, true, " 12.3", "N.W"});
        row("the address of another variable", {tAddress, true, " -7.0", "N.T"});
        row("by name without a network", {tAddress, false, " 12.3", "N.W"});
        row("an unknown name at a known address", {typo, true, " 12.3", "N.W"});
        row("nothing at the address: node", {node, true, "?????", ""});
        row("nothing at the address: bit", {bit, true, "?????", ""});
        row("nothing at the address: offset", {offset, true, "?????", ""});
    }

    void valueByAddress()
    {
        QFETCH(AddressCase, c);
        NetworkCatalogue network;
        const int node = network.addNode(QStringLiteral("N"), QStringLiteral("NET1.ST03"), QStringLiteral("17"));
        network.addVariable(node, QStringLiteral("W"), 120, 0, 4, 0);
        network.addVariable(node, QStringLiteral("T"), 122, 8, 4, 2);
        network.addNode(QStringLiteral("M"), QStringLiteral("NET1.ST04"), QStringLiteral("17"));
        LayoutData layout;
        layout.text = QStringLiteral("x");
        layout.UpdateBoxes[1] = c.box;
        const RenderedTicket ticket =
            renderTicket(layout, fixedValues({{"N.W", 12.34}, {"N.T", -7}}), c.byAddress ? &network : nullptr);
        QCOMPARE(ticket.fields.size(), 1);
        QCOMPARE(ticket.fields.first().text, c.cells);
        QCOMPARE(ticket.fields.first().source, c.source);
    }
};

QTEST_GUILESS_MAIN(TestPreview)
#include "tst_preview.moc"
