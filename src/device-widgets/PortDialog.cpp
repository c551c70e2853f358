#include "PortDialog.h"

#include "ProgressWindow.h"
#include "VariableTree.h"

#include "device/AutomationFactory.h"
#include "network/ProcessNetwork.h"
#include "files/LayoutData.h"
#include "model/Prompts.h"
#include "model/TicketModel.h"
#include "ui/TwipsGeometry.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include <algorithm>
#include <limits>

namespace tkl {

namespace {

// The fixed layout was made for a narrower face than the one the desktop may give
// us: rather than clip a label, make its font just small enough.
void fitToWidth(QLabel *label)
{
    QFont font = label->font();
    while (QFontMetrics(font).horizontalAdvance(label->text()) > label->width() && font.pointSizeF() > 6)
        font.setPointSizeF(font.pointSizeF() - 0.5);
    label->setFont(font);
}

} // namespace

PortDialog::PortDialog(TicketModel &model, AutomationFactory &factory, const ProcessNetwork &network,
                       Prompts &prompts, std::function<QStringList()> boxLines, QWidget *mainWindow,
                       QWidget *parent)
    : QWidget(parent, Qt::Tool)
    , m_model(model)
    , m_network(network)
    , m_prompts(prompts)
    , m_boxLines(std::move(boxLines))
    , m_mainWindow(mainWindow)
    , m_download(std::make_unique<TicketDownload>(factory))
    , m_thread(std::make_unique<DownloadThread>(*m_download))
{
    setObjectName(QStringLiteral("Form8"));
    setWindowTitle(QStringLiteral("Port setup for Printer Ticket download"));

    resizeTwips(*this, 4335, 3225);

    m_tree = new VariableTree(network, VariableTree::Mode::Ports, this);
    m_tree->setDesignSettings(QStringLiteral("FileName.ext"), QStringLiteral("Zavoda_Ridezov"),
                              QStringLiteral("Default Workspace"));
    setGeometryTwips(*m_tree, 0, 720, 4335, 1935);

    m_portBox = new QComboBox(this);
    m_portBox->setObjectName(QStringLiteral("Combo1"));
    m_portBox->setEditable(true);
    // Only a download puts a name into the list.
    m_portBox->setInsertPolicy(QComboBox::NoInsert);
    setGeometryTwips(*m_portBox, 0, 360, 4335, 315);

    auto *portLabel = new QLabel(QStringLiteral("Selected port"), this);
    portLabel->setObjectName(QStringLiteral("Label1"));
    setGeometryTwips(*portLabel, 0, 120, 1215, 255);

    auto *hintLabel = new QLabel(QStringLiteral("\"Select port before download\""), this);
    hintLabel->setObjectName(QStringLiteral("Label2"));
    setGeometryTwips(*hintLabel, 120, 2880, 2415, 255);
    fitToWidth(portLabel);
    fitToWidth(hintLabel);

    m_downloadButton = new QPushButton(QStringLiteral("Download"), this);
    m_downloadButton->setObjectName(QStringLiteral("Command1"));
    setGeometryTwips(*m_downloadButton, 2640, 2760, 1575, 375);

    setTabOrder(m_tree, m_portBox);
    setTabOrder(m_portBox, m_downloadButton);

    connect(m_tree, &VariableTree::NodeSelected, this, [this] { m_portBox->setEditText(m_tree->SelectedName()); });
    connect(m_downloadButton, &QPushButton::clicked, this, &PortDialog::download);

    // Beside the documented controls, in the free corner above the port box.
    m_openButton = new QPushButton(QStringLiteral("Open from device"), this);
    m_openButton->setObjectName(QStringLiteral("OpenFromDevice"));
    setGeometryTwips(*m_openButton, 2640, 15, 1575, 330);
    // As wide as its text needs, kept flush with the Download button's right edge.
    if (const int wider = m_openButton->sizeHint().width() - m_openButton->width(); wider > 0)
        m_openButton->setGeometry(m_openButton->geometry().adjusted(-wider, 0, 0, 0));
    connect(m_openButton, &QPushButton::clicked, this, [this] {
        const QString port = m_portBox->currentText();
        if (port.trimmed().isEmpty()) {
            m_prompts.showMessage(QStringLiteral("Open from device"), NoPortMessage, Prompts::Icon::Information);
            return;
        }
        emit openFromDeviceRequested(port);
    });
    connect(m_thread.get(), &DownloadThread::prepared, this, [this] { m_portBox->addItem(m_runningPort); });
    connect(m_thread.get(), &DownloadThread::progress, this, [this](double percent) {
        if (m_progress)
            m_progress->setProgress(percent);
    });
    connect(m_thread.get(), &DownloadThread::finished, this,
            [this](const DownloadResult &result) { finish(m_runningPort, result); });
}

PortDialog::~PortDialog()
{
    // A download under way stops at its next request; nobody is left to tell.
    m_thread.reset();
    // The progress window is a window of its own; it goes with the dialog.
    delete m_progress;
}

QPoint PortDialog::mainWindowTwips() const
{
    return m_mainWindow ? frameTopLeftTwips(*m_mainWindow) : QPoint();
}

QString PortDialog::findingsQuestion(const QList<LayoutFinding> &warnings)
{
    QString text = warnings.size() == 1 ? QStringLiteral("The layout has 1 problem:\n")
                                        : QStringLiteral("The layout has %1 problems:\n").arg(warnings.size());
    for (qsizetype i = 0; i < warnings.size() && i < MaxListedFindings; ++i)
        text += QStringLiteral("\n- ") + warnings.at(i).message;
    if (warnings.size() > MaxListedFindings) {
        text += QStringLiteral("\n- and %1 more (Preview Ticket lists them all)")
                    .arg(warnings.size() - MaxListedFindings);
    }
    return text + QStringLiteral("\n\nDownload anyway?");
}

bool PortDialog::goOnDespiteFindings(const QString &port)
{
    if (!m_layoutCheck)
        return true;
    const QList<LayoutFinding> found = m_layoutCheck(port);
    // A rule of the device broken: the download refuses before its first write and
    // says which; asking first would only offer a choice that is not there.
    if (found.isEmpty() || std::any_of(found.cbegin(), found.cend(), [](const LayoutFinding &f) { return f.isError(); }))
        return true;
    return m_prompts.askGoOn(QStringLiteral("Download"), findingsQuestion(found), QStringLiteral("Download"));
}

void PortDialog::showProgress()
{
    if (!m_progress) {
        m_progress = new ProgressWindow(m_mainWindow); // stays above the main window
        connect(m_progress, &ProgressWindow::cancelRequested, this, &PortDialog::cancelDownload);
    }
    m_progress->reset();
    m_progress->setProgress(0);
    const QPoint main = mainWindowTwips();
    moveToTwips(*m_progress, main.x() + 3500, main.y() + 5500);
    m_progress->show();
}

void PortDialog::cancelDownload()
{
    if (!m_thread->isRunning() || m_cancelRequested)
        return;
    m_cancelRequested = true;
    m_thread->cancel();
    QString wait = QStringLiteral("Stopping after the request under way");
    if (const PrinterPort *port = m_network.findPort(m_runningPort)) {
        if (const ModbusEndpoint *endpoint = m_network.endpointOf(*port))
            wait += QStringLiteral(" (at most %1 s)").arg((endpoint->timeoutMs + 999) / 1000);
    }
    if (m_progress)
        m_progress->showCancelling(wait);
}

void PortDialog::download()
{
    // The window is modal while a download runs, but a click queued before may still come.
    if (m_busy)
        return;

    const QString port = m_portBox->currentText();
    if (port.trimmed().isEmpty()) {
        m_prompts.showMessage(QStringLiteral("Download"), NoPortMessage, Prompts::Icon::Information);
        return;
    }
    if (!goOnDespiteFindings(port))
        return;
    const QStringList lines = m_boxLines ? m_boxLines() : QStringList();
    m_busy = true;
    m_cancelRequested = false;
    m_runningPort = port;
    m_downloadButton->setEnabled(false);
    m_model.setTicketLines(qint16(std::min<qsizetype>(lines.size(), std::numeric_limits<qint16>::max())));
    showProgress();
    if (m_restorePointer)
        m_restorePointer();

    const PrinterPort *known = m_network.findPort(port);
    if (known && m_network.endpointOf(*known)) {
        // A real device answers when it will: its requests wait on the download's thread.
        m_thread->start(LayoutData::fromModel(m_model, QString()), lines, port);
        return;
    }
    TicketDownload::Callbacks callbacks;
    callbacks.prepared = [this, &port] { m_portBox->addItem(port); };
    callbacks.progress = [this](double value) { m_progress->setProgress(value); };
    finish(port, m_download->run(m_model, lines, port, callbacks));
}

void PortDialog::finish(const QString &port, const DownloadResult &result)
{
    m_busy = false;
    m_lastResult = result;
    m_downloadButton->setEnabled(true);
    // First, so that the messages below are not behind a modal window.
    if (m_progress)
        m_progress->hide();
    if (result.status == DownloadResult::Status::Refused)
        return;
    if (result.status == DownloadResult::Status::Cancelled) {
        m_prompts.showMessage(CancelledTitle, result.errorString, Prompts::Icon::Warning);
    } else if (result.status == DownloadResult::Status::Failed && m_cancelRequested) {
        // The request under way failed before the download came to stop.
        const QString holds = result.writesDone == 0
            ? QStringLiteral("Nothing was written: the device of %1 holds the ticket it held before.").arg(port)
            : QStringLiteral("The device of %1 holds the first %2 writes of the new ticket and the rest of the one "
                             "before. Download again to finish.")
                  .arg(port)
                  .arg(result.writesDone);
        m_prompts.showMessage(CancelledTitle,
                              QStringLiteral("Download cancelled; the request under way failed first:\n%1\n%2")
                                  .arg(result.errorString, holds),
                              Prompts::Icon::Warning);
    } else if (!result.ok()) {
        m_prompts.showMessage(QStringLiteral("Download Error"), result.errorString, Prompts::Icon::Critical);
    }
    // The device holds the ticket, but another program (or a restart) will not see it.
    const QString storeWarning = m_network.storeWarning();
    if (!storeWarning.isEmpty() && storeWarning != m_shownStoreWarning)
        m_prompts.showMessage(QStringLiteral("Device memory"), storeWarning, Prompts::Icon::Warning);
    m_shownStoreWarning = storeWarning;
    hide();
    if (result.ok())
        emit downloaded(port, result.writesDone);
    emit finished();
}

} // namespace tkl
