#pragma once
// What a transfer sees of an open port: its byte channel and the abort requests made for it.

#include "byte_channel.h"

#include <atomic>
#include <functional>

namespace seriallib {

struct PortAbort {
    std::atomic<bool> transmit{false}; // SerialAbortTransmit
    std::atomic<bool> receive{false};  // SerialAbortReceive
};

// Runs fn with the channel of an open port while holding the port open; TransferErrNotOpen when
// the port is not open. The abort flags are cleared before fn runs. Reads through the channel
// ignore the read time-outs set by SerialSetReadTimeouts: transfers pass their own deadlines.
// Once an abort is asked for, a channel read returns at once with what is there (often 0) so that
// the transfer sees the request; writes go on, so the transfer can send its cancel sequence.
// SerialClose during fn makes every channel call return -1 and waits until fn has returned.
int withPortChannel(int port, const std::function<int(ByteChannel& channel, PortAbort& abort)>& fn);

} // namespace seriallib
