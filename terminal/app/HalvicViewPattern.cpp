// The port window's Send Pattern command.
#include "HalvicDoc.h"
#include "HalvicView.h"
#include "PatternSender.h"

namespace halvic {

void CHalvicView::OnSendPattern() {
    patterns_->SendPattern(doc_.activePort(), doc_.caption(), window());
}

} // namespace halvic
