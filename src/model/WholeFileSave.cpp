#include "WholeFileSave.h"

#include <QSaveFile>

#include <cerrno>

namespace tkl {

Result<void> saveWholeFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return Failure{file.errorString()};
    // commit() does not notice when flushing its buffer failed (a full disk, a file
    // size limit) and would put a truncated file in place of the old one: flush and
    // check the size first.
    errno = 0;
    if (file.write(bytes) != bytes.size() || !file.flush() || file.size() != bytes.size()) {
        const int err = errno;
        // A failed flush leaves only "Unknown error" behind; the system's reason is better.
        QString why = file.errorString();
        if (file.error() == QFileDevice::NoError || why == QLatin1String("Unknown error"))
            why = err != 0 ? qt_error_string(err)
                           : QStringLiteral("only %1 of %2 bytes could be written").arg(file.size()).arg(bytes.size());
        file.cancelWriting();
        return Failure{why};
    }
    if (!file.commit())
        return Failure{file.errorString()};
    return {};
}

} // namespace tkl
