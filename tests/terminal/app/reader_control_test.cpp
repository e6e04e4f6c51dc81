// The reader's steering: a stop stays given, pause and resume are taken once each (the later of the
// two when both wait), stop first.
#include "ReaderControl.h"

#include <gtest/gtest.h>

#include <thread>

using halvic::ReaderControl;
using namespace std::chrono_literals;

namespace {

TEST(ReaderControl, RequestsAreTakenInOrderStopFirstAndStopStays) {
    ReaderControl control;
    EXPECT_EQ(control.wait(0ms), ReaderControl::Wake::Timeout);
    control.pause();
    EXPECT_EQ(control.wait(0ms), ReaderControl::Wake::Pause);
    control.resume();
    EXPECT_EQ(control.wait(0ms), ReaderControl::Wake::Resume);
    EXPECT_EQ(control.wait(0ms), ReaderControl::Wake::Timeout);
    // A transfer ending and the next one starting before the reader looked: it stays paused.
    control.resume();
    control.pause();
    EXPECT_EQ(control.wait(0ms), ReaderControl::Wake::Pause);
    EXPECT_EQ(control.wait(0ms), ReaderControl::Wake::Timeout);
    control.pause();
    control.stop();
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(control.wait(0ms), ReaderControl::Wake::Stop);
    EXPECT_FALSE(control.sleepUnlessStopped(1000ms));
}

TEST(ReaderControl, AStopWakesAWaitWithoutTimeOut) {
    ReaderControl control;
    std::thread stopper([&] {
        std::this_thread::sleep_for(20ms);
        control.stop();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(control.wait(-1ms), ReaderControl::Wake::Stop);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    stopper.join();
}

TEST(ReaderControl, PauseAcknowledgementIsAwaited) {
    ReaderControl control;
    EXPECT_FALSE(control.waitPausedAck(0ms));
    std::thread reader([&] {
        if (control.wait(-1ms) == ReaderControl::Wake::Pause)
            control.setPausedAck(true);
    });
    control.pause();
    EXPECT_TRUE(control.waitPausedAck(1000ms));
    reader.join();
    control.setPausedAck(false);
    EXPECT_FALSE(control.waitPausedAck(0ms));
}

} // namespace
