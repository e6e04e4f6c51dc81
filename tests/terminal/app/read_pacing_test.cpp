// A reader on a fast line reads after the line has gathered bytes, not each time the driver hands a
// few on, and shows everything that came.
#include "halvic_fixture.h"
#include "ReadPacing.h"

#include <QDir>
#include <QFile>

#include <atomic>
#include <thread>

using namespace halvictest;
using halvic::ReadPacing;
using namespace std::chrono_literals;

namespace {

struct PacingRow {
    int brought;
    ReadPacing::Next next;
};

class ReadPacingRows : public ::testing::TestWithParam<PacingRow> {};

TEST_P(ReadPacingRows, NextReadFollowsWhatTheLastBrought) {
    EXPECT_EQ(ReadPacing::after(GetParam().brought), GetParam().next) << "brought " << GetParam().brought;
}

INSTANTIATE_TEST_SUITE_P(
    ReadPacing, ReadPacingRows,
    ::testing::Values(PacingRow{-1, {ReadPacing::AfterFailure, true}}, // failed: wait, then wait for the line
                      PacingRow{0, {0ms, true}},                       // quiet line: wait for it at once
                      PacingRow{1, {ReadPacing::Gather, false}},       // a trickle: let it gather
                      PacingRow{ReadPacing::Much - 1, {ReadPacing::Gather, false}},
                      PacingRow{ReadPacing::Much, {0ms, false}}, // more is waiting: take it now
                      PacingRow{ReadPacing::TakeSize, {0ms, false}}));

// Voluntary and forced context switches of the port's reader thread so far (-1: not found).
long readerSwitches() {
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(tid + QStringLiteral("/comm")));
        if (!comm.open(QIODevice::ReadOnly) || !comm.readAll().contains("ReaderT"))
            continue;
        QFile status(tasks.filePath(tid + QStringLiteral("/status")));
        if (!status.open(QIODevice::ReadOnly))
            return -1;
        long switches = 0;
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.contains("ctxt_switches:"))
                switches += line.mid(line.indexOf(':') + 1).trimmed().toLong();
        return switches;
    }
    return -1;
}

class ReaderOnAFastLine : public HalvicTest, public ::testing::WithParamInterface<int> {};

// 921600 baud, as a driver hands it on: 16 bytes every 174 us for half a second. Woken for each
// 16 bytes, the reader switched about 2900 times; gathering, about 50 times.
TEST_P(ReaderOnAFastLine, WakesSeldomAndShowsEverything) {
    wantedPort.baudIndex = wantedPort.baudCode = 19; // 921600
    wantedTerminal.terminalType = GetParam();
    wantedTerminal.crCode = wantedTerminal.lfCode = halvic::CodeUnchanged;
    halvic::CChildFrame* child = openWindow();
    ASSERT_NE(child, nullptr);
    halvic::CHalvicDoc& doc = child->document();
    halvic::ReaderThread* reader = child->view().reader();
    putTo(pty.master(), "\r");
    ASSERT_TRUE(waitFor([&] { return reader->blocksRead() > 0; }));
    const long before = readerSwitches();
    ASSERT_GE(before, 0) << "no reader thread";

    std::string line;
    for (int n = 0; line.size() < 46080; ++n)
        line += "line " + std::to_string(n) + " at full speed\r\n";
    line += "THE END";
    std::atomic<bool> sent{false};
    std::thread peer([&] {
        const auto start = std::chrono::steady_clock::now();
        for (size_t at = 0; at < line.size(); at += 16) {
            std::this_thread::sleep_until(start + std::chrono::microseconds(174 * at / 16));
            const size_t n = std::min<size_t>(16, line.size() - at);
            if (::write(pty.master(), line.data() + at, n) != ssize_t(n))
                break;
        }
        sent = true;
    });
    const bool shown = waitFor([&] {
        const int row = doc.screen->lock()->cursorRow();
        return sent && rowText(doc, row) == "THE END";
    });
    peer.join();
    ASSERT_TRUE(shown);
    EXPECT_LT(readerSwitches() - before, 400);
}

INSTANTIATE_TEST_SUITE_P(Types, ReaderOnAFastLine, ::testing::Values(1, 2),
                         [](const auto& info) { return info.param == 1 ? "Vt100" : "Dumb"; });

} // namespace
