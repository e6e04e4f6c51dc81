#include "capability_names.h"

namespace terminal {

namespace {

template <size_t N>
int indexIn(const std::array<std::string_view, N>& names, std::string_view name) {
    for (size_t i = 0; i < N; ++i) {
        if (names[i] == name)
            return static_cast<int>(i);
    }
    return -1;
}

} // namespace

int capabilityIndex(std::string_view name) {
    return indexIn(CapabilityNames, name);
}

int keyIndex(std::string_view name) {
    return indexIn(KeyNames, name);
}

} // namespace terminal
