#pragma once

#include <QString>

#include <functional>
#include <optional>

namespace tkl {

class EditorWindow;
class Prompts;
struct LayoutError;
class TicketModel;
struct LayoutData;

/// Save, New, Open and Exit: the layout between the editor and its files.
///
/// The operator's work is never lost on their way: Open replaces the layout only
/// after the whole file was read, Save replaces a file only once the new one is
/// complete, and a save that the operator asked for and that did not happen stops
/// the command that asked (the layout stays, marked changed).
class FileCommands
{
public:
    /// What the commands need of the main window.
    struct Window
    {
        std::function<void(const QString &ticketName)> setTicketName;
        std::function<void()> hideTip;
        std::function<void(bool busy)> setBusy;  ///< hourglass while files are worked on
        QString messageTitle;
        std::function<void()> opened;  ///< a layout was opened: the editor shows it
    };

    static inline const QString Filter = QStringLiteral("Screen layout (*.txt)|*.txt");
    static inline const QString DefaultSuffix = QStringLiteral("txt");
    /// The ticket's name in the title until it is saved or opened.
    static inline const QString UnnamedTicket = QStringLiteral("UnNamed Ticket");
    static inline const QString SaveQuestion = QStringLiteral("Do you want to save\r\nthe current Layout ?");
    static inline const QString SaveQuestionTitle = QStringLiteral("  Delete Warning !!");
    /// Asked before Save replaces a file other than the layout's own; %1 is its name.
    static inline const QString ReplaceQuestion =
        QStringLiteral("%1 already exists.\r\nDo you want to replace it?");

    // Defaults that New establishes, twips and lines; the width is the editor's
    // EditorWindow::NewTicketWidth.
    static constexpr int NewHeight = 3155;
    static constexpr int NewTicketLines = 16;

    FileCommands(TicketModel &model, EditorWindow &editor, Prompts &prompts, Window window);

    /// Save: asks for a file name and writes the layout. True when the file was written.
    bool save();

    /// New: offers to save a changed layout, then empties the editor. Nothing happens
    /// when the operator cancels the question or a save said Yes to does not happen.
    void newTicket();

    /// Open: offers to save a changed layout, asks for a file and loads it. Stops as New does.
    void open();

    /// Open with the file already chosen (the command line, a file dropped on the
    /// window): offers to save a changed layout, then loads `path` as Open does.
    void openFile(const QString &path);

    /// Open from device: offers to save a changed layout, as Open does, then takes the
    /// layout from `read` (the device's ticket, or nothing with the error to show) and
    /// shows it as an unnamed layout that no file holds yet.
    void openFromDevice(const std::function<std::optional<LayoutData>(QString *error)> &read);

    /// What the operator is told when `path` cannot be read as a layout: the file's
    /// name with the line ("ticket.txt, line 48: ..."), and a hint when the cause is
    /// plain: a file whose lines end in LF alone.
    static QString readFailureText(const QString &path, const LayoutError &error);

    /// Exit (and the close box): offers to save a changed layout. True when the
    /// program may end; false when the operator cancelled the question or a save the
    /// operator asked for did not happen.
    bool mayExit();

    /// The file name the file dialogs offer next: the last one they returned.
    QString lastFileName() const { return m_lastFileName; }

private:
    /// Asks the save question when the layout is changed. False when the command must
    /// stop: the operator cancelled, or said Yes and the save did not happen.
    bool offerToSave();

    /// Puts `layout` on the editor in place of the one there.
    void show(const LayoutData &layout);

    /// The Save As dialog, and the question before replacing another file; No offers
    /// the dialog again. Nothing when the operator cancelled.
    std::optional<QString> askSaveName();

    /// The save step shared by Save and a Yes to the question.
    bool saveStep();

    /// Reads `path` and puts it on the editor; the editor stays as it was when it cannot.
    void load(const QString &path);
    void clearEditor();
    void showFailure(const QString &text);

    TicketModel &m_model;
    EditorWindow &m_editor;
    Prompts &m_prompts;
    Window m_window;
    QString m_lastFileName;
    QString m_currentFile;  ///< the file the layout was last saved to or opened from
};

} // namespace tkl
