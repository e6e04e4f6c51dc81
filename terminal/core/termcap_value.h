// The value syntax of a description line: plain characters, backslash and caret escapes, and the
// %-codes that stand for parameters, any byte and the parameter modifiers.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace terminal {

struct ValueUnit {
    enum class Kind : uint8_t { Byte, Parameter, AnyCharacter, OneBased, Reversed };
    Kind kind = Kind::Byte;
    uint8_t byte = 0;

    bool isPercentCode() const { return kind != Kind::Byte; }
    bool operator==(const ValueUnit&) const = default;
};

// Decodes the unit that starts after `position` (the index of the last character consumed; start with -1)
// and advances `position` to its last character. False on a syntax error.
bool ParseCapValue(std::string_view text, int& position, ValueUnit& unit);

// Decodes the whole value; false on a syntax error anywhere in it.
bool decodeValue(std::string_view text, std::vector<ValueUnit>& units);

} // namespace terminal
