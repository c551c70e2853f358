#include "FileCommands.h"

#include "editor/EditorWindow.h"
#include "editor/LayoutHistory.h"
#include "editor/TicketTextBox.h"
#include "files/FieldPlacement.h"
#include "files/LayoutData.h"
#include "files/LayoutFile.h"
#include "model/CharGrid.h"
#include "model/Prompts.h"
#include "model/TicketModel.h"

#include <QFileInfo>
#include <QPlainTextEdit>
#include <QRegularExpression>

namespace tkl {

namespace {

class BusyScope
{
public:
    explicit BusyScope(const std::function<void(bool)> &setBusy)
        : m_setBusy(setBusy)
    {
        if (m_setBusy)
            m_setBusy(true);
    }
    ~BusyScope()
    {
        if (m_setBusy)
            m_setBusy(false);
    }
    BusyScope(const BusyScope &) = delete;
    BusyScope &operator=(const BusyScope &) = delete;

private:
    const std::function<void(bool)> &m_setBusy;
};

} // namespace

FileCommands::FileCommands(TicketModel &model, EditorWindow &editor, Prompts &prompts, Window window)
    : m_model(model)
    , m_editor(editor)
    , m_prompts(prompts)
    , m_window(std::move(window))
{
}

bool FileCommands::save()
{
    if (m_window.hideTip)
        m_window.hideTip();
    return saveStep();
}

void FileCommands::newTicket()
{
    if (m_window.hideTip)
        m_window.hideTip();
    if (!offerToSave())
        return;

    m_editor.restoreDefaultPointer();
    m_model.ScrollPos = 0;
    m_model.setTicketLines(NewTicketLines);
    m_editor.textBox()->clear();
    for (int i = TicketModel::FirstSlot; i <= TicketModel::LastSlot; ++i) {
        if (m_model.BoxLoaded[i] == 1) {
            m_editor.unloadField(i);
            m_model.editRecord(i, [](UpdateBox &record) { record.DataIn = false; });
        }
    }
    m_model.setStartCode({});
    m_model.setStopCode({});
    // The editor sets EditorWidth itself, from the width it snaps to.
    m_editor.setWidthTwips(EditorWindow::NewTicketWidth);
    m_model.setEditorHeight(NewHeight);
    m_editor.setHeightTwips(NewHeight);
    if (m_window.setTicketName)
        m_window.setTicketName(UnnamedTicket);
    m_editor.resetScrollBar(0);
    m_editor.history().clear();
    m_currentFile.clear();
}

void FileCommands::open()
{
    if (m_window.hideTip)
        m_window.hideTip();
    if (!offerToSave())
        return;

    const auto name = m_prompts.askOpenFileName(Filter, DefaultSuffix, m_lastFileName);
    if (!name)
        return;
    load(*name);
}

void FileCommands::openFile(const QString &path)
{
    if (m_window.hideTip)
        m_window.hideTip();
    if (!offerToSave())
        return;
    load(path);
}

QString FileCommands::readFailureText(const QString &path, const LayoutError &error)
{
    QString text = error.message;
    // The reader counts lines; the operator also needs to know which file they are in.
    static const QRegularExpression lineLead(QStringLiteral("^Line (\\d+)"));
    const QString fileName = QFileInfo(path).fileName();
    if (error.line > 0) {
        const QRegularExpressionMatch m = lineLead.match(text);
        if (m.hasMatch())
            text = QStringLiteral("%1, line %2%3").arg(fileName, m.captured(1), text.mid(m.capturedLength()));
        else
            text = QStringLiteral("%1: %2").arg(fileName, text);
    }
    if (error.lfLineEnds) {
        text += QStringLiteral("\n\nThe lines of this file end in LF alone; the lines of a layout file end "
                               "in CR LF. If the file was edited on Linux, convert its line ends "
                               "(for example with unix2dos) and open it again.");
    }
    return text;
}

void FileCommands::load(const QString &path)
{
    m_lastFileName = path;

    const Result<LayoutData, LayoutError> result = [&] {
        BusyScope busy(m_window.setBusy);
        return readLayoutFile(path);
    }();
    if (!result.ok()) {
        // The layout on the editor stays exactly as it was.
        showFailure(readFailureText(path, result.error()));
        m_editor.restoreDefaultPointer();
        return;
    }

    BusyScope busy(m_window.setBusy);
    show(*result);
    m_currentFile = path;
    if (m_window.setTicketName)
        m_window.setTicketName(path);
    if (m_window.opened)
        m_window.opened();
}

void FileCommands::openFromDevice(const std::function<std::optional<LayoutData>(QString *error)> &read)
{
    if (m_window.hideTip)
        m_window.hideTip();
    if (!offerToSave())
        return;
    QString error;
    const std::optional<LayoutData> layout = [&] {
        BusyScope busy(m_window.setBusy);
        return read(&error);
    }();
    if (!layout) {
        // The layout on the editor stays exactly as it was.
        showFailure(error);
        m_editor.restoreDefaultPointer();
        return;
    }
    BusyScope busy(m_window.setBusy);
    show(*layout);
    // No file holds it yet: Save asks for a name.
    m_currentFile.clear();
    if (m_window.setTicketName)
        m_window.setTicketName(UnnamedTicket);
    if (m_window.opened)
        m_window.opened();
}

void FileCommands::show(const LayoutData &layout)
{
    clearEditor();
    layout.applyTo(m_model);
    m_editor.setWidthTwips(layout.EditorWidth);
    m_model.setEditorHeight(layout.EditorHeight);
    m_editor.setHeightTwips(layout.EditorHeight);
    m_editor.resetScrollBar(layout.TicketLines);
    m_editor.ticketBox()->setLayoutText(layout.text);

    // Placed on the grid as measured now, on the editor's font (the main window's too).
    const CharGrid grid(m_editor.charWidthTwips(), m_editor.lineHeightTwips());
    for (const FieldPlacement &f : FieldPlacement::defined(layout.UpdateBoxes, grid))
        m_editor.loadFieldFromRecord(f.slot, f.left, f.top, f.width, f.caption);

    m_editor.RefreshReadout();
    m_editor.history().clear();
}

bool FileCommands::mayExit()
{
    m_editor.restoreDefaultPointer();
    return offerToSave();
}

bool FileCommands::offerToSave()
{
    if (!m_model.LayoutChanged)
        return true;
    // The changed flag stays set until the layout is saved, replaced or discarded by
    // the operator: a cancelled dialog further on must not lose the question.
    switch (m_prompts.askYesNoCancel(SaveQuestionTitle, SaveQuestion)) {
    case Prompts::Answer::Yes:
        return saveStep();
    case Prompts::Answer::No:
        return true;
    case Prompts::Answer::Cancel:
        break;
    }
    return false;
}

std::optional<QString> FileCommands::askSaveName()
{
    for (;;) {
        const auto name = m_prompts.askSaveFileName(Filter, DefaultSuffix, m_lastFileName);
        if (!name)
            return std::nullopt;
        m_lastFileName = *name;
        // Replacing the layout's own file is what Save is for; another file that
        // happens to have the name chosen is the operator's to give up.
        const QFileInfo chosen(*name);
        const bool ownFile = !m_currentFile.isEmpty() && chosen == QFileInfo(m_currentFile);
        if (ownFile || !chosen.exists())
            return name;
        if (m_prompts.askYesNo(m_window.messageTitle, ReplaceQuestion.arg(chosen.fileName())))
            return name;
    }
}

bool FileCommands::saveStep()
{
    // What a window changed so far is a step of its own before the saved state.
    m_editor.history().settle();
    m_model.setTicketLines(qint16(qBound(0, m_editor.lineCount(), 32767)));

    const auto name = askSaveName();
    if (!name)
        return false;

    LayoutData layout = LayoutData::fromModel(m_model, m_editor.ticketBox()->layoutText());
    // Fields that were inserted but never defined are not stored; their slots are
    // freed on the editor only once the file holds the layout without them.
    const QList<int> freed = freeUndefinedSlots(layout);

    const Result<void, LayoutError> saved = [&] {
        BusyScope busy(m_window.setBusy);
        return saveLayoutFile(*name, layout);
    }();
    if (!saved.ok()) {
        showFailure(saved.error().message);
        return false;
    }
    for (int slot : freed)
        m_editor.unloadField(slot);
    m_model.markSaved();
    m_editor.history().markSaved();
    m_currentFile = *name;
    if (m_window.setTicketName)
        m_window.setTicketName(*name);
    return true;
}

void FileCommands::clearEditor()
{
    m_editor.textBox()->clear();
    for (int i = TicketModel::FirstSlot; i <= TicketModel::LastSlot; ++i) {
        if (m_model.BoxLoaded[i] == 1)
            m_editor.unloadField(i);
    }
}

void FileCommands::showFailure(const QString &text)
{
    m_prompts.showMessage(m_window.messageTitle, text, Prompts::Icon::Critical);
}

} // namespace tkl
