// Start-up to the first shown main window, against a bare QMainWindow shown the same
// way, alternating in one run so that both see the same machine load.
//
//   QT_QPA_PLATFORM=offscreen bench_startup [runs]
//
// Each start is a fresh process (this program again, with --editor, --bare or --text), timed
// from launching it to its report that the window is shown: loading, the application
// object, fonts and the platform count, as they do when the operator starts the
// program. A bare window never draws a character, so it never loads the font
// database, which any window with text pays for on its first paint; --text (the same
// window with one label) shows that share. Warm figures (a second window in the same
// process) follow for reference.

#include "app/AppSession.h"
#include "app/MainWindow.h"
#include "network/ProcessNetwork.h"
#include "ui/WindowLook.h"

#include <QApplication>
#include <QProcess>
#include <QElapsedTimer>
#include <QLabel>
#include <QMainWindow>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

// Notes the first paint of a window.
class FirstPaint : public QObject
{
public:
    bool painted = false;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            painted = true;
        return QObject::eventFilter(watched, event);
    }
};

// Shown the same way for both: show(), then let events run until the window has
// been painted once. The pass that paints the window paints all of its children, so
// when it returns the operator sees the whole window.
void showAndSettle(QWidget &window)
{
    FirstPaint watcher;
    window.installEventFilter(&watcher);
    window.show();
    QElapsedTimer limit;
    limit.start();
    while (!watcher.painted && limit.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    window.removeEventFilter(&watcher);
    if (!watcher.painted)
        std::fprintf(stderr, "window not painted\n");
}

double editorStartMs()
{
    QElapsedTimer timer;
    timer.start();
    QString error;
    auto session = tkl::AppSession::start({}, &error);
    if (!session) {
        std::fprintf(stderr, "start-up failed: %s\n", qPrintable(error));
        std::exit(1);
    }
    showAndSettle(session->window());
    return timer.nsecsElapsed() / 1e6;
}

double bareStartMs()
{
    QElapsedTimer timer;
    timer.start();
    QMainWindow window;
    window.resize(633, 384);
    showAndSettle(window);
    return timer.nsecsElapsed() / 1e6;
}

// Launches this program in `mode` and returns the milliseconds until it reports its
// window shown.
double processStartMs(const QString &mode)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::SeparateChannels);
    QElapsedTimer timer;
    timer.start();
    child.start(QCoreApplication::applicationFilePath(), {mode});
    if (!child.waitForStarted(10000)) {
        std::fprintf(stderr, "cannot start %s\n", qPrintable(mode));
        std::exit(1);
    }
    QByteArray out;
    while (!out.contains('\n') && child.waitForReadyRead(10000))
        out += child.readAllStandardOutput();
    const double ms = timer.nsecsElapsed() / 1e6;
    child.waitForFinished(10000);
    if (!out.startsWith("shown")) {
        std::fprintf(stderr, "%s did not report its window: %s\n", qPrintable(mode), out.constData());
        std::exit(1);
    }
    return ms;
}

enum class Mode { Editor, Bare, Text };

// Child side: show one window, say so, quit.
int runChild(int argc, char *argv[], Mode mode)
{
    QApplication app(argc, argv);
    std::unique_ptr<tkl::AppSession> session;
    std::unique_ptr<QMainWindow> bare;
    if (mode == Mode::Editor) {
        tkl::installFontSubstitutions();
        QString error;
        session = tkl::AppSession::start({}, &error);
        if (!session)
            return 1;
        showAndSettle(session->window());
    } else {
        bare = std::make_unique<QMainWindow>();
        bare->resize(633, 384);
        if (mode == Mode::Text)
            bare->setCentralWidget(new QLabel(QStringLiteral("Ticket"), bare.get()));
        showAndSettle(*bare);
    }
    std::printf("shown\n");
    std::fflush(stdout);
    return 0;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc > 1 && qstrcmp(argv[1], "--editor") == 0)
        return runChild(argc, argv, Mode::Editor);
    if (argc > 1 && qstrcmp(argv[1], "--bare") == 0)
        return runChild(argc, argv, Mode::Bare);
    if (argc > 1 && qstrcmp(argv[1], "--text") == 0)
        return runChild(argc, argv, Mode::Text);

    QApplication app(argc, argv);
    tkl::installFontSubstitutions();
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;

    std::vector<double> editorProcess;
    std::vector<double> bareProcess;
    std::vector<double> textProcess;
    for (int i = 0; i < runs; ++i) {
        // Rotate the order so that no variant always follows the same one.
        for (int k = 0; k < 3; ++k) {
            switch ((i + k) % 3) {
            case 0:
                editorProcess.push_back(processStartMs(QStringLiteral("--editor")));
                break;
            case 1:
                bareProcess.push_back(processStartMs(QStringLiteral("--bare")));
                break;
            default:
                textProcess.push_back(processStartMs(QStringLiteral("--text")));
                break;
            }
        }
    }
    const double ep = median(editorProcess);
    const double bp = median(bareProcess);
    const double tp = median(textProcess);
    std::printf("program start to first shown window (%s, %d runs each, fresh processes)\n",
                qPrintable(QGuiApplication::platformName()), runs);
    std::printf("  median: editor %.1f ms, bare QMainWindow %.1f ms, ratio %.2f (target <= 1.5)\n", ep, bp,
                ep / bp);
    std::printf("  best:   editor %.1f ms, bare QMainWindow %.1f ms\n",
                *std::min_element(editorProcess.begin(), editorProcess.end()),
                *std::min_element(bareProcess.begin(), bareProcess.end()));
    std::printf("  the same QMainWindow with one label: median %.1f ms (editor / it: %.2f)\n", tp, ep / tp);

    // The first window of a process pays for fonts, styles and the platform; report
    // it, then compare warm runs.
    const double coldEditor = editorStartMs();
    const double coldBare = bareStartMs();

    std::vector<double> editor;
    std::vector<double> bare;
    for (int i = 0; i < runs; ++i) {
        if (i % 2) {
            bare.push_back(bareStartMs());
            editor.push_back(editorStartMs());
        } else {
            editor.push_back(editorStartMs());
            bare.push_back(bareStartMs());
        }
    }
    const double e = median(editor);
    const double b = median(bare);
    std::printf("for reference, inside one process after the first window:\n");
    std::printf("  first in process: editor %.2f ms, bare QMainWindow %.2f ms\n", coldEditor, coldBare);
    std::printf("  median of later:  editor %.2f ms, bare QMainWindow %.2f ms\n", e, b);
    std::printf("  best of later:    editor %.2f ms, bare QMainWindow %.2f ms\n",
                *std::min_element(editor.begin(), editor.end()), *std::min_element(bare.begin(), bare.end()));
    return 0;
}
