// Time of a full ticket download to the simulated network, against a bare loop of the
// same property writes on the same server object, with the progress window running.
// Prints the figures; not a test.

#include "network/NetworkFactory.h"
#include "device-widgets/PortDialog.h"
#include "network/ProcessNetwork.h"
#include "device-widgets/ProgressWindow.h"
#include "device/TicketDownload.h"
#include "model/Prompts.h"
#include "model/TicketModel.h"
#include "support/FullTicket.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QProgressBar>

#include <cstdio>
#include <optional>

using namespace tkl;

namespace {

constexpr int Batches = 7;

class SilentPrompts : public Prompts
{
public:
    std::optional<QString> askSaveFileName(const QString &, const QString &, const QString &) override { return {}; }
    std::optional<QString> askOpenFileName(const QString &, const QString &, const QString &) override { return {}; }
    void showMessage(const QString &, const QString &text, Icon) override
    {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    }
    bool askYesNo(const QString &, const QString &) override { return false; }
    bool askGoOn(const QString &, const QString &, const QString &) override { return true; }
    Answer askYesNoCancel(const QString &, const QString &) override { return Answer::Cancel; }
};

// The best time of a download with the progress window, one without it, and a bare loop
// of the same property writes on the same server object, in nanoseconds per download.
struct Times
{
    double withWindow = 1e300;
    double plain = 1e300;
    double bare = 1e300;
};

// The machine is shared: interleave the three measurements in batches and keep each
// one's best batch, which is the least disturbed. Nothing when a download fails.
std::optional<Times> timeDownloads(ProcessNetwork &network, TicketDownload &download, const TicketModel &model,
                                   const QStringList &lines, const TicketDownload::Callbacks &cb,
                                   const QList<WriteRecord> &writes, int rounds)
{
    const QString physId = QStringLiteral("PhysId");
    const QString value = QStringLiteral("Value");
    const QString port = QStringLiteral("Printer1");
    QElapsedTimer timer;
    Times best;
    for (int b = 0; b < Batches; ++b) {
        qint64 withWindow = 0, plain = 0, bare = 0;
        for (int i = 0; i < rounds; ++i) {
            network.clearWriteLog();
            timer.start();
            const DownloadResult result = download.run(model, lines, port, cb);
            withWindow += timer.nsecsElapsed();
            if (!result.ok())
                return std::nullopt;

            // The download's own work, without the window: where the time goes.
            network.clearWriteLog();
            timer.start();
            download.run(model, lines, port);
            plain += timer.nsecsElapsed();

            // The same property writes on the same server object, nothing else.
            AutomationObject &current = *download.server();
            network.clearWriteLog();
            timer.start();
            for (const WriteRecord &w : writes) {
                current.setProperty(physId, w.name);
                current.setProperty(value, w.value);
            }
            bare += timer.nsecsElapsed();
        }
        best.withWindow = std::min(best.withWindow, double(withWindow) / rounds);
        best.plain = std::min(best.plain, double(plain) / rounds);
        best.bare = std::min(best.bare, double(bare) / rounds);
    }
    return best;
}

// Microseconds of one pass of the event loop with nothing to do, for scale.
double idlePassUs()
{
    QCoreApplication::processEvents();
    QElapsedTimer timer;
    timer.start();
    constexpr int idleRuns = 10000;
    for (int i = 0; i < idleRuns; ++i)
        QCoreApplication::processEvents();
    return timer.nsecsElapsed() / 1e3 / idleRuns;
}

// Milliseconds of the whole button press: dialog, progress window placement, list entry.
double dialogMs(TicketModel &model, AutomationFactory &factory, ProcessNetwork &network, const QStringList &lines,
                int rounds)
{
    SilentPrompts prompts;
    QWidget mainWindow;
    mainWindow.show();
    PortDialog dialog(model, factory, network, prompts, [&] { return lines; }, &mainWindow);
    dialog.combo()->setEditText(QStringLiteral("Printer1"));
    QElapsedTimer timer;
    qint64 dialogNs = 0;
    for (int i = 0; i < rounds; ++i) {
        network.clearWriteLog();
        dialog.show();
        timer.start();
        dialog.download();
        dialogNs += timer.nsecsElapsed();
    }
    return dialogNs / 1e6 / rounds;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 100;

    auto network = ProcessNetwork::builtIn();
    NetworkFactory factory(*network);
    TicketModel model;
    QStringList lines;
    bench::fillTicket(model, lines);

    ProgressWindow progress;
    progress.show();
    TicketDownload download(factory);
    TicketDownload::Callbacks cb;
    cb.progress = [&](double v) { progress.setProgress(v); };

    // Warm up, and keep the writes for the bare loop.
    const DownloadResult result = download.run(model, lines, QStringLiteral("Printer1"), cb);
    if (!result.ok()) {
        std::fprintf(stderr, "download failed: %s\n", qPrintable(result.errorString));
        return 1;
    }
    const QList<WriteRecord> writes = network->writeLog();
    const std::optional<Times> times = timeDownloads(*network, download, model, lines, cb, writes, rounds);
    if (!times)
        return 1;
    const double idleUs = idlePassUs();
    const double buttonMs = dialogMs(model, factory, *network, lines, std::max(1, rounds / 4));

    const int count = result.writesDone;
    const double perDownloadMs = times->withWindow / 1e6;
    const double plainMs = times->plain / 1e6;
    const double bareMs = times->bare / 1e6;
    std::printf("full download: 30 defined fields, %lld text lines, both codes; best of %d batches of %d\n",
                static_cast<long long>(lines.size()), Batches, rounds);
    std::printf("device writes per download:      %d (%d property writes)\n", count, 2 * count);
    std::printf("download with progress window:   %.3f ms  (%.2f us per device write)\n", perDownloadMs,
                perDownloadMs * 1000 / count);
    std::printf("download without the window:     %.3f ms\n", plainMs);
    std::printf("bare loop of the same writes:    %.3f ms  (%.2f us per device write)\n", bareMs,
                bareMs * 1000 / count);
    std::printf("overhead per device write:       %.2f us\n", (perDownloadMs - bareMs) * 1000 / count);
    std::printf("download / bare loop:            %.2fx (target within 2x)\n", perDownloadMs / bareMs);
    std::printf("window's share per download:     %.3f ms (31 event-loop passes and the bar's redraw)\n",
                perDownloadMs - plainMs);
    std::printf("one idle event-loop pass:        %.2f us\n", idleUs);
    std::printf("download without window / bare:  %.2fx\n", times->plain / times->bare);
    std::printf("Download button (port dialog):   %.3f ms\n", buttonMs);
    return 0;
}
