// A reader on a fast line reads after the line has gathered bytes, not each time the driver hands a
// few on, and shows everything that came.
#include "halvic_fixture.h"
#include "ReadPacing.h"

#include <QDir>
#include <QFile>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

using namespace halvictest;
using halvic::ReadPacing;
using namespace std::chrono_literals;

namespace {

// One read: what it brought and how long it took.
struct Read {
    int brought;
    std::chrono::microseconds took = 11ms; // 1024 bytes at 921600 baud
};

struct PacingRow {
    int waitingSize;
    std::vector<Read> reads; // in turn
    ReadPacing::Next next;   // the read after them
};

class ReadPacingRows : public ::testing::TestWithParam<PacingRow> {};

TEST_P(ReadPacingRows, NextReadFollowsWhatTheLastBrought) {
    const PacingRow& row = GetParam();
    ReadPacing pacing(row.waitingSize);
    std::string reads;
    for (const Read& read : row.reads) {
        reads += std::to_string(read.brought) + (pacing.next().waiting ? " waiting in " : " taken in ") +
                 std::to_string(read.took.count()) + " us, ";
        pacing.after(read.brought, read.took);
    }
    EXPECT_EQ(pacing.next(), row.next) << reads;
    EXPECT_EQ(pacing.size(), row.next.waiting ? row.waitingSize : ReadPacing::TakeSize) << reads;
}

constexpr int Much = ReadPacing::Much;
constexpr ReadPacing::Next Wait{0ms, true}, Take{0ms, false}, Gather{ReadPacing::Gather, false};
constexpr std::chrono::microseconds Quick = ReadPacing::Quick - 1us;

INSTANTIATE_TEST_SUITE_P(
    ReadPacing, ReadPacingRows,
    ::testing::Values(PacingRow{1024, {}, Wait}, PacingRow{1024, {{-1}}, {ReadPacing::AfterFailure, true}},
                      PacingRow{1024, {{0}}, Wait},                  // a quiet line: wait for it
                      PacingRow{1024, {{1}}, Gather},                // a trickle: let it gather
                      PacingRow{1024, {{1}, {Much - 1}}, Gather},    // a fast line: gather again
                      PacingRow{1024, {{1}, {Much - 1}, {0}}, Wait}, // it went quiet
                      PacingRow{1024, {{1024}}, Take},               // a full buffer: more is waiting
                      PacingRow{1024, {{1024}, {100}}, Gather},      // at a line's pace
                      PacingRow{1024, {{1024, Quick}, {100}}, Wait}, // faster than a line: never held up
                      PacingRow{1024, {{1}, {Much}}, Take},          // more than a line brings: take again
                      PacingRow{1024, {{1}, {Much}, {100}}, Wait},   // a flood's lull
                      PacingRow{1024, {{1}, {Much}, {100}, {1024}}, Take},
                      PacingRow{1024, {{1}, {ReadPacing::TakeSize}}, Take}, PacingRow{128, {{127}}, Gather},
                      PacingRow{128, {{128}}, Take}, PacingRow{128, {{128}, {0}, {128}, {5}}, Gather}));

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
