#pragma once
// The modem's configuration record: its 46 keys, the key=value text format of configuration files
// and of the modem's settings report, and the reader and writer of that format.
//
// Values are 8-bit texts kept byte for byte in std::string; conversion to Qt happens in the windows.

#include "config_record.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// One key of the record.
struct ConfigKeyEntry {
    uint32_t ValueKind;  // 1 a choice or yes/no value, 2 a free text, 0 the terminator
    const char* KeyText; // label in files and reports, and the modem's prompt for the value
    uint8_t MaxLength;   // the most value characters the reader takes
    uint8_t SkipCount;   // keys the modem's dialogue advances after an empty or "No..." answer
};

// The 46 keys in record order and an all-zero terminator.
extern const ConfigKeyEntry ConfigKeyTable[kConfigRecordSize];

// The program's current record: each key's value followed by CR LF, as last taken from the main
// settings window (GUI thread only).
extern ConfigRecord ConfigLines;

// A text file longer than this is not a configuration file.
constexpr long kMaxConfigFileSize = 10240;

struct ParsedConfig {
    ConfigRecord values; // without line ends
    int EmptyValueCount = 0;
};

// Reads the values of every key from a configuration text. The text ends at its first NUL byte.
// Each key takes its first occurrence followed by at least one character; one separator character
// is skipped; the value runs to a line end (CR, LF or CR LF), the end of the text or the key's
// MaxLength. EmptyValueCount counts the keys 0..45 left empty (46: the text names no key).
ParsedConfig ParseConfigText(std::string_view text);

// Where a parsed record goes: the windows install the function that puts it into their controls.
using ApplyConfigFunction = std::function<void(const ConfigRecord&)>;
void setApplyConfigToForm(ApplyConfigFunction apply);

// Parses the text, keeps its EmptyValueCount and hands the record to the installed function.
void ApplyConfigText(std::string_view text);

// The EmptyValueCount of the last ApplyConfigText (46 before any).
int LastEmptyValueCount();

// Reads and applies a configuration file. 0: read and applied; -1: empty, missing, unreadable, or
// not a regular file (a FIFO or device is never opened for reading); -2: longer than
// kMaxConfigFileSize bytes (refused before reading). Nothing is applied unless the result is 0.
int LoadConfigFile(const std::string& path);
// The reading half of LoadConfigFile: the file's bytes in text, with LoadConfigFile's results.
int ReadConfigFile(const std::string& path, std::string& text);

// Whether the Save File command writes key k.
bool IsSavedConfigKey(int k);

// The text of a saved configuration file: one "key=value" line ending CR LF for each saved key in
// table order. Each value is the record element without its trailing line end.
std::string FormatConfigFile(const ConfigRecord& lines);

// Writes FormatConfigFile(lines) to path through a temporary file in the same folder that replaces
// path only once it is complete, so a failed save leaves any earlier file as it was.
// False when the file could not be written; errno then tells why.
bool SaveConfigFile(const std::string& path, const ConfigRecord& lines);

// Exchanges with the modem on the open link (Rs232_setup.h). The window updates go through the
// installed EngineView (engine_view.h).

// Sends the escape "+++" (twice at most). 2: the plus signs came back (echo on, already in command
// mode); 1: the modem answered OK; 0: neither.
int EscapeToCommandMode();
// Sends "at" (twice at most). 2: the command came back (echo on); 1: OK without the echo; 0: no answer.
int ProbeAt();
// Reads the modem's report ("at*report"), applies it through ApplyConfigText, then reads the
// profile. 1: read and applied; -1: the modem is in no state to report ("Enter SMS", "Mode...") or
// sent 100 bytes or fewer; -2: more than five reads brought nothing. Nothing is applied unless 1.
// Only an "OK" that is a line of its own ends the report; a value ending in "OK" is data.
int ReadModemReport();
// Reads the active profile ("at&v") into the main settings window: auto-answer rings, bearer, DTR
// behaviour, framing, flow control. 1: read up to its flow-control field; 0: no usable reply
// (nothing changed) or no flow-control field within its first 200 bytes; -1: the read failed.
int ReadModemProfile();

// Writes the record to the modem (in command mode): first its rings, DTR and bearer elements (AT
// commands) each with up to two attempts, then "at&w", then answers the prompts of the modem's
// "at*config" dialogue from the record's keys up to kLastDialogueKey, following the skip counts
// after empty and "No" answers. 1: the dialogue ran past key 42; 0: a command was refused twice, or the modem
// showed no expected prompt in five passes in a row.
int WriteConfigToModem(const ConfigRecord& record);
