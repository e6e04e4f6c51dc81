#include "ReadPacing.h"

namespace halvic {

void ReadPacing::after(int brought, std::chrono::microseconds took) {
    using namespace std::chrono_literals;
    const bool full = brought >= size();
    const bool fastBefore = fast_;
    fast_ = next_.waiting ? full && took < Quick : brought >= Much;
    if (brought < 0)
        next_ = {AfterFailure, true};
    else if (brought == 0)
        next_ = {0ms, true};
    else if (full || brought >= Much)
        next_ = {0ms, false};
    else if (fastBefore)
        next_ = {0ms, true};
    else
        next_ = {Gather, false};
}

} // namespace halvic
