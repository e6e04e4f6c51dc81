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

void Modem::installOldFirmware(Millis now) {
    UpgradeVerdict v = scenario_.verdict;
    if (v == UpgradeVerdict::FromImage)
        v = verdictOf(CheckDownload(xmodem_.data(), scenario_.model));
    const int step = scenario_.upgradeStepMs;
    switch (v) {
    case UpgradeVerdict::Silent:
        return;
    case UpgradeVerdict::MisMatch:
        post(Action::pause(step));
        info("Firmware model mis-match");
        return;
    case UpgradeVerdict::Failed:
        post(Action::pause(step));
        info("Upgrading firmware");
        post(Action::pause(step));
        info("Download Failed");
        return;
    default:
        break;
    }
    post(Action::pause(step));
    info("Upgrading firmware");
    post(Action::pause(step));
    info("Restoring settings");
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
    const int step = scenario_.upgradeStepMs;
    switch (v) {
    case UpgradeVerdict::Success:
        post(Action::pause(step));
        info("Upgrading firmware");
        post(Action::pause(step));
        info("Restoring settings");
        post(Action::pause(step));
        info("Setup OK");
        installPendingUpgrade();
        break;
    case UpgradeVerdict::Failed:
        post(Action::pause(step));
        info("Upgrading firmware");
        post(Action::pause(step));
        info("Upgrade Failed");
        break;
    case UpgradeVerdict::MisMatch:
        post(Action::pause(step));
        info("Firmware model mis-match");
        break;
    default:
        break;
    }
}

} // namespace q86sim
