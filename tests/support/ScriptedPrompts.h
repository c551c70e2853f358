#pragma once

#include "model/Prompts.h"

#include <QList>
#include <QString>

#include <optional>

namespace tkl::test {

/// Prompts that answer from a script and record what was asked, for tests.
/// An empty queue answers "cancel" for file names and No for questions.
class ScriptedPrompts : public Prompts
{
public:
    struct Message
    {
        QString title;
        QString text;
        Icon icon;
    };

    QList<std::optional<QString>> saveNames;  ///< answers to askSaveFileName, in order
    QList<std::optional<QString>> openNames;  ///< answers to askOpenFileName, in order
    QList<Answer> answers;                    ///< answers to askYesNoCancel and askYesNo, in order
    QList<bool> goOnAnswers;                  ///< answers to askGoOn, in order (none: Cancel)

    QList<Message> messages;                  ///< every message shown
    QList<Message> questions;                 ///< every question asked
    int saveDialogs = 0;
    int openDialogs = 0;
    QString lastFilter;                       ///< of the last file dialog

    std::optional<QString> askSaveFileName(const QString &filter, const QString &, const QString &) override
    {
        return answerFileDialog(saveNames, saveDialogs, filter);
    }

    std::optional<QString> askOpenFileName(const QString &filter, const QString &, const QString &) override
    {
        return answerFileDialog(openNames, openDialogs, filter);
    }

    void showMessage(const QString &title, const QString &text, Icon icon) override { messages.append({title, text, icon}); }

    Answer askYesNoCancel(const QString &title, const QString &text) override
    {
        questions.append({title, text, Icon::Critical});
        return answers.isEmpty() ? Answer::No : answers.takeFirst();
    }

    bool askYesNo(const QString &title, const QString &text) override
    {
        questions.append({title, text, Icon::Warning});
        return !answers.isEmpty() && answers.takeFirst() == Answer::Yes;
    }

    bool askGoOn(const QString &title, const QString &text, const QString &) override
    {
        questions.append({title, text, Icon::Warning});
        return !goOnAnswers.isEmpty() && goOnAnswers.takeFirst();
    }

private:
    std::optional<QString> answerFileDialog(QList<std::optional<QString>> &names, int &dialogs, const QString &filter)
    {
        ++dialogs;
        lastFilter = filter;
        return names.isEmpty() ? std::nullopt : names.takeFirst();
    }
};

} // namespace tkl::test
