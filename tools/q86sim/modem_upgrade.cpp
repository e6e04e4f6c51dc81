#include "firmware_image.h"
#include "modem.h"

namespace q86sim {

void Modem::installPendingUpgrade() {
    version_ = scenario_.upgradedVersion;
    ++upgrades_;
}

UpgradeVerdict Modem::verdictOf(FirmwareFit fit) {
    switch (fit) {
    case FirmwareFit::Fits:
        return UpgradeVerdict::Success;
    case FirmwareFit::OtherModel:
        return UpgradeVerdict::MisMatch;
    case FirmwareFit::Broken:
        break;
    }
    return UpgradeVerdict::Failed;
}

void Modem::verdictLines(std::initializer_list<const char*> lines) {
    size_t index = 0;
    for (const char* line : lines) {
        const bool second = index++ == 1;
        post(Action::pause(second && scenario_.upgradeSecondLineMs >= 0 ? scenario_.upgradeSecondLineMs
                                                                        : scenario_.upgradeStepMs));
        info(line);
    }
}

void Modem::installOldFirmware(Millis now) {
    UpgradeVerdict v = scenario_.verdict;
    if (v == UpgradeVerdict::FromImage)
        v = verdictOf(CheckDownload(xmodem_.data(), scenario_.model));
    switch (v) {
    case UpgradeVerdict::Silent:
        return;
    case UpgradeVerdict::MisMatch:
        verdictLines({"Firmware model mis-match"});
        return;
    case UpgradeVerdict::Failed:
        verdictLines({"Upgrading firmware", "Download Failed"});
        return;
    default:
        break;
    }
    verdictLines({"Upgrading firmware", "Restoring settings"});
    installPendingUpgrade();
    factoryReset(now);
}

void Modem::finishTransfer(Millis now) {
    mode_ = Mode::Command;
    lineBuf_.clear();
    if (xmodem_.state() == XmodemReceiver::State::Failed) {
        busyUntil_ = now + 1000; // let the rest of an abandoned transfer pass
        post(Action::pause(1000));
        error();
        return;
    }
    if (transfer_ == Transfer::OldFirmware) {
        oldImagePending_ = true; // installed by the next "at*default"
        return;
    }
    UpgradeVerdict v = scenario_.verdict;
    if (v == UpgradeVerdict::FromImage)
        v = verdictOf(CheckImage(xmodem_.data(), scenario_.model));
    switch (v) {
    case UpgradeVerdict::Success:
        verdictLines({"Upgrading firmware", "Restoring settings", "Setup OK"});
        installPendingUpgrade();
        break;
    case UpgradeVerdict::Failed:
        verdictLines({"Upgrading firmware", "Upgrade Failed"});
        break;
    case UpgradeVerdict::MisMatch:
        verdictLines({"Firmware model mis-match"});
        break;
    default:
        break;
    }
}

} // namespace q86sim
