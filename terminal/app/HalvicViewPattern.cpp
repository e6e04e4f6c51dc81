// The port window's Send Pattern command.
#include "HalvicDoc.h"
#include "HalvicView.h"
#include "PatternSender.h"

#include <cstring>

namespace halvic {

void CHalvicView::OnSendPattern() {
    const auto& name = doc_.portSettings.portName;
    const QString portName = QString::fromLatin1(name.data(), qsizetype(strnlen(name.data(), name.size())));
    patterns_->SendPattern(doc_.activePort(), portName, window());
}

} // namespace halvic
