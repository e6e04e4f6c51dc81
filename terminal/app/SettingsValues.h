// What the settings sheet's pages hold, and the code tables that turn list positions into the values
// the serial library and the terminal take. The page values live once for the whole program: a sheet
// for a new window opens with the values last loaded into or confirmed in any sheet.
#pragma once

#include "PortRecords.h"

#include <QString>
#include <QStringList>

#include <array>

namespace halvic {

struct PortPageValues {
    int port = 0;     // COM1
    int baud = 14;    // 38400
    int dataBits = 3; // 8
    int parity = 0;
    int stopBits = 0;
    bool rtsCts = false;
    bool xonXoff = false;
    int dtrRadio = 0; // 0 ON, 1 OFF
    int rtsRadio = 0;
};

struct TerminalPageValues {
    int type = 2; // Dumb Terminal
    bool localEcho = false;
    int enter = 0; // CR-LF
    int cr = 2;    // No Changed
    int lf = 2;
};

struct PageValues {
    PortPageValues port;
    TerminalPageValues terminal;
    bool zmodemAutoDownload = true;
    QString capturePath;
};

// The program-wide values, with their start values until a sheet changes them.
PageValues& programPageValues();

// List texts, position 0 first.
const QStringList& BaudRateTexts();
const QStringList& DataBitsTexts();
const QStringList& ParityTexts();
const QStringList& StopBitsTexts();
const QStringList& TerminalTypeTexts();
const QStringList& EnterKeyTexts();
const QStringList& CrTranslationTexts();
const QStringList& LfTranslationTexts();

inline constexpr std::array<int, 5> ParityCodes{0x00, 0x18, 0x08, 0x28, 0x38};
inline constexpr std::array<int, 2> StopBitsCodes{0x00, 0x04};
inline constexpr std::array<int, 3> CrTranslationCodes{CodeCrLf, CodeLf, CodeUnchanged};
inline constexpr std::array<int, 3> LfTranslationCodes{CodeCrLf, CodeCr, CodeUnchanged};

void LoadPortValues(PortPageValues& values, const PortSettings& settings);
void StorePortValues(const PortPageValues& values, PortSettings& settings);
// A translation code that no list entry holds leaves its position as it was.
void LoadTerminalValues(TerminalPageValues& values, const TerminalSettings& settings);
void StoreTerminalValues(const TerminalPageValues& values, TerminalSettings& settings);

// The default capture file of a port: "cap<n>.txt" in the folder.
QString DefaultCapturePath(const QString& folder, int port);

} // namespace halvic
