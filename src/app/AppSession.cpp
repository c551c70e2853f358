#include "AppSession.h"

#include "MainWindow.h"
#include "QtPrompts.h"
#include "network/NetworkFactory.h"
#include "network/ProcessNetwork.h"
#include "model/TicketModel.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>

#include <cstdio>

namespace tkl {

AppSession::~AppSession() = default;

std::unique_ptr<AppSession> AppSession::start(Options options, QString *error)
{
    std::unique_ptr<AppSession> session(new AppSession);

    auto network = options.loadNetwork ? options.loadNetwork() : ProcessNetwork::load();
    if (!network.ok() || !network.value()) {
        if (error) {
            const QString why = network.error().message;
            *error = QStringLiteral("The process network description cannot be used:\n%1")
                         .arg(why.isEmpty() ? QStringLiteral("no network") : why);
        }
        return nullptr;
    }
    session->m_network = std::move(network).value();

    session->m_factory = std::make_unique<NetworkFactory>(*session->m_network);
    if (options.prepareFactory)
        options.prepareFactory(*session->m_factory);
    try {
        session->m_sharedServer = session->m_factory->create(AutomationFactory::ServerProgId);
        session->m_sharedServer->setProperty(QStringLiteral("EnableExceptions"), true);
    } catch (const AutomationError &e) {
        if (error) {
            *error = QStringLiteral("The process-network server \"%1\" cannot be created:\n%2")
                         .arg(AutomationFactory::ServerProgId, e.text());
        }
        return nullptr;
    }

    const QString appFolder = options.appFolder.isEmpty() ? QCoreApplication::applicationDirPath()
                                                          : options.appFolder;
    session->m_model = std::make_unique<TicketModel>();
    if (options.prompts)
        session->m_prompts = std::move(options.prompts);
    else
        session->m_prompts = std::make_unique<QtPrompts>();
    session->m_window = std::make_unique<MainWindow>(*session->m_model, *session->m_network,
                                                     *session->m_factory, *session->m_sharedServer,
                                                     *session->m_prompts, appFolder);
    if (auto *qtPrompts = dynamic_cast<QtPrompts *>(session->m_prompts.get()))
        qtPrompts->setParentWidget(session->m_window.get());
    session->m_layoutFile = options.layoutFile;
    return session;
}

int AppSession::run(Options options, const Report &report, bool runEventLoop)
{
    QString error;
    const std::unique_ptr<AppSession> session = start(std::move(options), &error);
    if (!session) {
        if (report)
            report(error);
        return 1;
    }
    QObject::connect(&session->window(), &MainWindow::closed, qApp, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    session->showWindow();
    if (!runEventLoop)
        return 0;
    return QApplication::exec();
}

void AppSession::showWindow()
{
    m_window->show();
    // Downloads still work with a damaged device memory; the operator should know.
    if (!m_network->storeWarning().isEmpty()) {
        m_prompts->showMessage(MainWindow::MessageTitle, m_network->storeWarning(), Prompts::Icon::Warning);
        m_network->clearStoreWarning();
    }
    if (!m_layoutFile.isEmpty())
        m_window->openLayoutFile(m_layoutFile);
}

void AppSession::reportStartFailure(const QString &text)
{
    std::fprintf(stderr, "tkledit: %s\n", qPrintable(text));
    const QString platform = QGuiApplication::platformName();
    if (platform != QLatin1String("offscreen") && platform != QLatin1String("minimal"))
        QMessageBox::critical(nullptr, MainWindow::MessageTitle, text);
}

} // namespace tkl
