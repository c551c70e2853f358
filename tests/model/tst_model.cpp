#include "model/Numbers.h"
#include "model/ShapeCaption.h"
#include "model/TicketModel.h"

#include <QSignalSpy>

#include <QTest>

using namespace tkl;

namespace {

struct NumberCase { bool typed; QString text; int min, max; std::optional<int> expected; }; // expected none: refused

// Each call on a model holding a defined field in slot 2 and the start code "A".
struct ModelCall
{
    const char *name;
    bool changedBefore;
    void (*call)(TicketModel &);
    int announced;     // `changed` emitted
    bool changedAfter; // LayoutChanged
};

const UpdateBox Defined{QStringLiteral("Scale1.Net"), 3, 1, 0, 4, 0, 17, 0, 7, 1, true, 4, 9};

const ModelCall ModelCalls[] = {
    {"record set to what it is", false, [](TicketModel &m) { m.setRecord(2, Defined); }, 0, false},
    {"record edited", false, [](TicketModel &m) { m.editRecord(2, [](UpdateBox &b) { b.Chars = 8; }); }, 1, true},
    {"loaded slot loaded", false, [](TicketModel &m) { m.loadSlot(2); }, 0, false},
    {"free slot loaded", false, [](TicketModel &m) { m.loadSlot(3); }, 1, true},
    {"slot freed", false, [](TicketModel &m) { m.freeSlot(2); }, 1, true},
    {"slot outside 1 to 30", false, [](TicketModel &m) { m.loadSlot(31), m.setRecord(0, Defined); }, 0, false},
    {"start code set to what it is", false, [](TicketModel &m) { m.setStartCode(QStringLiteral("A")); }, 0, false},
    {"stop code set", false, [](TicketModel &m) { m.setStopCode(QStringLiteral("[12]")); }, 1, true},
    {"ticket size set", false, [](TicketModel &m) { m.setEditorWidth(5170), m.setCharsPerLine(40); }, 2, true},
    {"editor height set", false, [](TicketModel &m) { m.setEditorHeight(3155); }, 1, true},
    // Counted from the text at a save or a download: a save cancelled changes nothing.
    {"line count taken", false, [](TicketModel &m) { m.setTicketLines(16); }, 1, false},
    {"field dropped where it was", false, [](TicketModel &m) { m.moveField(2, 4, 9); }, 1, true},
    {"field dropped where it was, again", true, [](TicketModel &m) { m.moveField(2, 4, 9); }, 0, true},
    {"field deleted", false, [](TicketModel &m) { m.deleteField(2); }, 1, true},
    {"text edited", true, [](TicketModel &m) { m.textEdited(); }, 1, true},
    {"saved", true, [](TicketModel &m) { m.markSaved(); }, 1, false},
    {"saved, unchanged", false, [](TicketModel &m) { m.markSaved(); }, 0, false},
    {"reset", true, [](TicketModel &m) { m.reset(); }, 1, false},
};

} // namespace

class TestModel : public QObject
{
    Q_OBJECT

private slots:
    // A number as the reader and the dialogs take it: strictly parsed (a stored value)
    // or the leading number of what was typed, then rounded half to even into the
    // field's range.
    void number_data()
    {
        QTest::addColumn<NumberCase>("c");
        auto row = [](const char *name, const NumberCase &c) { QTest::newRow(name) << c; };
        row("typed: digit behind placeholder", {true, " Not selected5", 0, 255, 0});
        row("typed: trailing text", {true, "3 fast nodes", 0, 255, 3});
        row("typed: leading blanks, fraction", {true, "  3.5abc", 0, 255, 4});
        row("typed: negative", {true, "-4", -32768, 32767, -4});
        row("blanks around", {false, "  12 ", -32768, 32767, 12});
        row("empty", {false, "", -32768, 32767, {}});
        row("trailing junk", {false, "12a", -32768, 32767, {}});
        row("two numbers", {false, "1 2", -32768, 32767, {}});
        row("2.5 down", {false, "2.5", 0, 255, 2});
        row("3.5 up", {false, "3.5", 0, 255, 4});
        row("2.51 up", {false, "2.51", 0, 255, 3});
        row("byte top", {false, "255", 0, 255, 255});
        row("byte over", {false, "256", 0, 255, {}});
        row("byte half rounds into range", {false, "255.4", 0, 255, 255});
        row("byte negative", {false, "-1", 0, 255, {}});
        row("int16 half to even over", {false, "32767.5", -32768, 32767, {}});
        row("int16 bottom", {false, "-32768", -32768, 32767, -32768});
    }

    void number()
    {
        QFETCH(NumberCase, c);
        const auto parsed = c.typed ? std::optional(tkl::leadingNumber(c.text)) : tkl::parseDecimal(c.text);
        QCOMPARE(parsed ? tkl::fitRounded(*parsed, c.min, c.max) : std::nullopt, c.expected);
    }

    void shapeCaption_data()
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

    void shapeCaption()
    {
        QFETCH(int, chars);
        QFETCH(int, digits);
        QFETCH(QString, caption);
        QCOMPARE(ShapeCaption(chars, digits), caption);
    }

    // Which calls announce a change and which set LayoutChanged; a call that changes
    // nothing announces nothing.
    void announcedChanges_data()
    {
        QTest::addColumn<int>("row");
        for (int i = 0; i < int(std::size(ModelCalls)); ++i)
            QTest::newRow(ModelCalls[i].name) << i;
    }

    void announcedChanges()
    {
        QFETCH(int, row);
        const ModelCall &c = ModelCalls[row];
        TicketModel model;
        model.setRecord(2, Defined);
        model.loadSlot(2);
        model.setStartCode(QStringLiteral("A"));
        c.changedBefore ? model.textEdited() : model.markSaved();
        QSignalSpy changed(&model, &TicketModel::changed);
        c.call(model);
        QCOMPARE(changed.size(), c.announced);
        QCOMPARE(model.LayoutChanged, c.changedAfter);
    }
};

QTEST_GUILESS_MAIN(TestModel)
#include "tst_model.moc"
