#include "FakeEditorSurface.h"

#include "dialogs/HelpWindow.h"
#include "dialogs/PrinterSettingsDialog.h"
#include "dialogs/TicketSizeDialog.h"
#include "model/CharGrid.h"
#include "model/EditorFont.h"
#include "model/TicketModel.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QLineEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>

using namespace tkl;
using tkl::test::FakeEditorSurface;

class TestSettingsDialogs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void controlKeys_data();
    void controlKeys();
    void openingRefillsCodes();
    void sizeApplied_data();
    void sizeApplied();
    void shownSizeKeepsWidth_data();
    void shownSizeKeepsWidth();
    void sizeKeys_data();
    void sizeKeys();
    void sizeEnter();
    void sizeHidesWhenFocusLeaves();
    void help_data();
    void help();
    void installedHelpHasTopic35();
};

void TestSettingsDialogs::initTestCase()
{
    installFontSubstitutions();
}

void TestSettingsDialogs::controlKeys_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("before");
    QTest::addColumn<int>("caret");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("after");

    const int none = Qt::NoModifier;
    const int ctrl = Qt::ControlModifier;
    QTest::newRow("escape in start code") << "Text1" << "" << 0 << int(Qt::Key_Escape) << none << "[27]";
    QTest::newRow("enter in stop code") << "Text2" << "AB" << 2 << int(Qt::Key_Return) << none << "AB[13]";
    QTest::newRow("backspace deletes, appends nothing") << "Text1" << "AB" << 2 << int(Qt::Key_Backspace) << none << "A";
    QTest::newRow("caret mid-text, code at the end") << "Text1" << "ABCD" << 1 << int(Qt::Key_Escape) << none
                                                     << "ABCD[27]";
    QTest::newRow("ctrl+G") << "Text2" << "x" << 0 << int(Qt::Key_G) << ctrl << "x[7]";
    QTest::newRow("ctrl+[ is escape") << "Text1" << "" << 0 << int(Qt::Key_BracketLeft) << ctrl << "[27]";
    QTest::newRow("printable at the caret") << "Text1" << "ABCD" << 2 << int(Qt::Key_X) << none << "ABxCD";
    QTest::newRow("tab moves on") << "Text1" << "A" << 1 << int(Qt::Key_Tab) << none << "A";
}

void TestSettingsDialogs::controlKeys()
{
    QFETCH(QString, box);
    QFETCH(QString, before);
    QFETCH(int, caret);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, after);

    TicketModel model;
    PrinterSettingsDialog dialog(model);
    (box == "Text1" ? model.StartCode : model.StopCode) = before;
    dialog.openAt(2000, 2500);
    auto *edit = dialog.findChild<QLineEdit *>(box);
    edit->setCursorPosition(caret);
    QTest::keyClick(edit, Qt::Key(key), Qt::KeyboardModifiers(modifiers));

    QCOMPARE(edit->text(), after);
    QCOMPARE(box == "Text1" ? model.StartCode : model.StopCode, after);
    QCOMPARE(box == "Text1" ? model.StopCode : model.StartCode, QString());
}

void TestSettingsDialogs::openingRefillsCodes()
{
    TicketModel model;
    PrinterSettingsDialog dialog(model);
    model.StartCode = QStringLiteral("[27]@");
    dialog.openAt(2000, 2500);
    auto *text1 = dialog.findChild<QLineEdit *>("Text1");
    auto *text2 = dialog.findChild<QLineEdit *>("Text2");
    QCOMPARE(text1->text(), QStringLiteral("[27]@"));
    QCOMPARE(dialog.pos(), QPoint(Twips::toPixels(2000, dialog.logicalDpiX()), Twips::toPixels(2500, dialog.logicalDpiY())));
    QTest::keyClicks(text2, QStringLiteral("x"));
    dialog.hide();
    QCOMPARE(model.StopCode, QStringLiteral("x"));

    // After New the codes are empty and the boxes follow them, whatever they showed.
    model.StartCode.clear();
    model.StopCode.clear();
    dialog.openAt(2000, 2500);
    QCOMPARE(text1->text(), QString());
    QCOMPARE(text2->text(), QString());
    // A long code is not cut.
    const QString longCode = QString(40000, u'A');
    model.StartCode = longCode;
    dialog.openAt(2000, 2500);
    QTest::keyClick(text1, Qt::Key_Escape);
    QCOMPARE(model.StartCode, longCode + "[27]");
}

void TestSettingsDialogs::sizeApplied_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<double>("request");
    QTest::addColumn<int>("charsPerLine");

    QTest::newRow("empty box is one cell") << "" << 370.0 << 0;
    QTest::newRow("0") << "0" << 370.0 << 0;
    QTest::newRow("1") << "1" << 490.0 << 1;
    QTest::newRow("20") << "20" << 2770.0 << 20;
    QTest::newRow("100 ends at the widest") << "100" << 12370.0 << 76;
    QTest::newRow("99999999999 the widest") << "99999999999" << 32767.0 * 120 + 250 << 76;
}

void TestSettingsDialogs::sizeApplied()
{
    QFETCH(QString, typed);
    QFETCH(double, request);
    QFETCH(int, charsPerLine);

    TicketModel model;
    FakeEditorSurface editor(model);
    TicketSizeDialog dialog(model, editor);
    dialog.openAt(2000, 4000);
    auto *text1 = dialog.findChild<QLineEdit *>("Text1");
    text1->selectAll();
    QTest::keyClick(text1, Qt::Key_Delete);
    QTest::keyClicks(text1, typed);
    QCOMPARE(text1->text(), typed);
    QFocusEvent out(QEvent::FocusOut, Qt::MouseFocusReason);
    QCoreApplication::sendEvent(text1, &out);

    QCOMPARE(editor.widthRequests.size(), 1);
    QCOMPARE(editor.widthRequests[0], request);
    QCOMPARE(model.CharsPerLine, qint16(charsPerLine));
}

void TestSettingsDialogs::shownSizeKeepsWidth_data()
{
    QTest::addColumn<double>("startWidth");
    QTest::newRow("new layout") << 5260.0;
    QTest::newRow("narrowest") << 370.0;
    QTest::newRow("widest") << 9500.0;
    QTest::newRow("odd width") << 3333.0;
}

void TestSettingsDialogs::shownSizeKeepsWidth()
{
    QFETCH(double, startWidth);

    TicketModel model;
    FakeEditorSurface editor(model);
    editor.requestEditorWidth(startWidth);
    const qint16 chars = model.CharsPerLine;
    const qint16 width = model.EditorWidth;

    TicketSizeDialog dialog(model, editor);
    dialog.openAt(2000, 4000);
    auto *text1 = dialog.findChild<QLineEdit *>("Text1");
    QCOMPARE(text1->text(), QString::number(chars));
    QTest::keyClick(text1, Qt::Key_Return);
    QCOMPARE(model.CharsPerLine, chars);
    QCOMPARE(model.EditorWidth, width);
}

void TestSettingsDialogs::sizeKeys_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("text");

    QTest::newRow("digits") << "12" << "4012";
    QTest::newRow("letters, blank, minus, point") << "a -.Z" << "40";
    QTest::newRow("backspace") << "\b" << "40";
    QTest::newRow("delete") << "\x7f" << "4";
    QTest::newRow("paste") << "\x16" << "40";
}

void TestSettingsDialogs::sizeKeys()
{
    QFETCH(QString, keys);
    QFETCH(QString, text);

    TicketModel model;
    model.CharsPerLine = 40;
    FakeEditorSurface editor(model);
    TicketSizeDialog dialog(model, editor);
    dialog.openAt(2000, 4000);
    auto *text1 = dialog.findChild<QLineEdit *>("Text1");
    text1->end(false);
    QGuiApplication::clipboard()->setText(QStringLiteral("abc"));
    for (QChar c : keys) {
        if (c == u'\b')
            QTest::keyClick(text1, Qt::Key_Backspace);
        else if (c == u'\x7f') {
            text1->setCursorPosition(1);
            QTest::keyClick(text1, Qt::Key_Delete);
        } else if (c == u'\x16')
            QTest::keyClick(text1, Qt::Key_V, Qt::ControlModifier);
        else
            QTest::keyClicks(text1, QString(c));
    }
    QCOMPARE(text1->text(), text);
    QVERIFY(dialog.isVisible());
}

void TestSettingsDialogs::sizeEnter()
{
    TicketModel model;
    FakeEditorSurface editor(model);
    editor.requestEditorWidth(5260);
    editor.widthRequests.clear();
    TicketSizeDialog dialog(model, editor);
    dialog.openAt(2000, 4000);
    auto *text1 = dialog.findChild<QLineEdit *>("Text1");
    QTest::keyClicks(text1, QStringLiteral("5"));
    QCOMPARE(text1->text(), QStringLiteral("405"));
    QTest::keyClick(text1, Qt::Key_Return);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(editor.focusTextCalls, 1);
    QCOMPARE(model.CharsPerLine, qint16(76));
    QCOMPARE(text1->text(), QStringLiteral("405"));

    // Opening again shows the width in force, not what was typed.
    dialog.openAt(2000, 4000);
    QCOMPARE(text1->text(), QStringLiteral("76"));
}

void TestSettingsDialogs::sizeHidesWhenFocusLeaves()
{
    TicketModel model;
    FakeEditorSurface editor(model);
    editor.requestEditorWidth(5260);
    QWidget mainWindow;
    mainWindow.show();
    TicketSizeDialog dialog(model, editor);
    dialog.openAt(2000, 4000);
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    auto *text1 = dialog.findChild<QLineEdit *>("Text1");
    text1->selectAll();
    QTest::keyClicks(text1, QStringLiteral("20"));

    mainWindow.activateWindow();
    QVERIFY(QTest::qWaitFor([&] { return !dialog.isVisible(); }));
    // Leaving the box on the way out applied the number.
    QCOMPARE(model.CharsPerLine, qint16(20));
}

void TestSettingsDialogs::help_data()
{
    QTest::addColumn<bool>("exists");
    QTest::addColumn<int>("topic");
    QTest::addColumn<bool>("scrolled");

    QTest::newRow("missing file") << false << 35 << false;
    QTest::newRow("late topic") << true << 35 << true;
    QTest::newRow("first topic") << true << 1 << false;
}

void TestSettingsDialogs::help()
{
    QFETCH(bool, exists);
    QFETCH(int, topic);
    QFETCH(bool, scrolled);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Tkl_edit.hlp"));
    if (exists) {
        QString html = QStringLiteral("<html><head><title>Topics</title></head><body><a name=\"topic1\"></a><h1>One</h1>");
        for (int i = 0; i < 200; ++i)
            html += QStringLiteral("<p>filler line %1</p>").arg(i);
        html += QStringLiteral("<a name=\"topic35\"></a><h1>Thirty-five</h1>");
        for (int i = 0; i < 200; ++i)
            html += QStringLiteral("<p>more %1</p>").arg(i);
        html += QStringLiteral("</body></html>");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(html.toUtf8());
    }

    HelpWindow help;
    QCOMPARE(help.showTopic(path, topic), exists);
    QCOMPARE(help.isVisible(), exists);
    if (!exists)
        return;
    QCOMPARE(help.windowTitle(), QStringLiteral("Topics"));
    auto *browser = help.findChild<QTextBrowser *>();
    // The late topic lies some 200 paragraphs down.
    QCOMPARE(browser->verticalScrollBar()->value() > 500, scrolled);
}

void TestSettingsDialogs::installedHelpHasTopic35()
{
    const QString path = QCoreApplication::applicationDirPath() + QStringLiteral("/Tkl_edit.hlp");
    QVERIFY2(QFile::exists(path), qPrintable(path));
    HelpWindow help;
    QVERIFY(help.showTopic(path, 35));
    auto *browser = help.findChild<QTextBrowser *>();
    QVERIFY(browser->toHtml().contains(QStringLiteral("topic35")));
}

QTEST_MAIN(TestSettingsDialogs)
#include "tst_settingsdialogs.moc"
