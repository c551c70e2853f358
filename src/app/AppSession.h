#pragma once

#include "model/Prompts.h"
#include "model/Result.h"

#include <QString>

#include <functional>
#include <memory>

namespace tkl {

class AutomationFactory;
class AutomationObject;
class MainWindow;
class ProcessNetwork;
class TicketModel;

/// One run of the editor: the network, the factory, SharedServer, the ticket model,
/// the prompts and the main window, created in the order start-up needs them and
/// destroyed in reverse.
class AppSession
{
public:
    struct Options
    {
        /// Where the network comes from; ProcessNetwork::load when empty.
        std::function<Result<std::unique_ptr<ProcessNetwork>>()> loadNetwork;
        /// Called with the factory before SharedServer is created (tests make it fail).
        std::function<void(AutomationFactory &)> prepareFactory;
        /// The operator's prompts; Qt's dialogs when empty.
        std::unique_ptr<Prompts> prompts;
        /// The program's folder; the executable's folder when empty.
        QString appFolder;
        /// A layout to open once the window is shown (the command line); none when empty.
        QString layoutFile;
    };

    /// Tells the operator why the program cannot start.
    using Report = std::function<void(const QString &text)>;

    ~AppSession();

    /// Loads the network and creates SharedServer ("KELM.PRO", "EnableExceptions"
    /// true), then the model and the main window, which is not shown yet. When the
    /// network or the server cannot be had, returns nothing and sets `error`; no
    /// window exists then.
    static std::unique_ptr<AppSession> start(Options options, QString *error);

    /// The program after its QApplication exists: start(), show the main window and
    /// run the event loop until the window is closed (or, without `runEventLoop`,
    /// return once it is shown). A failed start is reported through `report` and
    /// gives exit code 1.
    static int run(Options options, const Report &report, bool runEventLoop = true);

    /// Shows the main window, tells the operator of a damaged device memory, then
    /// opens the layout file of the options, if any, as Open would.
    void showWindow();

    /// A message box where there is a screen, and the standard error stream always.
    static void reportStartFailure(const QString &text);

    ProcessNetwork &network() const { return *m_network; }
    AutomationFactory &factory() const { return *m_factory; }
    AutomationObject &sharedServer() const { return *m_sharedServer; }
    TicketModel &model() const { return *m_model; }
    Prompts &prompts() const { return *m_prompts; }
    MainWindow &window() const { return *m_window; }

private:
    AppSession() = default;

    // Declared in creation order, so that the window goes first on destruction.
    std::unique_ptr<ProcessNetwork> m_network;
    std::unique_ptr<AutomationFactory> m_factory;
    std::unique_ptr<AutomationObject> m_sharedServer;
    std::unique_ptr<TicketModel> m_model;
    std::unique_ptr<Prompts> m_prompts;
    std::unique_ptr<MainWindow> m_window;
    QString m_layoutFile;
};

} // namespace tkl
