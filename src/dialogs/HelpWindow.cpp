#include "HelpWindow.h"

#include <QFile>
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
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser);
    resize(640, 520);
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
    const QString title = m_browser->document()->metaInformation(QTextDocument::DocumentTitle);
    setWindowTitle(title.isEmpty() ? tr("Help") : title);
    show();
    raise();
    activateWindow();
    m_browser->scrollToAnchor(topicAnchor(topic));
    return true;
}

} // namespace tkl
