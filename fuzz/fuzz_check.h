#pragma once
// What every fuzzer shares: the input as text, and a broken rule ending the run so that libFuzzer
// keeps the input that broke it.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace fuzzsupport {

inline void check(bool condition, const char* what = nullptr) {
    if (condition)
        return;
    if (what)
        std::fprintf(stderr, "%s\n", what);
    std::abort();
}

inline std::string_view asText(const uint8_t* data, size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

} // namespace fuzzsupport
