// The ASCII sender on a line that takes a chosen number of bytes and then stalls or fails: the
// first byte chooses how it ends, the next two the file's size, the two after how much it takes.
// Success only when the line took the whole file, and never more than the file.

#include "ascii.h"
#include "fuzz_check.h"
#include "sender_fuzz_support.h"

#include <algorithm>

using fuzzsupport::check;

namespace {

class TakingLine : public seriallib::ByteChannel {
public:
    TakingLine(size_t budget, bool fails) : budget_(budget), fails_(fails) {}
    int read(uint8_t*, size_t, seriallib::Clock::time_point) override { return 0; }
    int write(const uint8_t*, size_t size, seriallib::Clock::time_point) override {
        if (taken_ >= budget_)
            return fails_ ? -1 : 0;
        const size_t n = std::min(size, budget_ - taken_);
        taken_ += n;
        return int(n);
    }
    void purgeInput() override {}
    size_t taken() const { return taken_; }

private:
    size_t budget_;
    bool fails_;
    size_t taken_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5)
        return 0;
    const size_t fileSize = (size_t(data[1]) << 8 | data[2]) % 5000;
    const size_t budget = size_t(data[3]) << 8 | data[4];
    const std::string path = fuzzsupport::sourceFile(fileSize);
    TakingLine line(budget, data[0] & 1);
    seriallib::TransferContext ctx(line, nullptr, {}, fuzzsupport::senderWaits());
    const int r = seriallib::asciiSend(ctx, path);
    check(r <= 0 && r >= TransferErrProtocol, "unknown result code");
    check(line.taken() <= fileSize, "more sent than the file holds");
    check((r == 0) == (line.taken() == fileSize), "success and what the line took disagree");
    return 0;
}
