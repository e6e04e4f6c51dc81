// Test patterns sent to a port again and again: the entries of the pattern dialog turned into the bytes
// of one pass, their checks, and the sending loop of the worker over a write function and a stop signal.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace terminal {

enum class PatternType : int { Ascii = 0, Hex = 1, Range = 2 };
enum class PatternCountMode : int { UntilUserBreak = 0, RepeatCount = 1 };

inline constexpr size_t MaxPatternBytes = 20;

// The HEX field's text as bytes: every two characters one byte, a last lone character a byte of its own
// value ("ABC" gives AB 0C). "A" to "F" (either case) are worth 10 to 15, any other character its code
// minus '0', so pasted text still gives values; each byte keeps the low 8 bits.
std::vector<uint8_t> hexTextToBytes(std::string_view text);
// Two upper-case hexadecimal digits per byte.
std::string bytesToHexText(std::span<const uint8_t> bytes);
// A Start or To text: up to two hexadecimal digits, either case; empty gives 0.
int rangeByte(std::string_view text);
// The decimal value of the repeat-count text (digits only; empty gives 0).
uint32_t repeatCountValue(std::string_view text);

struct PatternEntries {
    PatternType type = PatternType::Range;
    std::vector<uint8_t> bytes; // ASCII and HEX: the pattern line's bytes
    std::string rangeStart;
    std::string rangeEnd;
    PatternCountMode countMode = PatternCountMode::UntilUserBreak;
    std::string repeatText = "1";
};

// Message numbers of a refused pattern.
enum PatternMessage : int {
    PatternOk = 0,
    PatternNoRange = 58,  // "No pattern defined !"
    PatternNoBytes = 59,  // "No pattern defined !"
    PatternBadRepeat = 60 // "Repeat count error"
};
std::string_view patternMessageText(int message);

struct PatternCheck {
    int message = PatternOk;
    std::string patternText;   // shown while sending: the hex digits, or "%x..%x" of the range
    std::vector<uint8_t> pass; // the bytes of one pass
    uint32_t repeatCount = 0;
};

// The checks of Start Send. hexText is the HEX field's text (shown for ASCII and HEX patterns).
PatternCheck checkPattern(const PatternEntries& entries, std::string_view hexText);

// One pass: start, start+1 .. end for a range, else the pattern's bytes.
std::vector<uint8_t> patternPass(PatternType type, std::span<const uint8_t> bytes, int start, int end);

// What the sending loop needs of its surroundings.
struct PatternLoopHooks {
    // Waits up to the given time for the stop signal; true when it is given.
    std::function<bool(std::chrono::milliseconds)> waitStop;
    // Writes bytes to the port; returns how many were written, or a negative code.
    std::function<int(const uint8_t*, size_t)> write;
    // Called once when stopped: drops what is still queued.
    std::function<void()> flush;
    // The number of complete passes so far, at most once a second.
    std::function<void(long)> progress;
    std::function<std::chrono::steady_clock::time_point()> now = [] {
        return std::chrono::steady_clock::now();
    };
};

// Sends pass after pass until stopped or, in repeat mode, until repeatCount passes are complete. Before
// each write it waits 10 ms for the stop signal. A pass cut short by the port is finished from where it
// stopped, so the line only ever carries whole passes and only whole passes are counted; failed writes
// are tried again. Returns the number of complete passes.
long runPatternLoop(std::span<const uint8_t> pass, PatternCountMode mode, uint32_t repeatCount,
                    const PatternLoopHooks& hooks);

} // namespace terminal
