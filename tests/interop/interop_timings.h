#pragma once
// Our side's waits in the ZMODEM and Kermit tests against real peers.

#include "transfer_context.h"

#include <chrono>

namespace interop {

// Ample for a loaded machine, yet a peer that never answers fails the test in seconds instead of
// the default minute.
inline seriallib::TransferTimings
interopTimings(std::chrono::milliseconds blockWait = std::chrono::seconds(3)) {
    using namespace std::chrono_literals;
    return {.startWait = 10s,
            .startInterval = 2s,
            .startTries = 5,
            .responseWait = 3s,
            .blockWait = blockWait,
            .retries = 5};
}

} // namespace interop
