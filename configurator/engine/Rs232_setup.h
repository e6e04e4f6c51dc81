#pragma once
// The configurator's serial link: one COM port at a time, framed from the connect dialog's choices,
// with bounded read and write time-outs; sending AT commands and looking for their replies.
//
// All operations run on the calling thread and block for at most the time-outs in force. One
// thread at a time uses the link (the GUI thread or the one running worker).

#include "comm_port.h"
#include "link_clock.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// The connect dialog's choices, taken on the GUI thread before an operation runs.
struct LinkSettings {
    int PortIndex = 0; // 0..255: COM1..COM256
    std::string PortText = "COM1";
    int BaudIndex = 9; // 0..9: 300..115200
    std::string BaudText = "115200";
    std::string ParityText = "None"; // "None", "Odd", "Even", "Mark", "Space"
    std::string DataBitsText = "8";  // "7", "8"
    std::string StopBitsText = "1";  // "1", "2"
    std::string FlowText = "None";   // "None", "Hardward (RTS)"
    bool OpRead = false;             // reading settings: the slower time-outs
    bool AutoDetect = false;
    bool operator==(const LinkSettings&) const = default;
};

void SetLinkSettings(const LinkSettings& settings);
LinkSettings GetLinkSettings();

// What ConfigureComPort puts into the port's control block. Each text converter sets only its own
// fields; a text it does not know leaves them as they were.
struct LineSettingsRecord {
    uint32_t BaudRate = 115200;
    uint8_t ByteSize = 8;
    uint8_t Parity = comm::NoParity;
    uint8_t StopBits = comm::OneStopBit;
    uint8_t RtsControl = comm::LineEnable;
    uint8_t DtrControl = comm::LineEnable;
    bool OutX = false;
    bool InX = false;
    bool operator==(const LineSettingsRecord&) const = default;
};
extern LineSettingsRecord LineSettings;

// The time-outs last passed to the port.
extern comm::CommTimeouts PortTimeouts;

// The open port; null when none is open. Only OpenComPort and CloseComPort change it.
comm::Port* ComHandle();

// The name the port of the dialog's index and text is opened by: COM1..COM9 plain, the higher
// ones with the device-namespace prefix.
std::string PortNameForIndex(int index, const std::string& text);

// One row of the time-out tables, in ms.
struct TimeoutSet {
    int ReadInterval;
    int ReadMultiplier;
    int ReadConstant;
    int WriteMultiplier;
    int WriteConstant;
    bool operator==(const TimeoutSet&) const = default;
};
constexpr int kBaudChoices = 10;
// The connect dialog's rates, by baud index.
constexpr std::array<uint32_t, kBaudChoices> kBaudRates = {300,  600,   1200,  2400,  4800,
                                                           9600, 19200, 38400, 57600, 115200};
constexpr int kBaudIndex115200 = kBaudChoices - 1;
// The rate of a baud index; an index outside 0..9 takes 115200.
uint32_t BaudRateForIndex(int baudIndex);

// The steps' own time-outs.
// At 115200, where the configuration dialogue and the firmware upgrade's preparation run.
constexpr TimeoutSet kFastLineTimeouts = {20, 10, 200, 10, 100};
// Back at the user's rate once the settings are applied.
constexpr TimeoutSet kUserRateTimeouts = {20, 50, 200, 50, 100};
// While reading settings from the modem (OpRead): room for the long report.
extern const TimeoutSet kReadSettingsTimeouts[kBaudChoices];
// For every other operation.
extern const TimeoutSet kStandardTimeouts[kBaudChoices];
// The row for a baud index; an index outside 0..9 takes the 115200 row.
TimeoutSet TimeoutsForBaudIndex(int baudIndex, bool opRead);

// 1: the port of the link settings is open, framed and has its time-outs. 0: it could not be
// opened or framed; then no port is open. A port that was open before is closed first.
int OpenComPort();
// 1: a port was open and is closed now; 0: none was open.
int CloseComPort();
// Frames the open port from the link settings, then sets the time-outs of its baud index.
// 1: framing set; 0: no port, or the port refused the framing (time-outs then unchanged).
int ConfigureComPort();
// A 0 read interval or read multiplier is stored as "none" (kMaxDword). 1 when the port took them.
int SetPortTimeouts(int readInterval, int readMultiplier, int readConstant, int writeMultiplier,
                    int writeConstant);
int SetPortTimeouts(const TimeoutSet& timeouts);

// The texts of the dialog's boxes into LineSettings: 1 when the text is one of the box's items.
int BaudTextToRate(const std::string& text);
int ParityTextToDcb(const std::string& text);
int DataBitsTextToDcb(const std::string& text);
int StopBitsTextToDcb(const std::string& text);
int FlowTextToDcb(const std::string& text);

// 1 when the open port shows carrier detect.
int IsDcdOn();
// The serial library's baud code of the link settings' baud index (115200's for an unknown index).
int BaudIndexToLibCode();

// Drops what the modem sent so far, writes the command as it is, then reads up to 8 times 20 bytes
// looking for "OK". 1 when seen.
int SendAtExpectOk(const char* command, int length);
// The same with the given number of reads; 0 right after the write when reads is 0 or less.
int SendAtExpectOkTries(const char* command, int length, int reads);
// Reads up to reads times 20 bytes looking for text; writes and drops nothing. 0 at once when
// reads is 0 or less.
int WaitForReply(const char* text, int reads);

std::string IntToText(int value);

// Building blocks of the dialogues with the modem.

// The size of one reply read.
constexpr uint32_t kReplyReadSize = 20;
// Drops the received bytes not yet read. False without a port.
bool PurgeReceive();
// Writes bytes to the open port; whether they went out is not examined (the reply tells).
void WriteCommand(const char* bytes, int length);
// One read of up to size bytes into out (replaced). False when no port is open or the read failed;
// a time-out is a successful read of fewer bytes.
bool ReadChunk(std::string& out, uint32_t size);
// Up to reads reads of up to chunk bytes each. After every successful read, match sees that read's
// bytes preceded by the last `carry` bytes received before them, so that a marker up to carry + 1
// bytes long is found even when it arrives split over reads. A failed read counts as one of the
// reads. True at the first match.
bool CollectReads(int reads, uint32_t chunk, size_t carry,
                  const std::function<bool(std::string_view)>& match);
// CollectReads looking for marker.
bool ReadsFind(std::string_view marker, int reads, uint32_t chunk = kReplyReadSize);

// Automatic detection of the line settings, on the open port. Window updates go through the
// installed EngineView (engine_view.h).

// The connect dialog's baud index of a rate (0 for a rate that is none of its items).
int ScanBaudIndex(uint32_t rate);
// Asks the modem for its framing ("at+icf?") after it answered at rate. Once an OK is read, the
// baud box takes the rate and, from the "+ICF:" line anywhere in what was read, the data-bits,
// stop-bits and parity boxes take the modem's framing (parity "None" for the formats without
// parity). 1: the reply held OK and an "+ICF:" pair with its parity digit; 0 otherwise.
int ReadIcfSetting(uint32_t rate);
// Tries the rates from 115200 down to 300, at each 8 then 7 data bits, with one stop bit and each
// parity (none, odd, even, mark, space) and then two stop bits without parity, until the modem
// answers "at". The boxes then show the answering settings, refined by ReadIcfSetting. 1: found;
// 0: no setting answered, or cancel was set (looked at before every try).
int AutoDetectBaud(const std::atomic<bool>& cancel);
