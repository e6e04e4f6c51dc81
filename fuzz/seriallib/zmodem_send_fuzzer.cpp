// The ZMODEM sender against a hostile receiver: the first two bytes choose the file's size, the rest
// are the receiver's replies. Success only after the receiver answered the file's end (ZRINIT after
// ZEOF) or declined the file (ZSKIP).

#include "fuzz_check.h"
#include "sender_fuzz_support.h"
#include "zmodem_header.h"
#include "zmodem_session.h"

using fuzzsupport::check;

namespace {

constexpr uint8_t kZpad = '*', kZdle = 0x18;

// How many headers of the type the replies hold, counted generously: a lead-in and the type, in
// hex or binary, escaped or not, whatever follows. A sender's success needs at least the real ones.
size_t headersOf(const std::vector<uint8_t>& in, uint8_t type) {
    size_t n = 0;
    for (size_t i = 0; i + 3 < in.size(); ++i) {
        if (in[i] != kZpad || in[i + 1] != kZdle)
            continue;
        const uint8_t format = in[i + 2];
        if (format == 'B' && i + 4 < in.size()) {
            n += wire::zmodem::hexDigitValue(in[i + 3]) * 16 + wire::zmodem::hexDigitValue(in[i + 4]) == type;
        } else if (format == 'A' || format == 'C') {
            uint8_t t = in[i + 3];
            if (t == kZdle && i + 4 < in.size())
                t = in[i + 4] ^ 0x40;
            n += t == type;
        }
    }
    return n;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const size_t fileSize = (size_t(data[0]) << 8 | data[1]) % 20000;
    const std::string path = fuzzsupport::sourceFile(fileSize);
    fuzzsupport::ReplyChannel channel(data + 2, size - 2);
    seriallib::TransferContext ctx(channel, nullptr, {}, fuzzsupport::senderWaits());
    seriallib::ZmodemOptions options;
    options.blockSize = 256;
    const int r = seriallib::zmodemSend(ctx, {path}, options);
    check(r <= 0 && r >= TransferErrZmodemBuffer, "unknown result code");
    if (r == 0) {
        const auto& in = channel.delivered();
        check(headersOf(in, 1) >= 2 || headersOf(in, 5) >= 1, "success without the end confirmed");
    }
    return 0;
}
