#include "LayoutFile.h"

#include "LayoutWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>

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

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return LayoutError::general(QStringLiteral("The layout cannot be saved as \"%1\": %2").arg(shown, file.errorString()));
    // commit() does not notice when flushing its buffer failed (a full disk, a file
    // size limit) and would put a truncated file in place of the old one: flush and
    // check the size ourselves first.
    errno = 0;
    if (file.write(bytes) != bytes.size() || !file.flush() || file.size() != bytes.size()) {
        const int err = errno;
        // A failed flush leaves only "Unknown error" behind; the system's reason is better.
        QString why = file.errorString();
        if (file.error() == QFileDevice::NoError || why == QLatin1String("Unknown error"))
            why = err != 0 ? qt_error_string(err)
                           : QStringLiteral("only %1 of %2 bytes could be written").arg(file.size()).arg(bytes.size());
        file.cancelWriting();
        return LayoutError::general(QStringLiteral("The layout cannot be saved as \"%1\": %2").arg(shown, why));
    }
    if (!file.commit())
        return LayoutError::general(QStringLiteral("The layout cannot be saved as \"%1\": %2").arg(shown, file.errorString()));
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
