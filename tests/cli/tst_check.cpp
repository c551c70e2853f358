// What `tklcli check` finds, rule by rule, and its promise: a layout it finds no error in
// downloads whole into P, and a layout P's device would refuse is one it reported, at the
// variable the device refuses. The promise is checked over generated layouts against what
// the device itself does with the download's writes, made one by one without any check
// beforehand.

#include "cli/Command.h"
#include "cli/LayoutCheck.h"
#include "network/NetworkFactory.h"
#include "device/PortVariables.h"
#include "network/ProcessNetwork.h"
#include "device/TicketDownload.h"
#include "files/LayoutData.h"
#include "files/LayoutLines.h"
#include "files/LayoutReader.h"
#include "files/LayoutWriter.h"
#include "preview/DeviceLayout.h"
#include "model/TicketModel.h"

#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

#include <functional>
#include <limits>

using namespace tkl;

namespace {

// A layout and the sizes of the port it goes to, every value picked just inside or just
// outside a limit, or anywhere, with odd characters in every string.
struct Case
{
    int elements = 30;
    int ticketLines = 100;
    int stringLength = 255;
    LayoutData layout;
};

class Generator
{
public:
    explicit Generator(quint32 seed) : m_random(seed) {}

    Case next()
    {
        Case c;
        c.elements = outside() ? oneOf({29, 1}) : oneOf({30, 30, 31});
        c.ticketLines = oneOf({1, 2, 3, 7, 40});
        c.stringLength = oneOf({1, 2, 5, 12, 40});
        const int L = c.stringLength;
        const int T = c.ticketLines;
        LayoutData &l = c.layout;
        l.EditorWidth = 5170;
        for (int slot = LayoutData::FirstSlot; slot <= LayoutData::LastSlot; ++slot) {
            if (!chance(8))
                continue;
            l.BoxLoaded[slot] = 1;
            // VarName, NodeAdr, SWNo, Offset, Typ, BitNo, Code, DevType, Chars, Digits, DataIn,
            // Linie (stored from 0, sent from 1: the device's lines 1..T are 0..T-1 here), Pos.
            l.UpdateBoxes[slot] = UpdateBox{string(L, outside()), byte(), int16(), int16(), int16(), byte(), byte(),
                                            int16(), nearLimit(0, L), nearLimit(0, L), true, nearLimit(0, T - 1),
                                            nearLimit(0, L)};
        }
        int count = oneOf({1, T, int(m_random.bounded(1, T + 1))});
        if (outside())
            count = chance(20) ? 32768 : T + 1 + int(m_random.bounded(3));
        QStringList lines;
        for (int n = 0; n < count; ++n)
            lines << (count > 1000 ? QString() : string(L, false, true));
        l.text = lines.join(QStringLiteral("\r\n"));
        l.StartCode = chance(3) ? QString() : string(L, outside());
        l.StopCode = chance(3) ? QString() : string(L, outside());
        return c;
    }

private:
    bool chance(int oneIn) { return m_random.bounded(oneIn) == 0; }

    // About half the layouts break no rule.
    bool outside() { return chance(50); }

    int oneOf(std::initializer_list<int> values) { return *(values.begin() + m_random.bounded(int(values.size()))); }
    qint16 int16() { return qint16(m_random.bounded(-32768, 32768)); }
    quint8 byte() { return quint8(m_random.bounded(256)); }

    // A value of a 16-bit record member that the device takes from lo to hi: at a
    // bound or inside, or now and then just outside or at the end of the 16 bits.
    qint16 nearLimit(int lo, int hi)
    {
        if (outside())
            return qint16(oneOf({lo - 1, hi + 1, -32768, 32767}));
        return qint16(oneOf({lo, std::min(lo + 1, hi), std::max(hi - 1, lo), hi, int(m_random.bounded(lo, hi + 1))}));
    }

    // A string of at most `limit` characters, or now and then one or a few more; a line
    // break in it when `lineBreak`. Text lines may hold a lone LF, a character of their line.
    QString string(int limit, bool lineBreak, bool textLine = false)
    {
        static const QString alphabet = QStringLiteral("Az09._ [];\t") + QChar(27) + QChar(0xE9) + QChar(0x20AC);
        int length = oneOf({0, std::max(0, limit - 1), limit, int(m_random.bounded(limit + 1))});
        if (outside())
            length = limit + 1 + int(m_random.bounded(3));
        QString s;
        for (int i = 0; i < length; ++i)
            s += alphabet.at(m_random.bounded(int(alphabet.size())));
        if ((lineBreak || (textLine && chance(10))) && !s.isEmpty())
            s[m_random.bounded(int(s.size()))] = u'\n';
        return s;
    }

    QRandomGenerator m_random;
};

// Port P with the case's sizes, and S.Net and S.Tare for the fields of the findings table.
std::unique_ptr<ProcessNetwork> networkFor(const Case &c)
{
    auto network = std::make_unique<ProcessNetwork>();
    const int scale = network->addNode(QStringLiteral("S"), QStringLiteral("NET1.ST03"), QStringLiteral("17 weighing"));
    network->addVariable(scale, QStringLiteral("Net"), 120, 0, 4, 0);
    network->addVariable(scale, QStringLiteral("Tare"), 122, 8, 4, 2);
    const int node = network->addNode(QStringLiteral("Prn"), QStringLiteral("X42"), QStringLiteral("65"));
    network->addPort(QStringLiteral("P"), node, c.elements, c.ticketLines, c.stringLength);
    return network;
}

// The download's writes, in its order, made straight into the device: the first
// variable the device refuses, or nothing. A value beyond its 16-bit variable, and a
// variable name or printer code with a line break (which no layout file can hold), are
// refused where they would be written.
QString deviceRefusal(const LayoutData &layout, const QStringList &lines, ProcessNetwork &network)
{
    using namespace PortVariables;
    using M = Member;
    const QString p = QStringLiteral("P");
    auto write = [&](const QString &name, const QVariant &value) {
        if (network.write(name, value))
            throw name;
    };
    auto int16 = [&](const QString &name, qint64 value) {
        if (value < std::numeric_limits<qint16>::min() || value > std::numeric_limits<qint16>::max())
            throw name;
        write(name, QVariant::fromValue(qint16(value)));
    };
    auto oneLine = [&](const QString &name, const QString &value) {
        if (value.contains(u'\n') || value.contains(u'\r'))
            throw name;
        return value;
    };
    try {
        // Every element the device has is cleared, also those beyond the 30 slots.
        for (int n = 1; n <= std::max(30, network.ports().constFirst().updateElements); ++n)
            write(elementName(p, n, M::DataIn), false);
        for (int n = 1; n <= 30; ++n) {
            const UpdateBox &b = layout.UpdateBoxes[n];
            if (!b.DataIn)
                continue;
            auto name = [&](M m) { return elementName(p, n, m); };
            write(name(M::VarName), oneLine(name(M::VarName), b.VarName));
            write(name(M::NodeAdr), QVariant::fromValue(b.NodeAdr));
            int16(name(M::SWNo), b.SWNo);
            int16(name(M::Offset), b.Offset);
            int16(name(M::Typ), b.Typ);
            write(name(M::BitNo), QVariant::fromValue(b.BitNo));
            write(name(M::Code), QVariant::fromValue(b.Code));
            int16(name(M::DevType), b.DevType);
            int16(name(M::Chars), b.Chars);
            int16(name(M::Digits), b.Digits);
            write(name(M::DataIn), true);
            int16(name(M::Linie), qint64(b.Linie) + 1);
            int16(name(M::Pos), b.Pos);
        }
        int16(linesName(p), lines.size());
        for (qsizetype n = 1; n <= lines.size(); ++n)
            write(ticketName(p, int(n)), lines.at(n - 1));
        write(startCodeName(p), codeOrCr(oneLine(startCodeName(p), layout.StartCode)));
        write(stopCodeName(p), codeOrCr(oneLine(stopCodeName(p), layout.StopCode)));
    } catch (const QString &refused) {
        return refused;
    }
    return {};
}

// The command-line download's way: the layout applied to a model, the text split at CR LF.
DownloadResult download(const LayoutData &layout, ProcessNetwork &network)
{
    TicketModel model;
    layout.applyTo(model);
    NetworkFactory factory(network);
    TicketDownload run(factory);
    return run.run(model, cli::LayoutCheck::textLines(layout.text), QStringLiteral("P"));
}

QStringList errorsOf(const QList<cli::CheckFinding> &findings)
{
    QStringList errors;
    for (const cli::CheckFinding &f : findings) {
        if (f.severity == cli::CheckFinding::Severity::Error)
            errors << f.message;
    }
    return errors;
}

// A change to the layout of the findings table, the findings it brings (each with its file
// line and the start of its message), and the port's string length and elements.
struct FindingsCase { std::function<void(LayoutData &)> mutate; QStringList expected = {}; int stringLength = 255, elements = 30; };

} // namespace

class TestCheck : public QObject
{
    Q_OBJECT

private slots:
    // Each rule once, on a port of 30 elements, 100 lines of 255 characters (or as given),
    // 40 characters a ticket line, two lines of text, a field on each: every finding with its
    // file line and the start of its message. What the download then does is checked over
    // generated layouts (checkPredictsDownload).
    void findings_data()
    {
        QTest::addColumn<FindingsCase>("rule");

        using M = LayoutLines::Member;
        constexpr auto member = &LayoutLines::memberLine;
        auto at = [](int line, const char *text) { return QString::number(line) + u' ' + QString::fromUtf8(text); };
        auto row = [](const char *name, const FindingsCase &c) { QTest::newRow(name) << c; };
        row("clean", {[](LayoutData &) {}});
        // slot 1 covers columns 5 to 10 of ticket line 1, slot 2 columns 6 to 11 of line 2
        row("field ends on the last column", {[](LayoutData &l) { l.UpdateBoxes[1].Pos = 35; }});
        row("field one past the right edge", {[](LayoutData &l) { l.UpdateBoxes[1].Pos = 36; },
            {at(member(1, M::Pos), "edge warning: UpdateBox 1 ends in column 41, past the right edge of the ticket (40 characters")}});
        row("field left of the first column", {[](LayoutData &l) { l.UpdateBoxes[2].Pos = 0; },
            {at(member(2, M::Pos), "edge warning: UpdateBox 2 starts in column 0")}});
        row("fields share one cell", {[](LayoutData &l) { l.UpdateBoxes[2].Linie = 0, l.UpdateBoxes[2].Pos = 10; },
            {at(member(2, M::Linie), "overlap warning: UpdateBox 2 overlaps UpdateBox 1 on ticket line 1 (columns 10 to 10)")}});
        row("fields side by side", {[](LayoutData &l) { l.UpdateBoxes[2].Linie = 0, l.UpdateBoxes[2].Pos = 11; }});
        row("defined field on top of an undefined one",
            {[](LayoutData &l) { l.UpdateBoxes[3] = l.UpdateBoxes[1], l.UpdateBoxes[1].DataIn = false; }});
        row("field on the line after the last", {[](LayoutData &l) { l.UpdateBoxes[2].Linie = 2; },
            {at(member(2, M::Linie), "below warning: UpdateBox 2 is on ticket line 3, but the text has 2 line(s)")}});
        row("text line wider than the ticket", {[](LayoutData &l) { l.text += QStringLiteral("\r\n") + QString(41, u'='); },
            {at(LayoutLines::FirstText + 2, "wrap warning: text line 3 has 41 characters")}});
        row("text line exactly as wide as the ticket", {[](LayoutData &l) { l.text += QStringLiteral("\r\n") + QString(40, u'='); }});
        // Twenty of a kind, then how many more.
        QStringList wide;
        for (int k = 3; k <= 22; ++k)
            wide << at(LayoutLines::FirstText + k - 1, "wrap warning: text line ") + QString::number(k) + QStringLiteral(" has 41");
        wide << at(LayoutLines::FirstText + 22, "wrap warning: ... and 5 more like these on later text lines");
        row("25 text lines wider than the ticket",
            {[](LayoutData &l) { l.text += QStringLiteral("\r\n") + QStringList(25, QString(41, u'=')).join(QStringLiteral("\r\n")); },
            wide});
        row("control characters in a name stay visible",
            {[](LayoutData &l) { l.UpdateBoxes[2].VarName = QStringLiteral("S.Tare") + QChar(27) + QStringLiteral("[2J"); },
            {at(member(2, M::VarName), "unknown warning: UpdateBox 2 is bound to \"S.Tare[27][2J\", which the network does not know")}});
        // The device prints what it finds at the field's address, whatever the name says.
        row("a name typed over another variable's address", {[](LayoutData &l) { l.UpdateBoxes[1].VarName = QStringLiteral("S.Tare"); },
            {at(member(1, M::VarName), "address warning: UpdateBox 1 is named \"S.Tare\", but its address (node 3, SWNo 120, "
                                       "Offset 0, Typ 4, BitNo 0) is that of \"S.Net\", whose value the device prints")}});
        row("an unknown name at a known address", {[](LayoutData &l) { l.UpdateBoxes[1].VarName = QStringLiteral("S.Gross"); },
            {at(member(1, M::VarName), "unknown warning: UpdateBox 1 is bound to \"S.Gross\", which the network does not know; "
                                       "its address is that of \"S.Net\", whose value the device prints")}});
        row("defined but never bound", {[](LayoutData &l) { l.UpdateBoxes[2].VarName.clear(); },
            {at(member(2, M::VarName), "unbound warning: UpdateBox 2 is defined but bound to no variable")}});
        row("node number differs", {[](LayoutData &l) { l.UpdateBoxes[1].NodeAdr = 4; },
            {at(member(1, M::NodeAdr), "stale warning: UpdateBox 1 (S.Net): NodeAdr is 4, but the network now reports 3")}});
        row("capability code differs", {[](LayoutData &l) { l.UpdateBoxes[1].Code = 65; },
            {at(member(1, M::Code), "stale warning: UpdateBox 1 (S.Net): Code is 65, but the network now reports 17")}});
        row("start code left open", {[](LayoutData &l) { l.StartCode = QStringLiteral("[27]@[13"); },
            {at(LayoutLines::StartCode, "code warning: start code: \"[\" in column 6 is not closed")}});
        row("stop code above a byte", {[](LayoutData &l) { l.StopCode = QStringLiteral("A[256]"); },
            {at(LayoutLines::StopCode, "code warning: stop code: code 256 in column 2 is above 255")}});
        row("start code 255", {[](LayoutData &l) { l.StartCode = QStringLiteral("[255]"); }});
        row("findings come in file order",
            {[](LayoutData &l) { l.StopCode = QStringLiteral("["), l.UpdateBoxes[2].Offset = 1, l.UpdateBoxes[1].Pos = 40; },
            {at(member(1, M::Pos), "edge warning: UpdateBox 1 ends in column 45"),
             at(member(2, M::Offset), "stale warning: UpdateBox 2 (S.Tare): Offset is 1, but the network now reports 8"),
             at(LayoutLines::StopCode, "code warning: stop code: \"[\" in column 1 is not closed")}});
        row("Digits 300", {[](LayoutData &l) { l.UpdateBoxes[2].Digits = 300; },
            {at(member(2, M::Digits), "range error: P.UpdateArr[2].Digits: UpdateBox 2: Digits is 300; port P takes 0 to 255")}});
        row("Chars over a short port's strings", {[](LayoutData &l) { l.UpdateBoxes[2].Chars = 9; },
            {at(member(2, M::Chars), "range error: P.UpdateArr[2].Chars: UpdateBox 2: Chars is 9; port P takes 0 to 8")}, 8});
        row("Linie 32767, sent as 32768", {[](LayoutData &l) { l.UpdateBoxes[2].Linie = 32767; },
            {at(member(2, M::Linie), "below warning: UpdateBox 2 is on ticket line 32768"),
             at(member(2, M::Linie), "overflow error: P.UpdateArr[2].Linie: UpdateBox 2: Value 32768 does not fit the 16-bit variable "
                                     "\"P.UpdateArr[2].Linie\"")}});
        row("Linie past the port's lines", {[](LayoutData &l) { l.UpdateBoxes[2].Linie = 100; },
            {at(member(2, M::Linie), "below warning: UpdateBox 2 is on ticket line 101"),
             at(member(2, M::Linie), "range error: P.UpdateArr[2].Linie: UpdateBox 2: Linie 100 is ticket line 101; port P takes 1 to 100")}});
        row("2,000 text lines on a port of 100",
            {[](LayoutData &l) { l.text = QStringList(2000, QStringLiteral("x")).join(QStringLiteral("\r\n")); },
            {at(LayoutLines::FirstText + 100, "lines error: P.lines: the ticket has 2000 lines; port P holds at most 100")}});
        row("text line longer than a string", {[](LayoutData &l) { l.text = QStringLiteral("ok\r\n123456789"); },
            {at(LayoutLines::FirstText + 1, "length error: P.Ticket[2]: text line 2 has 9 characters; port P stores at most 8")}, 8});
        row("variable name longer than a string", {[](LayoutData &l) { l.UpdateBoxes[2].VarName = QString(9, u'v'); },
            {at(member(2, M::VarName), "unknown warning: UpdateBox 2 is bound to \"vvvvvvvvv\""),
             at(member(2, M::VarName), "length error: P.UpdateArr[2].VarName: UpdateBox 2: the variable name has 9 characters")}, 8});
        row("line break in a variable name", {[](LayoutData &l) { l.UpdateBoxes[2].VarName = QStringLiteral("A\nB"); },
            {at(member(2, M::VarName), "unknown warning: UpdateBox 2 is bound to \"A[10]B\""),
             at(member(2, M::VarName), "linebreak error: P.UpdateArr[2].VarName: UpdateBox 2: the variable name holds a line break")}});
        row("line break in a printer code", {[](LayoutData &l) { l.StopCode = QStringLiteral("[27]\n"); },
            {at(LayoutLines::StopCode, "linebreak error: P.PrintCode.stop: the stop code holds a line break")}});
        row("start code longer than a string", {[](LayoutData &l) { l.StartCode = QStringLiteral("[27]@[27]"); },
            {at(LayoutLines::StartCode, "length error: P.PrintCode.start: the start code has 9 characters; port P stores at most 6")}, 6});
        row("port of 29 elements", {[](LayoutData &) {},
            {at(0, "elements error: P.UpdateArr[30].DataIn: port P has 29 field element(s); a download clears all 30 field slots")},
            255, 29});
    }

    void findings()
    {
        QFETCH(FindingsCase, rule);
        const auto &[mutate, expected, stringLength, elements] = rule;
        Case c{elements, 100, stringLength, {}};
        LayoutData &l = c.layout;
        l.EditorWidth = 5170;
        l.text = QStringLiteral("Net:\r\nTare:");
        l.UpdateBoxes[1] = UpdateBox{QStringLiteral("S.Net"), 3, 120, 0, 4, 0, 17, 0, 6, 2, true, 0, 5};
        l.UpdateBoxes[2] = UpdateBox{QStringLiteral("S.Tare"), 3, 122, 8, 4, 2, 17, 0, 6, 1, true, 1, 6};
        l.StartCode = QStringLiteral("[27]@");
        mutate(l);
        auto network = networkFor(c);
        const QList<cli::CheckFinding> findings = cli::LayoutCheck::findings(l, *network, &network->ports().constFirst());
        QStringList found;
        for (const cli::CheckFinding &f : findings)
            found << QString::number(f.line) + u' ' + f.kind
                         + (f.severity == cli::CheckFinding::Severity::Error ? QStringLiteral(" error: ")
                                                                             : QStringLiteral(" warning: "))
                         + f.message;
        QVERIFY2(found.size() == expected.size(), qPrintable(found.join(u'\n')));
        for (qsizetype i = 0; i < found.size(); ++i)
            QVERIFY2(found[i].startsWith(expected[i]), qPrintable(found[i]));
    }

    void checkPredictsDownload()
    {
        Generator generate(20261206);
        int refused = 0;
        for (int i = 0; i < 3000; ++i) {
            const Case c = generate.next();
            const QString where = QStringLiteral("case %1").arg(i);
            auto device = networkFor(c);
            auto target = networkFor(c);
            const QStringList lines = cli::LayoutCheck::textLines(c.layout.text);

            const QStringList errors =
                errorsOf(cli::LayoutCheck::findings(c.layout, *target, &target->ports().constFirst()));
            const QString refusal = deviceRefusal(c.layout, lines, *device);
            const DownloadResult result = download(c.layout, *target);

            QVERIFY2(errors.isEmpty() == refusal.isEmpty(), qPrintable(where + u' ' + refusal + u' ' + errors.join(u'|')));
            QVERIFY2(result.ok() == refusal.isEmpty(), qPrintable(where + u' ' + result.errorString));
            if (result.ok()) {
                // The writes the device took are exactly the download's.
                QVERIFY2(target->writeLog() == device->writeLog(), qPrintable(where));
                continue;
            }
            ++refused;
            QCOMPARE(result.status, DownloadResult::Status::Rejected);
            QVERIFY2(target->writeLog().isEmpty(), qPrintable(where));
            QVERIFY2(result.failedName == refusal, qPrintable(where + u' ' + result.failedName + u' ' + refusal));
            // The download's refusal is one the check reported, in the same words.
            const QString said = refusal + QStringLiteral(": ") + result.errorString;
            QVERIFY2(!errors.filter(QRegularExpression(u'^' + QRegularExpression::escape(said))).isEmpty(),
                     qPrintable(where + u' ' + refusal + u' ' + errors.join(u'|')));
        }
        // Both ways are well covered.
        QVERIFY2(refused > 600 && refused < 2400, qPrintable(QString::number(refused)));
    }

    // A pipeline filters on the kinds: each one the command line can report is in check's
    // help and in the manual page, under the name it carries.
    void kindsDocumented()
    {
        QFile page(QStringLiteral(TKL_SOURCE_DIR "/dist/man/tklcli.1"));
        QVERIFY(page.open(QIODevice::ReadOnly));
        const QString man = QString::fromUtf8(page.readAll());
        const QString kinds = man.mid(man.indexOf(QStringLiteral(".SH FINDING KINDS")));
        const QString help = QString::fromUtf8(cli::checkCommand.help);
        QStringList names{QString::fromLatin1(cli::LayoutCheck::FormatKind)};
        for (const char *name : LayoutFinding::KindNames)
            names << QString::fromLatin1(name);
        names.removeOne(LayoutFinding::kindName(LayoutFinding::Kind::ScrollBar)); // the editor's alone
        for (const QString &name : names) {
            QVERIFY2(help.contains(QStringLiteral("\n  ") + name + u' '), qPrintable(name));
            QVERIFY2(kinds.contains(QStringLiteral("\n.B ") + name + u'\n'), qPrintable(name));
        }
    }

    // A device's ticket uploaded as a layout file, read back and downloaded into a fresh
    // device writes what the first one got, write for write: over the example layouts and
    // the generated layouts that download.
    void uploadDownloadsWhatTheDeviceHolds()
    {
        QList<std::pair<QString, Case>> cases;
        for (const char *example : {"weighing-ticket.txt", "old-ticket.txt"}) {
            QFile file(QStringLiteral(TKL_SOURCE_DIR "/examples/") + QLatin1String(example));
            QVERIFY(file.open(QIODevice::ReadOnly));
            Case c;
            c.layout = LayoutReader::read(file.readAll()).value();
            cases.append({QLatin1String(example), c});
        }
        Generator generate(20261207);
        for (int i = 0; i < 600; ++i)
            cases.append({QStringLiteral("case %1").arg(i), generate.next()});

        int roundTrips = 0;
        for (const auto &[where, c] : cases) {
            auto first = networkFor(c);
            if (!download(c.layout, *first).ok())
                continue;
            QString error;
            const auto held = ticketFromDevice(*first, QStringLiteral("P"), &error);
            QVERIFY2(held && held->finished(), qPrintable(where + u' ' + error));
            const auto bytes = LayoutWriter::toBytes(uploadedLayout(*held));
            QVERIFY2(bytes.ok(), qPrintable(where));
            const auto uploaded = LayoutReader::read(bytes.value());
            QVERIFY2(uploaded.ok(), qPrintable(where + u' ' + (uploaded.ok() ? QString() : uploaded.error().message)));
            auto second = networkFor(c);
            const DownloadResult again = download(uploaded.value(), *second);
            QVERIFY2(again.ok(), qPrintable(where + u' ' + again.errorString));
            QVERIFY2(second->writeLog() == first->writeLog(), qPrintable(where));
            ++roundTrips;
        }
        QVERIFY2(roundTrips > 200, qPrintable(QString::number(roundTrips)));
    }
};

QTEST_GUILESS_MAIN(TestCheck)
#include "tst_check.moc"
