#include "editor/EditorWindow.h"
#include "editor/TextBoxQueries.h"
#include "model/CharGrid.h"
#include "model/ShapeCaption.h"
#include "model/TicketModel.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QWheelEvent>

#include <memory>

using namespace tkl;

namespace {

constexpr int Cell = 120;  // twips, "Courier" 9.75 pt at 96 dpi
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

    /// Press on a field's label at `at` (label pixels), move and release on `target`.
    void drag(int slot, QPoint at, QWidget *target, QPoint to, Qt::MouseButton button = Qt::LeftButton)
    {
        QLabel *label = editor->fieldLabel(slot);
        QTest::mousePress(label, button, {}, at);
        QTest::mouseMove(editor, target->mapTo(editor, to));
        QTest::mouseRelease(target, button, {}, to);
    }
};

bool slotsConsistent(const Host &h)
{
    const auto frames = h.editor->findChildren<QFrame *>(QStringLiteral("Frame1"));
    if (frames.size() != h.model.loadedCount())
        return false;
    for (int slot = 1; slot <= 30; ++slot) {
        const bool loaded = h.model.BoxLoaded[slot] == 1;
        QWidget *frame = h.editor->fieldFrame(slot);
        if (loaded != (frame != nullptr) || loaded != (h.editor->fieldLabel(slot) != nullptr))
            return false;
        if (frame && (frame->property("slot").toInt() != slot || frame->parent() != h.editor))
            return false;
    }
    return true;
}

} // namespace

class TestEditorWindow : public QObject
{
    Q_OBJECT

private slots:
    void widthSnapping_data();
    void widthSnapping();
    void readout_data();
    void readout();
    void keyReleaseFollowsScroll_data();
    void keyReleaseFollowsScroll();
    void scrollBarNotifications_data();
    void scrollBarNotifications();
    void thumbDrag();
    void keysMarkChangesClicksDoNot_data();
    void keysMarkChangesClicksDoNot();
    void queriesKeepFocus();
    void insertCascade();
    void insertReusesLowestFreeSlot();
    void insertWhenFull();
    void drop_data();
    void drop();
    void dropElsewhereLeavesField_data();
    void dropElsewhereLeavesField();
    void deleteMode_data();
    void deleteMode();
    void deleteClearsOnlyDefinedRecord_data();
    void deleteClearsOnlyDefinedRecord();
    void eraserPointer();
    void throughWindowSystem();
    void lineCountFollowsEdits_data();
    void lineCountFollowsEdits();
    void longTexts_data();
    void longTexts();
    void randomSequenceKeepsSlotsConsistent();
};

void TestEditorWindow::widthSnapping_data()
{
    QTest::addColumn<double>("requested");
    QTest::addColumn<int>("maxWidth");
    QTest::addColumn<double>("width");
    QTest::addColumn<int>("chars");
    QTest::newRow("New's 5260") << 5260.0 << 9500 << 5170.0 << 40;
    QTest::newRow("already snapped") << 5170.0 << 9500 << 5170.0 << 40;
    QTest::newRow("20 chars asked") << 2770.0 << 9500 << 2770.0 << 20;
    QTest::newRow("half a cell: even k") << 5160.0 << 9500 << 5050.0 << 39;
    QTest::newRow("100 chars ends at main width") << 12370.0 << 9500 << 9490.0 << 76;
    QTest::newRow("exactly main width") << 9500.0 << 9500 << 9490.0 << 76;
    QTest::newRow("narrow main window") << 5260.0 << 4000 << 3970.0 << 30;
    QTest::newRow("nothing asked") << 0.0 << 9500 << 490.0 << 1;
}

void TestEditorWindow::widthSnapping()
{
    QFETCH(double, requested);
    QFETCH(int, maxWidth);
    QFETCH(double, width);
    QFETCH(int, chars);
    Host h;
    h.editor->setMaxWidthTwips(maxWidth);
    h.editor->setWidthTwips(requested);

    QCOMPARE(h.editor->widthTwips(), width);
    QCOMPARE(h.editor->heightTwips(), 22.0 * Line + 200);
    QCOMPARE(h.model.CharsPerLine, chars);
    QCOMPARE(h.model.EditorWidth, int(width));
    const double dpi = h.editor->logicalDpiX();
    QCOMPARE(h.text()->geometry(),
             QRect(0, 0, Twips::toPixels(width - 300, dpi), Twips::toPixels(22 * Line + 80, dpi)));
    QCOMPARE(h.bar()->x(), Twips::toPixels(width - 300, dpi));

    // The box breaks a line exactly after CharsPerLine cells.
    h.text()->setPlainText(QString(chars, QLatin1Char('x')));
    QCOMPARE(h.q().GetLineCount(), 1);
    h.text()->setPlainText(QString(chars + 1, QLatin1Char('x')));
    QCOMPARE(h.q().GetLineCount(), 2);
}

void TestEditorWindow::readout_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("readout");
    QTest::newRow("empty, first line") << "" << int(Qt::Key_Home) << "Ch:40\r\nLn:1";
    QTest::newRow("third line") << "a\nb\nc" << int(Qt::Key_End) << "Ch:40\r\nLn:3";
    QTest::newRow("wrapped continuation counts") << QString(45, QLatin1Char('w')) << int(Qt::Key_End)
                                                 << "Ch:40\r\nLn:2";
    QTest::newRow("below a wrapped line") << QString(85, QLatin1Char('w')) + "\nz" << int(Qt::Key_End)
                                          << "Ch:40\r\nLn:4";
}

void TestEditorWindow::readout()
{
    QFETCH(QString, text);
    QFETCH(int, key);
    QFETCH(QString, readout);
    Host h;
    QSignalSpy spy(h.editor, &EditorWindow::readoutChanged);
    h.text()->setPlainText(text);
    h.key(Qt::Key(key), Qt::ControlModifier);
    QCOMPARE(h.editor->readoutText(), readout);
    QVERIFY(!spy.isEmpty());
    QCOMPARE(spy.last().at(0).toString(), readout);
}

void TestEditorWindow::keyReleaseFollowsScroll_data()
{
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("firstVisible");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("delta");
    QTest::newRow("10 lines") << 10 << 1 << 22 << 0;
    QTest::newRow("22 lines") << 22 << 1 << 22 << 0;
    QTest::newRow("23 lines") << 23 << 2 << 23 << 1;
    QTest::newRow("30 lines") << 30 << 9 << 30 << 8;
}

void TestEditorWindow::keyReleaseFollowsScroll()
{
    QFETCH(int, lines);
    QFETCH(int, firstVisible);
    QFETCH(int, maximum);
    QFETCH(int, delta);
    Host h;
    h.setLines(lines);
    QCOMPARE(h.editor->insertField(), 1);
    QCOMPARE(h.editor->insertField(), 2);
    const int top1 = h.editor->fieldTopTwips(1);
    const int top2 = h.editor->fieldTopTwips(2);

    h.key(Qt::Key_End, Qt::ControlModifier); // jump to the end of the text
    QCOMPARE(h.q().GetFirstVisibleLine(), firstVisible);
    QCOMPARE(h.bar()->maximum(), maximum);
    QCOMPARE(h.bar()->value(), maximum);
    QCOMPARE(h.model.ScrollDelta, delta);
    QCOMPARE(int(h.model.ScrollPos), maximum);
    QCOMPARE(h.editor->fieldTopTwips(1), top1 - delta * Line);
    QCOMPARE(h.editor->fieldTopTwips(2), top2 - delta * Line);
    QCOMPARE(h.editor->fieldFrame(1)->y(), Twips::toPixels(top1 - delta * Line, h.editor->logicalDpiY()));

    // Releasing a second key with nothing scrolled moves nothing further.
    h.key(Qt::Key_Control);
    QCOMPARE(h.model.ScrollDelta, 0);
    QCOMPARE(h.editor->fieldTopTwips(1), top1 - delta * Line);

    // Back to the top: the fields come back to where they were.
    h.key(Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(h.bar()->value(), 22);
    QCOMPARE(h.editor->fieldTopTwips(1), top1);
}

void TestEditorWindow::scrollBarNotifications_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("moved");
    QTest::newRow("value set, text has the focus: ignored") << "text" << 0;
    QTest::newRow("value set, bar has the focus") << "bar" << 3;
    QTest::newRow("wheel over the bar") << "wheel" << 3;
    QTest::newRow("wheel over the text") << "wheel on text" << 3;
}

void TestEditorWindow::scrollBarNotifications()
{
    QFETCH(QString, how);
    QFETCH(int, moved);
    Host h;
    h.setLines(40);
    h.key(Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(h.bar()->maximum(), 40);
    h.editor->insertField();
    const int top = h.editor->fieldTopTwips(1);
    if (how.startsWith("wheel")) {
        QWidget *target = how == "wheel" ? static_cast<QWidget *>(h.bar()) : h.viewport();
        const QPoint at(5, 50);
        QWheelEvent wheel(at, target->mapToGlobal(at), {}, QPoint(0, -120), Qt::NoButton, {},
                          Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(target, &wheel);
    } else {
        if (how == "bar")
            h.bar()->setFocus();
        h.bar()->setValue(25);
    }

    QCOMPARE(h.q().GetFirstVisibleLine(), 1 + moved);
    QCOMPARE(int(h.model.ScrollPos), 22 + moved);
    QCOMPARE(h.editor->fieldTopTwips(1), top - moved * Line);
    QVERIFY(h.text()->hasFocus());
}

void TestEditorWindow::thumbDrag()
{
    Host h;
    h.setLines(40);
    h.key(Qt::Key_Home, Qt::ControlModifier);
    h.editor->insertField();
    h.editor->insertField();
    const int top2 = h.editor->fieldTopTwips(2);

    // What the bar does while its thumb is dragged: the position moves with the
    // button down, then the value follows.
    h.bar()->setSliderDown(true);
    h.bar()->setSliderPosition(25);
    h.bar()->setSliderDown(false);

    QCOMPARE(h.bar()->value(), 25);
    QCOMPARE(h.q().GetFirstVisibleLine(), 4);
    QCOMPARE(h.model.ScrollDelta, 3);
    QCOMPARE(int(h.model.ScrollPos), 25);
    QCOMPARE(h.editor->fieldTopTwips(2), top2 - 3 * Line);
    QVERIFY(h.text()->hasFocus());
}

void TestEditorWindow::keysMarkChangesClicksDoNot_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("changed");
    QTest::newRow("right arrow") << "right" << true;
    QTest::newRow("click on a line") << "click" << false;
    QTest::newRow("text dropped with the mouse") << "drop" << true;
    QTest::newRow("text set by the program") << "program" << false;
    QTest::newRow("release of a key pressed in another window") << "stray release" << false;
}

void TestEditorWindow::keysMarkChangesClicksDoNot()
{
    QFETCH(QString, action);
    QFETCH(bool, changed);
    Host h;
    h.setLines(30);
    h.text()->setTextCursor(QTextCursor(h.text()->document()->findBlockByNumber(9)));
    h.q().ScrollTextLines(5); // the bar is not told: a click must not sync it
    QCOMPARE(h.q().GetFirstVisibleLine(), 6);
    h.model.LayoutChanged = false;
    const QPoint line3 = h.viewport()->mapFrom(h.text(), h.textPixel(2 * Cell + 60, 2 * Line + 100));
    if (action == "click") {
        QTest::mouseClick(h.viewport(), Qt::LeftButton, {}, line3);
        QCOMPARE(h.editor->readoutText(), QStringLiteral("Ch:40\r\nLn:8"));
        QCOMPARE(h.bar()->value(), 22);
    } else if (action == "right") {
        h.key(Qt::Key_Right);
        QCOMPARE(h.bar()->value(), 27); // synced from the scrolled text
    } else if (action == "drop") {
        QMimeData mime;
        mime.setText(QStringLiteral("dropped"));
        QDragEnterEvent enter(line3, Qt::CopyAction, &mime, Qt::LeftButton, {});
        QCoreApplication::sendEvent(h.viewport(), &enter);
        QDragMoveEvent move(line3, Qt::CopyAction, &mime, Qt::LeftButton, {});
        QCoreApplication::sendEvent(h.viewport(), &move);
        QDropEvent drop(line3, Qt::CopyAction, &mime, Qt::LeftButton, {});
        QCoreApplication::sendEvent(h.viewport(), &drop);
        QVERIFY(h.text()->toPlainText().contains(QStringLiteral("dropped")));
    } else if (action == "stray release") {
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier);
        QCoreApplication::sendEvent(h.text(), &release);
        QCOMPARE(h.bar()->value(), 22);
    } else {
        QTextCursor(h.text()->document()).insertText(QStringLiteral("by the program"));
        h.text()->setPlainText(QStringLiteral("replaced"));
    }
    QCOMPARE(h.model.LayoutChanged, changed);
}

void TestEditorWindow::queriesKeepFocus()
{
    Host h;
    auto *edit = new QLineEdit(&h.window);
    edit->move(600, 10);
    edit->show();
    edit->setFocus();
    QVERIFY(edit->hasFocus());

    struct FocusCounter : QObject
    {
        int changes = 0;
        bool eventFilter(QObject *, QEvent *e) override
        {
            changes += e->type() == QEvent::FocusOut || e->type() == QEvent::FocusIn;
            return false;
        }
    } counter;
    edit->installEventFilter(&counter);
    h.setLines(40);

    h.q().GetFirstVisibleLine();
    h.q().GetLineCount();
    h.q().GetCurrentLine();
    h.q().ScrollTextLines(3);
    h.editor->RefreshReadout();
    h.editor->SyncScrollBar();
    h.editor->followScroll();

    QVERIFY(edit->hasFocus());
    QCOMPARE(counter.changes, 0);
    QCOMPARE(h.q().GetFirstVisibleLine(), 4);
}

void TestEditorWindow::insertCascade()
{
    Host h;
    h.model.LayoutChanged = false;
    h.model.UpdateBoxes[2].Linie = 7; // left by an earlier use of the slot
    for (int n = 1; n <= 3; ++n) {
        QCOMPARE(h.editor->insertField(), n);
        QCOMPARE(int(h.model.NewBoxSlot), n);
    }
    const double dpi = h.editor->logicalDpiX();
    for (int n = 1; n <= 3; ++n) {
        QLabel *label = h.editor->fieldLabel(n);
        QCOMPARE(label->text(), QStringLiteral("UpdateBox%1").arg(n));
        QCOMPARE(h.editor->fieldLeftTwips(n), 50 * n);
        QCOMPARE(h.editor->fieldTopTwips(n), 100 * n + Line);
        QCOMPARE(h.editor->fieldFrame(n)->geometry(),
                 QRect(Twips::toPixels(50 * n, dpi), Twips::toPixels(100 * n + Line, dpi),
                       Twips::toPixels(1335, dpi), Twips::toPixels(195, dpi)));
        QCOMPARE(label->palette().color(QPalette::Window), QColor(0xC0, 0xC0, 0xC0));
        QVERIFY(label->isVisibleTo(h.editor));
    }
    // The newest field lies over the older ones and the text.
    const QPoint overlap = h.editor->fieldFrame(3)->geometry().topLeft() + QPoint(2, 2);
    QCOMPARE(h.editor->childAt(overlap), h.editor->fieldLabel(3));
    QVERIFY(slotsConsistent(h));
    QCOMPARE(h.model.UpdateBoxes[2].Linie, 7);
    QVERIFY(!h.model.LayoutChanged);
}

void TestEditorWindow::insertReusesLowestFreeSlot()
{
    Host h;
    for (int n = 1; n <= 4; ++n)
        h.editor->insertField();
    h.editor->unloadField(3);
    h.editor->unloadField(2);
    QVERIFY(slotsConsistent(h));
    QCOMPARE(h.editor->insertField(), 2);
    QCOMPARE(h.editor->insertField(), 3);
    QCOMPARE(h.editor->insertField(), 5);
}

void TestEditorWindow::insertWhenFull()
{
    Host h;
    for (int n = 1; n <= 30; ++n)
        QCOMPARE(h.editor->insertField(), n);
    QCOMPARE(h.editor->insertField(), 0);
    QCOMPARE(int(h.model.NewBoxSlot), 0);
    QCOMPARE(h.model.loadedCount(), 30);
    QVERIFY(slotsConsistent(h));
}

void TestEditorWindow::drop_data()
{
    QTest::addColumn<int>("scrolled");  // lines scrolled out at the top
    QTest::addColumn<QPoint>("grip");   // mouse inside the label at the press, pixels
    QTest::addColumn<QPointF>("corner"); // label corner at the release, cells and lines
    QTest::addColumn<int>("pos");
    QTest::addColumn<int>("linie");
    QTest::addColumn<int>("row");
    QTest::newRow("2.6 cells, 1.2 lines, line 4 on top") << 4 << QPoint(10, 6) << QPointF(2.6, 1.2) << 3 << 5 << 1;
    QTest::newRow("first cell, not scrolled") << 0 << QPoint(3, 3) << QPointF(0.1, 0.1) << 1 << 0 << 0;
    QTest::newRow("first cell, line 5 on top") << 5 << QPoint(3, 3) << QPointF(0.1, 0.1) << 1 << 5 << 0;
    QTest::newRow("corner above the top edge") << 4 << QPoint(3, 10) << QPointF(0.5, -0.3) << 1 << 3 << 0;
    QTest::newRow("past the last column") << 0 << QPoint(3, 3) << QPointF(39.5, 21.5) << 40 << 21 << 21;
}

void TestEditorWindow::drop()
{
    QFETCH(int, scrolled);
    QFETCH(QPoint, grip);
    QFETCH(QPointF, corner);
    QFETCH(int, pos);
    QFETCH(int, linie);
    QFETCH(int, row);
    Host h;
    h.setLines(40);
    h.q().ScrollTextLines(scrolled);
    // Out of the way of the drops, which must land on the text, not on the field itself.
    h.editor->loadFieldFromRecord(1, 3000, 3000, 1335, QStringLiteral("XXXX"));
    h.model.LayoutChanged = false;

    // Release where the label's corner lands on the given cell fraction.
    const double dpi = h.editor->logicalDpiX();
    const double gripX = Twips::fromPixels(grip.x(), dpi);
    const double gripY = Twips::fromPixels(grip.y(), dpi);
    const QPoint inText = h.textPixel(corner.x() * Cell + gripX, corner.y() * Line + gripY);
    h.drag(1, grip, h.viewport(), h.viewport()->mapFrom(h.text(), inText));

    QCOMPARE(h.model.UpdateBoxes[1].Pos, pos);
    QCOMPARE(h.model.UpdateBoxes[1].Linie, linie);
    QCOMPARE(h.editor->fieldLeftTwips(1), (pos - 1) * Cell + 20);
    QCOMPARE(h.editor->fieldTopTwips(1), row * Line + 20);
    QCOMPARE(h.editor->dragOffsetX(), gripX);
    QCOMPARE(int(h.model.CurrentBox), 1);
    QVERIFY(h.model.LayoutChanged);
    QVERIFY(!h.editor->isDragging());
    QVERIFY(h.text()->hasFocus());
}

void TestEditorWindow::dropElsewhereLeavesField_data()
{
    QTest::addColumn<QString>("where");
    QTest::newRow("another field") << "field";
    QTest::newRow("its own label") << "self";
    QTest::newRow("scroll bar") << "bar";
    QTest::newRow("outside the editor") << "outside";
}

void TestEditorWindow::dropElsewhereLeavesField()
{
    QFETCH(QString, where);
    Host h;
    h.setLines(10);
    h.editor->insertField();
    h.editor->insertField();
    h.model.LayoutChanged = false;
    const QRect before = h.editor->fieldFrame(1)->geometry();
    const UpdateBox record = h.model.UpdateBoxes[1];

    QLabel *label = h.editor->fieldLabel(1);
    QTest::mousePress(label, Qt::LeftButton, {}, QPoint(4, 4));
    QVERIFY(h.editor->isDragging());
    if (where == "field") {
        QTest::mouseRelease(h.editor->fieldLabel(2), Qt::LeftButton, {}, QPoint(30, 5));
    } else if (where == "self") {
        QTest::mouseRelease(label, Qt::LeftButton, {}, QPoint(4, 4));
    } else if (where == "bar") {
        QTest::mouseRelease(h.bar(), Qt::LeftButton, {}, QPoint(5, 100));
    } else {
        // The label keeps the mouse while its button is down, even outside the editor.
        QTest::mouseRelease(label, Qt::LeftButton, {}, label->mapFrom(h.editor, QPoint(h.editor->width() + 40, 30)));
    }

    QCOMPARE(h.editor->fieldFrame(1)->geometry(), before);
    QCOMPARE(h.model.UpdateBoxes[1], record);
    QVERIFY(!h.model.LayoutChanged);
    QVERIFY(!h.editor->isDragging());
    QCOMPARE(int(h.model.CurrentBox), 1);
    QVERIFY(h.text()->hasFocus());
}

void TestEditorWindow::deleteMode_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("arms");
    QTest::newRow("left") << int(Qt::LeftButton) << 1;
    QTest::newRow("right") << int(Qt::RightButton) << 1;
    QTest::newRow("armed twice") << int(Qt::LeftButton) << 2;
}

void TestEditorWindow::deleteMode()
{
    QFETCH(int, button);
    QFETCH(int, arms);
    Host h;
    h.editor->insertField();
    h.editor->insertField();
    h.model.LayoutChanged = false;
    QSignalSpy pressed(h.editor, &EditorWindow::fieldPressed);
    for (int i = 0; i < arms; ++i)
        h.editor->armDelete(QCoreApplication::applicationDirPath());

    QTest::mousePress(h.editor->fieldLabel(2), Qt::MouseButton(button), {}, QPoint(5, 5));
    QVERIFY(!h.editor->fieldFrame(2));
    QCOMPARE(h.model.BoxLoaded[2], 0);
    QVERIFY(!h.model.DeleteMode);
    QVERIFY(h.model.LayoutChanged);
    QVERIFY(!h.editor->isDragging());
    QVERIFY(!h.editor->testAttribute(Qt::WA_SetCursor));
    QCOMPARE(pressed.size(), 1);
    QCOMPARE(pressed.at(0).at(0).toInt(), 2);
    QCOMPARE(pressed.at(0).at(1).value<Qt::MouseButton>(), Qt::MouseButton(button));
    QVERIFY(pressed.at(0).at(2).toBool());
    QVERIFY(slotsConsistent(h));

    // The mode is over: the next press drags instead of deleting.
    QTest::mousePress(h.editor->fieldLabel(1), Qt::MouseButton(button), {}, QPoint(5, 5));
    QVERIFY(h.editor->fieldFrame(1));
    QVERIFY(h.editor->isDragging());
    QVERIFY(!pressed.last().at(2).toBool());
    QTest::mouseRelease(h.editor->fieldLabel(1), Qt::MouseButton(button), {}, QPoint(5, 5));
}

void TestEditorWindow::deleteClearsOnlyDefinedRecord_data()
{
    QTest::addColumn<bool>("defined");
    QTest::newRow("defined field") << true;
    QTest::newRow("undefined field") << false;
}

void TestEditorWindow::deleteClearsOnlyDefinedRecord()
{
    QFETCH(bool, defined);
    Host h;
    h.editor->insertField();
    UpdateBox &r = h.model.UpdateBoxes[1];
    r = UpdateBox{QStringLiteral("Node3.Level"), 3, 17, 2, 5, 4, 9, 11, 8, 2, defined, 6, 12};
    const UpdateBox before = r;

    h.editor->armDelete(QStringLiteral("/nonexistent"));
    QTest::mousePress(h.editor->fieldLabel(1), Qt::LeftButton, {}, QPoint(5, 5));

    UpdateBox expected = before;
    if (defined) {
        expected.DataIn = false;
        expected.VarName.clear();
        expected.Chars = 0;
        expected.Digits = 0;
    }
    QCOMPARE(r, expected);
    // A field inserted into the slot again starts from what the deletion left.
    h.editor->insertField();
    QCOMPARE(h.model.UpdateBoxes[1], expected);
}

void TestEditorWindow::eraserPointer()
{
    Host h;
    h.editor->insertField();
    h.editor->armDelete(QCoreApplication::applicationDirPath());
    QCOMPARE(h.editor->cursor().shape(), Qt::BitmapCursor);
    QVERIFY(!h.editor->cursor().pixmap().isNull());

    // Clicking into the text ends the pointer, not the mode.
    QTest::mouseClick(h.viewport(), Qt::LeftButton, {}, QPoint(20, 20));
    QVERIFY(!h.editor->testAttribute(Qt::WA_SetCursor));
    QVERIFY(h.model.DeleteMode);

    h.editor->armDelete(QCoreApplication::applicationDirPath());
    h.editor->insertField();
    QVERIFY(!h.editor->testAttribute(Qt::WA_SetCursor));
    QVERIFY(h.model.DeleteMode);

    // Without the picture the pointer stays the default one and the mode still works.
    QTemporaryDir empty;
    h.editor->armDelete(empty.path());
    QVERIFY(!h.editor->testAttribute(Qt::WA_SetCursor));
    QTest::mousePress(h.editor->fieldLabel(2), Qt::LeftButton, {}, QPoint(5, 5));
    QVERIFY(!h.editor->fieldFrame(2));
    QVERIFY(!h.model.DeleteMode);
}

void TestEditorWindow::throughWindowSystem()
{
    // Events from the window system go through the window and its mouse grab, not
    // straight to a widget: a drag and a delete must survive that path as well.
    Host h;
    h.setLines(10);
    h.editor->insertField();
    h.editor->insertField();
    QWindow *win = h.window.windowHandle();
    auto inWindow = [&](QWidget *w, QPoint p) { return w->mapTo(&h.window, p); };

    const QPoint grip = inWindow(h.editor->fieldLabel(1), QPoint(4, 4));
    const QPoint target = inWindow(h.text(), h.textPixel(3 * Cell + 60, 5 * Line + 60));
    QTest::mousePress(win, Qt::LeftButton, {}, grip);
    QTest::mouseMove(win, target);
    QTest::mouseRelease(win, Qt::LeftButton, {}, target);
    QCOMPARE(h.model.UpdateBoxes[1].Pos, 4);
    QCOMPARE(h.model.UpdateBoxes[1].Linie, 5);

    h.editor->armDelete(QCoreApplication::applicationDirPath());
    const QPoint second = inWindow(h.editor->fieldLabel(2), QPoint(4, 4));
    QTest::mousePress(win, Qt::LeftButton, {}, second);
    QTest::mouseRelease(win, Qt::LeftButton, {}, second);
    QVERIFY(!h.editor->fieldFrame(2));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(slotsConsistent(h));
}

void TestEditorWindow::lineCountFollowsEdits_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<int>("change");
    QTest::newRow("long line pasted") << "paste" << 2;
    QTest::newRow("two lines joined into a wrapped one") << "join" << 0;
    QTest::newRow("lines removed") << "cut" << -10;
    QTest::newRow("narrower box") << "narrow" << 2000;
}

void TestEditorWindow::lineCountFollowsEdits()
{
    QFETCH(QString, edit);
    QFETCH(int, change);
    Host h;
    h.setLines(2000, 25);
    h.key(Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(h.q().GetLineCount(), 2000);

    // Edits far below the visible part, where the box has laid nothing out.
    QTextCursor c(h.text()->document()->findBlockByNumber(1500));
    if (edit == "paste") {
        c.insertText(QString(45, QLatin1Char('g')) + QLatin1Char('\n'));
    } else if (edit == "join") {
        c.movePosition(QTextCursor::EndOfBlock);
        c.deleteChar();
    } else if (edit == "cut") {
        c.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, 10);
        c.removeSelectedText();
    } else {
        h.editor->setWidthTwips(CharGrid(Cell, Line).widthForChars(20)); // every line takes 2 now
    }
    QCOMPARE(h.q().GetLineCount(), 2000 + change);
    h.text()->moveCursor(QTextCursor::End);
    QCOMPARE(h.q().GetCurrentLine(), 2000 + change);
}

void TestEditorWindow::longTexts_data()
{
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("length");
    QTest::newRow("10,000 lines") << 10000 << 12;
    QTest::newRow("10,000 wrapped lines") << 10000 << 50;
    QTest::newRow("one line of 5,000") << 1 << 5000;
}

void TestEditorWindow::longTexts()
{
    QFETCH(int, lines);
    QFETCH(int, length);
    Host h;
    h.editor->insertField();
    h.setLines(lines, length);
    const int boxLines = lines * ((length + 39) / 40);

    h.key(Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(h.q().GetLineCount(), boxLines);
    QCOMPARE(h.bar()->maximum(), boxLines);
    QCOMPARE(h.bar()->value(), boxLines);
    QCOMPARE(h.q().GetFirstVisibleLine(), boxLines - 21);
    QCOMPARE(h.editor->readoutText(), QStringLiteral("Ch:40\r\nLn:%1").arg(boxLines));
    QCOMPARE(h.editor->fieldTopTwips(1), 100 + Line - (boxLines - 22) * Line);

    h.key(Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(h.bar()->value(), 22);
    QCOMPARE(h.editor->readoutText(), QStringLiteral("Ch:40\r\nLn:1"));
    QCOMPARE(h.editor->fieldTopTwips(1), 100 + Line);
    QCOMPARE(h.editor->boxLines().size(), boxLines);
}

void TestEditorWindow::randomSequenceKeepsSlotsConsistent()
{
    Host h;
    h.setLines(60, 20);
    QRandomGenerator rng(20261206);
    const Qt::Key keys[] = {Qt::Key_A, Qt::Key_Return, Qt::Key_Backspace, Qt::Key_Delete, Qt::Key_Down,
                            Qt::Key_Up, Qt::Key_PageDown, Qt::Key_PageUp, Qt::Key_Right, Qt::Key_End};
    auto anyLoaded = [&]() {
        QList<int> loaded;
        for (int s = 1; s <= 30; ++s)
            if (h.model.BoxLoaded[s])
                loaded << s;
        return loaded.isEmpty() ? 0 : loaded.at(rng.bounded(int(loaded.size())));
    };
    for (int step = 0; step < 1500; ++step) {
        const int action = rng.bounded(10);
        const int slot = anyLoaded();
        const Qt::MouseButton button = rng.bounded(2) ? Qt::LeftButton : Qt::RightButton;
        switch (action) {
        case 0:
        case 1:
            h.editor->insertField();
            break;
        case 2:
            h.editor->armDelete(rng.bounded(2) ? QCoreApplication::applicationDirPath() : QString());
            break;
        case 3:
            if (!slot)
                break;
            QTest::mousePress(h.editor->fieldLabel(slot), button, {}, QPoint(3, 3));
            if (h.editor->fieldLabel(slot))
                QTest::mouseRelease(h.editor->fieldLabel(slot), button, {}, QPoint(3, 3));
            else // deleted by the press; the button still comes up somewhere
                QTest::mouseRelease(h.editor, button, {}, QPoint(3, 3));
            break;
        case 4:
        case 5: {
            if (!slot)
                break;
            const QPoint to(rng.bounded(h.viewport()->width()), rng.bounded(h.viewport()->height()));
            QTest::mousePress(h.editor->fieldLabel(slot), button, {}, QPoint(3, 3));
            QWidget *target = h.viewport();
            if (const int other = anyLoaded(); other && rng.bounded(3) == 0)
                target = h.editor->fieldLabel(other);
            else if (rng.bounded(4) == 0)
                target = h.bar();
            if (!target) // the press deleted the field we aimed at
                target = h.viewport();
            QTest::mouseRelease(target, button, {}, target == h.viewport() ? to : QPoint(2, 2));
            break;
        }
        case 6:
            if (slot)
                h.editor->unloadField(slot);
            break;
        case 7:
            h.bar()->setSliderDown(true);
            h.bar()->setSliderPosition(h.bar()->minimum() + rng.bounded(h.bar()->maximum() - h.bar()->minimum() + 1));
            h.bar()->setSliderDown(false);
            break;
        default:
            h.text()->setFocus();
            h.key(keys[rng.bounded(int(std::size(keys)))]);
            break;
        }
        QVERIFY2(slotsConsistent(h), qPrintable(QStringLiteral("step %1 action %2").arg(step).arg(action)));
        QVERIFY(!h.editor->isDragging());
        QVERIFY(h.bar()->maximum() >= 22);
        QVERIFY(h.model.DeleteMode || !h.editor->testAttribute(Qt::WA_SetCursor));
        if (action >= 8) {
            QCOMPARE(h.editor->readoutText(), QStringLiteral("Ch:40\r\nLn:%1").arg(h.q().GetCurrentLine()));
            const int n = h.q().GetLineCount();
            QCOMPARE(h.bar()->maximum(), n < 23 ? 22 : n);
        }
    }
}

QTEST_MAIN(TestEditorWindow)
#include "tst_editorwindow.moc"
