#include "LayoutFile.h"

#include "LayoutWriter.h"
#include "model/WholeFileSave.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tkl {

namespace {

LayoutReadResult failed(const QString &message)
{
    return {std::nullopt, LayoutError::general(message)};
}

} // namespace

std::optional<LayoutError> saveLayoutFile(const QString &path, const LayoutData &layout)
{
    // Refuse before touching the disk, so a refused layout leaves the old file alone.
    QByteArray bytes;
    if (auto e = LayoutWriter::toBytes(layout, bytes))
        return e;

    const QString shown = QDir::toNativeSeparators(path);
    if (QFileInfo(path).isDir())
        return LayoutError::general(QStringLiteral("\"%1\" is a folder; the layout needs a file name").arg(shown));

    if (const auto why = saveWholeFile(path, bytes))
        return LayoutError::general(QStringLiteral("The layout cannot be saved as \"%1\": %2").arg(shown, *why));
    return std::nullopt;
}

LayoutReadResult readLayoutFile(const QString &path)
{
    const QString shown = QDir::toNativeSeparators(path);
    const QFileInfo info(path);
    if (!info.exists())
        return failed(QStringLiteral("The file \"%1\" does not exist").arg(shown));
    if (info.isDir())
        return failed(QStringLiteral("\"%1\" is a folder, not a layout file").arg(shown));
    // Devices and pipes could block or never end.
    if (!info.isFile())
        return failed(QStringLiteral("\"%1\" is not a regular file").arg(shown));

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return failed(QStringLiteral("The file \"%1\" cannot be opened: %2").arg(shown, file.errorString()));
    LayoutReadResult result = LayoutReader::read(file);
    if (file.error() != QFileDevice::NoError)
        return failed(QStringLiteral("The file \"%1\" cannot be read: %2").arg(shown, file.errorString()));
    return result;
}

} // namespace tkl
