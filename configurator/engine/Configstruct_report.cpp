// The exchanges before every operation (escape, probe) and the reading of the modem's settings:
// its report ("at*report") into the main settings window, and its active profile ("at&v").
#include "Configstruct.h"
#include "engine_view.h"
#include "icf_format.h"
#include "Rs232_setup.h"

#include <string>
#include <string_view>

namespace {

constexpr uint32_t kReportReadSize = 160;
constexpr size_t kReportLimit = 1600;
constexpr int kReportPasses = 30;
constexpr int kReportEmptyReadsAllowed = 5;
constexpr size_t kReportMinimum = 100;
constexpr size_t kReportCutFrom = 80;

constexpr uint32_t kProfileReadSize = 100;
constexpr size_t kProfileLimit = 320;
constexpr int kProfileReads = 4;
constexpr size_t kProfileFieldsWithin = 200;

// Where the first "OK" that is a line of its own begins at or after from: at the start of the
// text or after a LF, followed by CR (and LF when needLf). A value such as "BOOK" is not one.
size_t findOkLine(std::string_view text, size_t from, bool needLf) {
    const std::string_view marker = needLf ? "OK\r\n" : "OK\r";
    for (size_t at = text.find(marker, from); at != std::string_view::npos; at = text.find(marker, at + 1)) {
        if (at == 0 || text[at - 1] == '\n')
            return at;
    }
    return std::string_view::npos;
}

bool holds(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Up to count digits after from, skipping every other character, within the first `within` bytes.
std::string digitsAfter(std::string_view text, size_t from, size_t count, size_t within, char stopAt = '\0') {
    std::string digits;
    const size_t end = std::min(text.size(), within);
    for (size_t i = from; i < end && digits.size() < count; ++i) {
        if (stopAt && text[i] == stopAt)
            break;
        if (isDigit(text[i]))
            digits += text[i];
    }
    return digits;
}

bool startsAt(std::string_view text, size_t at, std::string_view name) {
    return text.substr(at, name.size()) == name;
}

} // namespace

int EscapeToCommandMode() {
    const int reads = GetLinkSettings().BaudIndex <= 2 ? 2 : 8;
    PurgeReceive();
    for (int attempt = 0; attempt < 2; ++attempt) {
        WriteCommand("+++", 3);
        int result = 0;
        // "+++" and "OK" are found also when they arrive split over two reads.
        CollectReads(reads, kReplyReadSize, 2, [&result](std::string_view seen) {
            for (size_t i = 0; i < seen.size(); ++i) {
                if (startsAt(seen, i, "+++")) {
                    result = 2;
                    return true;
                }
                if (startsAt(seen, i, "OK")) {
                    result = 1;
                    return true;
                }
            }
            return false;
        });
        if (result)
            return result;
    }
    return 0;
}

int ProbeAt() {
    PurgeReceive();
    std::string seen;
    std::string got;
    for (int attempt = 0; attempt < 2; ++attempt) {
        WriteCommand("at\r\n", 4);
        if (!ReadChunk(got, kReplyReadSize))
            continue;
        // The last byte of the first try's read stays, so that a reply split there is still seen.
        seen = seen.substr(seen.empty() ? 0 : seen.size() - 1) + got;
        for (size_t i = 0; i < seen.size(); ++i) {
            if (startsAt(seen, i, "at"))
                return 2;
            if (startsAt(seen, i, "OK"))
                return 1;
        }
    }
    return 0;
}

int ReadModemReport() {
    const auto view = engineView();
    std::string report;
    std::string got;
    PurgeReceive();
    WriteCommand("at*report\r\n", 11);
    int emptyReads = 0;
    for (int pass = 0; pass < kReportPasses; ++pass) {
        const bool ok = ReadChunk(got, kReportReadSize);
        if (!ok || report.size() >= kReportLimit) {
            view->setProgress(28);
            break;
        }
        report += got;
        if (got.empty())
            ++emptyReads;
        // The markers are looked for in everything collected: a marker split over two reads counts.
        if (findOkLine(report, 0, true) != std::string::npos) {
            view->setProgress(28);
            break;
        }
        if (holds(report, "Enter SMS") || holds(report, "Mode...")) {
            view->setProgress(0);
            return -1;
        }
        if (emptyReads > kReportEmptyReadsAllowed) {
            view->setProgress(0);
            return -2;
        }
        view->stepProgress();
    }
    if (report.size() <= kReportMinimum)
        return -1;
    const size_t cut = findOkLine(report, kReportCutFrom, false);
    if (cut != std::string::npos)
        report.resize(cut);
    ApplyConfigText(report);
    view->setProgress(29);
    // Without its own serial settings the window shows the rate the modem was just reached at.
    if (!view->configSerialTicked())
        view->selectMainBaudIndex(GetLinkSettings().BaudIndex);
    // A line that died after the report is no success, although the profile's own answer may be
    // missing without harm.
    if (ReadModemProfile() < 0)
        return -1;
    view->setProgress(30);
    return 1;
}

int ReadModemProfile() {
    std::string profile;
    std::string got;
    PurgeReceive();
    WriteCommand("at&v\r\n", 6);
    SleepMs(30);
    bool lastOk = false;
    for (int r = 0; r < kProfileReads && profile.size() < kProfileLimit; ++r) {
        lastOk = ReadChunk(got, kProfileReadSize);
        if (!lastOk || got.empty())
            break;
        profile += got;
    }
    if (!lastOk)
        return -1;
    if (!holds(profile, "%C"))
        return 0;

    const auto view = engineView();
    const std::string_view text = profile;
    const size_t walkEnd = std::min(text.size(), kProfileFieldsWithin);
    for (size_t i = 0; i < walkEnd; ++i) {
        if (startsAt(text, i, "S0:")) {
            const std::string rings = digitsAfter(text, i + 3, 3, kProfileFieldsWithin);
            if (!rings.empty()) {
                const int n = std::stoi(rings);
                if (n == 0)
                    view->setAutoAnswer(false, "");
                else
                    view->setAutoAnswer(true, n > 255 ? "255" : rings);
            }
        } else if (startsAt(text, i, "+CBST:")) {
            const std::string speed =
                digitsAfter(text, i + 6, kProfileFieldsWithin, kProfileFieldsWithin, ',');
            if (speed == "0" || speed == "7" || speed == "71")
                view->selectBearer(std::stoi(speed));
        } else if (startsAt(text, i, "&D:")) {
            const std::string code = digitsAfter(text, i + 3, 1, kProfileFieldsWithin);
            if (code == "0" || code == "1" || code == "2")
                view->selectDtrDrop(code[0] - '0');
        } else if (startsAt(text, i, "+ICF:")) {
            // Format and parity digits: 7 data bits with a parity bit must not show parity "None".
            const std::string digits = digitsAfter(text, i + 5, 2, kProfileFieldsWithin);
            IcfFraming framing;
            if (!digits.empty() && IcfFormatFraming(digits[0], &framing)) {
                view->selectMainDataBits(framing.dataBits);
                view->selectMainStopBits(framing.stopBits);
                if (const char* parity = IcfFramingParity(framing, digits.size() > 1 ? digits[1] : '\0'))
                    view->selectMainParity(parity);
            }
        } else if (startsAt(text, i, "+IFC:")) {
            const std::string flow = digitsAfter(text, i + 5, 1, kProfileFieldsWithin);
            if (flow == "0")
                view->selectMainFlow("None");
            else if (flow == "2")
                view->selectMainFlow("Hardward (RTS)");
            return 1;
        }
    }
    return 0;
}
