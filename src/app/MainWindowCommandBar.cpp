// The command bar of the main window: the band with its buttons, the size panel and
// the readout, the tooltip and its timer, the command keys and the note after a
// download or an Open.
#include "MainWindow.h"

#include "network/ProcessNetwork.h"
#include "dialogs/PreviewWindow.h"
#include "dialogs/PrinterSettingsDialog.h"
#include "dialogs/UpdateBoxDialog.h"
#include "editor/EditorWindow.h"
#include "editor/LayoutHistory.h"
#include "ui/WindowLook.h"

#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>
#include <QSvgRenderer>
#include <QTimer>

#include <algorithm>
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
constexpr int SizePanelWidth = 1215;
constexpr int SizePanelHeight = 555;
constexpr int SizePanelRight = 9350;
constexpr int ReadoutLeft = 600;
constexpr int ReadoutWidth = 555;
constexpr int ReadoutHeight = 525;
constexpr int TipHeight = 315;
constexpr int TipBelowButtonTop = 200;
constexpr int TipRightOfButton = 300;
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

/// The history's keys and Duplicate, from any of the program's windows like the
/// command keys; they have no buttons.
struct HistoryKey
{
    QKeyCombination key;
    void (MainWindow::*command)();
};
const std::array<HistoryKey, 4> HistoryKeys{{
    {Qt::CTRL | Qt::Key_Z, &MainWindow::onUndo},
    {Qt::CTRL | Qt::SHIFT | Qt::Key_Z, &MainWindow::onRedo},
    {Qt::CTRL | Qt::Key_Y, &MainWindow::onRedo},
    {Qt::CTRL | Qt::Key_D, &MainWindow::onDuplicate},
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
        {"SSCommand2", 0, 2, "New Ticket", 13, W::HideAll, "new", &W::onNew},
        {"SSCommand3", 540, 3, "Open Ticket", 14, W::HideFieldAndCodes, "open", &W::onOpen},
        {"SSCommand1", 1080, 1, "Save Ticket", 14, W::HideAll, "save", &W::onSave},
        {"SSCommand4", 1620, 4, "Exit", 6, W::HideFieldAndCodes, "exit", &W::onExit},
        {"SSCommand6", 2160, 6, "Printer Setup", 16, W::HideUpdateBox, "printer-setup", &W::onPrinterSetup},
        {"SSCommand7", 2700, 7, "Insert UpdateBox", 20, W::HideFieldAndCodes, "insert-field", &W::onInsertField},
        {"SSCommand9", 3240, 9, "Delete UpdateBox", 20, W::HideFieldAndCodes, "delete-field", &W::onDeleteField},
        {"SSCommand8", 3780, 8, "Help", 6, W::HideFieldAndCodes, "help", &W::onHelp},
        {"SSCommand11", 4320, 10, "DownLoad Ticket", 19, W::HideNone, "download", &W::onDownload},
        {"SSCommand12", 4860, 11, "Preview Ticket", 17, W::HideNone, "preview", &W::onPreview},
        {"SSCommand10", 0, 0, "Ticket Size", 0, W::HideNone, "ticket-size", &W::onTicketSize},
    }};
    return table;
}

void MainWindow::buildBand()
{
    m_band = new QFrame(this);
    m_band->setObjectName(QStringLiteral("Picture1"));
    m_band->setGeometry(0, 0, toPixelsX(FixedWidth), toPixelsY(BandHeight));
    m_band->setFrameShape(QFrame::Panel);
    m_band->setFrameShadow(QFrame::Raised);
    m_band->setAutoFillBackground(true);
    m_band->setMouseTracking(true);
    m_band->setAttribute(Qt::WA_NoMousePropagation);
    m_band->installEventFilter(this);

    m_sizePanel = new QFrame(m_band);
    m_sizePanel->setObjectName(QStringLiteral("Picture2"));
    m_sizePanel->setGeometry(toPixelsX(SizePanelRight - SizePanelWidth), 0, toPixelsX(SizePanelWidth),
                            toPixelsY(SizePanelHeight));
    setGreyBackground(*m_sizePanel);
    // Picture2 has no handlers of its own: a move over it keeps the tooltip as it is.
    m_sizePanel->setAttribute(Qt::WA_NoMousePropagation);

    m_readout = new QLabel(m_sizePanel);
    m_readout->setObjectName(QStringLiteral("Label1"));
    m_readout->setFont(codeFont());
    m_readout->setGeometry(toPixelsX(ReadoutLeft), 0, toPixelsX(ReadoutWidth), toPixelsY(ReadoutHeight));
    m_readout->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    const qreal ratio = devicePixelRatioF();
    for (const Button &b : buttonTable()) {
        const bool inSizePanel = b.tipIndex == 0;
        auto *button = new QPushButton(inSizePanel ? static_cast<QWidget *>(m_sizePanel) : this);
        button->setObjectName(QString::fromLatin1(b.name));
        const int width = toPixelsX(ButtonSize);
        const int height = toPixelsY(inSizePanel ? SizeButtonHeight : ButtonSize);
        button->setGeometry(toPixelsX(b.left), 0, width, height);
        const int iconPixels = qMax(8, qMin(width, height) - 6);
        button->setIcon(svgIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(b.icon)), iconPixels, ratio));
        button->setIconSize(QSize(iconPixels, iconPixels));
        button->setAccessibleName(QString::fromLatin1(b.tip));
        // A click leaves the keyboard focus in the ticket text; Tab still reaches them.
        button->setFocusPolicy(Qt::TabFocus);
        button->setAttribute(Qt::WA_NoMousePropagation);
        if (!inSizePanel) {
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

    m_tipTimer = new QTimer(this);
    m_tipTimer->setObjectName(QStringLiteral("Timer1"));
    m_tipTimer->setInterval(300);
    connect(m_tipTimer, &QTimer::timeout, this, &MainWindow::showtip);

    // Lies on the band and lets the band have the mouse, like the band's own paint.
    m_note = new QLabel(m_band);
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
    for (const HistoryKey &k : HistoryKeys) {
        auto *shortcut = new QShortcut(QKeySequence(k.key), this);
        shortcut->setContext(Qt::ApplicationShortcut);
        connect(shortcut, &QShortcut::activated, this, k.command);
    }
    // Text boxes claim Ctrl+Z for an undo of their own; the program's history has it.
    qApp->installEventFilter(this);
}

bool MainWindow::isHistoryKey(QObject *watched, QEvent *event) const
{
    if (event->type() != QEvent::ShortcutOverride || !watched->isWidgetType())
        return false;
    // In a printer code box a Ctrl key types its code, as Ctrl+S does there.
    if (m_printerSettingsDialog && m_printerSettingsDialog->isAncestorOf(static_cast<QWidget *>(watched)))
        return false;
    const QKeyCombination pressed = static_cast<QKeyEvent *>(event)->keyCombination();
    return std::any_of(HistoryKeys.begin(), HistoryKeys.end(),
                       [pressed](const HistoryKey &k) { return k.key == pressed; });
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

void MainWindow::hideTip()
{
    m_tip->hide();
    m_tipTimer->stop();
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
    if (isHistoryKey(watched, event)) {
        event->ignore(); // not the box's: the shortcut runs
        return true;
    }
    if (type == QEvent::Hide && (watched == m_updateBoxDialog || watched == m_printerSettingsDialog))
        m_editor->history().settle();
    // The text box would take a file's name as text to insert; a file is opened instead.
    if (watched == m_textViewport && m_textViewport && handleFileDrag(event))
        return true;
    if (watched == m_band) {
        if (type == QEvent::MouseButtonPress)
            hideTools(HideAll);
        else if (type == QEvent::MouseMove)
            hideTip();
    } else if (const Button *b = buttonFor(watched)) {
        if (type == QEvent::MouseButtonPress) {
            hideTools(b->hides);
        } else if (type == QEvent::MouseMove && b->tipIndex != 0) {
            m_tipIndex = b->tipIndex;
            // Enabling a running timer leaves its rhythm alone; restarting it on every
            // move would keep the tip from ever showing while the pointer moves.
            if (!m_tipTimer->isActive())
                m_tipTimer->start();
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace tkl
