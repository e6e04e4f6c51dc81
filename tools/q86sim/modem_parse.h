#pragma once
// Small text helpers of the command interpreter.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace q86sim::detail {

inline std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

inline bool parseNumber(std::string_view s, long& value) {
    if (s.empty() || s.size() > 9) {
        return false;
    }
    value = 0;
    for (char c : s) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + (c - '0');
    }
    return true;
}

// "a,b,c" into numbers; every field must be a number.
inline bool parseList(std::string_view s, std::vector<long>& out) {
    out.clear();
    while (true) {
        const auto comma = s.find(',');
        long v = 0;
        if (!parseNumber(s.substr(0, comma), v)) {
            return false;
        }
        out.push_back(v);
        if (comma == std::string_view::npos) {
            return true;
        }
        s.remove_prefix(comma + 1);
    }
}

// Logs keep their newer half when they grow long.
constexpr std::size_t kMaxLog = 10000;
template <class T>
void capLog(std::vector<T>& log) {
    if (log.size() >= kMaxLog) {
        log.erase(log.begin(), log.begin() + static_cast<std::ptrdiff_t>(kMaxLog / 2));
    }
}

} // namespace q86sim::detail
