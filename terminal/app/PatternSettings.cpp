#include "PatternSettings.h"

namespace halvic {

namespace {
PatternSettings settings;
}

PatternSettings& patternSettings() {
    return settings;
}

void resetPatternSettings() {
    settings = PatternSettings{};
}

} // namespace halvic
