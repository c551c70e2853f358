#pragma once

#include "LayoutData.h"
#include "LayoutError.h"
#include "LayoutReader.h"
#include "model/Result.h"

#include <QString>

namespace tkl {

/// Stores `layout` at `path`, replacing the file only once the whole layout is on disk:
/// on any failure an existing file stays as it was. The error says why.
Result<void, LayoutError> saveLayoutFile(const QString &path, const LayoutData &layout);

/// Reads the layout file at `path`. A missing file, a folder, a file that is not a
/// regular file or cannot be read each get their own message.
Result<LayoutData, LayoutError> readLayoutFile(const QString &path);

} // namespace tkl
