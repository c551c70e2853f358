#include "DataFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#ifndef TKL_DATA_FROM_BINDIR
#define TKL_DATA_FROM_BINDIR "../share/tkledit"
#endif

namespace tkl {

QString findDataFile(const QString &appFolder, const QString &name)
{
    const QString beside = QDir(appFolder).filePath(name);
    if (QFileInfo(beside).isFile())
        return beside;
    // Relative to the executable, so that an installation under any prefix finds its own.
    const QString installed =
        QDir::cleanPath(QDir(appFolder).filePath(QStringLiteral(TKL_DATA_FROM_BINDIR "/") + name));
    if (QFileInfo(installed).isFile())
        return installed;
    const QString system =
        QStandardPaths::locate(QStandardPaths::GenericDataLocation, QStringLiteral("tkledit/") + name);
    return system.isEmpty() ? beside : system;
}

} // namespace tkl
