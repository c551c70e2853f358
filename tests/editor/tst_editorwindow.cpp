#include "editor/EditorWindow.h"
#include "editor/LayoutHistory.h"
#include "editor/TextBoxQueries.h"
#include "editor/TicketTextBox.h"
#include "files/LayoutData.h"
#include "files/LayoutWriter.h"
#include "model/CharGrid.h"
#include "model/TicketModel.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>
#include <QAbstractTextDocumentLayout>

using namespace tkl;

namespace {

constexpr int Cell = 120; // twips, "Courier" 9.75 pt at 96 dpi
constexpr int Line = 225;

/// A main window stand-in holding the editor at its top left, shown and active so
/// that focus behaves as on the screen.
struct Host
{
    TicketModel model;
    QWidget window;
    EditorWindow *editor = nullptr;

    Host()
    {
        window.resize(800, 500);
        editor = new EditorWindow(model, &window);
        editor->setMaxWidthTwips(9500);
        editor->setWidthTwips(5260);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        text()->setFocus();
    }

    QPlainTextEdit *text() const { return editor->textBox(); }
    QWidget *viewport() const { return text()->viewport(); }
    QScrollBar *bar() const { return editor->scrollBar(); }
    TextBoxQueries &q() const { return editor->queries(); }

    /// Pixel of the text box for a point given in twips of the text box.
    QPoint textPixel(double x, double y) const
    {
        const double dpi = editor->logicalDpiX();
        return {Twips::toPixels(x, dpi), Twips::toPixels(y, dpi)};
    }

    void setLines(int count, int length = 4)
    {
        QStringList lines;
        for (int i = 0; i < count; ++i)
            lines << QString(length, QLatin1Char('a' + i % 26));
        text()->setPlainText(lines.join(QLatin1Char('\n')));
    }

    /// One key pressed and released in the text; modifiers stay held at the release.
    void key(Qt::Key k, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QTest::keyPress(text(), k, mods);
        QKeyEvent release(QEvent::KeyRelease, k, mods);
        QCoreApplication::sendEvent(text(), &release);
    }
};

bool slotsConsistent(const Host &h)
{
    if (h.editor->findChildren<QFrame *>(QStringLiteral("Frame1")).size() != h.model.loadedCount())
        return false;
    for (int slot = 1; slot <= 30; ++slot) {
        const QWidget *frame = h.editor->fieldFrame(slot);
        if ((h.model.BoxLoaded[slot] == 1) != bool(frame) || bool(frame) != bool(h.editor->fieldLabel(slot))
            || (frame && frame->property("slot").toInt() != slot))
            return false;
    }
    return true;
}

/// The layout as a save would write it, and every field as the editor shows it.
struct Snapshot
{
    QByteArray bytes;
    QList<EditorWindow::FieldLook> looks;
    bool operator==(const Snapshot &) const = default;
};

Snapshot snapshot(Host &h)
{
    h.model.setTicketLines(qint16(h.editor->lineCount()));
    Snapshot s;
    s.bytes = LayoutWriter::toBytes(LayoutData::fromModel(h.model, h.editor->ticketBox()->layoutText())).value();
    for (int slot = 1; slot <= 30; ++slot)
        s.looks.append(h.editor->fieldLook(slot));
    return s;
}

// filler: every character takes one cell, control characters too.
struct WidthCase { double requested, width; int chars; QChar filler; };

// maximum: of the bar; pos: ScrollPos, the bar's value and the bottom visible line; delta: ScrollDelta
// of the scroll; caret: box line of the caret.
struct ScrollCase { int lines, length; QString how; int maximum, pos, delta, caret; };

// scrolled: lines scrolled out at the top; grip: mouse inside the label at the press, pixels; corner:
// label corner at the release, cells and lines; row: visible line the field ends on; -1: it stays
// where it was.
struct DropCase { int scrolled; QPoint grip; QPointF corner; QString target; int pos, linie, row; };

struct KeysCase { QString action; bool changed; int barValue; };

struct PasteCase { QString route, content; QStringList lines; };

} // namespace

class TestEditorWindow : public QObject
{
    Q_OBJECT

private slots:
    void widthSnapping_data()
    {
        QTest::addColumn<WidthCase>("c");
        const QChar x(u'x');
        QTest::newRow("New's 5260") << WidthCase{5260.0, 5170.0, 40, x};
        QTest::newRow("already snapped") << WidthCase{5170.0, 5170.0, 40, x};
        QTest::newRow("half a cell: even k") << WidthCase{5160.0, 5050.0, 39, x};
        QTest::newRow("100 chars ends at main width 9500") << WidthCase{12370.0, 9490.0, 76, x};
        QTest::newRow("76 chars just fit") << WidthCase{9490.0, 9490.0, 76, x};
        QTest::newRow("77 chars, one past the widest") << WidthCase{9610.0, 9490.0, 76, x};
        // A ticket size of 0 asks for one cell: CharsPerLine 0, a character a line.
        QTest::newRow("ticket size 0") << WidthCase{370.0, 370.0, 0, x};
        QTest::newRow("nothing asked") << WidthCase{0.0, 370.0, 0, x};
        QTest::newRow("tabs") << WidthCase{5260.0, 5170.0, 40, QChar(u'\t')};
        QTest::newRow("line feeds") << WidthCase{5260.0, 5170.0, 40, QChar(TicketTextBox::LineFeedStandIn)};
    }

    void widthSnapping()
    {
        QFETCH(WidthCase, c);
        const auto &[requested, width, chars, filler] = c;
        Host h;
        h.editor->setWidthTwips(requested);
        QCOMPARE(h.editor->widthTwips(), width);
        QCOMPARE(h.model.CharsPerLine, chars);
        // The box breaks a line exactly after CharsPerLine cells (never before the first).
        const int perLine = std::max(chars, 1);
        h.text()->setPlainText(QString(perLine, filler));
        QCOMPARE(h.q().GetLineCount(), 1);
        h.text()->setPlainText(QString(perLine, filler) + u'x');
        QCOMPARE(h.q().GetLineCount(), 2);
    }

    // Scrolling by keys, by the bar and by deleting lines: the text, the bar, ScrollPos
    // and the fields agree, also for huge texts; a further key release moves nothing.
    void scrolling_data()
    {
        QTest::addColumn<ScrollCase>("c");
        QTest::newRow("Ctrl+End, 30 lines") << ScrollCase{30, 4, "end", 30, 30, 8, 30};
        QTest::newRow("Ctrl+End, 10,000 lines") << ScrollCase{10000, 12, "end", 10000, 10000, 9978, 10000};
        QTest::newRow("Ctrl+End, one line of 5,000") << ScrollCase{1, 5000, "end", 125, 125, 103, 125};
        // 22 lines fit the box: the text is back at its top, and so are the bar and the fields.
        QTest::newRow("Ctrl+End, then the last 8 of 30 deleted") << ScrollCase{30, 4, "shrink", 22, 22, -8, 22};
        QTest::newRow("bar set, text has the focus: ignored") << ScrollCase{40, 4, "text", 40, 22, 0, 1};
        QTest::newRow("bar set, bar has the focus") << ScrollCase{40, 4, "bar", 40, 25, 3, 1};
        QTest::newRow("thumb dragged from 22 to 25") << ScrollCase{40, 4, "thumb", 40, 25, 3, 1};
    }

    void scrolling()
    {
        QFETCH(ScrollCase, c);
        const auto &[lines, length, how, maximum, pos, delta, caret] = c;
        Host h;
        h.setLines(lines, length);
        h.editor->insertField();
        const int top = h.editor->fieldTopTwips(1);
        h.key(how == "end" || how == "shrink" ? Qt::Key_End : Qt::Key_Home, Qt::ControlModifier);
        if (how == "shrink") {
            for (int i = 0; i < 8; ++i)
                h.key(Qt::Key_Up, Qt::ShiftModifier);
            h.key(Qt::Key_Delete);
        } else if (how == "thumb") { // the position moves with the button down, then the value follows
            h.bar()->setSliderDown(true);
            h.bar()->setSliderPosition(25);
            h.bar()->setSliderDown(false);
        } else if (how != "end") {
            if (how == "bar")
                h.bar()->setFocus();
            h.bar()->setValue(25);
        }
        QCOMPARE(h.q().GetFirstVisibleLine(), pos - 21);
        QCOMPARE(h.bar()->maximum(), maximum);
        QCOMPARE(h.model.ScrollDelta, delta);
        QCOMPARE(h.editor->fieldTopTwips(1), top - (pos - 22) * Line);
        QVERIFY(h.text()->hasFocus());
        h.key(Qt::Key_Control);
        QCOMPARE(h.model.ScrollDelta, 0);
        QCOMPARE(h.model.ScrollPos, pos);
        QCOMPARE(h.bar()->value(), pos);
        QCOMPARE(h.editor->fieldTopTwips(1), top - (pos - 22) * Line);
        QCOMPARE(h.editor->readoutText(), QStringLiteral("Ch:40\r\nLn:%1").arg(caret));
    }

    // A field reaching past the text is reported, and lies under the scroll bar, which
    // stays usable.
    void fieldOverScrollBar()
    {
        Host h;
        const int textRight = int(h.editor->widthTwips()) - CharGrid::TextBoxInset;
        h.editor->loadFieldFromRecord(1, textRight - 1335, 300, 1335, QStringLiteral("UpdateBox1"));
        h.editor->loadFieldFromRecord(2, textRight - 1335 + 60, 600, 1335, QStringLiteral("UpdateBox2"));
        QCOMPARE(h.editor->fieldsOverScrollBar(), QList<int>{2});
        const QPoint onBar = h.bar()->geometry().topLeft() + QPoint(3, h.editor->fieldFrame(2)->y() + 3);
        QCOMPARE(h.editor->childAt(onBar), h.bar());
    }

    void keysMarkChangesClicksDoNot_data()
    {
        QTest::addColumn<KeysCase>("c");
        // Only a change of the text is an edit; the bar is synced from the scrolled text.
        QTest::newRow("letter typed") << KeysCase{"type", true, 27};
        QTest::newRow("right arrow") << KeysCase{"right", false, 27};
        QTest::newRow("bare Ctrl") << KeysCase{"ctrl", false, 27};
        QTest::newRow("click on a line") << KeysCase{"click", false, 22};
        QTest::newRow("release of a key pressed elsewhere") << KeysCase{"stray release", false, 22};
    }

    void keysMarkChangesClicksDoNot()
    {
        QFETCH(KeysCase, c);
        const auto &[action, changed, barValue] = c;
        Host h;
        h.setLines(30);
        h.text()->setTextCursor(QTextCursor(h.text()->document()->findBlockByNumber(9)));
        h.q().ScrollTextLines(5); // the bar is not told
        h.model.markSaved();
        if (action == "click") {
            const QPoint line3 = h.viewport()->mapFrom(h.text(), h.textPixel(2 * Cell + 60, 2 * Line + 100));
            QTest::mouseClick(h.viewport(), Qt::LeftButton, {}, line3);
            QCOMPARE(h.editor->readoutText(), QStringLiteral("Ch:40\r\nLn:8"));
        } else if (action == "right" || action == "type" || action == "ctrl") {
            h.key(action == "right" ? Qt::Key_Right : action == "type" ? Qt::Key_A : Qt::Key_Control);
        } else {
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier);
            QCoreApplication::sendEvent(h.text(), &release);
        }
        QCOMPARE(h.bar()->value(), barValue);
        QCOMPARE(h.model.LayoutChanged, changed);
    }

    void pasteTakesOnlyPlainText_data()
    {
        QTest::addColumn<PasteCase>("c");
        const QStringList unchanged{QStringLiteral("ab")};
        for (const char *route : {"Ctrl+V", "Shift+Insert", "drop"}) {
            // Some clipboards and drags give no data at all when nobody owns them.
            QTest::addRow("%s, nothing", route) << PasteCase{route, "null", unchanged};
            QTest::addRow("%s, no text", route) << PasteCase{route, "image", unchanged};
            QTest::addRow("%s, empty text", route) << PasteCase{route, "empty", unchanged};
            QTest::addRow("%s, HTML only", route) << PasteCase{route, "html", unchanged};
            // A line end from another program is one line end, whichever it is.
            QTest::addRow("%s, CR LF, CR and LF", route)
                << PasteCase{route, "lines", QStringList{"abX", "Y", "Z", "W"}};
        }
    }

    void pasteTakesOnlyPlainText()
    {
        QFETCH(PasteCase, c);
        const auto &[route, content, lines] = c;
        Host h;
        h.text()->setPlainText(QStringLiteral("ab"));
        h.text()->moveCursor(QTextCursor::End);
        h.model.markSaved();

        QMimeData *mime = content == "null" ? nullptr : new QMimeData;
        if (content == "image")
            mime->setData(QStringLiteral("image/png"), QByteArray("\x89PNG"));
        else if (content == "empty")
            mime->setText(QString());
        else if (content == "html")
            mime->setHtml(QStringLiteral("<b>bold</b>"));
        else if (content == "lines")
            mime->setText(QStringLiteral("X\r\nY\rZ\nW"));

        if (route == "drop") {
            const QPoint end = h.text()->cursorRect().center();
            QDragEnterEvent enter(end, Qt::CopyAction, mime, Qt::LeftButton, {});
            QCoreApplication::sendEvent(h.viewport(), &enter);
            QDropEvent drop(QPointF(end), Qt::CopyAction, mime, Qt::LeftButton, {});
            QCoreApplication::sendEvent(h.viewport(), &drop);
            delete mime;
        } else {
            if (mime)
                QGuiApplication::clipboard()->setMimeData(mime);
            else
                QGuiApplication::clipboard()->clear();
            h.key(route == "Ctrl+V" ? Qt::Key_V : Qt::Key_Insert,
                  route == "Ctrl+V" ? Qt::ControlModifier : Qt::ShiftModifier);
        }

        QStringList got;
        for (QTextBlock b = h.text()->document()->begin(); b.isValid(); b = b.next())
            got << b.text();
        QCOMPARE(got, lines);
        // A drop is no key: only an insertion marks the layout changed there.
        if (route == "drop")
            QCOMPARE(h.model.LayoutChanged, lines != QStringList{"ab"});
    }

    // Lines wrap at blanks; while the text holds a run of more than 256 characters
    // without one, anywhere (Qt's word search costs the square of such a run).
    void longRunsWrapAnywhere_data()
    {
        QTest::addColumn<QString>("second");  // the second line as loaded
        QTest::addColumn<int>("typedAway");   // characters then deleted from its end
        QTest::addColumn<int>("secondRow");   // where the first line's second row starts
        QTest::newRow("short words") << QString(256, u'z') << 0 << 39;
        QTest::newRow("a run of 257") << QString(257, u'z') << 0 << 40;
        QTest::newRow("the run shortened again") << QString(257, u'z') << 1 << 39;
        QTest::newRow("a run of blanks and tabs") << QStringLiteral(" \t").repeated(200) << 0 << 39;
    }

    void longRunsWrapAnywhere()
    {
        QFETCH(QString, second);
        QFETCH(int, typedAway);
        QFETCH(int, secondRow);
        Host h;
        auto *box = static_cast<TicketTextBox *>(h.text());
        box->setLayoutText(QString(38, u'x') + QStringLiteral(" yyyy\r\n") + second);
        h.text()->moveCursor(QTextCursor::End);
        for (int i = 0; i < typedAway; ++i)
            h.key(Qt::Key_Backspace);
        const QTextBlock block = h.text()->document()->firstBlock();
        h.text()->document()->documentLayout()->blockBoundingRect(block); // laid out as shown
        const QTextLayout *first = block.layout();
        QVERIFY(first->lineCount() >= 2);
        QCOMPARE(first->lineAt(1).textStart(), secondRow);
    }

    void queriesKeepFocus()
    {
        Host h;
        auto *edit = new QLineEdit(&h.window);
        edit->show();
        edit->setFocus();
        QSignalSpy focus(qApp, &QApplication::focusChanged);
        h.setLines(40);
        h.q().GetFirstVisibleLine();
        h.q().GetLineCount();
        h.q().GetCurrentLine();
        h.q().ScrollTextLines(3);
        h.editor->RefreshReadout();
        h.editor->SyncScrollBar();
        QCOMPARE(focus.size(), 0);
        QCOMPARE(h.q().GetFirstVisibleLine(), 4);
    }

    // A label's tooltip tells its slot, variable, Chars and Digits as the model has them now.
    void fieldTips()
    {
        Host h;
        h.editor->insertField();
        h.editor->insertField();
        QCOMPARE(h.editor->fieldLabel(1)->toolTip(), QStringLiteral("UpdateBox 1\nVariable: none\nChars: 0, Digits: 0"));
        h.model.setRecord(2, UpdateBox{QStringLiteral("Scale1.NetWeight"), 3, 120, 0, 4, 0, 17, 0, 9, 1, true, 0, 1});
        QCOMPARE(h.editor->fieldLabel(2)->toolTip(), QStringLiteral("UpdateBox 2\nVariable: Scale1.NetWeight\nChars: 9, Digits: 1"));
    }

    // A field chosen elsewhere (a finding) becomes CurrentBox, is marked, and the text
    // scrolls until its line is in view, the field staying on its line.
    void showField_data()
    {
        QTest::addColumn<int>("linie");
        QTest::addColumn<int>("scrolled"); // lines above the view before
        QTest::addColumn<int>("first");    // and after
        QTest::newRow("below the view") << 50 << 0 << 38;
        QTest::newRow("above the view") << 5 << 30 << 0;
        QTest::newRow("in the middle where the text allows") << 30 << 0 << 19;
        QTest::newRow("in view: nothing scrolls") << 10 << 0 << 0;
        QTest::newRow("on the last visible line") << 33 << 12 << 12;
    }

    void showField()
    {
        QFETCH(int, linie);
        QFETCH(int, scrolled);
        QFETCH(int, first);
        Host h;
        h.setLines(60);
        h.editor->loadFieldFromRecord(3, 20, linie * Line + 20, 1335, QStringLiteral("XXXX"));
        h.model.setRecord(3, UpdateBox{QStringLiteral("V"), 0, 0, 0, 0, 0, 0, 0, 11, 0, true, qint16(linie), 1});
        h.q().ScrollTextLines(scrolled);
        h.editor->SyncScrollBar();
        h.editor->followScroll();
        h.editor->showField(3);
        QCOMPARE(h.q().GetFirstVisibleLine() - 1, first);
        QCOMPARE(h.editor->fieldTopTwips(3), (linie - first) * Line + 20);
        QCOMPARE(h.model.CurrentBox, qint16(3));
        QCOMPARE(h.editor->fieldLabel(3)->palette().color(QPalette::Window), QColor(0x00, 0x00, 0x80));
        if (linie == 50) // the mark goes again, once is enough to wait for
            QTRY_COMPARE_WITH_TIMEOUT(h.editor->fieldLabel(3)->palette().color(QPalette::Window), QColor(0xC0, 0xC0, 0xC0),
                                  EditorWindow::ChosenMarkMs + 2000);
    }

    void insertCascadeReuseAndFull()
    {
        Host h;
        h.model.markSaved();
        for (int n = 1; n <= 3; ++n) {
            QCOMPARE(h.editor->insertField(), n);
            QCOMPARE(h.editor->fieldLabel(n)->text(), QStringLiteral("UpdateBox%1").arg(n));
            QCOMPARE(h.editor->fieldLeftTwips(n), 50 * n);
            QCOMPARE(h.editor->fieldTopTwips(n), 100 * n + Line);
        }
        QVERIFY(h.model.LayoutChanged);
        h.editor->insertField();
        h.editor->unloadField(3);
        h.editor->unloadField(2);
        for (int n : {2, 3, 5})
            QCOMPARE(h.editor->insertField(), n);
        for (int n = 6; n <= 30; ++n)
            QCOMPARE(h.editor->insertField(), n);
        QCOMPARE(h.editor->insertField(), 0);
        QCOMPARE(h.editor->duplicateField(1), 0);
        QCOMPARE(h.model.loadedCount(), 30);
        QVERIFY(slotsConsistent(h));
    }

    void drop_data()
    {
        QTest::addColumn<DropCase>("c");
        QTest::newRow("2.6 cells, 1.2 lines, line 4 on top") << DropCase{4, QPoint(10, 6), QPointF(2.6, 1.2), "text", 3, 5, 1};
        QTest::newRow("corner above the top edge") << DropCase{4, QPoint(3, 10), QPointF(0.5, -0.3), "text", 1, 3, 0};
        QTest::newRow("corner left of the text") << DropCase{0, QPoint(30, 3), QPointF(-1.5, 0.2), "text", 0, 0, 0};
        QTest::newRow("on another field") << DropCase{0, QPoint(4, 4), QPointF(), "field", 0, 0, -1};
        // The label keeps the mouse while its button is down, even outside the editor.
        QTest::newRow("outside the editor") << DropCase{0, QPoint(4, 4), QPointF(), "outside", 0, 0, -1};
    }

    void drop()
    {
        QFETCH(DropCase, c);
        const auto &[scrolled, grip, corner, target, pos, linie, row] = c;
        Host h;
        h.setLines(40);
        h.q().ScrollTextLines(scrolled);
        // Out of the way of the drops on the text, which must not land on a field.
        h.editor->loadFieldFromRecord(1, 3000, 3000, 1335, QStringLiteral("XXXX"));
        h.editor->loadFieldFromRecord(2, 3000, 1500, 1335, QStringLiteral("XXXX"));
        h.model.markSaved();
        const QRect before = h.editor->fieldFrame(1)->geometry();
        const UpdateBox record = h.model.UpdateBoxes[1];

        QLabel *label = h.editor->fieldLabel(1);
        QTest::mousePress(label, Qt::LeftButton, {}, grip);
        if (target == "field") {
            QTest::mouseRelease(h.editor->fieldLabel(2), Qt::LeftButton, {}, QPoint(30, 5));
        } else if (target == "outside") {
            QTest::mouseRelease(label, Qt::LeftButton, {}, label->mapFrom(h.editor, QPoint(h.editor->width() + 40, 30)));
        } else { // released where the label's corner lands on the given cell fraction
            const double dpi = h.editor->logicalDpiX();
            const QPoint to = h.viewport()->mapFrom(h.text(), h.textPixel(corner.x() * Cell + Twips::fromPixels(grip.x(), dpi),
                                                                          corner.y() * Line + Twips::fromPixels(grip.y(), dpi)));
            QTest::mouseMove(h.editor, h.viewport()->mapTo(h.editor, to));
            QTest::mouseRelease(h.viewport(), Qt::LeftButton, {}, to);
        }
        QVERIFY(!h.editor->isDragging());
        QCOMPARE(h.model.LayoutChanged, row >= 0);
        if (row < 0) {
            QCOMPARE(h.editor->fieldFrame(1)->geometry(), before);
            QCOMPARE(h.model.UpdateBoxes[1], record);
            return;
        }
        QCOMPARE(h.model.UpdateBoxes[1].Pos, pos);
        QCOMPARE(h.model.UpdateBoxes[1].Linie, linie);
        QCOMPARE(h.editor->fieldLeftTwips(1), (pos - 1) * Cell + 20);
        QCOMPARE(h.editor->fieldTopTwips(1), row * Line + 20);
    }

    void deleteMode_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<bool>("defined");
        QTest::newRow("left, defined") << int(Qt::LeftButton) << true;
        QTest::newRow("right, undefined") << int(Qt::RightButton) << false;
    }

    void deleteMode()
    {
        QFETCH(int, button);
        QFETCH(bool, defined);
        Host h;
        h.editor->insertField();
        h.editor->insertField();
        UpdateBox expected{QStringLiteral("Node3.Level"), 3, 17, 2, 5, 4, 9, 11, 8, 2, defined, 6, 12};
        h.model.setRecord(2, expected);
        if (defined) // the definition goes; the rest stays for the next field in the slot
            expected = UpdateBox{QString(), 3, 17, 2, 5, 4, 9, 11, 0, 0, false, 6, 12};
        h.model.markSaved();
        h.editor->armDelete(QCoreApplication::applicationDirPath());

        QTest::mousePress(h.editor->fieldLabel(2), Qt::MouseButton(button), {}, QPoint(5, 5));
        QVERIFY(!h.editor->fieldFrame(2));
        QCOMPARE(h.model.UpdateBoxes[2], expected);
        QVERIFY(!h.model.DeleteMode);
        QVERIFY(h.model.LayoutChanged);
        QVERIFY(slotsConsistent(h));
    }

    // Steps of the text: typing and deleting character by character is one step as long
    // as it goes on where it left off; a paste, a cut and a new place are steps of their own.
    void textSteps_data()
    {
        QTest::addColumn<QString>("keys"); // letters typed; < Backspace, > Delete, ^ Home, | paste "XY", ! cut all
        QTest::addColumn<int>("steps");
        QTest::newRow("typing") << "abc" << 1;
        QTest::newRow("typing, then a paste") << "ab|" << 2;
        QTest::newRow("paste, then typing") << "|ab" << 2;
        QTest::newRow("backspaces") << "<<<" << 1;
        QTest::newRow("deletes") << "^>>>" << 1;
        QTest::newRow("typing, caret moved, typing") << "ab^c" << 2;
        QTest::newRow("typing, then backspace") << "ab<" << 2;
        QTest::newRow("cut") << "!" << 1;
    }

    void textSteps()
    {
        QFETCH(QString, keys);
        QFETCH(int, steps);
        Host h;
        h.text()->setPlainText(QStringLiteral("one\ntwo"));
        h.text()->moveCursor(QTextCursor::End);
        h.editor->history().clear();
        QGuiApplication::clipboard()->setText(QStringLiteral("XY"));
        const QHash<QChar, QList<std::pair<Qt::Key, Qt::KeyboardModifiers>>> presses{
            {u'<', {{Qt::Key_Backspace, {}}}}, {u'>', {{Qt::Key_Delete, {}}}}, {u'^', {{Qt::Key_Home, Qt::ControlModifier}}},
            {u'|', {{Qt::Key_V, Qt::ControlModifier}}}, {u'!', {{Qt::Key_A, Qt::ControlModifier}, {Qt::Key_X, Qt::ControlModifier}}}};
        for (QChar c : keys) {
            for (const auto &[key, mods] : presses.value(c, {{Qt::Key(c.toUpper().unicode()), {}}}))
                h.key(key, mods);
        }
        QVERIFY(h.model.LayoutChanged);
        QCOMPARE(h.editor->history().stack().count(), steps);
        // The box's own undo is off: Ctrl+Z there does nothing of its own.
        h.key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(h.editor->history().stack().index(), steps);
        for (int i = 0; i < steps; ++i)
            h.editor->history().undo();
        QCOMPARE(h.text()->toPlainText(), QStringLiteral("one\ntwo"));
        QVERIFY(!h.model.LayoutChanged);
    }

    // The saved state is the history's clean state: undoing back to it, or redoing
    // forward to it, clears LayoutChanged; leaving it sets it again.
    void savedStateIsClean()
    {
        Host h;
        h.editor->insertField();
        h.model.markSaved();
        h.editor->history().markSaved();
        QTest::keyClicks(h.text(), QStringLiteral("x"));
        QVERIFY(h.model.LayoutChanged);
        h.editor->history().undo(); // back to the saved state
        QVERIFY(!h.model.LayoutChanged);
        h.editor->history().undo(); // the insert
        QVERIFY(h.model.LayoutChanged);
        h.editor->history().redo();
        QVERIFY(!h.model.LayoutChanged);
        h.editor->history().redo();
        QVERIFY(h.model.LayoutChanged);
    }

    // Duplicate: the record, width and caption one line below, in the lowest free slot,
    // as one step (with all 30 in use: insertCascadeReuseAndFull).
    void duplicate()
    {
        Host h;
        for (int n = 1; n <= 3; ++n)
            h.editor->insertField();
        h.editor->unloadField(2);
        const UpdateBox bound{QStringLiteral("Scale1.Net"), 3, 1, 12, 4, 0, 17, 2, 7, 1, true, 4, 9};
        h.model.setRecord(3, bound);
        h.editor->setFieldShape(3, 7 * Cell + 40, QStringLiteral("XXXXX.X"));
        h.editor->history().settle();
        const int steps = h.editor->history().stack().count();
        QCOMPARE(h.editor->duplicateField(3), 2);
        UpdateBox below = bound;
        below.Linie = 5;
        QCOMPARE(h.model.UpdateBoxes[2], below);
        QCOMPARE(h.model.CurrentBox, 2);
        QCOMPARE(h.editor->fieldLabel(2)->text(), QStringLiteral("XXXXX.X"));
        QCOMPARE(h.editor->fieldLeftTwips(2), h.editor->fieldLeftTwips(3));
        QCOMPARE(h.editor->fieldTopTwips(2), h.editor->fieldTopTwips(3) + Line);
        QCOMPARE(h.editor->duplicateField(1), 4);
        QCOMPARE(h.editor->fieldLabel(4)->text(), QStringLiteral("UpdateBox4"));
        QCOMPARE(h.editor->history().stack().count(), steps + 2);
        QCOMPARE(h.editor->duplicateField(5), -1);
        QVERIFY(slotsConsistent(h));
    }

    // A seeded session of every kind of edit: undoing all of it gives back the layout it
    // started from, byte for byte as saved and field for field as shown; redoing all of
    // it gives the layout it ended with.
    void undoAllRedoAll_data()
    {
        QTest::addColumn<quint32>("seed");
        for (quint32 seed = 1; seed <= 24; ++seed)
            QTest::addRow("seed %u", seed) << seed;
    }

    void undoAllRedoAll()
    {
        QFETCH(quint32, seed);
        Host h;
        h.setLines(30, 12);
        h.editor->insertField();
        h.editor->history().clear();
        QRandomGenerator rng(seed);
        QGuiApplication::clipboard()->setText(QStringLiteral("pasted\ntext"));
        const Snapshot start = snapshot(h);
        const auto anyField = [&] {
            for (int tries = 0; tries < 60; ++tries) {
                const int slot = 1 + rng.bounded(30);
                if (h.model.BoxLoaded[slot] == 1)
                    return slot;
            }
            return 0;
        };
        for (int step = 0; step < 150; ++step) {
            const int slot = anyField();
            const Qt::MouseButton button = rng.bounded(2) ? Qt::LeftButton : Qt::RightButton;
            h.text()->setFocus();
            switch (rng.bounded(16)) {
            case 0: case 1: h.key(Qt::Key(Qt::Key_A + rng.bounded(26))); break;
            case 2: h.key(Qt::Key_Return); break;
            case 3: h.key(rng.bounded(2) ? Qt::Key_Backspace : Qt::Key_Delete); break;
            case 4: h.key(rng.bounded(2) ? Qt::Key_Up : Qt::Key_PageDown); break;
            case 5: h.key(Qt::Key_V, Qt::ControlModifier); break;
            case 6: h.key(Qt::Key_Left, Qt::ShiftModifier), h.key(Qt::Key_X, Qt::ControlModifier); break;
            case 7: h.editor->insertField(); break;
            case 8:
                if (slot) {
                    const QPoint to(rng.bounded(h.viewport()->width()), rng.bounded(h.viewport()->height()));
                    QTest::mousePress(h.editor->fieldLabel(slot), button, {}, QPoint(3, 3));
                    QTest::mouseRelease(h.viewport(), button, {}, to); // the press may have deleted it
                }
                break;
            case 9: // armed, and at times left armed for a later press
                h.editor->armDelete(QCoreApplication::applicationDirPath());
                if (slot && rng.bounded(2)) {
                    QTest::mousePress(h.editor->fieldLabel(slot), button, {}, QPoint(3, 3));
                    QTest::mouseRelease(h.viewport(), button, {}, QPoint(3, 3));
                }
                break;
            case 10: h.editor->duplicateField(slot); break;
            case 11: // what the UpdateBox window writes while open, one step when it closes
                if (slot) {
                    const auto chars = qint16(rng.bounded(1, 12));
                    h.model.editRecord(slot, [&](UpdateBox &r) {
                        r.DataIn = true;
                        r.VarName = QStringLiteral("Node%1.Var").arg(rng.bounded(9));
                        r.Chars = chars;
                        r.NodeAdr = quint8(rng.bounded(256));
                    });
                    h.editor->setFieldShape(slot, chars * Cell + 40, QString(chars, u'X'));
                    h.editor->history().settle();
                }
                break;
            case 12: // the printer code window
                h.model.setStartCode(QStringLiteral("[27]%1").arg(rng.bounded(100)));
                h.model.setStopCode(QStringLiteral("[%1]").arg(rng.bounded(32)));
                h.editor->history().settle();
                break;
            case 13: h.editor->requestEditorWidth(370 + rng.bounded(9500)); break;
            case 14: h.editor->history().undo(); break;
            default: h.editor->history().redo(); break;
            }
            QVERIFY2(slotsConsistent(h), qPrintable(QStringLiteral("step %1").arg(step)));
            QVERIFY(!h.editor->isDragging());
            QVERIFY(h.model.DeleteMode || !h.editor->testAttribute(Qt::WA_SetCursor));
        }
        // An edit last, so that the history ends where the session does.
        h.text()->setFocus();
        h.key(Qt::Key_Z);
        const Snapshot end = snapshot(h);
        while (h.editor->history().stack().canUndo())
            h.editor->history().undo();
        QVERIFY(snapshot(h) == start);
        QVERIFY(!h.model.LayoutChanged);
        QVERIFY(slotsConsistent(h));
        while (h.editor->history().stack().canRedo())
            h.editor->history().redo();
        QVERIFY(snapshot(h) == end);
        QVERIFY(slotsConsistent(h));
    }
};

QTEST_MAIN(TestEditorWindow)
#include "tst_editorwindow.moc"
