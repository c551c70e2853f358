#pragma once

#include <QString>

namespace tkl {

/// Where the program finds a file of its own (the help file, the eraser pointer):
/// beside the executable in `appFolder` first, as in the build tree or a copied
/// folder; then in the installed data folder, share/tkledit next to the executable's
/// bin folder; then in share/tkledit of the system's data folders. When none has it,
/// the path beside the executable, so that the caller's "missing file" rule applies.
QString findDataFile(const QString &appFolder, const QString &name);

} // namespace tkl
