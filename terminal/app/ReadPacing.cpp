#include "ReadPacing.h"

namespace halvic {

ReadPacing::Next ReadPacing::after(int brought) {
    using namespace std::chrono_literals;
    if (brought < 0)
        return {AfterFailure, true};
    if (brought == 0)
        return {0ms, true};
    return {brought >= Much ? 0ms : Gather, false};
}

} // namespace halvic
