#include "HalvicSettings.h"

namespace halvic {

std::unique_ptr<QSettings> HalvicSettings() {
    auto settings = std::make_unique<QSettings>(QStringLiteral("Brel"), QStringLiteral("Halvic"));
    settings->beginGroup(QStringLiteral("2.0"));
    return settings;
}

} // namespace halvic
