#pragma once

#include "device-widgets/DownloadThread.h"
#include "device-widgets/ProgressWindow.h"
#include "device/TicketDownload.h"

#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>

class QComboBox;
class QPushButton;

namespace tkl {

class AutomationFactory;
class ProcessNetwork;
class Prompts;
class TicketModel;
class VariableTree;

/// The port setup dialog (`Form8`): the operator picks the printer port in `Vatrix1`
/// or types it into `Combo1`; `Command1` "Download" writes the ticket into that device
/// while the progress window `Form7` runs.
///
/// A real device is written from a thread of its own (DownloadThread): the windows stay
/// painted, the progress window's Cancel stops the download before its next request,
/// and, that window being modal, no input reaches any other window meanwhile. A
/// simulated port is written here and now: its device is the network object, which is
/// this thread's, and it answers at once.
class PortDialog : public QWidget
{
    Q_OBJECT

public:
    /// `boxLines` gives every line of the editor box as it wraps them; `mainWindow` is
    /// what the progress window is placed from (none: the screen's corner). Everything
    /// passed must outlive the dialog.
    PortDialog(TicketModel &model, AutomationFactory &factory, const ProcessNetwork &network, Prompts &prompts,
               std::function<QStringList()> boxLines, QWidget *mainWindow, QWidget *parent = nullptr);
    ~PortDialog() override;

    /// Called where a download puts the editor's mouse pointer back to the default one.
    void setRestorePointer(std::function<void()> restorePointer) { m_restorePointer = std::move(restorePointer); }

    /// What is wrong with the layout for a download to `port`: the warnings, and the
    /// errors of that port (the download refuses those by itself).
    using LayoutCheck = std::function<QList<LayoutFinding>(const QString &port)>;

    /// Called before every download; a layout with warnings is downloaded only once
    /// the operator has seen them and chosen to go on. None: no question.
    void setLayoutCheck(LayoutCheck check) { m_layoutCheck = std::move(check); }

    /// The question before a download of a layout with `warnings`, the list cut at
    /// MaxListedFindings.
    static QString findingsQuestion(const QList<LayoutFinding> &warnings);
    static constexpr int MaxListedFindings = 12;

    /// Starts the download to the port in `Combo1`, as the "Download" button does. A
    /// download to a simulated port has ended when this returns; one to a real device
    /// ends later, with `finished`.
    void download();

    /// A download is under way (one to a real device, started and not yet ended).
    bool isDownloading() const { return m_busy; }

    /// The title of the message after a cancelled download.
    static inline const QString CancelledTitle = QStringLiteral("Download Cancelled");

    /// The result of the last download the button started.
    const DownloadResult &lastResult() const { return m_lastResult; }

    /// The progress window (`Form7`), created by the first download; nullptr before.
    ProgressWindow *progressWindow() const { return m_progress; }

    /// The port name box (`Combo1`).
    QComboBox *combo() const { return m_portBox; }

    /// The message when Download is pressed with no port chosen.
    static inline const QString NoPortMessage =
        QStringLiteral("Choose a port first: double-click a printer port in the tree or type its name.");

    /// The "Open from device" button beside Download.
    QPushButton *openFromDeviceButton() const { return m_openButton; }

signals:
    /// "Open from device" was pressed with `port` chosen: the main window opens what the
    /// port's device holds as a layout.
    void openFromDeviceRequested(const QString &port);

    /// A download ended with every write made and read back as written.
    void downloaded(const QString &port, int writes);
    /// A download ended, whatever its outcome (after its messages were shown).
    void finished();

private:
    /// Where the progress window is placed from: the main window's frame, in twips.
    QPoint mainWindowTwips() const;
    /// False when the layout has warnings and the operator did not choose to go on.
    bool goOnDespiteFindings(const QString &port);
    /// Shows the progress window at its place, at 0.
    void showProgress();
    /// The operator asked to stop the download under way.
    void cancelDownload();
    /// Tells how the download to `port` ended and closes its windows.
    void finish(const QString &port, const DownloadResult &result);

    TicketModel &m_model;
    const ProcessNetwork &m_network;
    Prompts &m_prompts;
    std::function<QStringList()> m_boxLines;
    std::function<void()> m_restorePointer;
    LayoutCheck m_layoutCheck;
    QPointer<QWidget> m_mainWindow;
    std::unique_ptr<TicketDownload> m_download;
    // After m_download, which its thread uses: it goes first, waiting for that thread.
    std::unique_ptr<DownloadThread> m_thread;
    bool m_busy = false;
    bool m_cancelRequested = false; ///< for the download under way
    QString m_runningPort;
    DownloadResult m_lastResult;
    QString m_shownStoreWarning;  ///< the device-memory warning last shown

    VariableTree *m_tree;
    QComboBox *m_portBox;
    QPushButton *m_downloadButton;
    QPushButton *m_openButton;
    QPointer<ProgressWindow> m_progress;
};

} // namespace tkl
