// The receive pipeline: what reaches the detector, the capture and the screen, and in which order.
#include "receive_pipeline.h"
#include "test_support.h"

#include <future>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace terminal;
using namespace std::string_literals;

namespace {

const std::string Zrqinit = "**\x18"s + "B00000000000000";

// Records what it is given; the probe runs at each write.
class RecordingCapture : public CaptureSink {
public:
    void write(const uint8_t* data, size_t length) override {
        captured.append(reinterpret_cast<const char*>(data), length);
        if (probe)
            probe();
    }
    std::string captured;
    std::function<void()> probe;
};

struct Fixture {
    explicit Fixture(TerminalType type) {
        model->lock()->AllocScreenBuffer(80, 24, HistoryLines, type);
        model->lock()->setTranslations(LineEndTranslation::Unchanged, LineEndTranslation::Unchanged);
        pipeline.setOnZmodemHeader([this] { ++headers; });
    }
    std::string row(int r) {
        auto state = model->lock();
        const auto chars = state->rowChars(r);
        std::string s(chars.begin(), chars.end());
        return s.substr(0, s.find_last_not_of(' ') + 1);
    }
    std::shared_ptr<ScreenModel> model = std::make_shared<ScreenModel>();
    ReceivePipeline pipeline{model};
    int headers = 0;
};

TEST(ReceivePipeline, TextRunsAreScannedAndCapturedButSequencesAreNot) {
    Fixture f(TerminalType::Vt100);
    auto capture = std::make_shared<RecordingCapture>();
    f.pipeline.setCapture(capture);
    f.pipeline.setAutoDownload(true);
    SequenceRecogniser recogniser(termtest::shipped("vt100"));
    // The header's pad and ZDLE arrive split by a recognised sequence: the sequence is invisible to
    // the detector, so the header still counts.
    const std::string in = "ab\x1b[2;1H*"s + "*\x18"s + "B00000000000000";
    f.pipeline.terminalData(recogniser, termtest::bytes(in.substr(0, 9)), 9);
    f.pipeline.terminalData(recogniser, termtest::bytes(in.substr(9)), in.size() - 9);
    EXPECT_EQ(f.headers, 1);
    EXPECT_EQ(capture->captured, "ab"s + Zrqinit);
    EXPECT_EQ(f.row(0), "ab");
    EXPECT_EQ(f.row(1).substr(0, 2), "**");
}

TEST(ReceivePipeline, CaptureSeesARunBeforeTheScreenShowsIt) {
    Fixture f(TerminalType::Dumb);
    auto capture = std::make_shared<RecordingCapture>();
    std::vector<std::string> shownAtWrite;
    capture->probe = [&] { shownAtWrite.push_back(f.row(0) + "|" + f.row(1)); };
    f.pipeline.setCapture(capture);
    f.pipeline.rawData(termtest::bytes("one\r\n"), 5);
    f.pipeline.rawData(termtest::bytes("two"), 3);
    EXPECT_EQ(capture->captured, "one\r\ntwo");
    EXPECT_EQ(shownAtWrite, (std::vector<std::string>{"|", "one|"}));
    EXPECT_EQ(f.row(1), "two");
}

TEST(ReceivePipeline, TheCaptureFileIsWrittenOutsideTheScreensLock) {
    Fixture f(TerminalType::Ansi);
    auto capture = std::make_shared<RecordingCapture>();
    bool screenFree = false;
    // Another thread (the painting) reaches the screen while the capture writes.
    capture->probe = [&] {
        auto painting = std::async(std::launch::async, [&] { return f.row(0); });
        screenFree = painting.wait_for(std::chrono::seconds(2)) == std::future_status::ready;
        if (screenFree)
            painting.get();
    };
    f.pipeline.setCapture(capture);
    SequenceRecogniser recogniser(termtest::shipped("ansi"));
    const std::string in = "ab\x1b[2Jcd";
    f.pipeline.terminalData(recogniser, termtest::bytes(in), in.size());
    EXPECT_TRUE(screenFree);
    EXPECT_EQ(capture->captured, "abcd");
}

TEST(ReceivePipeline, DetectorRunsOnlyWhileAutoDownloadIsOn) {
    Fixture f(TerminalType::Dumb);
    f.pipeline.rawData(termtest::bytes(Zrqinit), Zrqinit.size());
    EXPECT_EQ(f.headers, 0);
    f.pipeline.setAutoDownload(true);
    f.pipeline.rawData(termtest::bytes(Zrqinit), Zrqinit.size());
    EXPECT_EQ(f.headers, 1);
    // Two headers in one block ask twice; the window decides what a second ask does.
    const std::string twice = Zrqinit + std::string(100, 'x') + Zrqinit;
    f.pipeline.ResetZmodemDetect();
    f.pipeline.rawData(termtest::bytes(twice), twice.size());
    EXPECT_EQ(f.headers, 3);
}

TEST(ReceivePipeline, ResetForgetsAHalfHeader) {
    Fixture f(TerminalType::Dumb);
    f.pipeline.setAutoDownload(true);
    f.pipeline.rawData(termtest::bytes(Zrqinit), 8);
    f.pipeline.ResetZmodemDetect();
    f.pipeline.rawData(termtest::bytes(Zrqinit.substr(8)), Zrqinit.size() - 8);
    EXPECT_EQ(f.headers, 0);
    f.pipeline.rawData(termtest::bytes(Zrqinit), Zrqinit.size());
    EXPECT_EQ(f.headers, 1);
}

TEST(ReceivePipeline, ScreenAnswersComeBackToTheCaller) {
    Fixture f(TerminalType::Vt100);
    SequenceRecogniser recogniser(termtest::shipped("vt100"));
    const std::string in = "\x1b[3;7H\x1b[6n";
    EXPECT_EQ(f.pipeline.terminalData(recogniser, termtest::bytes(in), in.size()), "\x1b[3;7R");
}

} // namespace
