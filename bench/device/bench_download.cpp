// Time of a full ticket download to the simulated network, against a bare loop of the
// same property writes on the same server object, with the progress window running.
// Prints the figures; not a test.

#include "device/AutomationFactory.h"
#include "device-widgets/PortDialog.h"
#include "device/ProcessNetwork.h"
#include "device-widgets/ProgressWindow.h"
#include "device/TicketDownload.h"
#include "model/Prompts.h"
#include "model/TicketModel.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QProgressBar>

#include <cstdio>

using namespace tkl;

namespace {

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
};

void fillTicket(TicketModel &model, QStringList &lines)
{
    for (int n = 1; n <= TicketModel::LastSlot; ++n) {
        UpdateBox b = model.UpdateBoxes[n];
        b.VarName = QStringLiteral("Scale1.NetWeight");
        b.NodeAdr = 3;
        b.SWNo = qint16(100 + n);
        b.Offset = qint16(2 * n);
        b.Typ = 4;
        b.BitNo = 0;
        b.Code = 17;
        b.Chars = 8;
        b.Digits = 2;
        b.DataIn = true;
        b.Linie = qint16(n * 2 - 1);
        b.Pos = 10;
        model.setRecord(n, b);
        model.loadSlot(n);
    }
    for (int i = 1; i <= 60; ++i)
        lines << QStringLiteral("Line %1 of the ticket: value ........").arg(i);
    model.setStartCode(QStringLiteral("[27]@[27]!8"));
    model.setStopCode(QStringLiteral("[12][27]i"));
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 100;

    auto network = ProcessNetwork::builtIn();
    AutomationFactory factory(*network);
    TicketModel model;
    QStringList lines;
    fillTicket(model, lines);

    ProgressWindow progress;
    progress.show();
    TicketDownload download(factory);
    TicketDownload::Callbacks cb;
    cb.progress = [&](double v) { progress.setProgress(v); };
    cb.processEvents = [] { QCoreApplication::processEvents(); };

    // Warm up, and keep the writes for the bare loop.
    DownloadResult result = download.run(model, lines, QStringLiteral("Printer1"), cb);
    if (!result.ok()) {
        std::fprintf(stderr, "download failed: %s\n", qPrintable(result.errorString));
        return 1;
    }
    const QList<WriteRecord> writes = network->writeLog();

    // The machine is shared: interleave the three measurements in batches and keep
    // each one's best batch, which is the least disturbed.
    const QString physId = QStringLiteral("PhysId");
    const QString value = QStringLiteral("Value");
    QElapsedTimer timer;
    constexpr int batches = 7;
    double downloadNs = 1e300, plainNs = 1e300, bareNs = 1e300;
    for (int b = 0; b < batches; ++b) {
        qint64 withWindow = 0, plain = 0, bare = 0;
        for (int i = 0; i < rounds; ++i) {
            network->clearWriteLog();
            timer.start();
            result = download.run(model, lines, QStringLiteral("Printer1"), cb);
            withWindow += timer.nsecsElapsed();
            if (!result.ok())
                return 1;

            // The download's own work, without the window: where the time goes.
            network->clearWriteLog();
            timer.start();
            download.run(model, lines, QStringLiteral("Printer1"));
            plain += timer.nsecsElapsed();

            // The same property writes on the same server object, nothing else.
            AutomationObject &current = *download.server();
            network->clearWriteLog();
            timer.start();
            for (const WriteRecord &w : writes) {
                current.setProperty(physId, w.name);
                current.setProperty(value, w.value);
            }
            bare += timer.nsecsElapsed();
        }
        downloadNs = std::min(downloadNs, double(withWindow) / rounds);
        plainNs = std::min(plainNs, double(plain) / rounds);
        bareNs = std::min(bareNs, double(bare) / rounds);
    }

    // For scale: one pass of the event loop with nothing to do.
    QCoreApplication::processEvents();
    timer.start();
    constexpr int idleRuns = 10000;
    for (int i = 0; i < idleRuns; ++i)
        QCoreApplication::processEvents();
    const double idlePassUs = timer.nsecsElapsed() / 1e3 / idleRuns;

    // The whole button press: dialog, progress window placement, list entry.
    SilentPrompts prompts;
    QWidget mainWindow;
    mainWindow.show();
    PortDialog dialog(model, factory, *network, prompts, [&] { return lines; }, &mainWindow);
    dialog.combo()->setEditText(QStringLiteral("Printer1"));
    const int dialogRounds = std::max(1, rounds / 4);
    qint64 dialogNs = 0;
    for (int i = 0; i < dialogRounds; ++i) {
        network->clearWriteLog();
        dialog.show();
        timer.start();
        dialog.download();
        dialogNs += timer.nsecsElapsed();
    }

    const int count = result.writesDone;
    const double perDownloadMs = downloadNs / 1e6;
    const double bareMs = bareNs / 1e6;
    const double dialogMs = dialogNs / 1e6 / dialogRounds;
    std::printf("full download: 30 defined fields, %lld text lines, both codes; best of %d batches of %d\n",
                static_cast<long long>(lines.size()), batches, rounds);
    std::printf("device writes per download:      %d (%d property writes)\n", count, 2 * count);
    std::printf("download with progress window:   %.3f ms  (%.2f us per device write)\n", perDownloadMs,
                perDownloadMs * 1000 / count);
    std::printf("download without the window:     %.3f ms\n", plainNs / 1e6);
    std::printf("bare loop of the same writes:    %.3f ms  (%.2f us per device write)\n", bareMs,
                bareMs * 1000 / count);
    std::printf("overhead per device write:       %.2f us\n", (perDownloadMs - bareMs) * 1000 / count);
    std::printf("download / bare loop:            %.2fx (target within 2x)\n", perDownloadMs / bareMs);
    std::printf("window's share per download:     %.3f ms (31 event-loop passes and the bar's redraw)\n",
                perDownloadMs - plainNs / 1e6);
    std::printf("one idle event-loop pass:        %.2f us\n", idlePassUs);
    std::printf("download without window / bare:  %.2fx\n", plainNs / bareNs);
    std::printf("Download button (port dialog):   %.3f ms\n", dialogMs);
    return 0;
}
