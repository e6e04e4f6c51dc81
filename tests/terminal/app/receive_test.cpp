// Bytes from the far end of the line reach the screen and the view through the port's reader; the
// reader pauses, resumes and stops as told, and closing never holds the GUI thread.
#include "halvic_fixture.h"

#include <QElapsedTimer>
#include <QImage>
#include <QTimer>

#include <atomic>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <thread>

using namespace halvictest;

namespace {

class ReceiveTest : public HalvicTest {
protected:
    int queuedAtPort() const {
        int n = 0;
        ::ioctl(pty.slave(), FIONREAD, &n);
        return n;
    }

    // Floods the line with 1 MiB of text ending in "THE END", pausing and resuming the reader a
    // quarter of the way in; true once the end is on the screen within the limit.
    bool floodReachesTheScreen(int terminalType, int limitMs) {
        wantedTerminal.terminalType = terminalType;
        wantedTerminal.crCode = wantedTerminal.lfCode = halvic::CodeUnchanged;
        halvic::CChildFrame* child = openWindow();
        if (!child)
            return false;
        halvic::CHalvicDoc& doc = child->document();
        halvic::ReaderThread* reader = child->view().reader();
        std::string flood;
        for (int n = 0; flood.size() < (1u << 20); ++n)
            flood += "line " + std::to_string(n) + " of a long listing scrolling past\r\n";
        flood += "THE END";
        ::fcntl(pty.master(), F_SETFL, ::fcntl(pty.master(), F_GETFL) | O_NONBLOCK);
        std::atomic<size_t> sent{0};
        std::atomic<bool> giveUp{false};
        std::thread peer([&] {
            while (sent < flood.size() && !giveUp) {
                const ssize_t n = ::write(pty.master(), flood.data() + sent, flood.size() - sent);
                if (n > 0)
                    sent += size_t(n);
                else
                    std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        });
        QElapsedTimer clock;
        clock.start();
        waitFor([&] { return sent > flood.size() / 4; }, limitMs);
        reader->control().pause();
        EXPECT_TRUE(reader->control().waitPausedAck(std::chrono::milliseconds(200))) << "a pause in a flood";
        reader->control().resume();
        const bool shown = waitFor(
            [&] {
                const auto state = doc.screen->lock();
                const auto row = state->rowChars(state->cursorRow());
                return std::string(row.begin(), row.begin() + 7) == "THE END";
            },
            std::max<int>(1, limitMs - int(clock.elapsed())));
        giveUp = true;
        peer.join();
        return shown;
    }
};

TEST_F(ReceiveTest, PeerTextAppearsOnTheScreenAndInTheView) {
    halvic::CChildFrame* child = openWindow();
    ASSERT_NE(child, nullptr);
    halvic::CHalvicDoc& doc = child->document();
    halvic::CHalvicView& view = child->view();
    EXPECT_EQ(child->stateText(), QStringLiteral("State:OPEN"));

    const QImage before = view.viewport()->grab().toImage();
    putTo(pty.master(), "Hello, line\r\nsecond");
    ASSERT_TRUE(waitFor([&] { return rowText(doc, 1) == "second"; }));
    EXPECT_EQ(rowText(doc, 0), "Hello, line");
    // The screen's first row is at the top of the view, and its text is painted there.
    EXPECT_EQ(view.firstVisibleLine(), doc.screen->lock()->screenStartLine());
    ASSERT_TRUE(waitFor([&] { return view.viewport()->grab().toImage() != before; }));
    const QImage after = view.viewport()->grab().toImage();
    const QSize cell = view.cellSize();
    int dark = 0;
    for (int y = 0; y < cell.height(); ++y)
        for (int x = 0; x < 5 * cell.width(); ++x)
            if (qGray(after.pixel(x, y)) < 128)
                ++dark;
    EXPECT_GT(dark, 10);
}

TEST_F(ReceiveTest, SequenceSplitAcrossReadsIsCarriedOutWhole) {
    halvic::CChildFrame* child = openWindow();
    ASSERT_NE(child, nullptr);
    halvic::CHalvicDoc& doc = child->document();
    halvic::ReaderThread* reader = child->view().reader();
    ASSERT_NE(reader, nullptr);
    putTo(pty.master(), "ab\x1b[12;");
    ASSERT_TRUE(waitFor([&] { return reader->blocksRead() == 1 && queuedAtPort() == 0; }));
    putTo(pty.master(), "5Hx");
    ASSERT_TRUE(waitFor([&] { return reader->blocksRead() == 2 && rowText(doc, 11) == "    x"; }));
    EXPECT_EQ(rowText(doc, 0), "ab");
}

TEST_F(ReceiveTest, CursorPositionReportIsAnsweredOnTheLine) {
    halvic::CChildFrame* child = openWindow();
    ASSERT_NE(child, nullptr);
    putTo(pty.master(), "\x1b[3;7H\x1b[6n");
    EXPECT_EQ(takeFrom(pty.master(), 6), "\x1b[3;7R");
}

TEST_F(ReceiveTest, DumbTerminalShowsBlocksAsTheyCome) {
    wantedTerminal.terminalType = 2;
    wantedTerminal.crCode = halvic::CodeCrLf;
    halvic::CChildFrame* child = openWindow();
    ASSERT_NE(child, nullptr);
    halvic::CHalvicDoc& doc = child->document();
    putTo(pty.master(), "one\rtwo\x1b[A");
    ASSERT_TRUE(waitFor([&] { return rowText(doc, 1).substr(0, 3) == "two"; }));
    EXPECT_EQ(rowText(doc, 0), "one");
    EXPECT_EQ(rowText(doc, 1), "two\x1b[A"); // nothing is interpreted
}

TEST_F(ReceiveTest, PausedReaderLeavesTheLineAloneUntilResumed) {
    halvic::CChildFrame* child = openWindow();
    ASSERT_NE(child, nullptr);
    halvic::CHalvicDoc& doc = child->document();
    halvic::ReaderThread* reader = child->view().reader();
    reader->control().pause();
    ASSERT_TRUE(reader->control().waitPausedAck(std::chrono::milliseconds(1000)));
    putTo(pty.master(), "held");
    // Whoever paused the reader owns the line: the bytes stay for it to read.
    QTest::qWait(150);
    EXPECT_EQ(queuedAtPort(), 4);
    EXPECT_EQ(rowText(doc, 0), "");
    reader->control().resume();
    ASSERT_TRUE(waitFor([&] { return rowText(doc, 0) == "held"; }));
}

TEST_F(ReceiveTest, StopEndsAPausedReader) {
    halvic::CChildFrame* child = openWindow();
    ASSERT_NE(child, nullptr);
    halvic::CHalvicView& view = child->view();
    view.reader()->control().pause();
    ASSERT_TRUE(view.reader()->control().waitPausedAck(std::chrono::milliseconds(1000)));
    ASSERT_TRUE(waitFor([&] { return view.StopReader(); }, 1000));
    EXPECT_EQ(view.reader(), nullptr);
}

// A reader keeps reading while bytes keep coming, and still takes a pause at once: waiting 10 ms
// before each read once took 11 s (VT100) and 80 s (Dumb) to show this megabyte.
TEST_F(ReceiveTest, AVt100WindowKeepsUpWithAFlood) {
    EXPECT_TRUE(floodReachesTheScreen(1, 6000));
}

TEST_F(ReceiveTest, ADumbWindowKeepsUpWithAFlood) {
    EXPECT_TRUE(floodReachesTheScreen(2, 6000));
}

// Measures the longest time the GUI thread went without running its event loop.
class GuiGapMeter {
public:
    GuiGapMeter() {
        clock_.start();
        timer_.setInterval(2);
        QObject::connect(&timer_, &QTimer::timeout,
                         [this] { longest_ = std::max(longest_, clock_.restart()); });
        timer_.start();
    }
    qint64 longest() const { return longest_; }

private:
    QElapsedTimer clock_;
    QTimer timer_;
    qint64 longest_ = 0;
};

TEST_F(ReceiveTest, ClosingWhileBytesStreamInNeverHoldsTheGuiThread) {
    halvic::CChildFrame* child = openWindow();
    ASSERT_NE(child, nullptr);
    QPointer<halvic::CChildFrame> guard(child);
    std::atomic<bool> streaming{true};
    // Never blocks on a full line once the port is gone.
    ::fcntl(pty.master(), F_SETFL, ::fcntl(pty.master(), F_GETFL) | O_NONBLOCK);
    std::thread peer([&] {
        const std::string line = "\x1b[7mbusy line of text\x1b[0m streaming along\r\n";
        while (streaming)
            if (::write(pty.master(), line.data(), line.size()) < 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    ASSERT_TRUE(waitFor([&] { return child->view().reader()->blocksRead() > 3; }));

    GuiGapMeter meter;
    QElapsedTimer closing;
    closing.start();
    child->close();
    EXPECT_LT(closing.elapsed(), 130);
    ASSERT_TRUE(waitFor([&] { return guard.isNull(); }, 3000));
    streaming = false;
    peer.join();
    EXPECT_LT(meter.longest(), 130);
    EXPECT_EQ(app->openPortCount(), 0);
    EXPECT_EQ(SerialOpen(kSameDevice), 0);
}

TEST_F(ReceiveTest, DisableThenEnableOnAPortHeldElsewhereTellsOnceAndStaysClosed) {
    halvic::CChildFrame* child = openWindow();
    ASSERT_NE(child, nullptr);
    halvic::CHalvicDoc& doc = child->document();
    child->portButton()->trigger(); // Close port
    ASSERT_TRUE(waitFor([&] { return !doc.IsPortOpen(); }));
    EXPECT_EQ(child->portButton()->text(), QStringLiteral("Open port"));
    EXPECT_EQ(child->stateText(), QStringLiteral("State:CLOSE"));

    ASSERT_EQ(SerialOpen(kSameDevice), 0); // another program takes the device
    child->portButton()->trigger();        // Open port
    ASSERT_EQ(messages->boxes().size(), 1u);
    EXPECT_EQ(messages->last().caption, QStringLiteral("COM5"));
    EXPECT_EQ(messages->last().text, QStringLiteral("No such port or port is occupied by other program"));
    EXPECT_FALSE(doc.IsPortOpen());
    EXPECT_EQ(child->portButton()->text(), QStringLiteral("Open port"));
    EXPECT_EQ(child->view().reader(), nullptr);

    SerialClose(kSameDevice);
    child->portButton()->trigger();
    EXPECT_TRUE(doc.IsPortOpen());
    EXPECT_EQ(child->portButton()->text(), QStringLiteral("Close port"));
    putTo(pty.master(), "back");
    ASSERT_TRUE(waitFor([&] { return rowText(doc, 0) == "back"; }));
    EXPECT_EQ(messages->boxes().size(), 1u);
}

} // namespace
