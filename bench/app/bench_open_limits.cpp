// The editor with the largest layouts the reader takes: how long from start-up until
// the layout is open and painted, how long a click and a key then take, and the
// program's peak memory. Each case runs in a fresh process so that its peak is its own.
//
//   QT_QPA_PLATFORM=offscreen bench_open_limits
//
// Target: every case usable within 2 s and 300 MB.

#include "app/AppSession.h"
#include "app/MainWindow.h"
#include "files/LayoutData.h"
#include "files/LayoutFile.h"
#include "files/LayoutReader.h"
#include "ui/WindowLook.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <memory>

#include <sys/resource.h>

namespace {

struct Case
{
    const char *name;
    int lines;
    int length;
    bool words = true; ///< blanks every sixth character; else one unbroken run
    int editorWidth = 5170; ///< 40 characters a line; 370 is a ticket of one cell
};

// Each as large as the reader allows: lines of at most 32767 characters, at most 32767
// of them, at most 1 MiB in all.
const Case cases[] = {
    {"31 lines of 32767 characters", 31, 32767},
    {"31 unbroken lines of 32767", 31, 32767, false},
    {"one line of 32767 characters", 1, 32767},
    {"32767 lines of 29 characters", 32767, 29},
    {"32767 empty lines", 32767, 0},
    {"31 lines of 32767, one cell wide", 31, 32767, true, 370},
};

QString textOf(const Case &c)
{
    QStringList lines;
    for (int i = 0; i < c.lines; ++i) {
        // Words of five letters and a blank, as a ticket's text has them.
        QString line(c.length, u'x');
        for (int k = 5; c.words && k < c.length; k += 6)
            line[k] = u' ';
        lines << line;
    }
    return lines.join(QStringLiteral("\r\n"));
}

long peakKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

int runChild(int argc, char *argv[], const QString &path)
{
    QApplication app(argc, argv);
    tkl::installFontSubstitutions();
    QElapsedTimer timer;
    timer.start();
    tkl::AppSession::Options options;
    options.layoutFile = path;
    QString error;
    auto session = tkl::AppSession::start(std::move(options), &error);
    if (!session) {
        std::fprintf(stderr, "start-up failed: %s\n", qPrintable(error));
        return 1;
    }
    QWidget &window = session->window();
    // As main() does: the window, then the layout named on the command line.
    session->showWindow();
    auto *text = window.findChild<QPlainTextEdit *>(QStringLiteral("Text1"));
    if (!window.windowTitle().contains(QStringLiteral("limits.txt"))) {
        std::fprintf(stderr, "the layout was not opened\n");
        return 1;
    }
    QCoreApplication::processEvents();
    text->viewport()->repaint();
    const double openMs = timer.nsecsElapsed() / 1e6;

    // A click in the middle of the text, a character typed there, then to the end and
    // another, as the operator goes on.
    timer.restart();
    QTest::mouseClick(text->viewport(), Qt::LeftButton, {}, text->viewport()->rect().center());
    QTest::keyClick(text, Qt::Key_X);
    QTest::keyClick(text, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(text, Qt::Key_X);
    QCoreApplication::processEvents();
    text->viewport()->repaint();
    const double actMs = timer.nsecsElapsed() / 1e6;
    std::printf("%.0f %.0f %ld\n", openMs, actMs, peakKb());
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc > 2 && qstrcmp(argv[1], "--open") == 0)
        return runChild(argc, argv, QString::fromLocal8Bit(argv[2]));

    QCoreApplication app(argc, argv);
    const QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("limits.txt"));
    std::printf("the largest layouts the reader takes, opened in the editor (%s)\n",
                qEnvironmentVariable("QT_QPA_PLATFORM", QStringLiteral("default platform")).toUtf8().constData());
    bool within = true;
    for (const Case &c : cases) {
        tkl::LayoutData layout;
        layout.EditorWidth = qint16(c.editorWidth);
        layout.EditorHeight = 3155;
        layout.text = textOf(c);
        if (const auto saved = tkl::saveLayoutFile(path, layout); !saved.ok()) {
            std::fprintf(stderr, "%s: %s\n", c.name, qPrintable(saved.error().message));
            return 1;
        }
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--open"), path});
        if (!child.waitForFinished(900000) || child.exitCode() != 0) {
            std::fprintf(stderr, "%s: the editor did not finish\n", c.name);
            return 1;
        }
        double openMs = 0, actMs = 0;
        long kb = 0;
        if (std::sscanf(child.readAllStandardOutput().constData(), "%lf %lf %ld", &openMs, &actMs, &kb) != 3)
            return 1;
        const QFileInfo file(path);
        std::printf("  %-30s %7lld bytes: open and painted %6.0f ms, click + keys %6.0f ms, peak %4ld MB\n", c.name,
                    file.size(), openMs, actMs, kb / 1024);
        within = within && openMs + actMs < 2000 && kb < 300 * 1024;
    }
    std::printf("%s\n", within ? "within target (2 s, 300 MB)" : "OUTSIDE target (2 s, 300 MB)");
    return 0;
}
