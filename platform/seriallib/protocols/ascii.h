#pragma once
// Plain text transfers: the file's bytes as they are, no framing and no checks.

#include "transfer_context.h"

#include <chrono>
#include <string>

namespace seriallib {

// Writes the file to the line; 0 or a negative TransferError code.
int asciiSend(TransferContext& ctx, const std::string& path);
// Captures what arrives into path (absolute) until the line has been silent for idle, or the
// transfer is stopped. What was captured is kept in both cases: a stop returns its code (which the
// caller counts as the normal end), a capture that never got a byte returns TransferErrTimeout and
// leaves path as it was.
int asciiReceive(TransferContext& ctx, const std::string& path, std::chrono::milliseconds idle);

} // namespace seriallib
