#include "modem.h"

namespace q86sim {

namespace {

uint32_t le32(const std::string& d, std::size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) {
        v = (v << 8) | static_cast<unsigned char>(d[at + static_cast<std::size_t>(i)]);
    }
    return v;
}

} // namespace

void Modem::installPendingUpgrade() {
    version_ = scenario_.upgradedVersion;
    ++upgrades_;
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
    if (v == UpgradeVerdict::FromImage) {
        const std::string& d = xmodem_.data();
        v = UpgradeVerdict::Failed;
        if (d.size() >= 128 && d[0] == 4 && d[1] == 4) {
            const int model = static_cast<unsigned char>(d[2]) * 256 + static_cast<unsigned char>(d[3]);
            const int mine = scenario_.model == Model::Q8690I ? 0x0001 : 0x0101;
            const uint64_t length = le32(d, 8);
            if (model != mine) {
                v = UpgradeVerdict::MisMatch;
            } else if (128 + length <= d.size()) {
                uint32_t sum = 0;
                uint32_t complement = 0;
                for (std::size_t i = 128; i < 128 + length; ++i) {
                    const auto b = static_cast<unsigned char>(d[i]);
                    sum += b;
                    complement += 255u - b;
                }
                if (sum == le32(d, 12) && complement == le32(d, 16)) {
                    v = UpgradeVerdict::Success;
                }
            }
        }
    }
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
