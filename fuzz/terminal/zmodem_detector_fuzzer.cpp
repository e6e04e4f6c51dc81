// Arbitrary received bytes through the automatic-download detector, cut into runs in three ways: whole,
// in pieces whose sizes come from the input, and byte by byte. Where a run is cut must not change what
// is found, and the detector's buffer never overflows.
#include "fuzz_check.h"
#include "zmodem_detector.h"

#include <cstdint>
#include <cstdlib>

using fuzzsupport::check;

namespace {

struct Outcome {
    int headers = 0;
    bool collecting = false;
    size_t collected = 0;
    bool operator==(const Outcome&) const = default;
};

Outcome finish(const terminal::ZmodemDetector& d, int headers) {
    return {headers, d.collecting(), d.collected()};
}

void checkState(const terminal::ZmodemDetector& d) {
    check(d.collected() <= terminal::ZmodemDetector::BufferSize);
    check(d.collecting() || d.collected() == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    terminal::ZmodemDetector whole;
    const terminal::ZmodemDetection all = whole.ZmodemDetect(data, size);
    check(all.headers >= 0);
    check(all.headers == 0 ? all.end == 0 : all.end >= 1 && all.end <= size);
    checkState(whole);

    terminal::ZmodemDetector pieces;
    int pieceHeaders = 0;
    size_t firstEnd = 0;
    for (size_t at = 0; at < size;) {
        const size_t n = std::min<size_t>(size - at, data[at] % 23 + 1);
        const terminal::ZmodemDetection r = pieces.ZmodemDetect(data + at, n);
        check(r.headers == 0 ? r.end == 0 : r.end >= 1 && r.end <= n);
        if (r.headers > 0 && pieceHeaders == 0)
            firstEnd = at + r.end;
        pieceHeaders += r.headers;
        checkState(pieces);
        at += n;
    }
    check(finish(pieces, pieceHeaders) == finish(whole, all.headers));
    if (all.headers > 0)
        check(firstEnd == all.end);

    terminal::ZmodemDetector bytewise;
    int byteHeaders = 0;
    for (size_t i = 0; i < size; ++i) {
        byteHeaders += bytewise.ZmodemDetect(data + i, 1).headers;
        checkState(bytewise);
    }
    check(finish(bytewise, byteHeaders) == finish(whole, all.headers));

    // After a reset nothing of the past counts: the same bytes again find the same.
    whole.ResetZmodemDetect();
    check(!whole.collecting() && whole.collected() == 0);
    check(whole.ZmodemDetect(data, size).headers == all.headers);
    return 0;
}
