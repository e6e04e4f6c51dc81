// The port window's Capture command: the capture file of its transfer settings, appended to.
#include "CaptureSink.h"
#include "HalvicDoc.h"
#include "HalvicView.h"

#include <cstring>

namespace halvic {

bool CHalvicView::capturing() const {
    return capture_->capturing();
}

void CHalvicView::OnCapture() {
    if (capture_->capturing()) {
        capture_->stop();
        return;
    }
    const auto& name = doc_.transferSettings.captureFileName;
    capture_->start(std::string(name.data(), strnlen(name.data(), name.size())));
}

} // namespace halvic
