// The checksum XMODEM receiver on its own, and the upgrade verdicts that follow a transfer.

#include "modem_bench.h"

#include <gtest/gtest.h>

namespace q86sim::test {
namespace {

const char kAck = 0x06;
const char kNak = 0x15;
const char kCan = 0x18;

std::string block(int number, const std::string& payload, std::size_t size = 128, bool breakSum = false) {
    std::string b(1, size == 128 ? '\x01' : '\x02');
    b += static_cast<char>(number & 0xFF);
    b += static_cast<char>(255 - (number & 0xFF));
    std::string data = payload.substr(0, size);
    data.resize(size, '\x1a');
    unsigned char sum = 0;
    for (char c : data) {
        sum = static_cast<unsigned char>(sum + static_cast<unsigned char>(c));
    }
    b += data;
    b += static_cast<char>(breakSum ? sum + 1 : sum);
    return b;
}

std::string feed(XmodemReceiver& r, const std::string& bytes, Millis now = 0) {
    std::string out;
    for (char c : bytes) {
        out += r.receive(static_cast<unsigned char>(c), now);
    }
    return out;
}

TEST(XmodemReceiver, CallsTheSenderUntilItStarts) {
    XmodemReceiver r;
    XmodemReceiver::Knobs k;
    k.maxStartNaks = 3;
    r.start(0, k);
    EXPECT_EQ(r.tick(100), "");
    EXPECT_EQ(r.tick(300), std::string(1, kNak));
    EXPECT_EQ(r.tick(800), "");
    EXPECT_EQ(r.tick(1300), std::string(1, kNak));
    EXPECT_EQ(r.tick(2300), std::string(1, kNak));
    EXPECT_EQ(r.tick(3300), "");
    EXPECT_EQ(r.state(), XmodemReceiver::State::Failed);
}

TEST(XmodemReceiver, BlocksAckedNakedAndRepeated) {
    struct Step {
        const char* what;
        std::string bytes;
        std::string reply;
    };
    const std::string a(128, 'a');
    const std::string b(1024, 'b');
    const std::vector<Step> steps = {
        {"noise before the first block", "at*upg\r\n", ""},
        {"good block 1", block(1, a), std::string(1, kAck)},
        {"damaged block 2", block(2, a, 128, true), std::string(1, kNak)},
        {"block 2 again, 1K", block(2, b, 1024), std::string(1, kAck)},
        {"block 2 repeated", block(2, b, 1024), std::string(1, kAck)},
        {"end", "\x04", std::string(1, kAck)},
    };
    XmodemReceiver r;
    r.start(0, {});
    for (const Step& s : steps) {
        EXPECT_EQ(feed(r, s.bytes), s.reply) << s.what;
    }
    EXPECT_EQ(r.state(), XmodemReceiver::State::Done);
    EXPECT_EQ(r.data(), a + b);
    EXPECT_EQ(r.blocks(), 2);
}

TEST(XmodemReceiver, LostBlockCancels) {
    XmodemReceiver r;
    r.start(0, {});
    feed(r, block(1, "x"));
    EXPECT_EQ(feed(r, block(3, "x")), std::string(3, kCan));
    EXPECT_EQ(r.state(), XmodemReceiver::State::Failed);
}

TEST(XmodemReceiver, SenderCancelAndHalfBlockTimeout) {
    XmodemReceiver r;
    r.start(0, {});
    const std::string half = block(1, "x").substr(0, 50);
    feed(r, half, 10);
    EXPECT_EQ(r.tick(500), "");
    EXPECT_EQ(r.tick(1010), std::string(1, kNak));
    EXPECT_EQ(feed(r, block(1, "x"), 1100), std::string(1, kAck));
    feed(r, std::string(2, kCan), 1200);
    EXPECT_EQ(r.state(), XmodemReceiver::State::Failed);
}

TEST(XmodemReceiver, KnobsNakOnceAndCancelAt) {
    XmodemReceiver::Knobs k;
    k.nakBlockOnce = 2;
    XmodemReceiver r;
    r.start(0, k);
    EXPECT_EQ(feed(r, block(1, "1") + block(2, "2")), std::string(1, kAck) + kNak);
    EXPECT_EQ(feed(r, block(2, "2")), std::string(1, kAck));

    k = {};
    k.cancelAtBlock = 2;
    r.start(0, k);
    EXPECT_EQ(feed(r, block(1, "1") + block(2, "2")), std::string(1, kAck) + std::string(3, kCan));
}

std::string image(int modelHigh, const std::string& payload, bool breakSum = false) {
    std::string h(128, '\0');
    h[0] = 4;
    h[1] = 4;
    h[2] = static_cast<char>(modelHigh);
    h[3] = 1;
    uint32_t sum = 0;
    uint32_t complement = 0;
    for (char c : payload) {
        sum += static_cast<unsigned char>(c);
        complement += 255u - static_cast<unsigned char>(c);
    }
    if (breakSum) {
        ++sum;
    }
    auto put = [&h](std::size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            h[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
        }
    };
    put(8, static_cast<uint32_t>(payload.size()));
    put(12, sum);
    put(16, complement);
    return h + payload;
}

std::string sendFile(Bench& b, const std::string& file) {
    std::string out;
    for (std::size_t at = 0, n = 1; at < file.size(); at += 128, ++n) {
        out += b.send(block(static_cast<int>(n), file.substr(at, 128)), 1);
    }
    out += b.send("\x04", 3000);
    return out;
}

TEST(ModemUpgrade, VerdictFollowsTheImage) {
    struct Case {
        const char* what;
        Model model;
        int imageModel;
        bool breakSum;
        const char* verdict;
    };
    const std::string payload(300, '\x5a');
    for (const Case& c : {Case{"good image", Model::Q8690I, 0, false, "Setup OK"},
                          Case{"other model's image", Model::Q8690I, 1, false, "mis-match"},
                          Case{"Q8630 image", Model::Q8630, 1, false, "Setup OK"},
                          Case{"bad sum", Model::Q8690I, 0, true, "Upgrade Failed"}}) {
        Scenario s = quiet();
        s.model = c.model;
        Bench b(s);
        b.cmd("at*upg", 400);
        EXPECT_EQ(b.take(), "");
        EXPECT_EQ(b.modem.mode(), Modem::Mode::Xmodem) << c.what;
        const std::string out = sendFile(b, image(c.imageModel, payload, c.breakSum));
        EXPECT_NE(out.find(c.verdict), std::string::npos) << c.what << ": " << out;
        EXPECT_EQ(b.modem.mode(), Modem::Mode::Command);
        EXPECT_EQ(b.modem.firmwareVersion(), std::string(c.verdict) == "Setup OK" ? "2.1.0" : "2.0.3")
            << c.what;
    }
}

std::string complemented(std::string bytes) {
    for (char& c : bytes)
        c = static_cast<char>(~static_cast<unsigned char>(c));
    return bytes;
}

// The download of an old firmware: the complemented payload of an image.
std::string download(Model model, std::size_t payload = 300) {
    return complemented(MakeFirmwareImage(model, payload).substr(128));
}

TEST(ModemUpgrade, OldFirmwareInstallsAtTheFactoryReset) {
    Scenario s = quiet();
    s.firmwareVersion = "1.0.1";
    Bench b(s);
    b.cmd("at+wopen=0");
    b.cmd("at+wdwl", 400);
    sendFile(b, download(Model::Q8690I));
    EXPECT_EQ(b.modem.mode(), Modem::Mode::Command);
    EXPECT_EQ(b.cmd("at+cfun=1", 1000), "\r\nOK\r\n");
    b.cmd("at+wopen=1");
    const std::string out = b.cmd("at*default", 5000);
    const auto grading = out.find("grading");
    const auto storing = out.find("storing");
    const auto up = out.find("up OK");
    ASSERT_NE(grading, std::string::npos) << out;
    EXPECT_LT(grading, storing);
    EXPECT_LT(storing, up);
    EXPECT_EQ(b.modem.firmwareVersion(), "2.1.0");
}

struct DownloadRow {
    const char* name;
    std::function<std::string()> bytes;
    UpgradeVerdict verdict;
    const char* says;
};

const DownloadRow DownloadRows[] = {
    {"ItsModelsPayloadComplemented", [] { return download(Model::Q8690I, 2000); }, UpgradeVerdict::FromImage,
     "up OK"},
    {"TheOtherModels", [] { return download(Model::Q8630); }, UpgradeVerdict::FromImage, "mis-match"},
    {"NotComplemented", [] { return MakeFirmwareImage(Model::Q8690I, 300).substr(128); },
     UpgradeVerdict::FromImage, "ad Failed"},
    {"TheWholeImageComplemented", [] { return complemented(MakeFirmwareImage(Model::Q8690I, 300)); },
     UpgradeVerdict::FromImage, "ad Failed"},
    {"OneByteChanged",
     [] {
         std::string d = download(Model::Q8690I);
         d[200] = static_cast<char>(d[200] ^ 1);
         return d;
     },
     UpgradeVerdict::FromImage, "ad Failed"},
    {"CutShort", [] { return download(Model::Q8690I, 1000).substr(0, 512); }, UpgradeVerdict::FromImage,
     "ad Failed"},
    {"ScriptedFailureOfAGoodDownload", [] { return download(Model::Q8690I); }, UpgradeVerdict::Failed,
     "ad Failed"},
    {"ScriptedMisMatch", [] { return download(Model::Q8690I); }, UpgradeVerdict::MisMatch, "mis-match"},
    {"ScriptedSuccessOfAnyDownload", [] { return std::string(128, '\x11'); }, UpgradeVerdict::Success,
     "up OK"},
};

class OldFirmwareDownload : public testing::TestWithParam<DownloadRow> {};

TEST_P(OldFirmwareDownload, MustBeTheComplementedPayloadOfItsModel) {
    const DownloadRow& c = GetParam();
    Scenario s = quiet();
    s.firmwareVersion = "1.0.1";
    s.verdict = c.verdict;
    Bench b(s);
    b.cmd("at+wdwl", 400);
    sendFile(b, c.bytes());
    const std::string out = b.cmd("at*default", 5000);
    EXPECT_NE(out.find(c.says), std::string::npos) << out;
    const bool installed = std::string(c.says) == "up OK";
    EXPECT_EQ(b.modem.firmwareVersion(), installed ? "2.1.0" : "1.0.1");
}

INSTANTIATE_TEST_SUITE_P(ModemUpgrade, OldFirmwareDownload, testing::ValuesIn(DownloadRows),
                         [](const testing::TestParamInfo<DownloadRow>& i) {
                             return std::string(i.param.name);
                         });

TEST(ModemUpgrade, CancelledTransferReturnsToCommandMode) {
    Scenario s = quiet();
    s.xmodemCancelAtBlock = 1;
    Bench b(s);
    b.cmd("at*upg", 400);
    b.take();
    const std::string out = b.send(block(1, "x"), 1500);
    EXPECT_EQ(out.substr(0, 3), std::string(3, kCan));
    EXPECT_NE(out.find("ERROR"), std::string::npos);
    EXPECT_EQ(b.cmd("at"), "\r\nOK\r\n");
}

} // namespace
} // namespace q86sim::test
