// Cost of the work a key release in the ticket text does (readout, scroll bar,
// fields following the scroll) on a long ticket and on a one-screen ticket.
// The work must not grow with the length of the text. Also the cost of a typed letter
// itself (the box's edit and its step in the layout's history), which does grow.

#include "editor/EditorWindow.h"
#include "model/TicketModel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct Figures
{
    double medianUs = 0;
    double p99Us = 0;
    double worstUs = 0;
    double typedMedianUs = 0; ///< press of a letter: the edit and its history step
};

QString ticketText(int lines)
{
    QStringList text;
    for (int i = 0; i < lines; ++i) {
        // Mixed lengths; every seventh line wraps in a 40-character box.
        const int length = i % 7 == 0 ? 55 : 10 + i % 25;
        text << QString(length, QLatin1Char('a' + i % 26));
    }
    return text.join(QLatin1Char('\n'));
}

/// Types `rounds` characters in the middle of the text, timing only the releases.
Figures measure(int lines, int rounds)
{
    tkl::TicketModel model;
    QWidget host;
    host.resize(800, 500);
    auto *editor = new tkl::EditorWindow(model, &host);
    editor->setMaxWidthTwips(9500);
    editor->setWidthTwips(5260);
    for (int i = 0; i < 10; ++i)
        editor->insertField();
    host.show();
    if (!QTest::qWaitForWindowExposed(&host))
        std::fprintf(stderr, "window not exposed\n");

    QPlainTextEdit *text = editor->textBox();
    text->setPlainText(ticketText(lines));
    text->setFocus();
    text->setTextCursor(QTextCursor(text->document()->findBlockByNumber(lines / 2)));
    editor->SyncScrollBar(); // first full count outside the measurement

    int refreshed = 0;
    QObject::connect(editor, &tkl::EditorWindow::readoutChanged, [&refreshed] { ++refreshed; });
    std::vector<double> times;
    times.reserve(size_t(rounds));
    QElapsedTimer timer;
    std::vector<double> typed;
    const Qt::Key keys[] = {Qt::Key_X, Qt::Key_Right, Qt::Key_Down, Qt::Key_Return, Qt::Key_Up};
    for (int i = 0; i < rounds; ++i) {
        const Qt::Key key = keys[i % 5];
        timer.start();
        QTest::keyPress(text, key);
        if (key == Qt::Key_X)
            typed.push_back(timer.nsecsElapsed() / 1000.0);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
        timer.start();
        QCoreApplication::sendEvent(text, &release);
        times.push_back(timer.nsecsElapsed() / 1000.0);
    }
    if (refreshed != rounds)
        std::fprintf(stderr, "only %d of %d releases did the work\n", refreshed, rounds);
    std::sort(times.begin(), times.end());
    std::sort(typed.begin(), typed.end());
    return {times[times.size() / 2], times[times.size() * 99 / 100], times.back(), typed[typed.size() / 2]};
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const int rounds = 2000;
    const Figures small = measure(22, rounds);
    const Figures large = measure(10000, rounds);
    std::printf("key release, 22 lines:     median %7.1f us, 99%% %7.1f us, worst %7.1f us\n", small.medianUs,
                small.p99Us, small.worstUs);
    std::printf("key release, 10,000 lines: median %7.1f us, 99%% %7.1f us, worst %7.1f us\n", large.medianUs,
                large.p99Us, large.worstUs);
    std::printf("ratio long/short (median): %.2f\n", large.medianUs / small.medianUs);
    std::printf("letter typed (edit and history step): 22 lines median %.1f us, 10,000 lines median %.1f us\n",
                small.typedMedianUs, large.typedMedianUs);
    const bool ok = large.medianUs < 1000.0 && large.medianUs < 3 * small.medianUs;
    std::printf("%s\n", ok ? "within target (< 1 ms, < 3x)" : "OUTSIDE target (< 1 ms, < 3x)");
    return 0;
}
