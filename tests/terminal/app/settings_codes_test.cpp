// The sheet's list positions become the codes the serial library and the terminal take.
#include "SettingsValues.h"

#include <gtest/gtest.h>

using namespace halvic;

namespace {

struct PortCase {
    const char* name;
    PortPageValues port;
    const char* portName;
    int modeBits;
    int parityCode;
    int stopBitsCode;
    int flowBits;
    int dtr;
    int rts;
};

class SettingsCodesPort : public testing::TestWithParam<PortCase> {};

TEST_P(SettingsCodesPort, PagePositionsBecomeRecordCodes) {
    const PortCase& c = GetParam();
    PortSettings s;
    StorePortValues(c.port, s);
    EXPECT_EQ(terminal::fieldText(s.portName), c.portName);
    EXPECT_EQ(s.portNumber, c.port.port + 1);
    EXPECT_EQ(s.baudIndex, c.port.baud);
    EXPECT_EQ(s.baudCode, c.port.baud);
    EXPECT_EQ(s.modeBits, c.modeBits);
    EXPECT_EQ(s.parityCode, c.parityCode);
    EXPECT_EQ(s.stopBitsCode, c.stopBitsCode);
    EXPECT_EQ(s.flowBits, c.flowBits);
    EXPECT_EQ(s.dtr, c.dtr);
    EXPECT_EQ(s.rts, c.rts);
    // And back: the page shows what the record holds.
    PortPageValues back;
    LoadPortValues(back, s);
    EXPECT_EQ(back.port, c.port.port);
    EXPECT_EQ(back.parity, c.port.parity);
    EXPECT_EQ(back.rtsCts, c.port.rtsCts);
    EXPECT_EQ(back.xonXoff, c.port.xonXoff);
    EXPECT_EQ(back.dtrRadio, c.port.dtrRadio);
    EXPECT_EQ(back.rtsRadio, c.port.rtsRadio);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, SettingsCodesPort,
    testing::Values(PortCase{"StartValues", {}, "COM1", 0x03, 0x00, 0x00, 0x0, 1, 1},
                    PortCase{"Even", {.parity = 1}, "COM1", 0x1B, 0x18, 0x00, 0x0, 1, 1},
                    PortCase{"Odd7Bits2Stops",
                             {.dataBits = 2, .parity = 2, .stopBits = 1},
                             "COM1",
                             0x0E,
                             0x08,
                             0x04,
                             0x0,
                             1,
                             1},
                    PortCase{"Mark", {.parity = 3}, "COM1", 0x2B, 0x28, 0x00, 0x0, 1, 1},
                    PortCase{"Space5Bits", {.dataBits = 0, .parity = 4}, "COM1", 0x38, 0x38, 0x00, 0x0, 1, 1},
                    PortCase{"RtsCts", {.rtsCts = true}, "COM1", 0x03, 0, 0, 0x3, 1, 1},
                    PortCase{"XonXoff", {.xonXoff = true}, "COM1", 0x03, 0, 0, 0xC, 1, 1},
                    PortCase{"BothFlows", {.rtsCts = true, .xonXoff = true}, "COM1", 0x03, 0, 0, 0xF, 1, 1},
                    PortCase{"DtrAndRtsOff", {.dtrRadio = 1, .rtsRadio = 1}, "COM1", 0x03, 0, 0, 0x0, 0, 0},
                    PortCase{"Com9", {.port = 8}, "COM9", 0x03, 0, 0, 0x0, 1, 1},
                    PortCase{"Com10", {.port = 9}, "\\\\.\\COM10", 0x03, 0, 0, 0x0, 1, 1},
                    PortCase{"Com256", {.port = 255}, "\\\\.\\COM256", 0x03, 0, 0, 0x0, 1, 1}),
    [](const testing::TestParamInfo<PortCase>& i) { return std::string(i.param.name); });

TEST(SettingsCodes, TranslationListsLeaveOutTheCharacterTheyTranslate) {
    struct Case {
        int cr, lf;
        int crCode, lfCode;
    };
    const Case cases[] = {
        {0, 0, CodeCrLf, CodeCrLf}, {1, 1, CodeLf, CodeCr}, {2, 2, CodeUnchanged, CodeUnchanged}};
    for (const Case& c : cases) {
        TerminalSettings s;
        StoreTerminalValues({.type = 2, .cr = c.cr, .lf = c.lf}, s);
        EXPECT_EQ(s.crCode, c.crCode);
        EXPECT_EQ(s.lfCode, c.lfCode);
    }
    EXPECT_EQ(CrTranslationTexts(), QStringList({"CR-LF", "LF", "No Changed"}));
    EXPECT_EQ(LfTranslationTexts(), QStringList({"CR-LF", "CR", "No Changed"}));
}

TEST(SettingsCodes, CodesNoListHoldsKeepTheirPlaceAndAreNeverLost) {
    // A received CR turned into CR is not offered: the list keeps its position.
    TerminalPageValues values{.cr = 0};
    TerminalSettings s;
    s.crCode = CodeCr;
    s.enterCode = 3; // "nothing": valid in an option file, not in the list
    LoadTerminalValues(values, s);
    EXPECT_EQ(values.cr, 0);
    TerminalSettings stored = s;
    StoreTerminalValues(values, stored);
    EXPECT_EQ(stored.crCode, CodeCrLf);
    EXPECT_EQ(stored.enterCode, 3);
}

TEST(SettingsCodes, DefaultCaptureFileIsNamedAfterThePort) {
    EXPECT_EQ(DefaultCapturePath(QStringLiteral("/home/u/"), 10), QStringLiteral("/home/u/cap10.txt"));
}

} // namespace
