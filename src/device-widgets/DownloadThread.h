#pragma once

#include "device/TicketDownload.h"
#include "files/LayoutData.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <atomic>

class QThread;

namespace tkl {

/// Runs a download on a thread of its own, so that the window that started it stays
/// painted and can cancel it while a device is slow to answer: the device's requests
/// block that thread, never the one of the windows, and no event loop runs inside a
/// write.
///
/// The download works on a copy of the layout taken at start(), so the windows may go
/// on using the model. It reads the network's catalogue only (a download to a real
/// device touches nothing else of the network), which is why only such downloads may
/// run here: the simulated devices live in the network object, which only the windows'
/// thread may touch (see TicketDownload).
class DownloadThread : public QObject
{
    Q_OBJECT

public:
    /// `download` must outlive this object; it is used from the thread while one runs.
    explicit DownloadThread(TicketDownload &download, QObject *parent = nullptr);
    /// Cancels a download still running and waits for it to stop.
    ~DownloadThread() override;

    /// Starts the download of `layout` (the model's items, TicketLines included) and
    /// `boxLines` to `port`; false, with nothing started, while one runs.
    bool start(const LayoutData &layout, const QStringList &boxLines, const QString &port);

    /// Asks the download to stop before its next request; `finished` follows with
    /// Cancelled, or with what ended it first. Safe to call at any time.
    void cancel() { m_cancel = true; }

    bool isRunning() const { return m_thread != nullptr; }

signals:
    /// The server is made, the first request comes next (delivered on the windows' thread).
    void prepared();
    /// How far the download has come, 0 to 100 (delivered on the windows' thread).
    void progress(double percent);
    /// The download ended; the thread has ended too.
    void finished(const tkl::DownloadResult &result);

private:
    TicketDownload &m_download;
    QThread *m_thread = nullptr;
    std::atomic<bool> m_cancel{false};
    DownloadResult m_result;
};

} // namespace tkl
