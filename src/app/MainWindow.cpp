#include "MainWindow.h"

#include "DataFiles.h"
#include "FileCommands.h"

#include "device/AutomationFactory.h"
#include "device-widgets/PortDialog.h"
#include "preview/DeviceLayout.h"
#include "network/ProcessNetwork.h"
#include "dialogs/HelpWindow.h"
#include "dialogs/PreviewWindow.h"
#include "dialogs/PrinterSettingsDialog.h"
#include "dialogs/TicketSizeDialog.h"
#include "dialogs/UpdateBoxDialog.h"
#include "editor/EditorWindow.h"
#include "editor/LayoutHistory.h"
#include "model/CharGrid.h"
#include "ui/ScreenFit.h"
#include "ui/WindowLook.h"
#include "model/Numbers.h"
#include "model/Prompts.h"
#include "model/TicketModel.h"

#include <QCloseEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTimer>

#include <array>

namespace tkl {

namespace {

constexpr int DialogLeftOffset = 2000;
constexpr int PreviewLeftOffset = 9600; // beside the main window, clear of the editor
constexpr int PrinterSettingsBelowEditorTop = 1000;
constexpr int DialogTopOffset = 3000;
constexpr int HelpTopic = 35;

} // namespace

MainWindow::MainWindow(TicketModel &model, ProcessNetwork &network, AutomationFactory &factory,
                       AutomationObject &sharedServer, Prompts &prompts, const QString &appFolder,
                       QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
    , m_model(model)
    , m_network(network)
    , m_factory(factory)
    , m_sharedServer(sharedServer)
    , m_prompts(prompts)
{
    setObjectName(QStringLiteral("Form1"));
    setFont(editorFont());
    setMouseTracking(true);
    setWindowTitle(TitlePrefix + FileCommands::UnnamedTicket);

    // Start-up, after SharedServer: a cleared model (slots free and empty, codes empty,
    // ScrollPos 22, nothing changed), the program's folder, the fixed place, the band,
    // and the windows (hidden), whose layout gives CharsPerLine and EditorWidth.
    m_model.reset();
    m_appFolder = appFolder;
    restoreGeometry();
    buildBand();
    buildTooltip();
    createEditor();
    createFileCommands();
    // Laying the editor out gave the start-up layout its width: nothing is edited yet.
    m_editor->history().clear();

    buildShortcuts();
    // A layout file dropped on the window opens as Open would open it.
    setAcceptDrops(true);
    m_textViewport = m_editor->textBox()->viewport();
    m_textViewport->installEventFilter(this);
}

MainWindow::~MainWindow()
{
    // The dialogs hold the editor by reference: they go first, and nothing the editor
    // does while it is torn down reaches this window any more.
    m_editor->disconnect(this);
    m_textViewport = nullptr;
    delete m_portDialog;
    delete m_preview;
    delete m_help;
    delete m_ticketSizeDialog;
    delete m_printerSettingsDialog;
    delete m_updateBoxDialog;
    delete m_editor;
}

void MainWindow::setTicketName(const QString &ticketName)
{
    setWindowTitle(TitlePrefix + ticketName);
}

int MainWindow::heightTwips() const
{
    const QFontMetrics metrics(font());
    const int lineHeight = int(roundHalfEven(Twips::fromPixels(metrics.height(), logicalDpiY())));
    return DesignHeight + CharGrid(1, lineHeight).extraMainHeight();
}

int MainWindow::charWidthTwips() const
{
    const QFontMetrics metrics(font());
    return int(roundHalfEven(Twips::fromPixels(metrics.horizontalAdvance(u'a'), logicalDpiX())));
}

int MainWindow::toPixelsX(double twips) const
{
    return Twips::toPixels(twips, logicalDpiX());
}

int MainWindow::toPixelsY(double twips) const
{
    return Twips::toPixels(twips, logicalDpiY());
}

void MainWindow::openLayoutFile(const QString &path)
{
    m_files->openFile(path);
}

QString MainWindow::droppedFile(const QMimeData *mime)
{
    if (!mime || !mime->hasUrls())
        return {};
    const QList<QUrl> urls = mime->urls();
    if (urls.size() != 1 || !urls.first().isLocalFile())
        return {};
    return urls.first().toLocalFile();
}

bool MainWindow::handleFileDrag(QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
        return false;
    auto *drop = static_cast<QDropEvent *>(event);
    const QString path = droppedFile(drop->mimeData());
    if (path.isEmpty())
        return false;
    drop->acceptProposedAction();
    if (type == QEvent::Drop) {
        // Asked after the drop is over: the drag's source waits until this returns.
        QTimer::singleShot(0, this, [this, path] { openLayoutFile(path); });
    }
    return true;
}

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (!handleFileDrag(event))
        QWidget::dragEnterEvent(event);
}

void MainWindow::dropEvent(QDropEvent *event)
{
    if (!handleFileDrag(event))
        QWidget::dropEvent(event);
}

void MainWindow::createFileCommands()
{
    FileCommands::Window window;
    window.setTicketName = [this](const QString &name) { setTicketName(name); };
    window.hideTip = [this] { hideTip(); };
    window.setBusy = [this](bool busy) {
        if (busy)
            setCursor(Qt::WaitCursor);
        else
            unsetCursor();
    };
    window.opened = [this] { showOpenFindings(); };
    window.messageTitle = MessageTitle;
    m_files = std::make_unique<FileCommands>(m_model, *m_editor, m_prompts, std::move(window));
}

void MainWindow::createEditor()
{
    m_editor = new EditorWindow(m_model, this);
    m_editor->hide();
    // The editor handles its own mouse events; none of them is a press on the background.
    m_editor->setAttribute(Qt::WA_NoMousePropagation);
    m_editor->move(0, toPixelsY(BandHeight));
    wireEditor();
    m_editor->setMaxWidthTwips(FixedWidth);
    m_editor->setWidthTwips(EditorWindow::NewTicketWidth);
    m_editor->setHeightTwips(heightTwips() - EditorOffset);
    m_tip->raise();
}

void MainWindow::createDialogs()
{
    if (m_updateBoxDialog)
        return;
    m_updateBoxDialog = new UpdateBoxDialog(m_model, m_sharedServer, m_network, *m_editor, m_prompts, this);
    m_updateBoxDialog->hide();
    m_printerSettingsDialog = new PrinterSettingsDialog(m_model, this);
    m_printerSettingsDialog->hide();
    m_ticketSizeDialog = new TicketSizeDialog(m_model, *m_editor, this);
    m_ticketSizeDialog->hide();
    // What these two windows wrote into the layout while open is one step of the
    // history each time they close.
    m_updateBoxDialog->installEventFilter(this);
    m_printerSettingsDialog->installEventFilter(this);
}

UpdateBoxDialog *MainWindow::updateBoxDialog()
{
    createDialogs();
    return m_updateBoxDialog;
}

PrinterSettingsDialog *MainWindow::printerSettingsDialog()
{
    createDialogs();
    return m_printerSettingsDialog;
}

TicketSizeDialog *MainWindow::ticketSizeDialog()
{
    createDialogs();
    return m_ticketSizeDialog;
}

void MainWindow::wireEditor()
{
    connect(m_editor, &EditorWindow::readoutChanged, m_readout, &QLabel::setText);
    connect(m_editor, &EditorWindow::textPressed, this, [this] { hideTools(HideAll); });
    connect(m_editor, &EditorWindow::textMouseMoved, this, &MainWindow::hideTip);
    connect(m_editor, &EditorWindow::backgroundPressed, this, [this] { hideTools(HideTicketSize); });
    connect(m_editor, &EditorWindow::fieldPressed, this, &MainWindow::onFieldPressed);
}

void MainWindow::onFieldPressed(int slot, Qt::MouseButton button, bool deleted)
{
    hideTools(HidePrinterSettings);
    if (deleted)
        return;
    if (button == Qt::LeftButton) {
        hideTools(HideUpdateBox);
    } else if (button == Qt::RightButton) {
        m_model.CurrentBox = qint16(slot);
        updateBoxDialog()->openForSlot(slot);
    }
}

void MainWindow::restoreGeometry()
{
    m_restoring = true;
    m_leftTwips = FixedLeft;
    m_topTwips = FixedTop;
    move(toPixelsX(FixedLeft), toPixelsY(FixedTop));
    resize(toPixelsX(FixedWidth), toPixelsY(heightTwips() - CaptionHeight));
    // The fixed place, unless that would put part of the window off a small screen.
    const QPoint onScreen = fitInside(pos(), frameGeometry().size(), availableAreaAt(pos()));
    if (onScreen != pos())
        move(onScreen);
    m_restoring = false;
}

void MainWindow::placeEditor()
{
    if (!m_editor->isVisible())
        return;
    m_editor->move(0, toPixelsY(BandHeight));
    m_editor->setHeightTwips(heightTwips() - EditorOffset);
    m_tip->raise();
    if (m_ticketSizeDialog && m_ticketSizeDialog->isVisible())
        m_ticketSizeDialog->raise();
}

void MainWindow::hideTools(int which)
{
    if (!m_updateBoxDialog)
        return; // none of them has been made, so none is showing
    if (which & HideUpdateBox)
        m_updateBoxDialog->hide();
    if (which & HidePrinterSettings)
        m_printerSettingsDialog->hide();
    if (which & HideTicketSize)
        m_ticketSizeDialog->hide();
}

bool MainWindow::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate)
        placeEditor();
    return QWidget::event(event);
}

void MainWindow::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange)
        return;
    if (isMinimized()) {
        m_wasMinimized = true;
        m_editor->hide();
    } else if (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)) {
        // Some window managers offer maximising regardless of the hints; the window
        // keeps its fixed size all the same.
        setWindowState(windowState() & ~(Qt::WindowMaximized | Qt::WindowFullScreen));
        restoreGeometry();
    } else if (m_wasMinimized) {
        m_wasMinimized = false;
        m_editor->show();
        restoreGeometry();
    }
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_restoring || isMinimized())
        return;
    m_editor->show();
    const QSize fixed(toPixelsX(FixedWidth), toPixelsY(heightTwips() - CaptionHeight));
    if (size() != fixed)
        restoreGeometry();
}

void MainWindow::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    // Queued, so that the first sight of the window is not held up by them.
    if (!m_updateBoxDialog && !m_dialogsQueued) {
        m_dialogsQueued = true;
        QTimer::singleShot(0, this, &MainWindow::createDialogs);
    }
}

void MainWindow::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    // The logical place stays the authority while the window is where it says;
    // a window moved by the operator reports where it now is.
    if (pos().x() != toPixelsX(m_leftTwips))
        m_leftTwips = int(roundHalfEven(Twips::fromPixels(pos().x(), logicalDpiX())));
    if (pos().y() != toPixelsY(m_topTwips))
        m_topTwips = int(roundHalfEven(Twips::fromPixels(pos().y(), logicalDpiY())));
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // The close box asks the same question as Exit and follows the same rules.
    if (!m_files->mayExit()) {
        event->ignore();
        return;
    }
    event->accept();
    hideTip();
    emit closed();
}

void MainWindow::mousePressEvent(QMouseEvent *event)
{
    if (childAt(event->position().toPoint()) != nullptr) {
        event->ignore();
        return;
    }
    hideTools(HideAll);
    m_backgroundPressed = event->button() == Qt::LeftButton;
}

void MainWindow::mouseReleaseEvent(QMouseEvent *event)
{
    const bool click = m_backgroundPressed && event->button() == Qt::LeftButton
                       && rect().contains(event->position().toPoint());
    m_backgroundPressed = false;
    if (click)
        m_editor->restoreDefaultPointer();
}

void MainWindow::mouseMoveEvent(QMouseEvent *event)
{
    if (childAt(event->position().toPoint()) != nullptr) {
        event->ignore();
        return;
    }
    hideTip();
}

void MainWindow::onSave()
{
    m_files->save();
}

void MainWindow::onNew()
{
    m_files->newTicket();
}

void MainWindow::onOpen()
{
    m_files->open();
}

void MainWindow::onExit()
{
    m_editor->restoreDefaultPointer();
    close();
}

void MainWindow::onUndo()
{
    // The tool windows show what they wrote; closed, their edits are a step to undo.
    hideTools(HideAll);
    m_editor->history().undo();
}

void MainWindow::onRedo()
{
    hideTools(HideAll);
    m_editor->history().redo();
}

void MainWindow::onDuplicate()
{
    const int slot = m_model.CurrentBox;
    if (!m_editor->fieldFrame(slot))
        return; // no field selected
    hideTools(HideFieldAndCodes);
    if (m_editor->duplicateField(slot) == 0)
        showFieldsFull();
}

void MainWindow::showFieldsFull()
{
    m_prompts.showMessage(MessageTitle,
                          QStringLiteral("All %1 UpdateBox fields are in use. Delete one to make room.")
                              .arg(TicketModel::SlotCount),
                          Prompts::Icon::Information);
}

void MainWindow::onInsertField()
{
    if (m_editor->insertField() == 0)
        showFieldsFull();
}

void MainWindow::onDeleteField()
{
    m_editor->armDelete(QFileInfo(findDataFile(m_appFolder, QStringLiteral("erase01.ico"))).absolutePath());
}

void MainWindow::onPrinterSetup()
{
    m_editor->restoreDefaultPointer();
    printerSettingsDialog()->openAt(m_leftTwips + DialogLeftOffset,
                                    m_editor->editorTopTwips() + PrinterSettingsBelowEditorTop);
}

void MainWindow::onTicketSize()
{
    ticketSizeDialog()->openAt(m_leftTwips + DialogLeftOffset, m_topTwips + DialogTopOffset);
    unsetCursor();
}

void MainWindow::onHelp()
{
    if (!m_help)
        m_help = new HelpWindow(this);
    m_help->showTopic(findDataFile(m_appFolder, QStringLiteral("Tkl_edit.hlp")), HelpTopic);
    unsetCursor();
}

void MainWindow::onDownload()
{
    if (!m_portDialog) {
        EditorWindow *editor = m_editor;
        m_portDialog = new PortDialog(m_model, m_factory, m_network, m_prompts, [editor] { return editor->boxLines(); },
                                 this, this);
        m_portDialog->setRestorePointer([editor] { editor->restoreDefaultPointer(); });
        m_portDialog->setLayoutCheck([this](const QString &port) {
            QList<LayoutFinding> found = PreviewWindow::findings(m_model, *m_editor, m_network);
            // Another port's limits are no concern of this download.
            found.removeIf([&port](const LayoutFinding &f) { return f.isError() && f.port != port; });
            return found;
        });
        connect(m_portDialog, &PortDialog::downloaded, this, &MainWindow::showDownloadNote);
        connect(m_portDialog, &PortDialog::openFromDeviceRequested, this, [this](const QString &port) {
            m_files->openFromDevice([this, port](QString *error) -> std::optional<LayoutData> {
                auto ticket = ticketFromDevice(m_network, port, error);
                if (!ticket)
                    return std::nullopt;
                if (!ticket->finished()) {
                    *error = QStringLiteral("The last download to %1 did not finish: its device holds part of a "
                                            "ticket. Download a layout to it again.")
                                 .arg(port);
                    return std::nullopt;
                }
                return uploadedLayout(*ticket);
            });
            m_portDialog->hide();
        });
    }
    m_note->hide();
    placeOnScreen(*m_portDialog, QPoint(toPixelsX(m_leftTwips + DialogLeftOffset), toPixelsY(m_topTwips + DialogTopOffset)));
    m_portDialog->show();
}

void MainWindow::onPreview()
{
    const bool first = !m_preview;
    if (first) {
        m_preview = new PreviewWindow(m_model, *m_editor, m_network, this);
        connect(m_preview, &PreviewWindow::fieldChosen, m_editor, &EditorWindow::showField);
    }
    m_preview->showPreview();
    // Placed once shown: its list of findings, laid out then, may have made it taller.
    if (first)
        placeOnScreen(*m_preview, QPoint(toPixelsX(m_leftTwips + PreviewLeftOffset), toPixelsY(m_topTwips)));
}

} // namespace tkl
