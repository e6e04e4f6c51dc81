#include "icf_format.h"

bool IcfFormatFraming(char format, IcfFraming* framing) {
    switch (format) {
    case '1':
        *framing = {"8", "2", false};
        return true;
    case '2':
        *framing = {"8", "1", true};
        return true;
    case '3':
        *framing = {"8", "1", false};
        return true;
    case '4':
        *framing = {"7", "2", false};
        return true;
    case '5':
        *framing = {"7", "1", true};
        return true;
    case '6':
        *framing = {"7", "1", false};
        return true;
    default:
        return false;
    }
}

const char* IcfParityText(char parity) {
    switch (parity) {
    case '0':
        return "Odd";
    case '1':
        return "Even";
    case '2':
        return "Mark";
    case '3':
        return "Space";
    case '4':
        return "None";
    default:
        return nullptr;
    }
}

const char* IcfFramingParity(const IcfFraming& framing, char parity) {
    return framing.hasParity ? IcfParityText(parity) : "None";
}
