// Commands whose windows are still to come: each says so rather than doing nothing.
#include "HalvicDoc.h"
#include "HalvicView.h"
#include "messenger.h"

namespace halvic {

namespace {

void notAvailableYet(const CHalvicDoc& doc, const QString& command) {
    gui::messenger().show(doc.caption(), QStringLiteral("%1 is not available yet.").arg(command),
                          gui::Icon::Information);
}

} // namespace

void CHalvicView::OnFileTransfer() {
    notAvailableYet(doc_, QStringLiteral("File Transfer"));
}

} // namespace halvic
