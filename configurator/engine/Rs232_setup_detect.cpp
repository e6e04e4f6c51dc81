// Finding the modem's line settings: every rate and framing of the connect dialog in turn until
// "at" is answered, then the modem's own word on its framing ("at+icf?").
#include "engine_view.h"
#include "icf_format.h"
#include "Rs232_setup.h"

#include <algorithm>
#include <span>
#include <string>
#include <string_view>

namespace {

constexpr TimeoutSet kScanTimeouts = {20, 10, 70, 10, 100};
constexpr TimeoutSet kSlowScanTimeouts = {20, 10, 300, 10, 100}; // from 600 baud down
constexpr TimeoutSet kSlowIcfTimeouts = {20, 20, 400, 10, 100};  // below 600 baud
constexpr int kSlowScanFromIndex = 1;

// The read interval at a rate: at least two characters of 11 bits. A reply that arrives byte by
// byte (as a pty or a plain UART hands it over) then stays in one read at 300 and 600 baud, where
// a character takes longer than the 20 ms interval. Only reads that get data are affected; a
// silent try costs the same.
TimeoutSet withRoomForCharacters(TimeoutSet t, uint32_t rate) {
    const int twoCharactersMs = static_cast<int>((2 * 11 * 1000 + rate - 1) / rate);
    t.ReadInterval = std::max(t.ReadInterval, twoCharactersMs);
    return t;
}
constexpr uint32_t kIcfReadSize = 30;
constexpr int kIcfReads = 3;

const char* parityText(uint8_t parity) {
    static const char* const names[] = {"None", "Odd", "Even", "Mark", "Space"};
    return parity < 5 ? names[parity] : "None";
}

size_t skipBlanks(std::string_view text, size_t at) {
    while (at < text.size() && text[at] == ' ')
        ++at;
    return at;
}

} // namespace

int ScanBaudIndex(uint32_t rate) {
    for (int i = 0; i < kBaudChoices; ++i) {
        if (kBaudRates[i] == rate)
            return i;
    }
    return 0;
}

int ReadIcfSetting(uint32_t rate) {
    if (rate < 600)
        SetPortTimeouts(withRoomForCharacters(kSlowIcfTimeouts, rate));
    PurgeReceive();
    WriteCommand("at+icf?\r\n", 9);
    // Everything read until the OK is looked at: the "+ICF:" line may come in an earlier read.
    std::string reply;
    std::string got;
    bool answered = false;
    for (int r = 0; r < kIcfReads && !answered; ++r) {
        if (!ReadChunk(got, kIcfReadSize))
            continue;
        reply += got;
        answered = reply.find("OK") != std::string::npos;
    }
    if (!answered)
        return 0;

    const auto view = engineView();
    view->selectBaudIndex(ScanBaudIndex(rate));
    const std::string_view text = reply;
    const size_t field = text.find("+ICF:");
    if (field == std::string_view::npos)
        return 0;
    size_t at = skipBlanks(text, field + 5);
    IcfFraming framing{};
    const bool known = at < text.size() && IcfFormatFraming(text[at], &framing);
    if (known) {
        view->selectDataBits(framing.dataBits);
        view->selectStopBits(framing.stopBits);
    }
    if (at < text.size() && text[at] >= '0' && text[at] <= '9')
        ++at;
    at = skipBlanks(text, at);
    if (at >= text.size() || text[at] != ',')
        return 0;
    at = skipBlanks(text, at + 1);
    if (at >= text.size() || text[at] < '0' || text[at] > '9')
        return 0;
    const char* parity = known ? IcfFramingParity(framing, text[at]) : IcfParityText(text[at]);
    if (parity)
        view->selectParity(parity);
    return 1;
}

int AutoDetectBaud(const std::atomic<bool>& cancel) {
    comm::Port* port = ComHandle();
    if (!port)
        return 0;
    SetPortTimeouts(kScanTimeouts);
    comm::Dcb dcb;
    port->getState(dcb);
    dcb.fDtrControl = comm::LineEnable;
    dcb.fRtsControl = comm::LineEnable;
    const auto view = engineView();
    view->showDetectWindows();

    struct Framing {
        uint8_t parity;
        uint8_t stopBits;
    };
    static const Framing oneStop[] = {{comm::NoParity, comm::OneStopBit},
                                      {comm::OddParity, comm::OneStopBit},
                                      {comm::EvenParity, comm::OneStopBit},
                                      {comm::MarkParity, comm::OneStopBit},
                                      {comm::SpaceParity, comm::OneStopBit}};
    static const Framing twoStop[] = {{comm::NoParity, comm::TwoStopBits}};

    for (int index = kBaudChoices - 1; index >= 0; --index) {
        dcb.BaudRate = kBaudRates[index];
        if (index <= kSlowScanFromIndex)
            SetPortTimeouts(withRoomForCharacters(kSlowScanTimeouts, dcb.BaudRate));
        for (uint8_t dataBits : {uint8_t{8}, uint8_t{7}}) {
            dcb.ByteSize = dataBits;
            for (bool two : {false, true}) {
                view->setDetectStatus(two ? "Detecting......." : "Detecting....");
                for (const Framing& f :
                     two ? std::span<const Framing>(twoStop) : std::span<const Framing>(oneStop)) {
                    if (cancel.load())
                        return 0;
                    dcb.Parity = f.parity;
                    dcb.StopBits = f.stopBits;
                    PurgeReceive();
                    // A framing the port refused is not tried: an answer would be taken for it.
                    if (!port->setState(dcb) || SendAtExpectOkTries("at\r\n", 4, 2) != 1)
                        continue;
                    // The boxes show what answered at once; the modem's own word refines them.
                    view->selectBaudIndex(index);
                    view->selectDataBits(dataBits == 7 ? "7" : "8");
                    view->selectStopBits(two ? "2" : "1");
                    view->selectParity(parityText(f.parity));
                    ReadIcfSetting(dcb.BaudRate);
                    return 1;
                }
            }
        }
    }
    return 0;
}
