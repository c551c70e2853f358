#include "MainWindow.h"

#include "DataFiles.h"
#include "FileCommands.h"

#include "device/AutomationFactory.h"
#include "device-widgets/PortDialog.h"
#include "device/ProcessNetwork.h"
#include "dialogs/HelpWindow.h"
#include "dialogs/PreviewWindow.h"
#include "dialogs/PrinterSettingsDialog.h"
#include "dialogs/TicketSizeDialog.h"
#include "dialogs/UpdateBoxDialog.h"
#include "editor/EditorWindow.h"
#include "model/CharGrid.h"
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
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSvgRenderer>
#include <QTimer>

#include <array>

namespace tkl {

/// One button of the command bar.
struct MainWindow::Button
{
    const char *name;
    int left;          ///< twips from the window's left (SSCommand10: inside Picture2)
    int tipIndex;      ///< 0: no tooltip
    const char *tip;   ///< tooltip text, also the accessible name
    int tipCells;      ///< tooltip width in cells of the window's font
    int hides;         ///< tool windows a press hides
    const char *icon;
    void (MainWindow::*command)();
};

namespace {

constexpr int ButtonSize = 555;
constexpr int SizeButtonHeight = 525;
constexpr int Picture2Width = 1215;
constexpr int Picture2Height = 555;
constexpr int Picture2Right = 9350;
constexpr int ReadoutLeft = 600;
constexpr int ReadoutWidth = 555;
constexpr int ReadoutHeight = 525;
constexpr int TipHeight = 315;
constexpr int TipBelowButtonTop = 200;
constexpr int TipRightOfButton = 300;
constexpr int DialogLeftOffset = 2000;
constexpr int PreviewLeftOffset = 9600; // beside the main window, clear of the editor
constexpr int Form4BelowEditorTop = 1000;
constexpr int DialogTopOffset = 3000;
constexpr int HelpTopic = 35;
// The note after a download, in the band between the buttons and Picture2.
constexpr int NoteLeft = 5550;
constexpr int NoteWidth = 2500;
constexpr int NoteHeight = 555;
constexpr int NoteShownMs = 30000;

/// The command bar's keys; each runs its button's command from any of the program's
/// windows. A modal question blocks them, as it blocks the buttons.
struct CommandKey
{
    QKeyCombination key;
    const char *button;
};
constexpr std::array<CommandKey, 6> CommandKeys{{
    {Qt::CTRL | Qt::Key_N, "SSCommand2"},
    {Qt::CTRL | Qt::Key_O, "SSCommand3"},
    {Qt::CTRL | Qt::Key_S, "SSCommand1"},
    {Qt::CTRL | Qt::Key_Q, "SSCommand4"},
    {QKeyCombination(Qt::Key_F1), "SSCommand8"},
    {QKeyCombination(Qt::Key_F5), "SSCommand12"},
}};

QFont codeFont()
{
    return typewriterFont(QStringLiteral("Courier New"), 8.25);
}

// Drawn from the SVG at the size it is shown, so that it stays sharp on any screen.
QIcon svgIcon(const QString &path, int pixels, qreal ratio)
{
    QSvgRenderer renderer(path);
    const int device = qMax(1, qRound(pixels * ratio));
    QPixmap pixmap(device, device);
    pixmap.fill(Qt::transparent);
    if (renderer.isValid()) {
        QPainter painter(&pixmap);
        renderer.render(&painter);
    }
    pixmap.setDevicePixelRatio(ratio);
    return QIcon(pixmap);
}

} // namespace

// Left to right as they stand in the band; SSCommand10 last, in Picture2.
std::span<const MainWindow::Button> MainWindow::buttonTable()
{
    using W = MainWindow;
    static const std::array<W::Button, 11> table{{
        {"SSCommand2", 0, 2, "New Ticket", 13, W::HideForm3 | W::HideForm4 | W::HideForm6, "new", &W::onNew},
        {"SSCommand3", 540, 3, "Open Ticket", 14, W::HideForm3 | W::HideForm4, "open", &W::onOpen},
        {"SSCommand1", 1080, 1, "Save Ticket", 14, W::HideForm3 | W::HideForm4 | W::HideForm6, "save", &W::onSave},
        {"SSCommand4", 1620, 4, "Exit", 6, W::HideForm3 | W::HideForm4, "exit", &W::onExit},
        {"SSCommand6", 2160, 6, "Printer Setup", 16, W::HideForm3, "printer-setup", &W::onPrinterSetup},
        {"SSCommand7", 2700, 7, "Insert UpdateBox", 20, W::HideForm3 | W::HideForm4, "insert-field",
         &W::onInsertField},
        {"SSCommand9", 3240, 9, "Delete UpdateBox", 20, W::HideForm3 | W::HideForm4, "delete-field",
         &W::onDeleteField},
        {"SSCommand8", 3780, 8, "Help", 6, W::HideForm3 | W::HideForm4, "help", &W::onHelp},
        {"SSCommand11", 4320, 10, "DownLoad Ticket", 19, W::HideNone, "download", &W::onDownload},
        {"SSCommand12", 4860, 11, "Preview Ticket", 17, W::HideNone, "preview", &W::onPreview},
        {"SSCommand10", 0, 0, "Ticket Size", 0, W::HideNone, "ticket-size", &W::onTicketSize},
    }};
    return table;
}

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
    delete m_form8;
    delete m_preview;
    delete m_help;
    delete m_form6;
    delete m_form4;
    delete m_form3;
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

void MainWindow::buildBand()
{
    m_picture1 = new QFrame(this);
    m_picture1->setObjectName(QStringLiteral("Picture1"));
    m_picture1->setGeometry(0, 0, toPixelsX(FixedWidth), toPixelsY(BandHeight));
    m_picture1->setFrameShape(QFrame::Panel);
    m_picture1->setFrameShadow(QFrame::Raised);
    m_picture1->setAutoFillBackground(true);
    m_picture1->setMouseTracking(true);
    m_picture1->setAttribute(Qt::WA_NoMousePropagation);
    m_picture1->installEventFilter(this);

    m_picture2 = new QFrame(m_picture1);
    m_picture2->setObjectName(QStringLiteral("Picture2"));
    m_picture2->setGeometry(toPixelsX(Picture2Right - Picture2Width), 0, toPixelsX(Picture2Width),
                            toPixelsY(Picture2Height));
    setGreyBackground(*m_picture2);
    // Picture2 has no handlers of its own: a move over it keeps the tooltip as it is.
    m_picture2->setAttribute(Qt::WA_NoMousePropagation);

    m_readout = new QLabel(m_picture2);
    m_readout->setObjectName(QStringLiteral("Label1"));
    m_readout->setFont(codeFont());
    m_readout->setGeometry(toPixelsX(ReadoutLeft), 0, toPixelsX(ReadoutWidth), toPixelsY(ReadoutHeight));
    m_readout->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    const qreal ratio = devicePixelRatioF();
    for (const Button &b : buttonTable()) {
        const bool inPicture2 = b.tipIndex == 0;
        auto *button = new QPushButton(inPicture2 ? static_cast<QWidget *>(m_picture2) : this);
        button->setObjectName(QString::fromLatin1(b.name));
        const int width = toPixelsX(ButtonSize);
        const int height = toPixelsY(inPicture2 ? SizeButtonHeight : ButtonSize);
        button->setGeometry(toPixelsX(b.left), 0, width, height);
        const int iconPixels = qMax(8, qMin(width, height) - 6);
        button->setIcon(svgIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(b.icon)), iconPixels, ratio));
        button->setIconSize(QSize(iconPixels, iconPixels));
        button->setAccessibleName(QString::fromLatin1(b.tip));
        // A click leaves the keyboard focus in the ticket text; Tab still reaches them.
        button->setFocusPolicy(Qt::TabFocus);
        button->setAttribute(Qt::WA_NoMousePropagation);
        if (!inPicture2) {
            button->setMouseTracking(true);
            button->installEventFilter(this);
        }
        const auto command = b.command;
        connect(button, &QPushButton::clicked, this, [this, command] { (this->*command)(); });
        m_buttons.append(button);
    }
}

void MainWindow::buildTooltip()
{
    m_tip = new QLineEdit(this);
    m_tip->setObjectName(QStringLiteral("txttooltip"));
    m_tip->setFont(codeFont());
    m_tip->setReadOnly(true);
    m_tip->setFocusPolicy(Qt::NoFocus);
    m_tip->setFrame(true);
    m_tip->setAttribute(Qt::WA_NoMousePropagation);
    // The box lies over the lower part of the next buttons; a click there is meant for them.
    m_tip->setAttribute(Qt::WA_TransparentForMouseEvents);
    QPalette palette = m_tip->palette();
    palette.setColor(QPalette::Base, QColor(0xFF, 0xFF, 0xE1));
    palette.setColor(QPalette::Text, Qt::black);
    m_tip->setPalette(palette);
    m_tip->setCursor(Qt::ArrowCursor);
    m_tip->setFixedHeight(toPixelsY(TipHeight));
    m_tip->hide();

    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setInterval(300);
    connect(m_timer, &QTimer::timeout, this, &MainWindow::showtip);

    // Lies on the band and lets the band have the mouse, like the band's own paint.
    m_note = new QLabel(m_picture1);
    m_note->setObjectName(QStringLiteral("downloadNote"));
    m_note->setFont(codeFont());
    m_note->setGeometry(toPixelsX(NoteLeft), toPixelsY(30), toPixelsX(NoteWidth), toPixelsY(NoteHeight));
    m_note->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_note->setAttribute(Qt::WA_TransparentForMouseEvents);
    QPalette notePalette = m_note->palette();
    notePalette.setColor(QPalette::WindowText, QColor(0x00, 0x64, 0x1E));
    m_note->setPalette(notePalette);
    m_note->hide();
    m_noteTimer = new QTimer(this);
    m_noteTimer->setSingleShot(true);
    m_noteTimer->setInterval(NoteShownMs);
    connect(m_noteTimer, &QTimer::timeout, m_note, &QLabel::hide);
}

void MainWindow::buildShortcuts()
{
    for (const CommandKey &k : CommandKeys) {
        auto *shortcut = new QShortcut(QKeySequence(k.key), this);
        shortcut->setObjectName(QStringLiteral("key_") + QLatin1String(k.button));
        shortcut->setContext(Qt::ApplicationShortcut);
        const char *button = k.button;
        connect(shortcut, &QShortcut::activated, this, [this, button] { runButton(button); });
    }
}

void MainWindow::runButton(const char *name)
{
    for (const Button &b : buttonTable()) {
        if (qstrcmp(b.name, name) != 0)
            continue;
        hideTools(b.hides);
        (this->*b.command)();
        return;
    }
}

QString MainWindow::downloadNote() const
{
    return m_note->isVisible() ? m_note->text() : QString();
}

void MainWindow::showDownloadNote(const QString &port, int writes)
{
    // A long port name gives way, not the words that say what happened.
    const QString suffix = QStringLiteral(": downloaded");
    const QFontMetrics metrics(m_note->font());
    const QString shownPort =
        metrics.elidedText(port, Qt::ElideMiddle, m_note->width() - metrics.horizontalAdvance(suffix));
    m_note->setText(QStringLiteral("%1%2\n%3 writes, verified").arg(shownPort, suffix).arg(writes));
    QPalette palette = m_note->palette();
    palette.setColor(QPalette::WindowText, QColor(0x00, 0x64, 0x1E));
    m_note->setPalette(palette);
    m_note->setToolTip(QStringLiteral("The ticket was downloaded into the device of %1: %2 writes, every one "
                                      "read back and verified.")
                           .arg(port)
                           .arg(writes));
    // The download button's tooltip stays armed while the pointer went to the port
    // dialog, and it lies where the note is: it has said what it had to say.
    hideTip();
    m_note->show();
    m_noteTimer->start();
}

void MainWindow::showOpenFindings()
{
    // Told, not asked: the operator sees the layout at once and the list when wanted.
    const QList<LayoutFinding> found = PreviewWindow::findings(m_model, *m_editor, m_network);
    if (found.isEmpty()) {
        m_note->hide();
        return;
    }
    m_note->setText(QStringLiteral("Opened: %1 problem%2\nPreview (F5) lists %3")
                        .arg(found.size())
                        .arg(found.size() == 1 ? QString() : QStringLiteral("s"))
                        .arg(found.size() == 1 ? QStringLiteral("it") : QStringLiteral("them")));
    m_note->setToolTip(found.first().message);
    QPalette palette = m_note->palette();
    palette.setColor(QPalette::WindowText, QColor(0xA0, 0x30, 0x00));
    m_note->setPalette(palette);
    m_note->show();
    m_noteTimer->start();
    if (m_preview && m_preview->isVisible())
        m_preview->refresh();
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
    // The close box asks the same question as Exit and follows the same rules.
    m_mayClose = [this] { return m_files->mayExit(); };
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
    m_editor->setWidthTwips(FileCommands::NewWidth);
    m_editor->setHeightTwips(heightTwips() - EditorOffset);
    m_tip->raise();
}

void MainWindow::createDialogs()
{
    if (m_form3)
        return;
    m_form3 = new UpdateBoxDialog(m_model, m_sharedServer, m_network, *m_editor, m_prompts, this);
    m_form3->hide();
    m_form4 = new PrinterSettingsDialog(m_model, this);
    m_form4->hide();
    m_form6 = new TicketSizeDialog(m_model, *m_editor, this);
    m_form6->hide();
}

UpdateBoxDialog *MainWindow::updateBoxDialog()
{
    createDialogs();
    return m_form3;
}

PrinterSettingsDialog *MainWindow::printerSettingsDialog()
{
    createDialogs();
    return m_form4;
}

TicketSizeDialog *MainWindow::ticketSizeDialog()
{
    createDialogs();
    return m_form6;
}

void MainWindow::wireEditor()
{
    connect(m_editor, &EditorWindow::readoutChanged, m_readout, &QLabel::setText);
    connect(m_editor, &EditorWindow::textPressed, this, [this] { hideTools(HideForm3 | HideForm4 | HideForm6); });
    connect(m_editor, &EditorWindow::textMouseMoved, this, &MainWindow::hideTip);
    connect(m_editor, &EditorWindow::backgroundPressed, this, [this] { hideTools(HideForm6); });
    connect(m_editor, &EditorWindow::fieldPressed, this, &MainWindow::onFieldPressed);
}

void MainWindow::onFieldPressed(int slot, Qt::MouseButton button, bool deleted)
{
    hideTools(HideForm4);
    if (deleted)
        return;
    if (button == Qt::LeftButton) {
        hideTools(HideForm3);
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
    m_restoring = false;
}

void MainWindow::placeEditor()
{
    if (!m_editor->isVisible())
        return;
    m_editor->move(0, toPixelsY(BandHeight));
    m_editor->setHeightTwips(heightTwips() - EditorOffset);
    m_tip->raise();
    if (m_form6 && m_form6->isVisible())
        m_form6->raise();
}

void MainWindow::hideTools(int which)
{
    if (!m_form3)
        return; // none of them has been made, so none is showing
    if (which & HideForm3)
        m_form3->hide();
    if (which & HideForm4)
        m_form4->hide();
    if (which & HideForm6)
        m_form6->hide();
}

void MainWindow::hideTip()
{
    m_tip->hide();
    m_timer->stop();
}

void MainWindow::showtip()
{
    for (const Button &b : buttonTable()) {
        if (b.tipIndex == 0 || b.tipIndex != m_tipIndex)
            continue;
        const int left = b.left + ButtonSize + TipRightOfButton;
        const int top = 0 + TipBelowButtonTop;
        m_tip->setGeometry(toPixelsX(left), toPixelsY(top), toPixelsX(b.tipCells * charWidthTwips()),
                           toPixelsY(TipHeight));
        m_tip->setText(QString::fromLatin1(b.tip));
        m_tip->setCursorPosition(0);
        m_tip->show();
        m_tip->raise();
        return;
    }
}

const MainWindow::Button *MainWindow::buttonFor(QObject *object) const
{
    const qsizetype i = m_buttons.indexOf(object);
    return i < 0 ? nullptr : &buttonTable()[size_t(i)];
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    // The text box would take a file's name as text to insert; a file is opened instead.
    if (watched == m_textViewport && m_textViewport && handleFileDrag(event))
        return true;
    if (watched == m_picture1) {
        if (type == QEvent::MouseButtonPress)
            hideTools(HideForm3 | HideForm4 | HideForm6);
        else if (type == QEvent::MouseMove)
            hideTip();
    } else if (const Button *b = buttonFor(watched)) {
        if (type == QEvent::MouseButtonPress) {
            hideTools(b->hides);
        } else if (type == QEvent::MouseMove && b->tipIndex != 0) {
            m_tipIndex = b->tipIndex;
            // Enabling a running timer leaves its rhythm alone; restarting it on every
            // move would keep the tip from ever showing while the pointer moves.
            if (!m_timer->isActive())
                m_timer->start();
        }
    }
    return QWidget::eventFilter(watched, event);
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
    if (!m_form3 && !m_dialogsQueued) {
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
    if (m_mayClose && !m_mayClose()) {
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
    hideTools(HideForm3 | HideForm4 | HideForm6);
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

void MainWindow::onInsertField()
{
    if (m_editor->insertField() == 0) {
        m_prompts.showMessage(MessageTitle,
                              QStringLiteral("All %1 UpdateBox fields are in use. Delete one to make room.")
                                  .arg(TicketModel::SlotCount),
                              Prompts::Icon::Information);
    }
}

void MainWindow::onDeleteField()
{
    m_editor->armDelete(QFileInfo(findDataFile(m_appFolder, QStringLiteral("erase01.ico"))).absolutePath());
}

void MainWindow::onPrinterSetup()
{
    m_editor->restoreDefaultPointer();
    printerSettingsDialog()->openAt(m_leftTwips + DialogLeftOffset, m_editor->editorTopTwips() + Form4BelowEditorTop);
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
    if (!m_form8) {
        EditorWindow *editor = m_editor;
        m_form8 = new PortDialog(m_model, m_factory, m_network, m_prompts, [editor] { return editor->boxLines(); },
                                 this, this);
        m_form8->setRestorePointer([editor] { editor->restoreDefaultPointer(); });
        connect(m_form8, &PortDialog::downloaded, this, &MainWindow::showDownloadNote);
    }
    m_note->hide();
    m_form8->move(toPixelsX(m_leftTwips + DialogLeftOffset), toPixelsY(m_topTwips + DialogTopOffset));
    m_form8->show();
}

void MainWindow::onPreview()
{
    if (!m_preview) {
        m_preview = new PreviewWindow(m_model, *m_editor, m_network, this);
        m_preview->move(toPixelsX(m_leftTwips + PreviewLeftOffset), toPixelsY(m_topTwips));
    }
    m_preview->showPreview();
}

} // namespace tkl
