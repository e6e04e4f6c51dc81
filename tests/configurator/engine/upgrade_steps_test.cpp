// The pieces both firmware-upgrade paths share: the download file, the progress steps and the
// search of the modem's replies.
#include "engine_view.h"
#include "firmware_download.h"
#include "pty_pair.h"
#include "seriallib.h"
#include "upgrade_steps.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

class DownloadFile : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/download-file-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root = pattern;
        docs = root / "Documents";
        fs::create_directory(docs);
        // An image header (not examined here) and a payload of every byte value and then some.
        image = std::string(128, 'h');
        for (int i = 0; i < 2500; ++i)
            payload += char((i * 37 + 5) & 0xFF);
        image += payload;
        writeFile(root / "fw.img", image);
        for (char c : payload)
            checksum += 255u - static_cast<unsigned char>(c);
    }
    void TearDown() override { fs::remove_all(root); }

    int convert(std::uint32_t sum, std::string& path, std::int64_t size = -1) {
        return WriteDownloadFile((root / "fw.img").string(), size < 0 ? std::int64_t(image.size()) : size,
                                 sum, docs.string(), path);
    }

    fs::path root;
    fs::path docs;
    std::string image;
    std::string payload;
    std::uint32_t checksum = 0;
};

TEST_F(DownloadFile, TheComplementedPayloadGoesUnderTheFirstFreeNameInsideTheFolder) {
    for (int n = 0; n <= 4; ++n)
        writeFile(docs / (std::to_string(n) + ".dwl"), "taken");
    std::string path;
    ASSERT_EQ(convert(checksum, path), 1);
    EXPECT_EQ(path, (docs / "5.dwl").string());
    const std::string written = readFile(path);
    ASSERT_EQ(written.size(), payload.size());
    for (std::size_t i = 0; i < payload.size(); ++i)
        ASSERT_EQ(static_cast<unsigned char>(written[i]), 255 - static_cast<unsigned char>(payload[i])) << i;
    EXPECT_EQ(readFile(docs / "0.dwl"), "taken");
}

struct FreeName {
    const char* name;
    std::vector<int> taken; // n.dwl already in the folder
    const char* expected;
};

std::vector<int> firstNumbers(int count) {
    std::vector<int> v(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        v[static_cast<size_t>(i)] = i;
    return v;
}

class DownloadFileName : public DownloadFile, public testing::WithParamInterface<FreeName> {};

TEST_P(DownloadFileName, IsTheLowestFreeNumber) {
    for (int n : GetParam().taken)
        writeFile(docs / (std::to_string(n) + ".dwl"), "taken");
    std::string path;
    ASSERT_EQ(convert(checksum, path), 1);
    EXPECT_EQ(path, (docs / GetParam().expected).string());
}

INSTANTIATE_TEST_SUITE_P(DownloadFile, DownloadFileName,
                         testing::Values(FreeName{"EmptyFolder", {}, "0.dwl"},
                                         FreeName{"ZeroTaken", {0}, "1.dwl"},
                                         FreeName{"AGapAfterZero", {0, 2, 3}, "1.dwl"},
                                         FreeName{"OnlyTheLastFree", firstNumbers(99), "99.dwl"}),
                         [](const testing::TestParamInfo<FreeName>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(DownloadFile, FailuresLeaveNothingBehind) {
    std::string path = "stale";
    EXPECT_EQ(convert(checksum + 1, path), -3);
    EXPECT_TRUE(path.empty());
    EXPECT_TRUE(fs::is_empty(docs));

    // The image shrank since it was checked: only bytes really read may be written, and none stay.
    EXPECT_EQ(convert(checksum, path, std::int64_t(image.size()) + 1000), -3);
    EXPECT_TRUE(fs::is_empty(docs));

    EXPECT_EQ(WriteDownloadFile((root / "none.img").string(), 228, 0, docs.string(), path), -1);
    EXPECT_EQ(WriteDownloadFile((root / "fw.img").string(), std::int64_t(image.size()), checksum, "", path),
              -4);
    EXPECT_EQ(WriteDownloadFile((root / "fw.img").string(), std::int64_t(image.size()), checksum,
                                (root / "missing").string(), path),
              -4);
    EXPECT_TRUE(fs::is_empty(docs));
}

TEST_F(DownloadFile, AllHundredNamesTaken) {
    for (int n = 0; n < 100; ++n)
        writeFile(docs / (std::to_string(n) + ".dwl"), "");
    std::string path;
    EXPECT_EQ(convert(checksum, path), -2);
    EXPECT_TRUE(path.empty());
}

TEST_F(DownloadFile, AnEmptyPayload) {
    writeFile(root / "fw.img", std::string(128, 'h'));
    std::string path;
    ASSERT_EQ(WriteDownloadFile((root / "fw.img").string(), 128, 0, docs.string(), path), 1);
    EXPECT_EQ(fs::file_size(path), 0u);
}

// Remembers the bar's positions.
class BarView : public EngineView {
public:
    void setProgress(int position) override { positions.push_back(position); }
    std::vector<int> positions;
};

TEST(XmodemProgressSteps, OneStepPerCallAtMostAndTheBarStopsAt100) {
    const struct {
        const char* what;
        std::vector<int> done;
        int total;
        std::vector<int> positions;
    } cases[] = {
        {"a hundredth passed per step", {100, 200, 200, 300}, 10000, {1, 2}},
        {"a big jump is still one step", {9000, 9100}, 10000, {1, 2}},
        {"a small total moves every call", {1, 1, 1}, 50, {1, 2, 3}},
        {"nothing done, no step", {0, 100}, 10000, {}},
    };
    for (const auto& c : cases) {
        auto view = std::make_shared<BarView>();
        setEngineView(view);
        XmodemProgress progress;
        for (int d : c.done)
            EXPECT_EQ(progress(d, 0, 0, c.total), 0);
        EXPECT_EQ(view->positions, c.positions) << c.what;
    }
    auto view = std::make_shared<BarView>();
    setEngineView(view);
    XmodemProgress progress;
    for (int i = 0; i < 150; ++i)
        progress(1000, 0, 0, 10);
    EXPECT_EQ(progress.position(), 100);
    EXPECT_EQ(view->positions.size(), 100u);
    setEngineView(nullptr);
}

TEST(ReplyWatchWords, VerdictsFirstThenTheFirstProgressWordAcrossReads) {
    using K = ReplyWatch::Kind;
    const struct {
        const char* what;
        std::vector<std::string> reads;
        K kind; // of the last read
        int index;
    } cases[] = {
        {"progress word", {"\r\nUpgrading firmware\r\n"}, K::Progress, 0},
        {"both progress words: the first in order",
         {"Restoring settings\r\nUpgrading firmware"},
         K::Progress,
         0},
        {"a verdict beats progress in the same read",
         {"Upgrading firmware\r\nRestoring\r\nSetup OK"},
         K::Verdict,
         1},
        {"verdicts in their order", {"mis-match ... Setup OK ... Failed"}, K::Verdict, 0},
        {"a verdict split over two reads", {"\r\nSetup O", "K\r\n"}, K::Verdict, 1},
        {"a split progress word", {"Upgra", "ding"}, K::Progress, 0},
        {"a word seen before is not found again", {"Upgrading firmw", "are\r\n"}, K::None, -1},
        {"silence", {"", ""}, K::None, -1},
    };
    for (const auto& c : cases) {
        ReplyWatch watch({"Failed", "up OK", "mis-match"}, {"grading", "storing"});
        ReplyWatch::Found f;
        for (const std::string& r : c.reads)
            f = watch.feed(r);
        EXPECT_EQ(f.kind, c.kind) << c.what;
        EXPECT_EQ(f.index, c.index) << c.what;
    }
}

// The modem's verdict may take most of a second to start: one reply read waits a second for its
// first byte, and gives up after it.
TEST(ReplyWait, AReplyStartingWithinASecondIsHeard) {
    using namespace std::chrono;
    comm::PtyPair pty;
    char dir[] = "/tmp/reply-wait-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const fs::path map = fs::path(dir) / "ports.conf";
    writeFile(map, "COM9=" + pty.slavePath() + "\n");
    ::setenv("BREL_PORT_MAP", map.c_str(), 1);
    ASSERT_EQ(SerialOpen(9), 0);

    const std::string verdict = "\r\nup OK\r\n";
    std::thread modem([&] {
        std::this_thread::sleep_for(500ms); // the modem's own pause before it answers
        EXPECT_EQ(::write(pty.master(), verdict.data(), verdict.size()), ssize_t(verdict.size()));
    });
    EXPECT_EQ(ReadLibReply(9, 50), verdict);
    modem.join();

    const auto start = steady_clock::now();
    EXPECT_EQ(ReadLibReply(9, 50), "");
    EXPECT_GE(duration_cast<milliseconds>(steady_clock::now() - start).count(), 950);

    SerialClose(9);
    ::unsetenv("BREL_PORT_MAP");
    fs::remove_all(dir);
}

} // namespace
