#include "termcap_value.h"

namespace terminal {

namespace {

bool isOctal(char c) {
    return c >= '0' && c <= '7';
}

} // namespace

bool ParseCapValue(std::string_view text, int& position, ValueUnit& unit) {
    const auto size = static_cast<int>(text.size());
    int i = position + 1;
    if (i >= size)
        return false;
    const char c = text[i];
    unit = ValueUnit{};
    if (c == '\\') {
        if (i + 1 >= size)
            return false;
        const char e = text[i + 1];
        if (isOctal(e)) {
            if (i + 3 >= size || !isOctal(text[i + 2]) || !isOctal(text[i + 3]))
                return false;
            const int value = (e - '0') * 64 + (text[i + 2] - '0') * 8 + (text[i + 3] - '0');
            unit.byte = static_cast<uint8_t>(value & 0x7F); // 8-bit values are taken less 128
            position = i + 3;
            return true;
        }
        switch (e) {
        case 'E':
            unit.byte = 0x1B;
            break;
        case 'n':
            unit.byte = 0x0A;
            break;
        case 'r':
            unit.byte = 0x0D;
            break;
        case 't':
            unit.byte = 0x09;
            break;
        case 'b':
            unit.byte = 0x08;
            break;
        case 'f':
            unit.byte = 0x0C;
            break;
        case '\\':
            unit.byte = '\\';
            break;
        case '^':
            unit.byte = '^';
            break;
        default:
            return false;
        }
        position = i + 1;
        return true;
    }
    if (c == '^') {
        if (i + 1 >= size)
            return false;
        const char e = text[i + 1];
        if (e >= 'A' && e <= 'Z')
            unit.byte = static_cast<uint8_t>(e - 'A' + 1);
        else if (e >= 'a' && e <= 'z')
            unit.byte = static_cast<uint8_t>(e - 'a' + 1);
        else if (e == '_')
            unit.byte = 0x7F;
        else
            return false;
        position = i + 1;
        return true;
    }
    if (c == '%') {
        if (i + 1 >= size)
            return false;
        switch (text[i + 1]) {
        case 'd':
            unit.kind = ValueUnit::Kind::Parameter;
            break;
        case '.':
            unit.kind = ValueUnit::Kind::AnyCharacter;
            break;
        case 'i':
            unit.kind = ValueUnit::Kind::OneBased;
            break;
        case 'r':
            unit.kind = ValueUnit::Kind::Reversed;
            break;
        case '%':
            unit.byte = '%';
            break;
        default:
            return false;
        }
        position = i + 1;
        return true;
    }
    unit.byte = static_cast<uint8_t>(c);
    position = i;
    return true;
}

bool decodeValue(std::string_view text, std::vector<ValueUnit>& units) {
    units.clear();
    int position = -1;
    while (position + 1 < static_cast<int>(text.size())) {
        ValueUnit unit;
        if (!ParseCapValue(text, position, unit))
            return false;
        units.push_back(unit);
    }
    return true;
}

} // namespace terminal
