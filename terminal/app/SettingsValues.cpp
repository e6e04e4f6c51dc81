#include "SettingsValues.h"

namespace halvic {

namespace {

// A position outside the table keeps the record's code: a list never stores "no selection".
template <size_t N>
void storeCode(const std::array<int, N>& codes, int position, int32_t& code) {
    if (position >= 0 && static_cast<size_t>(position) < N)
        code = codes[static_cast<size_t>(position)];
}

void storePosition(int position, int count, int32_t& field) {
    if (position >= 0 && position < count)
        field = position;
}

template <size_t N>
void loadPosition(const std::array<int, N>& codes, int code, int& position) {
    for (size_t i = 0; i < N; ++i)
        if (codes[i] == code)
            position = static_cast<int>(i);
}

} // namespace

PageValues& programPageValues() {
    static PageValues values;
    return values;
}

const QStringList& BaudRateTexts() {
    static const QStringList texts{"50",    "75",    "110",    "134.5",  "150",    "300",   "600",
                                   "1200",  "1800",  "2400",   "4800",   "7200",   "9600",  "19200",
                                   "38400", "57600", "115200", "230400", "460800", "921600"};
    return texts;
}

const QStringList& DataBitsTexts() {
    static const QStringList texts{"5", "6", "7", "8"};
    return texts;
}

const QStringList& ParityTexts() {
    static const QStringList texts{"None", "Even", "Odd", "Mark", "Space"};
    return texts;
}

const QStringList& StopBitsTexts() {
    static const QStringList texts{"1", "2"};
    return texts;
}

const QStringList& TerminalTypeTexts() {
    static const QStringList texts{"ANSI", "VT100", "Dumb Terminal"};
    return texts;
}

const QStringList& EnterKeyTexts() {
    static const QStringList texts{"CR-LF", "CR", "LF"};
    return texts;
}

const QStringList& CrTranslationTexts() {
    static const QStringList texts{"CR-LF", "LF", "No Changed"};
    return texts;
}

const QStringList& LfTranslationTexts() {
    static const QStringList texts{"CR-LF", "CR", "No Changed"};
    return texts;
}

void LoadPortValues(PortPageValues& values, const PortSettings& settings) {
    values.port = settings.portNumber - 1;
    values.baud = settings.baudIndex;
    values.dataBits = settings.dataBitsIndex;
    values.parity = settings.parityIndex;
    values.stopBits = settings.stopBitsIndex;
    values.rtsCts = HardwareFlow(settings);
    values.xonXoff = SoftwareFlow(settings);
    values.dtrRadio = settings.dtr == 1 ? 0 : 1;
    values.rtsRadio = settings.rts == 1 ? 0 : 1;
}

void StorePortValues(const PortPageValues& values, PortSettings& settings) {
    if (values.port >= 0 && values.port < 256)
        SetPort(settings, values.port + 1);
    if (values.baud >= 0 && values.baud < BaudRateTexts().size())
        settings.baudIndex = settings.baudCode = values.baud;
    storePosition(values.parity, static_cast<int>(ParityCodes.size()), settings.parityIndex);
    storePosition(values.dataBits, 4, settings.dataBitsIndex);
    storePosition(values.stopBits, static_cast<int>(StopBitsCodes.size()), settings.stopBitsIndex);
    storeCode(ParityCodes, settings.parityIndex, settings.parityCode);
    settings.dataBitsCode = settings.dataBitsIndex;
    storeCode(StopBitsCodes, settings.stopBitsIndex, settings.stopBitsCode);
    settings.modeBits = settings.dataBitsCode | settings.parityCode | settings.stopBitsCode;
    settings.flowBits = (values.rtsCts ? 0x3 : 0) | (values.xonXoff ? 0xC : 0);
    settings.dtr = values.dtrRadio == 0 ? 1 : 0;
    settings.rts = values.rtsRadio == 0 ? 1 : 0;
}

void LoadTerminalValues(TerminalPageValues& values, const TerminalSettings& settings) {
    values.type = settings.terminalType;
    values.localEcho = settings.localEcho != 0;
    values.enter = settings.enterCode;
    loadPosition(CrTranslationCodes, settings.crCode, values.cr);
    loadPosition(LfTranslationCodes, settings.lfCode, values.lf);
}

void StoreTerminalValues(const TerminalPageValues& values, TerminalSettings& settings) {
    storePosition(values.type, static_cast<int>(TerminalTypeTexts().size()), settings.terminalType);
    settings.localEcho = values.localEcho ? 1 : 0;
    storePosition(values.enter, static_cast<int>(EnterKeyTexts().size()), settings.enterCode);
    storeCode(CrTranslationCodes, values.cr, settings.crCode);
    storeCode(LfTranslationCodes, values.lf, settings.lfCode);
}

QString DefaultCapturePath(const QString& folder, int port) {
    return QStringLiteral("%1cap%2.txt").arg(folder).arg(port);
}

} // namespace halvic
