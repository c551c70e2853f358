#include "model/Numbers.h"
#include "model/ShapeCaption.h"
#include "model/TicketModel.h"

#include <QSignalSpy>

#include <QTest>

using namespace tkl;

namespace {

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
        QTest::addColumn<bool>("typed");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("min");
        QTest::addColumn<int>("max");
        QTest::addColumn<int>("expected"); // -99999: refused
        QTest::newRow("typed: digit behind placeholder") << true << " Not selected5" << 0 << 255 << 0;
        QTest::newRow("typed: trailing text") << true << "3 fast nodes" << 0 << 255 << 3;
        QTest::newRow("typed: leading blanks, fraction") << true << "  3.5abc" << 0 << 255 << 4;
        QTest::newRow("typed: negative") << true << "-4" << -32768 << 32767 << -4;
        QTest::newRow("blanks around") << false << "  12 " << -32768 << 32767 << 12;
        QTest::newRow("empty") << false << "" << -32768 << 32767 << -99999;
        QTest::newRow("trailing junk") << false << "12a" << -32768 << 32767 << -99999;
        QTest::newRow("two numbers") << false << "1 2" << -32768 << 32767 << -99999;
        QTest::newRow("2.5 down") << false << "2.5" << 0 << 255 << 2;
        QTest::newRow("3.5 up") << false << "3.5" << 0 << 255 << 4;
        QTest::newRow("2.51 up") << false << "2.51" << 0 << 255 << 3;
        QTest::newRow("byte top") << false << "255" << 0 << 255 << 255;
        QTest::newRow("byte over") << false << "256" << 0 << 255 << -99999;
        QTest::newRow("byte half rounds into range") << false << "255.4" << 0 << 255 << 255;
        QTest::newRow("byte negative") << false << "-1" << 0 << 255 << -99999;
        QTest::newRow("int16 half to even over") << false << "32767.5" << -32768 << 32767 << -99999;
        QTest::newRow("int16 bottom") << false << "-32768" << -32768 << 32767 << -32768;
    }

    void number()
    {
        QFETCH(bool, typed);
        QFETCH(QString, text);
        QFETCH(int, min);
        QFETCH(int, max);
        QFETCH(int, expected);
        const auto parsed = typed ? std::optional(tkl::leadingNumber(text)) : tkl::parseDecimal(text);
        const auto r = parsed ? tkl::fitRounded(*parsed, min, max) : std::nullopt;
        QCOMPARE(r.value_or(-99999), expected);
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
        if (c.changedBefore)
            model.textEdited();
        else
            model.markSaved();
        QSignalSpy changed(&model, &TicketModel::changed);
        c.call(model);
        QCOMPARE(changed.size(), c.announced);
        QCOMPARE(model.LayoutChanged, c.changedAfter);
    }
};

QTEST_GUILESS_MAIN(TestModel)
#include "tst_model.moc"
