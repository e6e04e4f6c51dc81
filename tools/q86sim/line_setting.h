#pragma once
// Rate and character framing of the modem's serial side.

#include <cstdint>
#include <optional>
#include <string>

namespace q86sim {

// Parity numbering of the serial layer: 0 none, 1 odd, 2 even, 3 mark, 4 space.
enum ParityKind : uint8_t { ParityNone = 0, ParityOdd = 1, ParityEven = 2, ParityMark = 3, ParitySpace = 4 };

struct LineSetting {
    uint32_t baud = 115200;
    uint8_t dataBits = 8; // 7 or 8
    uint8_t parity = ParityNone;
    uint8_t stopBits = 1; // 1 or 2
    bool operator==(const LineSetting&) const = default;

    // Start bit, data bits, parity bit, stop bits.
    int bitsPerChar() const { return 1 + dataBits + (parity != ParityNone ? 1 : 0) + stopBits; }
    bool sameFraming(const LineSetting& o) const {
        return dataBits == o.dataBits && parity == o.parity && stopBits == o.stopBits;
    }
    std::string describe() const; // "115200 8N1"
};

// The rates the modem accepts for +IPR and the dialogue's baud codes 1..10.
bool isSupportedRate(uint32_t baud);
// Baud code of the dialogue and report: 300 -> 1 ... 115200 -> 10; 0 for other rates.
int baudCode(uint32_t baud);
uint32_t rateForBaudCode(int code); // 0 for codes outside 1..10

// +ICF format and parity digits. Format: 1 8N2, 2 8P1, 3 8N1, 4 7N2, 5 7P1, 6 7N1. Parity digit:
// 0 odd, 1 even, 2 mark, 3 space, 4 none.
struct IcfValue {
    int format = 3;
    int parity = 4;
};
IcfValue icfFromLine(const LineSetting& line);
// The framing of an +ICF pair applied to line (rate kept); nullopt for values the modem refuses.
std::optional<LineSetting> lineFromIcf(const LineSetting& line, int format, int parity);

// Parity code of the dialogue and report: 0 odd, 1 even, 2 mark, 3 space, 4 none.
int parityCode(uint8_t parity);
std::optional<uint8_t> parityFromCode(int code);

} // namespace q86sim
