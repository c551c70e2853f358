#pragma once

#include <QString>

namespace tkl {

/// The program's name as its windows and message boxes show it.
inline const QString ProgramTitle = QStringLiteral("Dodurev Ezuzez Avedur");

} // namespace tkl
