#pragma once

#include "model/Result.h"

#include <QByteArray>
#include <QString>

namespace tkl {

/// Replaces the file at `path` by `bytes`, but only once all of them are on disk: they
/// are written beside the file and renamed over it. On any failure (a full disk, a file
/// size limit, no right to write) an existing file stays as it was and nothing is left
/// beside it. On failure the message is the system's reason.
Result<void> saveWholeFile(const QString &path, const QByteArray &bytes);

} // namespace tkl
