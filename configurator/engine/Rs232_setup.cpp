#include "Rs232_setup.h"

#include <memory>
#include <mutex>

LineSettingsRecord LineSettings;
comm::CommTimeouts PortTimeouts;

namespace {

std::unique_ptr<comm::Port> currentPort;

std::mutex settingsMutex;
LinkSettings linkSettings;

uint32_t noneWhenZero(int ms) {
    return ms == 0 ? comm::kMaxDword : static_cast<uint32_t>(ms);
}

// Framing from the link settings; false when the port has none or refused it.
bool applyFraming(const LinkSettings& s) {
    BaudTextToRate(s.BaudText);
    ParityTextToDcb(s.ParityText);
    DataBitsTextToDcb(s.DataBitsText);
    StopBitsTextToDcb(s.StopBitsText);
    FlowTextToDcb(s.FlowText);
    comm::Dcb dcb;
    if (!currentPort || !currentPort->getState(dcb))
        return false;
    // Only these fields: CTS/DSR output flow and the rest stay as the port has them.
    dcb.BaudRate = LineSettings.BaudRate;
    dcb.ByteSize = LineSettings.ByteSize;
    dcb.Parity = LineSettings.Parity;
    dcb.StopBits = LineSettings.StopBits;
    dcb.fRtsControl = LineSettings.RtsControl;
    dcb.fDtrControl = LineSettings.DtrControl;
    dcb.fOutX = LineSettings.OutX;
    dcb.fInX = LineSettings.InX;
    return currentPort->setState(dcb);
}

int applyTimeoutsFor(const LinkSettings& s) {
    return SetPortTimeouts(TimeoutsForBaudIndex(s.BaudIndex, s.OpRead));
}

} // namespace

void SetLinkSettings(const LinkSettings& settings) {
    std::lock_guard lock(settingsMutex);
    linkSettings = settings;
}

LinkSettings GetLinkSettings() {
    std::lock_guard lock(settingsMutex);
    return linkSettings;
}

comm::Port* ComHandle() {
    return currentPort.get();
}

std::string PortNameForIndex(int index, const std::string& text) {
    // The port map takes the prefixed form for every port, so COM100 and up use the same prefix.
    if (index <= 8)
        return text;
    return "\\\\.\\" + text;
}

const TimeoutSet kReadSettingsTimeouts[kBaudChoices] = {
    {550, 50, 3500, 40, 100}, {400, 40, 3000, 30, 100}, {200, 35, 2000, 30, 100}, {100, 30, 1000, 20, 100},
    {50, 20, 800, 20, 100},   {30, 15, 300, 10, 100},   {20, 10, 200, 10, 100},   {20, 10, 200, 10, 100},
    {20, 10, 200, 10, 100},   {20, 10, 200, 10, 100},
};

const TimeoutSet kStandardTimeouts[kBaudChoices] = {
    {550, 40, 1800, 50, 100}, {400, 30, 1500, 30, 100}, {200, 25, 1200, 30, 100}, {100, 20, 1000, 20, 100},
    {50, 15, 500, 20, 100},   {30, 12, 300, 10, 100},   {20, 10, 200, 10, 100},   {20, 10, 200, 10, 100},
    {20, 10, 200, 10, 100},   {20, 10, 100, 10, 100},
};

uint32_t BaudRateForIndex(int baudIndex) {
    return kBaudRates[static_cast<std::size_t>(
        baudIndex >= 0 && baudIndex < kBaudChoices ? baudIndex : kBaudIndex115200)];
}

TimeoutSet TimeoutsForBaudIndex(int baudIndex, bool opRead) {
    if (baudIndex < 0 || baudIndex >= kBaudChoices)
        baudIndex = kBaudIndex115200;
    return opRead ? kReadSettingsTimeouts[baudIndex] : kStandardTimeouts[baudIndex];
}

int OpenComPort() {
    currentPort.reset();
    const LinkSettings s = GetLinkSettings();
    currentPort = comm::openPort(PortNameForIndex(s.PortIndex, s.PortText));
    if (!currentPort)
        return 0;
    // A port that cannot be framed or bounded is of no use and would talk at the wrong framing or
    // block a worker: it is not kept.
    if (!applyFraming(s) || !applyTimeoutsFor(s)) {
        currentPort.reset();
        return 0;
    }
    return 1;
}

int CloseComPort() {
    if (!currentPort)
        return 0;
    currentPort.reset();
    return 1;
}

int ConfigureComPort() {
    const LinkSettings s = GetLinkSettings();
    if (!applyFraming(s))
        return 0;
    applyTimeoutsFor(s);
    return 1;
}

int SetPortTimeouts(int readInterval, int readMultiplier, int readConstant, int writeMultiplier,
                    int writeConstant) {
    PortTimeouts.ReadIntervalTimeout = noneWhenZero(readInterval);
    PortTimeouts.ReadTotalTimeoutMultiplier = noneWhenZero(readMultiplier);
    PortTimeouts.ReadTotalTimeoutConstant = static_cast<uint32_t>(readConstant);
    PortTimeouts.WriteTotalTimeoutMultiplier = static_cast<uint32_t>(writeMultiplier);
    PortTimeouts.WriteTotalTimeoutConstant = static_cast<uint32_t>(writeConstant);
    return currentPort && currentPort->setTimeouts(PortTimeouts) ? 1 : 0;
}

int SetPortTimeouts(const TimeoutSet& t) {
    return SetPortTimeouts(t.ReadInterval, t.ReadMultiplier, t.ReadConstant, t.WriteMultiplier,
                           t.WriteConstant);
}

int BaudTextToRate(const std::string& text) {
    for (uint32_t rate : kBaudRates) {
        if (text == std::to_string(rate)) {
            LineSettings.BaudRate = rate;
            return 1;
        }
    }
    return 0;
}

int ParityTextToDcb(const std::string& text) {
    static const char* const names[] = {"None", "Odd", "Even", "Mark", "Space"};
    for (uint8_t p = 0; p < 5; ++p) {
        if (text == names[p]) {
            LineSettings.Parity = p;
            return 1;
        }
    }
    return 0;
}

int DataBitsTextToDcb(const std::string& text) {
    if (text != "7" && text != "8")
        return 0;
    LineSettings.ByteSize = static_cast<uint8_t>(text[0] - '0');
    return 1;
}

int StopBitsTextToDcb(const std::string& text) {
    if (text == "1")
        LineSettings.StopBits = comm::OneStopBit;
    else if (text == "2")
        LineSettings.StopBits = comm::TwoStopBits;
    else
        return 0;
    return 1;
}

int FlowTextToDcb(const std::string& text) {
    uint8_t mode;
    if (text == "None")
        mode = comm::LineEnable;
    else if (text == "Hardward (RTS)")
        mode = comm::LineHandshake;
    else
        return 0;
    LineSettings.RtsControl = mode;
    LineSettings.DtrControl = mode;
    LineSettings.OutX = false;
    LineSettings.InX = false;
    return 1;
}

int IsDcdOn() {
    uint32_t status = 0;
    return currentPort && currentPort->getModemStatus(&status) && (status & comm::MsRlsdOn) ? 1 : 0;
}

int BaudIndexToLibCode() {
    static const int codes[kBaudChoices] = {5, 6, 7, 9, 10, 12, 13, 14, 15, 16};
    const int index = GetLinkSettings().BaudIndex;
    return index >= 0 && index < kBaudChoices ? codes[index] : 16;
}

bool PurgeReceive() {
    return currentPort && currentPort->purge(comm::PurgeRxClear);
}

void WriteCommand(const char* bytes, int length) {
    if (!currentPort || !bytes || length <= 0)
        return;
    uint32_t written = 0;
    currentPort->write(bytes, static_cast<uint32_t>(length), &written);
}

bool ReadChunk(std::string& out, uint32_t size) {
    out.assign(size, '\0');
    uint32_t got = 0;
    const bool ok = currentPort && currentPort->read(out.data(), size, &got);
    out.resize(ok ? std::min(got, size) : 0);
    return ok;
}

bool CollectReads(int reads, uint32_t chunk, size_t carry,
                  const std::function<bool(std::string_view)>& match) {
    std::string window;
    std::string got;
    for (int r = 0; r < reads; ++r) {
        if (!ReadChunk(got, chunk))
            continue;
        window += got;
        if (match(window))
            return true;
        if (window.size() > carry)
            window.erase(0, window.size() - carry);
    }
    return false;
}

bool ReadsFind(std::string_view marker, int reads, uint32_t chunk) {
    const size_t carry = marker.empty() ? 0 : marker.size() - 1;
    return CollectReads(reads, chunk, carry, [marker](std::string_view seen) {
        return seen.find(marker) != std::string_view::npos;
    });
}

int SendAtExpectOk(const char* command, int length) {
    return SendAtExpectOkTries(command, length, 8);
}

int SendAtExpectOkTries(const char* command, int length, int reads) {
    PurgeReceive();
    WriteCommand(command, length);
    return reads > 0 && ReadsFind("OK", reads) ? 1 : 0;
}

int WaitForReply(const char* text, int reads) {
    if (reads <= 0 || !text)
        return 0;
    return ReadsFind(text, reads) ? 1 : 0;
}

std::string IntToText(int value) {
    return std::to_string(value);
}
