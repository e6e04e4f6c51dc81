#pragma once
// The build's version, as the top CMakeLists.txt gives it.

#include <QString>

namespace shell {

QString programVersion();

} // namespace shell
