// Arbitrary bytes as the modem's replies to the monitor's queries and to "at*apver": every parser
// returns within its bounds and never reads past the reply.
#include "fuzz_check.h"
#include "Loadthread.h"
#include "Rf_monitorthread.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string_view>

using fuzzsupport::check;

namespace {

bool allDigits(std::string_view s) {
    for (char c : s)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view reply = fuzzsupport::asText(data, size);

    if (const auto value = monitorreply::SignalValue(reply)) {
        check(!value->empty() && value->size() <= 2 && allDigits(*value));
        check(monitorreply::BarsForRssi(std::stoi(*value)) >= 0 &&
              monitorreply::BarsForRssi(std::stoi(*value)) <= 3);
    }
    monitorreply::RegistrationState(reply);
    check(allDigits(monitorreply::OperatorCode(reply)));
    if (const auto name = monitorreply::QuotedName(reply))
        check(name->find('"') == std::string::npos && name->size() < 52);
    const size_t half = size / 2;
    const int sim = monitorreply::SimPinState(reply.substr(0, half), reply.substr(half));
    check(sim >= 0 && sim <= 3);
    if (monitorreply::IsValidPin(reply))
        check(size == 4 && allDigits(reply));

    ApVersionInfo info;
    const int verdict = ParseApVersion(reply, info);
    check(verdict >= -1 && verdict <= 1);
    check(info.version.size() <= 12 && info.build.size() <= 12 && allDigits(info.build));
    // A model is named with the first character of a version; an empty version keeps the one before.
    if (verdict == 1 && !info.version.empty())
        check(info.model == "Q8690I" || info.model == "Q8630");
    return 0;
}
