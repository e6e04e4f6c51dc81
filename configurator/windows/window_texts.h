#pragma once
// Texts shared by several windows of the configurator.

#include <QString>

namespace texts {

inline const QString ProgramTitle = QStringLiteral("Vantro Configurator");
inline const QString CallerFirst = QStringLiteral("Please fill in Caller No. 1 first.");
inline const QString TargetFirst = QStringLiteral("Please fill in Target No. 1 first.");

} // namespace texts
