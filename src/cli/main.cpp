#include "cli/CliApp.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // The editor's name: the same configuration folder, so the same network and devices.
    QCoreApplication::setApplicationName(QStringLiteral("tkledit"));
    return tkl::cli::CliApp::run(QCoreApplication::arguments().mid(1));
}
