// A port document opens, configures and registers its port on a pty, and reports each failure once.
#include "halvic_fixture.h"
#include "install_layout.h"
#include "PortErrors.h"

using namespace halvictest;
using halvic::CHalvicDoc;

namespace {

class DocumentTest : public HalvicTest {};

TEST_F(DocumentTest, OpensItsPortBindsTheDescriptionAndRegistersThePort) {
    CHalvicDoc doc(*app);
    ASSERT_TRUE(doc.OnNewDocument());
    EXPECT_TRUE(doc.IsPortOpen());
    EXPECT_TRUE(app->IsPortInUse(kPort));
    EXPECT_EQ(app->openPortCount(), 1);
    ASSERT_TRUE(doc.binding.table);
    {
        auto state = doc.screen->lock();
        EXPECT_EQ(state->columns(), 80);
        EXPECT_EQ(state->screenLines(), 24);
        EXPECT_EQ(state->bufferLines(), 24 + 25);
    }
    // The user's folder, never the program's.
    EXPECT_EQ(terminal::fieldText(doc.transferSettings.receiveDirectory), app->ReceiveFolder().toStdString());
    EXPECT_NE(terminal::fieldText(doc.transferSettings.receiveDirectory),
              app->ProgramDirectory().toStdString());
    EXPECT_TRUE(messages->boxes().empty());
    // The port is really held: the same device under another number is refused.
    EXPECT_EQ(SerialOpen(kSameDevice), SerialErrOccupied);
}

TEST_F(DocumentTest, ClosingReleasesPortAndNumber) {
    {
        CHalvicDoc doc(*app);
        ASSERT_TRUE(doc.OnNewDocument());
        doc.OnCloseDocument();
        EXPECT_FALSE(doc.IsPortOpen());
    }
    EXPECT_FALSE(app->IsPortInUse(kPort));
    EXPECT_EQ(app->openPortCount(), 0);
    EXPECT_EQ(SerialOpen(kSameDevice), 0);
}

TEST_F(DocumentTest, PortHeldElsewhereGivesOneMessageAndNoWindow) {
    ASSERT_EQ(SerialOpen(kSameDevice), 0);
    CHalvicDoc doc(*app);
    EXPECT_FALSE(doc.OnNewDocument());
    ASSERT_EQ(messages->boxes().size(), 1u);
    EXPECT_EQ(messages->last().caption, QStringLiteral("COM5"));
    EXPECT_EQ(messages->last().text, QStringLiteral("No such port or port is occupied by other program"));
    EXPECT_FALSE(app->IsPortInUse(kPort));
    EXPECT_EQ(app->openPortCount(), 0);
}

TEST_F(DocumentTest, RefusedLineSettingLeavesWindowWithPortClosed) {
    wantedPort.baudCode = 25; // no such rate
    CHalvicDoc doc(*app);
    ASSERT_TRUE(doc.OnNewDocument());
    EXPECT_FALSE(doc.IsPortOpen());
    ASSERT_EQ(messages->boxes().size(), 1u);
    EXPECT_EQ(messages->last().text, QStringLiteral("Bad parameter"));
    // The window keeps its number, but the device itself was let go.
    EXPECT_TRUE(app->IsPortInUse(kPort));
    EXPECT_EQ(SerialOpen(kSameDevice), 0);
}

TEST_F(DocumentTest, PortNumbersOutsideTheTableAreRefusedAndNeverMarked) {
    for (int port : {0, 257, -3}) {
        messages->clear();
        halvic::SetPort(wantedPort, port);
        CHalvicDoc doc(*app);
        EXPECT_FALSE(doc.OnNewDocument()) << port;
        EXPECT_EQ(messages->last().text, QStringLiteral("No such port or port is not opened in advance"))
            << port;
        EXPECT_EQ(app->openPortCount(), 0) << port;
    }
    app->MarkPortInUse(0);
    app->MarkPortInUse(257);
    EXPECT_EQ(app->openPortCount(), 0);
    EXPECT_FALSE(app->IsPortInUse(257));
}

TEST_F(DocumentTest, SecondWindowOnAPortInUseAsksAgainAndCancelMakesNone) {
    CHalvicDoc first(*app);
    ASSERT_TRUE(first.OnNewDocument());
    sheetRuns = 0;
    sheetAccepts = 1; // the sheet comes back after the message, and is cancelled then
    CHalvicDoc second(*app);
    EXPECT_FALSE(second.OnNewDocument());
    EXPECT_EQ(sheetRuns, 2);
    ASSERT_EQ(messages->boxes().size(), 1u);
    EXPECT_EQ(messages->last().text, QStringLiteral("Port COM5 has been opened !"));
    EXPECT_EQ(app->openPortCount(), 1);
    EXPECT_TRUE(first.IsPortOpen());
}

TEST_F(DocumentTest, MissingDescriptionFailsOpeningOnceAndFreesThePort) {
    QTemporaryDir empty;
    shell::setInstallLayout(shell::InstallLayout(empty.path() + QStringLiteral("/bin")));
    CHalvicDoc doc(*app);
    EXPECT_FALSE(doc.OnNewDocument());
    shell::setInstallLayout(std::nullopt);
    ASSERT_EQ(messages->boxes().size(), 1u);
    EXPECT_EQ(messages->last().text, QStringLiteral("Termcap file ansi open fail"));
    EXPECT_EQ(app->openPortCount(), 0);
    EXPECT_EQ(SerialOpen(kSameDevice), 0);
}

TEST_F(DocumentTest, DumbTerminalNeedsNoDescriptionAndGetsEightyByTwentyFive) {
    wantedTerminal.terminalType = 2;
    CHalvicDoc doc(*app);
    ASSERT_TRUE(doc.OnNewDocument());
    EXPECT_FALSE(doc.binding.table);
    auto state = doc.screen->lock();
    EXPECT_EQ(state->columns(), 80);
    EXPECT_EQ(state->screenLines(), 25);
}

struct ErrorRow {
    const char* name;
    int code;
    const char* text;
};

const ErrorRow ErrorRows[] = {
    {"NotOpen", -1, "No such port or port is not opened in advance"},
    {"NotACompatibleBoard", -2, "The board is not the BREL compatible intelligend board"},
    {"Unknown3", -3, "Unknown Error:-3"},
    {"NoData", -4, "No data to read or no buffer to write"},
    {"Occupied", -5, "No such port or port is occupied by other program"},
    {"HardwareFlowControl", -6, "Can't Set by H/W Flowctrl"},
    {"BadParameter", -7, "Bad parameter"},
    {"Unknown42", -42, "Unknown Error:-42"},
};

class PortErrorTexts : public testing::TestWithParam<ErrorRow> {};

TEST_P(PortErrorTexts, EachCodeHasItsText) {
    EXPECT_EQ(halvic::PortErrorText(GetParam().code), QString::fromLatin1(GetParam().text))
        << GetParam().code;
}

INSTANTIATE_TEST_SUITE_P(Codes, PortErrorTexts, testing::ValuesIn(ErrorRows),
                         [](const testing::TestParamInfo<ErrorRow>& i) { return std::string(i.param.name); });

TEST(PortNames, FromComTenUpTheDeviceNamespaceForm) {
    EXPECT_EQ(halvic::MakePortName(1), "COM1");
    EXPECT_EQ(halvic::MakePortName(9), "COM9");
    EXPECT_EQ(halvic::MakePortName(10), "\\\\.\\COM10");
    EXPECT_EQ(halvic::MakePortName(256), "\\\\.\\COM256");
}

} // namespace
