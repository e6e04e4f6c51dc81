#include "program_version.h"

#include "build_config.h"

namespace shell {

QString programVersion() {
    return QStringLiteral(BREL_VERSION);
}

} // namespace shell
