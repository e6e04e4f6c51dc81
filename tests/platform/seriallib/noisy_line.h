#pragma once
// A noisy line for transfer tests: a sender and a receiver over the in-memory pair, with bytes
// flipped, lost and inserted in both directions at given rates, the same for the same seed. Every
// run must end, and keep the rule of file transfers: the receiver either has the exact file and
// says so, or fails with a code and keeps no partial file; a sender's success means the receiver
// has the file.

#include "memory_channel.h"
#include "transfer_pair.h"

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace noisy_line {

using namespace std::chrono_literals;

struct Rates {
    std::string name;
    double flip = 0.0;
    double drop = 0.0;
    double insert = 0.0;
};

// Each fault alone and all three together, at a light and a heavy rate per byte.
inline std::vector<Rates> standardRates() {
    std::vector<Rates> out;
    for (double rate : {1e-3, 1e-2}) {
        std::string r = rate < 5e-3 ? "1e-3" : "1e-2";
        out.push_back({"flip " + r, rate, 0.0, 0.0});
        out.push_back({"drop " + r, 0.0, rate, 0.0});
        out.push_back({"insert " + r, 0.0, 0.0, rate});
        out.push_back({"all " + r, rate, rate, rate});
    }
    return out;
}

// The faults of one direction; the way back gets a stream of its own.
inline seriallib::LineFaults faults(const Rates& rates, uint64_t seed, bool back = false) {
    seriallib::LineFaults f;
    f.corrupt = rates.flip;
    f.drop = rates.drop;
    f.insert = rates.insert;
    f.seed = back ? seed * 7919 + 1 : seed;
    return f;
}

// Waits short enough for hundreds of runs, in the proportions of a real line: a receiver asks
// again well within a sender's waits.
inline seriallib::TransferTimings timings() {
    return transfer_test::pacedTimings({1s, 60ms, 10, 150ms, 40ms, 200ms, 15ms});
}

using SideFn = std::function<int(seriallib::TransferContext&)>;

struct Outcome {
    int sent = 0;
    int received = 0;
};

// One transfer: send on one end of a noisy line, receive on the other, each on its own thread.
// A side that does not end within limit fails the test.
inline Outcome transfer(const Rates& rates, uint64_t seed, const SideFn& send, const SideFn& receive,
                        seriallib::TransferTimings t = timings(), std::chrono::milliseconds limit = 60s) {
    seriallib::MemoryChannelPair line(faults(rates, seed), faults(rates, seed, true));
    transfer_test::Side sender(line.a(), t), receiver(line.b(), t);
    receiver.start(receive);
    sender.start(send);
    Outcome out;
    out.sent = sender.finish(limit);
    out.received = receiver.finish(limit);
    return out;
}

// Whether r is one of the codes a failed transfer gives.
inline bool isFailureCode(int r) {
    switch (r) {
    case TransferErrNotOpen:
    case TransferErrTimeout:
    case TransferErrUserAbort:
    case TransferErrAborted:
    case TransferErrFile:
    case TransferErrRemoteAbort:
    case TransferErrProtocol:
        return true;
    default:
        return false;
    }
}

// Calls run(rates, seed) for every rate and the seeds 1..seeds, several at once: a run mostly
// waits. Its checks name the rate and seed themselves.
inline void forEachRun(const std::vector<Rates>& rates, int seeds,
                       const std::function<void(const Rates&, uint64_t)>& run, int atOnce = 12) {
    std::atomic<size_t> next{0};
    const size_t total = rates.size() * static_cast<size_t>(seeds);
    std::vector<std::thread> workers;
    for (int w = 0; w < atOnce; ++w)
        workers.emplace_back([&] {
            for (size_t i = next++; i < total; i = next++)
                run(rates[i / static_cast<size_t>(seeds)], i % static_cast<size_t>(seeds) + 1);
        });
    for (auto& w : workers)
        w.join();
}

// How the runs ended, for the log: a noisy-line test that never fails, or never succeeds, proves
// little.
struct Tally {
    std::atomic<int> delivered{0}; // both sides succeeded
    std::atomic<int> failed{0};    // the receiver failed
    std::atomic<int> other{0};     // the receiver succeeded, the sender did not
    void count(const Outcome& o, int receiverSuccess) {
        if (o.received != receiverSuccess)
            ++failed;
        else if (o.sent == 0)
            ++delivered;
        else
            ++other;
    }
    std::string text() const {
        return std::to_string(delivered) + " delivered, " + std::to_string(failed) + " failed, " +
               std::to_string(other) + " delivered with the sender failing";
    }
};

} // namespace noisy_line
