#pragma once
// Runs one side of a transfer on a thread over an in-memory line, with time limits short enough
// for tests, and a scripted peer for the cases our own code never produces.

#include "memory_channel.h"
#include "transfer_context.h"
#include "transfer_test_support.h"
#include "xmodem_block.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

namespace transfer_test {

using namespace std::chrono_literals;
// The block protocols' control bytes, as a scripted peer sends and awaits them.
using seriallib::xmodem::ACK;
using seriallib::xmodem::CAN;
using seriallib::xmodem::CRC_START;
using seriallib::xmodem::EOT;
using seriallib::xmodem::NAK;

// What sets the pace of a test line. A write that stalls for a second fails, and a block gets ten
// tries, on every test line.
struct Pace {
    std::chrono::milliseconds startWait, startInterval;
    int startTries;
    std::chrono::milliseconds responseWait, byteGap, blockWait, quiet;
};

inline seriallib::TransferTimings pacedTimings(const Pace& p) {
    return {.startWait = p.startWait,
            .startInterval = p.startInterval,
            .startTries = p.startTries,
            .responseWait = p.responseWait,
            .byteGap = p.byteGap,
            .blockWait = p.blockWait,
            .quiet = p.quiet,
            .writeStall = 1s,
            .retries = 10,
            // Our receiver asks again after its block wait: a sender hears it before it takes
            // silence for the receiver having left, even when a request or two is lost.
            .leaveWait = 3 * p.blockWait};
}

// Waits short enough for tests on a line that delivers everything at once.
inline seriallib::TransferTimings quickTimings() {
    return pacedTimings({3s, 150ms, 12, 400ms, 150ms, 500ms, 40ms});
}

// Everything a progress callback saw.
struct ProgressLog {
    std::mutex mutex;
    std::vector<std::pair<int, int>> calls;
    TransferProgressCallback callback() {
        return [this](int done, int, int, int total) {
            std::lock_guard lock(mutex);
            calls.emplace_back(done, total);
            return 0;
        };
    }
    // Done never goes back, and the last call reports the whole total.
    void expectMonotoneToTotal(int total) {
        std::lock_guard lock(mutex);
        ASSERT_FALSE(calls.empty());
        for (size_t i = 1; i < calls.size(); ++i)
            EXPECT_GE(calls[i].first, calls[i - 1].first);
        EXPECT_EQ(calls.back(), std::make_pair(total, total));
    }
};

// One side of a transfer running on its own thread.
struct Side {
    seriallib::PortAbort abort;
    std::atomic<bool> stopFromCallback{false};
    ProgressLog log;
    std::unique_ptr<seriallib::TransferContext> ctx;
    std::future<int> result;

    Side(seriallib::ByteChannel& channel, seriallib::TransferTimings timings = quickTimings()) {
        auto inner = log.callback();
        ctx = std::make_unique<seriallib::TransferContext>(
            channel, &abort,
            [this, inner](int done, int a, int b, int total) {
                inner(done, a, b, total);
                return stopFromCallback ? -1 : 0;
            },
            timings);
    }
    void start(std::function<int(seriallib::TransferContext&)> body) {
        result = runAsync([this, body] { return body(*ctx); });
    }
    // The result, or a failure when the side did not end in time.
    int finish(std::chrono::milliseconds limit = 30s) {
        if (!ready(result, limit)) {
            ADD_FAILURE() << "transfer did not end";
            abort.transmit = true;
        }
        return result.get();
    }
};

// A peer driven by the test: raw bytes on a channel.
class ScriptedPeer {
public:
    explicit ScriptedPeer(seriallib::ByteChannel& channel) : channel_(channel) {}
    void send(const std::vector<uint8_t>& bytes) {
        channel_.write(bytes.data(), bytes.size(), seriallib::Clock::now() + 1s);
    }
    void send(uint8_t byte) { send(std::vector<uint8_t>{byte}); }
    // Reads until one of the wanted bytes arrives; returns it, or -1 after the limit.
    int awaitAny(std::initializer_list<uint8_t> wanted, std::chrono::milliseconds limit = 5s) {
        auto deadline = seriallib::Clock::now() + limit;
        uint8_t b;
        while (channel_.read(&b, 1, deadline) == 1) {
            seen_.push_back(b);
            for (uint8_t w : wanted)
                if (b == w)
                    return b;
        }
        return -1;
    }
    // Reads n bytes, or what came before the limit.
    std::vector<uint8_t> take(size_t n, std::chrono::milliseconds limit = 5s) {
        std::vector<uint8_t> got(n);
        size_t have = 0;
        auto deadline = seriallib::Clock::now() + limit;
        while (have < n) {
            int r = channel_.read(got.data() + have, n - have, deadline);
            if (r <= 0)
                break;
            have += static_cast<size_t>(r);
        }
        got.resize(have);
        seen_.insert(seen_.end(), got.begin(), got.end());
        return got;
    }
    // Reads whatever comes until the line is quiet for `quiet`.
    std::vector<uint8_t> drain(std::chrono::milliseconds quiet = 200ms) {
        std::vector<uint8_t> got;
        uint8_t buf[2048];
        for (;;) {
            int n = channel_.read(buf, sizeof buf, seriallib::Clock::now() + quiet);
            if (n <= 0)
                break;
            got.insert(got.end(), buf, buf + n);
        }
        seen_.insert(seen_.end(), got.begin(), got.end());
        return got;
    }
    const std::vector<uint8_t>& seen() const { return seen_; }

private:
    seriallib::ByteChannel& channel_;
    std::vector<uint8_t> seen_;
};

// The original data followed by the padding a receiver keeps: up to the next multiple of 128.
inline std::vector<uint8_t> paddedTo(const std::vector<uint8_t>& data, size_t unit) {
    auto out = data;
    out.resize((data.size() + unit - 1) / unit * unit, seriallib::xmodem::PAD);
    return out;
}

} // namespace transfer_test
