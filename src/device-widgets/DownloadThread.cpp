#include "DownloadThread.h"

#include "model/TicketModel.h"

#include <QThread>


#include <utility>

namespace tkl {

DownloadThread::DownloadThread(TicketDownload &download, QObject *parent)
    : QObject(parent)
    , m_download(download)
{
}

DownloadThread::~DownloadThread()
{
    if (!m_thread)
        return;
    // Nobody is left to tell: stop at the next request and wait for the one under way.
    m_cancel = true;
    m_thread->disconnect(this);
    m_thread->wait();
    delete m_thread;
}

bool DownloadThread::start(const LayoutData &layout, const QStringList &boxLines, const QString &port)
{
    if (m_thread)
        return false;
    m_cancel = false;
    m_thread = QThread::create([this, layout, boxLines, port] {
        // The model is a QObject: made, used and destroyed on this thread alone.
        TicketModel model;
        layout.applyTo(model);
        TicketDownload::Callbacks callbacks;
        // Queued to the windows' thread, as the receivers live there.
        callbacks.prepared = [this] { emit prepared(); };
        callbacks.progress = [this](double percent) { emit progress(percent); };
        callbacks.cancelled = [this] { return m_cancel.load(); };
        m_result = m_download.run(model, boxLines, port, callbacks);
    });
    m_thread->setObjectName(QStringLiteral("download"));
    connect(m_thread, &QThread::finished, this, [this] {
        QThread *thread = std::exchange(m_thread, nullptr);
        thread->deleteLater();
        emit finished(m_result);
    });
    m_thread->start();
    return true;
}

} // namespace tkl
