// The capture file on its own: appending, failures as the user sees them, the blink, and writes racing
// switch-off.
#include "CaptureSink.h"
#include "test_application.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>

namespace {

using halvic::CaptureSink;

std::string fileText(const QString& path) {
    std::ifstream in(path.toStdString(), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void put(CaptureSink& sink, const std::string& run) {
    sink.write(reinterpret_cast<const uint8_t*>(run.data()), run.size());
}

class CaptureSinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        gui::testApplication();
        ASSERT_TRUE(dir.isValid());
        sink.setBeep([this] { ++beeps; });
    }
    QString path(const char* name) const { return dir.filePath(QLatin1String(name)); }

    QTemporaryDir dir;
    CaptureSink sink;
    int beeps = 0;
    QSignalSpy status{&sink, &CaptureSink::statusMessage};
};

TEST_F(CaptureSinkTest, EachCaptureAppendsToWhatTheFileHolds) {
    const QString file = path("cap5.txt");
    std::ofstream(file.toStdString()) << "old|";
    for (const char* run : {"first|", "second"}) {
        ASSERT_TRUE(sink.start(file.toStdString()));
        EXPECT_TRUE(sink.capturing());
        put(sink, run);
        sink.stop();
        EXPECT_FALSE(sink.capturing());
    }
    put(sink, "not captured");
    EXPECT_EQ(fileText(file), "old|first|second");
    EXPECT_EQ(beeps, 0);
}

enum class Unopenable { MissingFolder, AFolder, HeldByAnotherCapture };

class CaptureSinkOpen : public CaptureSinkTest, public testing::WithParamInterface<Unopenable> {};

TEST_P(CaptureSinkOpen, OpenFailuresGiveTheStatusTextABeepAndNoCapture) {
    const QString held = path("held.txt");
    CaptureSink other;
    ASSERT_TRUE(other.start(held.toStdString()));
    const std::string file = GetParam() == Unopenable::MissingFolder
                                 ? path("no/such/folder/cap.txt").toStdString()
                             : GetParam() == Unopenable::AFolder ? dir.path().toStdString()
                                                                 : held.toStdString();
    QSignalSpy changed(&sink, &CaptureSink::capturingChanged);
    EXPECT_FALSE(sink.start(file));
    EXPECT_FALSE(sink.capturing());
    EXPECT_EQ(beeps, 1);
    ASSERT_EQ(status.size(), 1);
    EXPECT_EQ(status[0][0].toString(), QStringLiteral("Capture file open fail"));
    for (const auto& c : changed)
        EXPECT_FALSE(c[0].toBool());
    put(sink, "dropped"); // no file: nothing happens
    EXPECT_EQ(beeps, 1);
}

const char* const UnopenableNames[] = {"MissingFolder", "AFolder", "HeldByAnotherCapture"};

INSTANTIATE_TEST_SUITE_P(Files, CaptureSinkOpen,
                         testing::Values(Unopenable::MissingFolder, Unopenable::AFolder,
                                         Unopenable::HeldByAnotherCapture),
                         [](const testing::TestParamInfo<Unopenable>& i) {
                             return std::string(UnopenableNames[static_cast<int>(i.param)]);
                         });

TEST_F(CaptureSinkTest, AWriteFailureEndsCaptureOnTheGuiThread) {
    ASSERT_TRUE(sink.start("/dev/full"));
    QSignalSpy changed(&sink, &CaptureSink::capturingChanged);
    std::thread reader([this] { put(sink, "no room"); });
    reader.join();
    EXPECT_FALSE(sink.capturing());
    EXPECT_EQ(beeps, 0) << "reported by a queued call, not from the reader";
    QTRY_COMPARE(beeps, 1);
    EXPECT_EQ(status.last()[0].toString(), QStringLiteral("Capture file open fail"));
    ASSERT_EQ(changed.size(), 1);
    EXPECT_FALSE(changed[0][0].toBool());
    // The blink is over: the text stays.
    QTest::qWait(1200);
    EXPECT_EQ(status.last()[0].toString(), QStringLiteral("Capture file open fail"));
}

TEST_F(CaptureSinkTest, CapturingBlinksOnceASecond) {
    ASSERT_TRUE(sink.start(path("blink.txt").toStdString()));
    QTRY_COMPARE_WITH_TIMEOUT(status.size(), 2, 2500);
    EXPECT_EQ(status[0][0].toString(), QStringLiteral("Capturing..."));
    EXPECT_EQ(status[1][0].toString(), QString());
    sink.stop();
    QTest::qWait(1100);
    EXPECT_EQ(status.size(), 2) << "the message pane keeps its last text";
}

TEST_F(CaptureSinkTest, SwitchingOffNeverCutsARun) {
    const QString file = path("race.txt");
    const std::string run = "0123456789abcdef\n";
    std::atomic<bool> done{false};
    std::thread reader([&] {
        while (!done)
            put(sink, run);
    });
    for (int i = 0; i < 200; ++i) {
        ASSERT_TRUE(sink.start(file.toStdString()));
        sink.stop();
    }
    done = true;
    reader.join();
    const std::string text = fileText(file);
    ASSERT_EQ(text.size() % run.size(), 0u);
    for (size_t at = 0; at < text.size(); at += run.size())
        ASSERT_EQ(text.compare(at, run.size(), run), 0) << "at " << at;
}

} // namespace
