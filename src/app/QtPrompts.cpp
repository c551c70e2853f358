#include "QtPrompts.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>

namespace tkl {

namespace {

// The program's texts separate lines with CR LF; a message box wants plain line feeds.
QString displayText(QString text)
{
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

} // namespace

QtPrompts::QtPrompts(QWidget *parent)
    : m_parent(parent)
{
}

QString QtPrompts::toQtFilter(const QString &filter)
{
    const QStringList parts = filter.split(u'|');
    QStringList entries;
    for (qsizetype i = 0; i < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        const QString patterns = i + 1 < parts.size() ? parts[i + 1].trimmed() : QString();
        if (patterns.isEmpty()) {
            if (!description.isEmpty())
                entries.append(description);
            continue;
        }
        // Qt reads the patterns from the parentheses, so they must be the real ones.
        static const QRegularExpression trailingParens(QStringLiteral("\\s*\\([^()]*\\)\\s*$"));
        description.remove(trailingParens);
        QString qtPatterns = patterns;
        qtPatterns.replace(u';', u' ');
        qtPatterns = qtPatterns.simplified();
        entries.append(description.isEmpty() ? qtPatterns : description + QStringLiteral(" (") + qtPatterns + u')');
    }
    return entries.join(QStringLiteral(";;"));
}

QString QtPrompts::offeredFileName(const QString &lastFileName) const
{
    return lastFileName.isEmpty() ? m_lastFileName : lastFileName;
}

std::optional<QString> QtPrompts::askFileName(bool save, const QString &filter, const QString &defaultSuffix,
                                              const QString &lastFileName)
{
    QFileDialog dialog(m_parent);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // The commands check the rest: Save asks itself before replacing another file (not
    // the layout's own), and Open reports a typed name that does not exist when reading.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    QString suffix = defaultSuffix;
    if (suffix.startsWith(u'.'))
        suffix.remove(0, 1);
    dialog.setDefaultSuffix(suffix);
    dialog.setNameFilter(toQtFilter(filter));
    const QString offered = offeredFileName(lastFileName);
    if (!offered.isEmpty())
        dialog.selectFile(offered);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.first().isEmpty())
        return std::nullopt;
    m_lastFileName = files.first();
    return m_lastFileName;
}

std::optional<QString> QtPrompts::askSaveFileName(const QString &filter, const QString &defaultSuffix,
                                                  const QString &lastFileName)
{
    return askFileName(true, filter, defaultSuffix, lastFileName);
}

std::optional<QString> QtPrompts::askOpenFileName(const QString &filter, const QString &defaultSuffix,
                                                  const QString &lastFileName)
{
    return askFileName(false, filter, defaultSuffix, lastFileName);
}

void QtPrompts::showMessage(const QString &title, const QString &text, Icon icon)
{
    QMessageBox::Icon boxIcon = QMessageBox::Information;
    switch (icon) {
    case Icon::Information:
        boxIcon = QMessageBox::Information;
        break;
    case Icon::Warning:
        boxIcon = QMessageBox::Warning;
        break;
    case Icon::Critical:
        boxIcon = QMessageBox::Critical;
        break;
    }
    QMessageBox box(boxIcon, title, displayText(text), QMessageBox::Ok, m_parent);
    box.exec();
}

Prompts::Answer QtPrompts::askYesNoCancel(const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::Critical, title, displayText(text),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, m_parent);
    box.setDefaultButton(QMessageBox::No);
    // Escape and the close button give the escape button: the command is cancelled.
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    default:
        return Answer::Cancel;
    }
}

bool QtPrompts::askYesNo(const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::Warning, title, displayText(text), QMessageBox::Yes | QMessageBox::No, m_parent);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

bool QtPrompts::askGoOn(const QString &title, const QString &text, const QString &action)
{
    QMessageBox box(QMessageBox::Warning, title, displayText(text), QMessageBox::NoButton, m_parent);
    QPushButton *goOn = box.addButton(action, QMessageBox::AcceptRole);
    QPushButton *cancel = box.addButton(QMessageBox::Cancel);
    // Going on is never what a stray Enter or Escape means.
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == goOn;
}

} // namespace tkl
