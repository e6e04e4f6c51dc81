#pragma once
// The character framing named by the format digit of the modem's "+ICF:" answer:
// 1 8 data bits 2 stop, 2 8 with parity 1 stop, 3 8 1 stop, 4 7 2 stop, 5 7 with parity 1 stop, 6 7 1 stop.

struct IcfFraming {
    const char* dataBits; // "7" or "8"
    const char* stopBits; // "1" or "2"
    bool hasParity;
};

// False for a digit that names no format.
bool IcfFormatFraming(char format, IcfFraming* framing);

// The parity box item of an "+ICF:" parity digit (0 odd, 1 even, 2 mark, 3 space, 4 none); null for
// any other character.
const char* IcfParityText(char parity);

// The parity box item of a framing and its parity digit: "None" for a format without a parity bit,
// whatever the digit says; null when the format has one and the digit names none.
const char* IcfFramingParity(const IcfFraming& framing, char parity);
