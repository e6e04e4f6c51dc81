// Splitting a description into lines and a line into its name and value.
#pragma once

#include "termcap_source.h"

#include <string>
#include <string_view>

namespace terminal {

inline constexpr int TermcapLineLimit = 150;
// Bytes of any kind, comments and dropped bytes included, that one line may take.
inline constexpr size_t MaxRawLine = 65536;

class TermcapLineReader {
public:
    static constexpr int EndOfFile = -1;
    static constexpr int TooLong = -2;
    static constexpr int ReadError = -3;

    explicit TermcapLineReader(TermcapSource& source) : source_(source) {}

    // Reads one line into `line`: its length (0 for an empty or comment-only line), EndOfFile when
    // nothing was left, TooLong, or ReadError. CR LF, LF and CR all end a line. Comments ("#" to the
    // line end), control bytes and bytes above 0x7E are dropped.
    int ReadTermcapLine(std::string& line, int limit = TermcapLineLimit);

private:
    TermcapSource& source_;
    bool afterCr_ = false;
};

enum class SplitResult { NameAndValue, NoValue, NameTooLong, EmptyName };

// Name (blanks removed, at most 39 characters) before the first "=", value after it without leading and
// trailing blanks.
SplitResult SplitNameValue(std::string_view line, std::string& name, std::string& value);

} // namespace terminal
