// Writing the record to the modem: the three settings its configuration dialogue does not cover as
// commands of their own, then the "at*config" dialogue answered prompt by prompt from the record.
#include "Configstruct.h"
#include "engine_view.h"
#include "Rs232_setup.h"

#include <string>
#include <string_view>

namespace {

constexpr int kFirstCommandIndex = keyIndex(kFirstCommandKey); // "ats0=", "at&d", "at+cbst="
constexpr int kLastAnsweredKey = keyIndex(kLastDialogueKey);
constexpr int kCommandAttempts = 2;
constexpr int kMissedPassesAllowed = 5;
constexpr uint32_t kPromptReadSize = 50;
constexpr int kPromptReadsPerPass = 4;
// What a pass keeps of an unanswered text for the next pass: room for a prompt cut in two.
constexpr size_t kCarryLimit = 200;

bool sendLine(const std::string& line) {
    return SendAtExpectOk(line.data(), static_cast<int>(line.size())) == 1;
}

bool startsWith(const std::string& text, std::string_view prefix) {
    return std::string_view(text).substr(0, prefix.size()) == prefix;
}

} // namespace

int WriteConfigToModem(const ConfigRecord& record) {
    const auto view = engineView();
    view->setStatusText("");
    view->setStatusText("Loading...");
    SleepMs(1000);
    SleepMs(1000);
    SendAtExpectOk("at+wind=0\r\n", 11);
    PurgeReceive();

    // A setting the modem refuses twice fails the write: it would be reported as applied otherwise.
    for (int k = kFirstCommandIndex; k < kConfigKeyCount; ++k) {
        bool taken = false;
        for (int attempt = 0; attempt < kCommandAttempts && !taken; ++attempt)
            taken = sendLine(record.at(k));
        if (!taken)
            return 0;
        SleepMs(20);
        PurgeReceive();
        view->stepProgress();
    }
    SendAtExpectOkTries("at+cicb=0\r\n", 11, 1);
    SendAtExpectOk("at&w\r\n", 6);

    SleepMs(50);
    PurgeReceive();
    WriteCommand("at*config\r\n", 11);
    SleepMs(30);

    int k = 0;
    int missedPasses = 0;
    // The modem's output not yet matched to a prompt. A prompt is looked for anywhere in it, and what
    // follows the last answered prompt carries over to the next pass, so that neither a long echo
    // before a prompt nor a prompt cut between two passes loses it. Nothing is purged between
    // prompts: a modem that prompts at once would lose its prompt to a purge.
    std::string text;
    std::string got;
    while (missedPasses < kMissedPassesAllowed) {
        SleepMs(35);
        const std::string_view key = k < kConfigKeyCount ? ConfigKeyTable[k].KeyText : "";
        const bool firstReadOk = ReadChunk(got, kPromptReadSize);
        text += got;
        // Further reads only while the prompt is missing and the modem is still sending.
        bool lastBroughtBytes = true;
        for (int r = 1; r < kPromptReadsPerPass && lastBroughtBytes; ++r) {
            if (!key.empty() && text.find(key) != std::string::npos)
                break;
            SleepMs(35);
            ReadChunk(got, kPromptReadSize);
            text += got;
            lastBroughtBytes = !got.empty();
        }
        if (k > kLastAnsweredKey)
            return 1;
        const size_t at = firstReadOk ? text.find(key) : std::string::npos;
        if (at != std::string::npos) {
            SleepMs(30);
            const std::string& answer = record.at(k);
            WriteCommand(answer.data(), static_cast<int>(answer.size()));
            missedPasses = 0;
            const bool skips = startsWith(answer, "\r\n") || startsWith(answer, "No");
            text.erase(0, at + key.size());
            k += skips ? ConfigKeyTable[k].SkipCount : 1;
            view->setProgress(k + 3);
        }
        if (text.size() > kCarryLimit)
            text.erase(0, text.size() - kCarryLimit);
        ++missedPasses;
    }
    return 0;
}
