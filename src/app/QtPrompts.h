#pragma once

#include "model/Prompts.h"

#include <QPointer>
#include <QString>
#include <QWidget>

namespace tkl {

/// The operator's side of Prompts: Qt's file dialogs and message boxes, modal to the
/// main window.
class QtPrompts : public Prompts
{
public:
    explicit QtPrompts(QWidget *parent = nullptr);

    /// The window the dialogs are modal to; may be set after construction.
    void setParentWidget(QWidget *parent) { m_parent = parent; }

    /// "Screen layout (*.txt)|*.txt" -> "Screen layout (*.txt)": description and pattern
    /// pairs separated by "|" become Qt's "description (patterns)" entries joined by ";;".
    /// The patterns after each "|" are the ones that count, so a description that names
    /// other patterns in parentheses has them replaced.
    static QString toQtFilter(const QString &filter);

    /// The name a dialog offers: the caller's when it gives one, else the last name any
    /// of these dialogs returned.
    QString offeredFileName(const QString &lastFileName) const;

    std::optional<QString> askSaveFileName(const QString &filter, const QString &defaultSuffix,
                                           const QString &lastFileName) override;
    std::optional<QString> askOpenFileName(const QString &filter, const QString &defaultSuffix,
                                           const QString &lastFileName) override;
    void showMessage(const QString &title, const QString &text, Icon icon) override;
    Answer askYesNoCancel(const QString &title, const QString &text) override;
    bool askYesNo(const QString &title, const QString &text) override;
    bool askGoOn(const QString &title, const QString &text, const QString &action) override;

private:
    std::optional<QString> askFileName(bool save, const QString &filter, const QString &defaultSuffix,
                                       const QString &lastFileName);

    QPointer<QWidget> m_parent;
    QString m_lastFileName;
};

} // namespace tkl
