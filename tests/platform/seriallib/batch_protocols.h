#pragma once
// ZMODEM and Kermit seen the same way by the tests that hold for every batch protocol: the engines'
// entry points, time limits short enough for tests, and one transfer over an in-memory line.

#include "kermit_session.h"
#include "memory_channel.h"
#include "receive_folder.h"
#include "transfer_test_support.h"
#include "zmodem_session.h"

#include <string>
#include <vector>

namespace batch_test {

using namespace std::chrono_literals;
using seriallib::TransferContext;
using seriallib::TransferTimings;

struct Zmodem {
    using Options = seriallib::ZmodemOptions;
    static constexpr const char* name = "Zmodem";
    static constexpr int giveUpAfter = 20; // progress calls before a sender's user gives up
    static TransferTimings timings() {
        return {.startWait = 3s,
                .startInterval = 300ms,
                .startTries = 10,
                .responseWait = 300ms,
                .byteGap = 100ms, // a memory line never pauses inside a frame: a lost byte shows soon
                .blockWait = 300ms,
                .retries = 20};
    }
    static int send(TransferContext& ctx, const std::vector<std::string>& paths, const Options& o = {}) {
        return seriallib::zmodemSend(ctx, paths, o);
    }
    static int receive(TransferContext& ctx, seriallib::IncomingFiles& files, const Options& o = {}) {
        return seriallib::zmodemReceive(ctx, files, o);
    }
};

struct Kermit {
    using Options = seriallib::KermitOptions;
    static constexpr const char* name = "Kermit";
    static constexpr int giveUpAfter = 10;
    static TransferTimings timings() {
        return {.startWait = 3s,
                .startInterval = 300ms,
                .startTries = 10,
                .responseWait = 100ms,
                .byteGap = 30ms,
                .blockWait = 300ms,
                .retries = 30};
    }
    static int send(TransferContext& ctx, const std::vector<std::string>& paths, const Options& o = {}) {
        return seriallib::kermitSend(ctx, paths, o);
    }
    static int receive(TransferContext& ctx, seriallib::IncomingFiles& files, const Options& o = {}) {
        return seriallib::kermitReceive(ctx, files, o);
    }
};

struct Outcome {
    int sent = 0;
    int received = 0;
};

// Sends paths from the line's a end (or senderChannel, a wrapper of it) into folder at its b end.
template <typename Protocol>
Outcome transfer(seriallib::MemoryChannelPair& line, const std::vector<std::string>& paths,
                 const std::string& folder, const typename Protocol::Options& senderOptions = {},
                 const typename Protocol::Options& receiverOptions = {},
                 const TransferTimings& timings = Protocol::timings(),
                 seriallib::ByteChannel* senderChannel = nullptr) {
    seriallib::ReceiveFolder rf(folder);
    seriallib::FolderFiles files(rf);
    auto rx = transfer_test::runAsync([&] {
        TransferContext ctx(line.b(), nullptr, {}, timings);
        return Protocol::receive(ctx, files, receiverOptions);
    });
    TransferContext ctx(senderChannel ? *senderChannel : line.a(), nullptr, {}, timings);
    const int sent = Protocol::send(ctx, paths, senderOptions);
    EXPECT_TRUE(transfer_test::ready(rx));
    return {sent, rx.get()};
}

} // namespace batch_test
