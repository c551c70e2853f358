#include "FakeEditorSurface.h"

#include "dialogs/PrinterSettingsDialog.h"
#include "dialogs/TicketSizeDialog.h"
#include "ui/WindowLook.h"
#include "model/TicketModel.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>

using namespace tkl;
using tkl::test::FakeEditorSurface;

class TestSettingsDialogs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { installFontSubstitutions(); }

    void controlKeys_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("before");
        QTest::addColumn<int>("caret");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("after");
        QTest::newRow("escape in start code") << "Text1" << "" << 0 << int(Qt::Key_Escape) << "[27]";
        QTest::newRow("enter in stop code") << "Text2" << "AB" << 2 << int(Qt::Key_Return) << "AB[13]";
        QTest::newRow("backspace deletes, appends nothing") << "Text1" << "AB" << 2 << int(Qt::Key_Backspace) << "A";
        QTest::newRow("a blank stays itself") << "Text1" << "AB" << 2 << int(Qt::Key_Space) << "AB ";
        QTest::newRow("caret mid-text, code at the end") << "Text1" << "ABCD" << 1 << int(Qt::Key_Escape) << "ABCD[27]";
    }

    void controlKeys()
    {
        QFETCH(QString, box);
        QFETCH(QString, before);
        QFETCH(int, caret);
        QFETCH(int, key);
        QFETCH(QString, after);
        TicketModel model;
        PrinterSettingsDialog dialog(model);
        const QString &code = box == "Text1" ? model.StartCode : model.StopCode;
        if (box == "Text1")
            model.setStartCode(before);
        else
            model.setStopCode(before);
        dialog.openAt(2000, 2500);
        auto *edit = dialog.findChild<QLineEdit *>(box);
        edit->setCursorPosition(caret);
        QTest::keyClick(edit, Qt::Key(key));
        QCOMPARE(edit->text(), after);
        QCOMPARE(code, after);
    }

    // The editor starts at New's width, 40 characters. Only digits reach the box; Enter,
    // like leaving the box, asks the editor for the width, and also hides the window.
    void sizeApplied_data()
    {
        QTest::addColumn<QString>("typed"); // null: the shown number left as it is; '\b' Backspace, '\r' Enter
        QTest::addColumn<double>("request");
        QTest::addColumn<int>("charsPerLine");
        QTest::newRow("shown number unchanged") << QString() << 5170.0 << 40;
        QTest::newRow("empty box is one cell") << "" << 370.0 << 0;
        QTest::newRow("20") << "20" << 2770.0 << 20;
        QTest::newRow("letters, blank, minus, backspace dropped") << "2x -\b0" << 2770.0 << 20;
        QTest::newRow("enter") << "20\r" << 2770.0 << 20;
        QTest::newRow("100 ends at the widest") << "100" << 12370.0 << 76;
        QTest::newRow("99999999999 the widest") << "99999999999" << 32767.0 * 120 + 250 << 76;
    }

    void sizeApplied()
    {
        QFETCH(QString, typed);
        QFETCH(double, request);
        QFETCH(int, charsPerLine);
        TicketModel model;
        FakeEditorSurface editor(model);
        editor.requestEditorWidth(5260);
        editor.widthRequests.clear();
        TicketSizeDialog dialog(model, editor);
        dialog.openAt(2000, 4000);
        auto *charsBox = dialog.findChild<QLineEdit *>("Text1");
        if (!typed.isNull()) {
            // Opening selects the shown number, so that typing replaces it.
            QCOMPARE(charsBox->selectedText(), QString::number(40));
            QTest::keyClick(charsBox, Qt::Key_Delete);
        }
        for (QChar c : typed) {
            if (c == u'\b' || c == u'\r')
                QTest::keyClick(charsBox, c == u'\b' ? Qt::Key_Backspace : Qt::Key_Return);
            else
                QTest::keyClicks(charsBox, QString(c));
        }
        QCOMPARE(dialog.isHidden(), typed.endsWith(u'\r'));
        if (!dialog.isHidden()) {
            QFocusEvent out(QEvent::FocusOut, Qt::MouseFocusReason);
            QCoreApplication::sendEvent(charsBox, &out);
        }
        QCOMPARE(editor.widthRequests, QList<double>{request});
        QCOMPARE(model.CharsPerLine, qint16(charsPerLine));
    }
};

QTEST_MAIN(TestSettingsDialogs)
#include "tst_settingsdialogs.moc"
