#include "app/AppSession.h"
#include "ui/WindowLook.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>

#include <QList>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char *const Usage =
    "Usage: tkledit [LAYOUT]\n"
    "\n"
    "Designs printer tickets (fixed text with fields bound to network variables) and\n"
    "downloads them into the printing devices of a process network.\n"
    "\n"
    "  LAYOUT         a layout file to open at start-up, as Open would\n"
    "  -h, --help     this text\n"
    "  --version      the program's version\n"
    "\n"
    "Keys: Ctrl+N new, Ctrl+O open, Ctrl+S save, Ctrl+Q exit, F1 help, F5 preview.\n"
    "\n"
    "Environment:\n"
    "  TKL_NETWORK       the network description to use instead of\n"
    "                    ~/.config/tkledit/network.json or the built-in sample\n"
    "  TKL_DEVICE_STORE  the file the simulated devices keep their contents in\n"
    "  TKL_LOCK_WAIT     seconds to wait while other programs use that file\n"
    "                    (default 30; 0 tries once)\n"
    "\n"
    "See also tklcli(1), the command-line tool.\n";

// The window system's own messages while the application starts, kept back so that a
// missing display is said in one line of ours instead of the plugin loader's
// paragraphs and an abort.
struct HeldMessage
{
    QtMsgType type;
    const char *file;
    int line;
    const char *function;
    const char *category;
    QString text;
};
QList<HeldMessage> heldBack;

void startupMessage(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type != QtFatalMsg) {
        heldBack.append({type, context.file, context.line, context.function, context.category, text});
        return;
    }
    const QByteArray display = qgetenv("DISPLAY");
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    QByteArray what;
    if (!platform.isEmpty() && platform != "xcb" && platform != "wayland")
        what = "the window system \"" + platform + "\" (QT_QPA_PLATFORM) cannot be used";
    else if (display.isEmpty() && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        what = "no display: DISPLAY is not set";
    else
        what = "the display \"" + display + "\" cannot be reached";
    std::fprintf(stderr,
                 "tkledit: %s; start it on a desktop, under xvfb-run, or with "
                 "QT_QPA_PLATFORM=offscreen for a look without a window\n",
                 what.constData());
    std::_Exit(1);
}

} // namespace

int main(int argc, char *argv[])
{
    // Answered before the window system is reached, so that they work without a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0)
            break;
        if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("tkledit %s\n", TKL_VERSION);
            return 0;
        }
    }

    const QtMessageHandler previous = qInstallMessageHandler(startupMessage);
    QApplication app(argc, argv);
    qInstallMessageHandler(previous);
    for (const HeldMessage &m : heldBack) {
        const QMessageLogger logger(m.file, m.line, m.function, m.category);
        switch (m.type) {
        case QtDebugMsg: logger.debug("%s", qUtf8Printable(m.text)); break;
        case QtInfoMsg: logger.info("%s", qUtf8Printable(m.text)); break;
        case QtWarningMsg: logger.warning("%s", qUtf8Printable(m.text)); break;
        default: logger.critical("%s", qUtf8Printable(m.text)); break;
        }
    }
    heldBack.clear();
    QApplication::setApplicationName(QStringLiteral("tkledit"));
    QApplication::setApplicationVersion(QStringLiteral(TKL_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.tkledit.TicketLayoutEditor"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/io.github.tkledit.TicketLayoutEditor.svg")));
    tkl::installFontSubstitutions();

    // What is left once Qt has taken its own options (-platform and the like).
    tkl::AppSession::Options options;
    bool optionsEnd = false;
    for (const QString &arg : QApplication::arguments().mid(1)) {
        if (!optionsEnd && arg == u"--") {
            optionsEnd = true;
        } else if (!optionsEnd && arg.startsWith(u'-') && arg.size() > 1) {
            std::fprintf(stderr, "tkledit: unknown option \"%s\" (see tkledit --help)\n", qPrintable(arg));
            return 2;
        } else if (!options.layoutFile.isEmpty()) {
            std::fprintf(stderr, "tkledit: one layout file at a time (see tkledit --help)\n");
            return 2;
        } else {
            options.layoutFile = QFileInfo(arg).absoluteFilePath();
        }
    }
    return tkl::AppSession::run(std::move(options), &tkl::AppSession::reportStartFailure);
}
