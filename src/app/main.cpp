#include "app/AppSession.h"
#include "ui/EditorFont.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tkledit"));
    tkl::installFontSubstitutions();
    return tkl::AppSession::run({}, &tkl::AppSession::reportStartFailure);
}
