#include "HelpWindow.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QPushButton>
#include <QKeyEvent>
#include <QTextBrowser>
#include <QTextDocument>
#include <QVBoxLayout>

namespace tkl {

HelpWindow::HelpWindow(QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_browser(new QTextBrowser(this))
{
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(tr("Help"));
    m_browser->setObjectName(QStringLiteral("helpBrowser"));
    m_browser->setOpenExternalLinks(false);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->setObjectName(QStringLiteral("helpButtons"));
    buttons->button(QDialogButtonBox::Close)->setObjectName(QStringLiteral("helpClose"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QWidget::close);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 6);
    layout->addWidget(m_browser);
    auto *row = new QHBoxLayout;
    row->setContentsMargins(6, 0, 6, 0);
    row->addWidget(buttons);
    layout->addLayout(row);
    resize(640, 520);
}

void HelpWindow::keyPressEvent(QKeyEvent *event)
{
    // As a dialog does: Escape closes the window.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

QString HelpWindow::topicAnchor(int topic)
{
    return QStringLiteral("topic") + QString::number(topic);
}

bool HelpWindow::showTopic(const QString &helpFile, int topic)
{
    QFile file(helpFile);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return false;

    m_browser->setHtml(QString::fromUtf8(bytes));
    m_browser->setFocus();
    const QString title = m_browser->document()->metaInformation(QTextDocument::DocumentTitle);
    setWindowTitle(title.isEmpty() ? tr("Help") : title);
    show();
    raise();
    activateWindow();
    m_browser->scrollToAnchor(topicAnchor(topic));
    return true;
}

} // namespace tkl
