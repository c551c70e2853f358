#include "LayoutFile.h"

#include "LayoutWriter.h"
#include "model/WholeFileSave.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tkl {

Result<void, LayoutError> saveLayoutFile(const QString &path, const LayoutData &layout)
{
    // Refuse before touching the disk, so a refused layout leaves the old file alone.
    const Result<QByteArray, LayoutError> bytes = LayoutWriter::toBytes(layout);
    if (!bytes.ok())
        return bytes.error();

    const QString shown = QDir::toNativeSeparators(path);
    if (QFileInfo(path).isDir())
        return LayoutError::general(QStringLiteral("\"%1\" is a folder; the layout needs a file name").arg(shown));

    if (const Result<void> saved = saveWholeFile(path, *bytes); !saved.ok())
        return LayoutError::general(
            QStringLiteral("The layout cannot be saved as \"%1\": %2").arg(shown, saved.error().message));
    return {};
}

Result<LayoutData, LayoutError> readLayoutFile(const QString &path)
{
    const QString shown = QDir::toNativeSeparators(path);
    const QFileInfo info(path);
    if (!info.exists())
        return LayoutError::general(QStringLiteral("The file \"%1\" does not exist").arg(shown));
    if (info.isDir())
        return LayoutError::general(QStringLiteral("\"%1\" is a folder, not a layout file").arg(shown));
    // Devices and pipes could block or never end.
    if (!info.isFile())
        return LayoutError::general(QStringLiteral("\"%1\" is not a regular file").arg(shown));

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return LayoutError::general(QStringLiteral("The file \"%1\" cannot be opened: %2").arg(shown, file.errorString()));
    Result<LayoutData, LayoutError> result = LayoutReader::read(file);
    if (file.error() != QFileDevice::NoError)
        return LayoutError::general(QStringLiteral("The file \"%1\" cannot be read: %2").arg(shown, file.errorString()));
    return result;
}

} // namespace tkl
