#include "pattern_generator.h"

#include <algorithm>
#include <cstdio>

namespace terminal {

namespace {

int fieldDigit(char c) {
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return static_cast<unsigned char>(c) - '0';
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

} // namespace

std::vector<uint8_t> hexTextToBytes(std::string_view text) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < text.size(); i += 2) {
        const int first = fieldDigit(text[i]);
        if (i + 1 == text.size()) {
            bytes.push_back(static_cast<uint8_t>(first));
        } else {
            bytes.push_back(static_cast<uint8_t>(first * 16 + fieldDigit(text[i + 1])));
        }
    }
    return bytes;
}

std::string bytesToHexText(std::span<const uint8_t> bytes) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    for (uint8_t b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

int rangeByte(std::string_view text) {
    int value = 0;
    for (size_t i = 0; i < text.size() && i < 2; ++i) {
        const int d = hexDigit(text[i]);
        if (d < 0) {
            break;
        }
        value = value * 16 + d;
    }
    return value;
}

uint32_t repeatCountValue(std::string_view text) {
    uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9' || value > (UINT32_MAX - 9) / 10) {
            break;
        }
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    return value;
}

std::string_view patternMessageText(int message) {
    switch (message) {
    case PatternNoRange:
    case PatternNoBytes:
        return "No pattern defined !";
    case PatternBadRepeat:
        return "Repeat count error";
    default:
        return {};
    }
}

std::vector<uint8_t> patternPass(PatternType type, std::span<const uint8_t> bytes, int start, int end) {
    std::vector<uint8_t> pass;
    if (type == PatternType::Range) {
        for (int b = start; b <= end; ++b) {
            pass.push_back(static_cast<uint8_t>(b));
        }
    } else {
        pass.assign(bytes.begin(), bytes.end());
    }
    return pass;
}

PatternCheck checkPattern(const PatternEntries& e, std::string_view hexText) {
    PatternCheck c;
    c.repeatCount = repeatCountValue(e.repeatText);
    if (e.type == PatternType::Range) {
        const int start = rangeByte(e.rangeStart);
        const int end = rangeByte(e.rangeEnd);
        if (end < start || (start == 0 && end == 0)) {
            c.message = PatternNoRange;
            return c;
        }
        char text[16];
        std::snprintf(text, sizeof text, "%x..%x", start, end);
        c.patternText = text;
        c.pass = patternPass(e.type, {}, start, end);
    } else {
        if (e.bytes.empty()) {
            c.message = PatternNoBytes;
            return c;
        }
        const size_t n = std::min(e.bytes.size(), MaxPatternBytes);
        c.patternText = std::string(hexText);
        c.pass.assign(e.bytes.begin(), e.bytes.begin() + static_cast<std::ptrdiff_t>(n));
    }
    if (e.countMode == PatternCountMode::RepeatCount && c.repeatCount == 0) {
        c.message = PatternBadRepeat;
    }
    return c;
}

long runPatternLoop(std::span<const uint8_t> pass, PatternCountMode mode, uint32_t repeatCount,
                    const PatternLoopHooks& hooks) {
    using namespace std::chrono_literals;
    long count = 0;
    auto mark = hooks.now();
    size_t offset = 0; // how much of the current pass is already on the line
    if (pass.empty()) {
        return 0;
    }
    for (;;) {
        if (hooks.waitStop(10ms)) {
            if (hooks.flush) {
                hooks.flush();
            }
            break;
        }
        const int written = hooks.write(pass.data() + offset, pass.size() - offset);
        if (written <= 0) {
            continue; // failed: tried again until stopped
        }
        offset += std::min(static_cast<size_t>(written), pass.size() - offset);
        if (offset < pass.size()) {
            continue;
        }
        offset = 0;
        ++count;
        const auto now = hooks.now();
        if (now - mark > 1000ms) {
            if (hooks.progress) {
                hooks.progress(count);
            }
            mark = now;
        }
        if (mode == PatternCountMode::RepeatCount && count >= static_cast<long>(repeatCount)) {
            break;
        }
    }
    return count;
}

} // namespace terminal
