#pragma once

#include <QString>

#include <optional>

namespace tkl {

/// What the program asks of the operator outside its own windows: file names and
/// message boxes. The application implements it with Qt's dialogs; tests with a script.
class Prompts
{
public:
    enum class Icon { Information, Warning, Critical };

    virtual ~Prompts() = default;

    /// Save As dialog. `filter` in the form "Screen layout (*.txt)|*.txt".
    /// Nothing when the operator cancelled.
    virtual std::optional<QString> askSaveFileName(const QString &filter, const QString &defaultSuffix,
                                                   const QString &lastFileName) = 0;

    /// Open dialog; nothing when the operator cancelled.
    virtual std::optional<QString> askOpenFileName(const QString &filter, const QString &defaultSuffix,
                                                   const QString &lastFileName) = 0;

    /// A message with an OK button.
    virtual void showMessage(const QString &title, const QString &text, Icon icon) = 0;

    enum class Answer { Yes, No, Cancel };

    /// A question with Yes, No and Cancel, the critical icon and No as the default
    /// button. Escape, Cancel and the box's close button answer Cancel.
    virtual Answer askYesNoCancel(const QString &title, const QString &text) = 0;

    /// A Yes/No question with the warning icon and No as the default button; Escape
    /// and the close button answer No. True for Yes.
    virtual bool askYesNo(const QString &title, const QString &text) = 0;

    /// A warning that asks whether to go on: `action` (e.g. "Download") and Cancel,
    /// Cancel the default and what Escape and the close box answer. True for `action`.
    virtual bool askGoOn(const QString &title, const QString &text, const QString &action) = 0;
};

} // namespace tkl
