#include "line_setting.h"

#include <array>

namespace q86sim {

namespace {
constexpr std::array<uint32_t, 10> kRates = {300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
constexpr char kParityLetters[] = {'N', 'O', 'E', 'M', 'S'};
} // namespace

std::string LineSetting::describe() const {
    std::string s = std::to_string(baud) + " " + std::to_string(dataBits);
    s += parity <= ParitySpace ? kParityLetters[parity] : '?';
    s += std::to_string(stopBits);
    return s;
}

bool isSupportedRate(uint32_t baud) {
    return baudCode(baud) != 0;
}

int baudCode(uint32_t baud) {
    for (std::size_t i = 0; i < kRates.size(); ++i) {
        if (kRates[i] == baud) {
            return static_cast<int>(i) + 1;
        }
    }
    return 0;
}

uint32_t rateForBaudCode(int code) {
    if (code < 1 || code > static_cast<int>(kRates.size())) {
        return 0;
    }
    return kRates[static_cast<std::size_t>(code - 1)];
}

int parityCode(uint8_t parity) {
    switch (parity) {
    case ParityOdd:
        return 0;
    case ParityEven:
        return 1;
    case ParityMark:
        return 2;
    case ParitySpace:
        return 3;
    default:
        return 4;
    }
}

std::optional<uint8_t> parityFromCode(int code) {
    switch (code) {
    case 0:
        return ParityOdd;
    case 1:
        return ParityEven;
    case 2:
        return ParityMark;
    case 3:
        return ParitySpace;
    case 4:
        return ParityNone;
    default:
        return std::nullopt;
    }
}

IcfValue icfFromLine(const LineSetting& line) {
    const bool parity = line.parity != ParityNone;
    IcfValue v;
    v.parity = parityCode(line.parity);
    if (line.dataBits == 8) {
        v.format = parity ? 2 : (line.stopBits == 2 ? 1 : 3);
    } else {
        v.format = parity ? 5 : (line.stopBits == 2 ? 4 : 6);
    }
    return v;
}

std::optional<LineSetting> lineFromIcf(const LineSetting& line, int format, int parity) {
    LineSetting out = line;
    const auto p = parityFromCode(parity);
    if (!p) {
        return std::nullopt;
    }
    switch (format) {
    case 1:
    case 3:
    case 4:
    case 6:
        // Formats without a parity bit: the parity digit is kept by the modem but has no effect.
        out.dataBits = format <= 3 ? 8 : 7;
        out.stopBits = (format == 1 || format == 4) ? 2 : 1;
        out.parity = ParityNone;
        return out;
    case 2:
    case 5:
        if (*p == ParityNone) {
            return std::nullopt;
        }
        out.dataBits = format == 2 ? 8 : 7;
        out.stopBits = 1;
        out.parity = *p;
        return out;
    default:
        return std::nullopt;
    }
}

} // namespace q86sim
