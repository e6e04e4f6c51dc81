#pragma once
// Pieces of a hand-driven ZMODEM receiver, for the tests that need a peer our engines never are.

#include "zmodem_frame.h"

#include <cstdint>
#include <vector>

namespace zmodem_script {

inline std::vector<uint8_t> hexHeader(const seriallib::zmodem::Header& header) {
    std::vector<uint8_t> out;
    seriallib::zmodem::appendHexHeader(out, header);
    return out;
}

// ZRINIT: full duplex, overlapped I/O, 32-bit CRCs.
inline std::vector<uint8_t> zrinit() {
    using namespace seriallib::zmodem;
    return hexHeader(Header::flags(ZRINIT, CANFDX | CANOVIO | CANFC32));
}

// A receiver's answer to a sender's opening: ZRINIT to ZRQINIT, ZRPOS 0 to ZFILE; nothing to the rest.
inline std::vector<uint8_t> openingAnswer(uint8_t type) {
    using namespace seriallib::zmodem;
    if (type == ZRQINIT)
        return zrinit();
    if (type == ZFILE)
        return hexHeader(Header::at(ZRPOS, 0));
    return {};
}

} // namespace zmodem_script
