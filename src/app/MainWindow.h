#pragma once

#include "model/ProgramTitle.h"

#include <QList>
#include <QString>
#include <QWidget>

#include <memory>
#include <span>

class QDragEnterEvent;
class QDropEvent;
class QFrame;
class QLabel;
class QMimeData;
class QLineEdit;
class QPushButton;
class QTimer;

namespace tkl {

class AutomationFactory;
class FileCommands;
class AutomationObject;
class EditorWindow;
class HelpWindow;
class PortDialog;
class PreviewWindow;
class PrinterSettingsDialog;
class ProcessNetwork;
class Prompts;
class TicketModel;
class TicketSizeDialog;
class UpdateBoxDialog;

/// The main window (Form1): the command band with its ten buttons and the readout,
/// the tooltip, and the editor (Form2) as a child just below the band.
///
/// The window keeps a fixed place and size in twips; any resize puts it back. The
/// dialogs it opens are top-level tool windows owned by it, created hidden at
/// start-up (the port dialog on first use) and only shown and hidden afterwards.
class MainWindow : public QWidget
{
    Q_OBJECT

public:
    /// The title before the ticket's name: the program's name and nine blanks.
    static inline const QString TitlePrefix = QStringLiteral("Dodurev Ezuzez Avedur         ");
    /// Title of the program's own message boxes.
    static inline const QString MessageTitle = ProgramTitle;

    // Fixed geometry, twips.
    static constexpr int FixedLeft = 0;
    static constexpr int FixedTop = 1000;
    static constexpr int FixedWidth = 9500;
    /// Height for a 195-twip line; a taller line adds 22 x the difference.
    static constexpr int DesignHeight = 5390;
    /// The caption bar that the fixed height counts in: the editor lies 900 below the
    /// window's top edge, which is 615 below the top of the client area.
    static constexpr int CaptionHeight = 285;
    static constexpr int BandHeight = 615;
    /// The editor's offset below the window's top edge, caption included.
    static constexpr int EditorOffset = BandHeight + CaptionHeight;

    /// Tool windows that a press on the band, the background or a button hides.
    enum Hide {
        HideNone = 0,
        HideUpdateBox = 1,
        HidePrinterSettings = 2,
        HideTicketSize = 4,
        HideFieldAndCodes = HideUpdateBox | HidePrinterSettings,
        HideAll = HideFieldAndCodes | HideTicketSize,
    };

    /// Runs the start-up steps after SharedServer exists: records `appFolder`, fixes
    /// the geometry, creates the editor hidden, and clears the model. Nothing is
    /// shown; the caller shows the window.
    MainWindow(TicketModel &model, ProcessNetwork &network, AutomationFactory &factory,
               AutomationObject &sharedServer, Prompts &prompts, const QString &appFolder,
               QWidget *parent = nullptr);
    ~MainWindow() override;

    /// Folder of the program file: help file and eraser cursor are looked up there.
    QString appFolder() const { return m_appFolder; }

    /// Title := TitlePrefix + `ticketName`.
    void setTicketName(const QString &ticketName);

    /// Opens the layout at `path` as Open does once a file is chosen, with the offer to
    /// save a changed layout first: the command line's file, a file dropped on the window.
    void openLayoutFile(const QString &path);

    /// The note in the band that tells of the last successful download, or of the
    /// problems of the layout just opened; empty when none is showing.
    QString downloadNote() const;

    // Geometry in twips as the program counts it (outer frame, caption included in
    // the height). Left and top follow the window when the operator moves it.
    int leftTwips() const { return m_leftTwips; }
    int topTwips() const { return m_topTwips; }
    int widthTwips() const { return FixedWidth; }
    int heightTwips() const;

    /// Width of "a" in the window's font (Courier 9.75 pt), twips.
    int charWidthTwips() const;

    EditorWindow *editor() const { return m_editor; }
    // The dialogs, created hidden on the first request if they do not exist yet.
    UpdateBoxDialog *updateBoxDialog();
    PrinterSettingsDialog *printerSettingsDialog();
    TicketSizeDialog *ticketSizeDialog();
    /// The preview window; nullptr until the first Preview Ticket command.
    PreviewWindow *previewWindow() const { return m_preview; }

    /// Index of the last button the pointer moved over (1..4, 6..10; 0 before any).
    int tipIndex() const { return m_tipIndex; }

    /// Shows the tooltip of tipIndex() to the right of its button; nothing for an
    /// index without a tooltip.
    void showtip();

    /// Hides the tooltip box and stops its timer.
    void hideTip();

public slots:
    // Save, New, Open and Exit hand the layout's files over to FileCommands.
    void onSave();
    void onNew();
    void onOpen();
    void onExit();

    void onInsertField();
    void onDeleteField();
    void onPrinterSetup();
    void onTicketSize();
    void onHelp();
    void onDownload();
    /// Preview Ticket (button and F5): the layout as the device will print it.
    void onPreview();
    /// Undo and redo (Ctrl+Z; Ctrl+Shift+Z and Ctrl+Y) of the layout's history.
    void onUndo();
    void onRedo();
    /// Duplicate (Ctrl+D) the selected field, the one whose label was pressed last.
    void onDuplicate();

signals:
    /// The window was closed (close box or Exit): the program ends.
    void closed();

protected:
    bool event(QEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    struct Button;

    /// The command bar: every button with its place, tooltip and press rule.
    static std::span<const Button> buttonTable();

    void buildBand();
    void buildTooltip();
    void buildShortcuts();
    /// A press and a click of the button named `name`: what it hides, then its command.
    void runButton(const char *name);
    void showDownloadNote(const QString &port, int writes);
    /// After Open: a note in the band when the layout has problems (PreviewWindow::findings).
    void showOpenFindings();
    /// The one local file a drag carries, or an empty string.
    static QString droppedFile(const QMimeData *mime);
    /// Drag and drop of a file on the window or the ticket text; true when handled.
    bool handleFileDrag(QEvent *event);
    void createEditor();
    void createFileCommands();
    /// Form3, Form4 and Form6, in that order, hidden; nothing when they exist.
    void createDialogs();
    void wireEditor();

    /// The message when Insert or Duplicate finds all 30 slots in use.
    void showFieldsFull();
    /// The history's keys, also in the windows whose text boxes would take them.
    bool isHistoryKey(QObject *watched, QEvent *event) const;
    void restoreGeometry();
    void placeEditor();
    void hideTools(int which);
    void onFieldPressed(int slot, Qt::MouseButton button, bool deleted);

    int toPixelsX(double twips) const;
    int toPixelsY(double twips) const;
    const Button *buttonFor(QObject *object) const;

    TicketModel &m_model;
    ProcessNetwork &m_network;
    AutomationFactory &m_factory;
    AutomationObject &m_sharedServer;
    Prompts &m_prompts;
    QString m_appFolder;

    int m_leftTwips = FixedLeft;
    int m_topTwips = FixedTop;
    bool m_restoring = false;
    bool m_wasMinimized = false;
    bool m_backgroundPressed = false;
    bool m_dialogsQueued = false;
    std::unique_ptr<FileCommands> m_files;

    QFrame *m_band = nullptr;
    QFrame *m_sizePanel = nullptr;
    QLabel *m_readout = nullptr;
    QLineEdit *m_tip = nullptr;
    QTimer *m_tipTimer = nullptr;
    QLabel *m_note = nullptr;
    QTimer *m_noteTimer = nullptr;
    int m_tipIndex = 0;
    QList<QPushButton *> m_buttons;

    EditorWindow *m_editor = nullptr;
    QWidget *m_textViewport = nullptr;  ///< where a file dropped on the ticket text arrives
    UpdateBoxDialog *m_updateBoxDialog = nullptr;
    PrinterSettingsDialog *m_printerSettingsDialog = nullptr;
    TicketSizeDialog *m_ticketSizeDialog = nullptr;
    PortDialog *m_portDialog = nullptr;
    HelpWindow *m_help = nullptr;
    PreviewWindow *m_preview = nullptr;
};

} // namespace tkl
