// What a user meets on a port window's plain roads: its title and open port under each flow
// control, the DTR and RTS commands on the line, Clear Screen, and the exit question after
// Properties edits that follow a load or a save.
#include "halvic_fixture.h"
#include "line_control.h"
#include "scripted_file_dialogs.h"

#include <QAction>
#include <QFile>

#include <sys/ioctl.h>

#include <mutex>
#include <utility>
#include <vector>

using namespace halvictest;

namespace {

// The lines of a device without real ones, with every change the program makes kept.
class RecordedLines : public comm::LineControl {
public:
    bool getLines(int, int* bits) override {
        *bits = TIOCM_CTS | TIOCM_DSR;
        return true;
    }
    bool setLines(int, int raise, int drop) override {
        std::lock_guard lock(mutex);
        changes.emplace_back(raise, drop);
        return true;
    }
    std::vector<std::pair<int, int>> taken() {
        std::lock_guard lock(mutex);
        return std::exchange(changes, {});
    }
    std::mutex mutex;
    std::vector<std::pair<int, int>> changes; // (raised, dropped) TIOCM bits
};

class PortWindowRoad : public HalvicTest {
protected:
    void SetUp() override {
        HalvicTest::SetUp();
        dialogs = gui::ScriptedFileDialogs::install();
        comm::setLineControl(pty.slavePath(), lines);
    }
    void TearDown() override {
        comm::setLineControl(pty.slavePath(), nullptr);
        HalvicTest::TearDown();
    }

    // Port Manager > Open on the wanted settings.
    halvic::CChildFrame* openFromMenu() {
        trigger("portOpen");
        return mainFrame().activeChild();
    }
    std::string typed(halvic::CChildFrame& child, Qt::Key key) {
        QTest::keyClick(&child.view(), key);
        return takeFrom(pty.master(), 1, 1000);
    }

    std::shared_ptr<gui::ScriptedFileDialogs> dialogs;
    std::shared_ptr<RecordedLines> lines = std::make_shared<RecordedLines>();
};

struct FlowCase {
    const char* name;
    int flowBits;
    const char* title;
};

class WindowUnderFlowControl : public PortWindowRoad, public testing::WithParamInterface<FlowCase> {};

TEST_P(WindowUnderFlowControl, OpensWithItsPortAndNamesTheFlowInItsTitle) {
    wantedPort.flowBits = GetParam().flowBits;
    halvic::CChildFrame* child = openFromMenu();
    ASSERT_NE(child, nullptr);
    EXPECT_TRUE(messages->boxes().empty()) << messages->last().text.toStdString();
    EXPECT_TRUE(child->document().IsPortOpen());
    EXPECT_EQ(child->windowTitle(), QString::fromLatin1(GetParam().title));
    EXPECT_EQ(typed(*child, Qt::Key_A), "a");
}

INSTANTIATE_TEST_SUITE_P(
    PortWindowRoad, WindowUnderFlowControl,
    testing::Values(FlowCase{"None", 0, "COM5,9600,None,8,1,ANSI"},
                    FlowCase{"RtsCts", SerialFlowRtsCts, "COM5,9600,None,8,1,RTS/CTS,ANSI"},
                    FlowCase{"XonXoff", SerialFlowXonXoff, "COM5,9600,None,8,1,XON/XOFF,ANSI"},
                    FlowCase{"Both", SerialFlowRtsCts | SerialFlowXonXoff,
                             "COM5,9600,None,8,1,RTS/CTS,XON/XOFF,ANSI"}),
    [](const testing::TestParamInfo<FlowCase>& info) { return std::string(info.param.name); });

struct LineCase {
    const char* name;
    const char* command;
    int bit;
};

class LineCommand : public PortWindowRoad, public testing::WithParamInterface<LineCase> {};

TEST_P(LineCommand, DropsThenRaisesItsLine) {
    halvic::CChildFrame* child = openFromMenu();
    ASSERT_NE(child, nullptr);
    lines->taken();
    const int bit = GetParam().bit;
    trigger(GetParam().command);
    EXPECT_EQ(lines->taken(), (std::vector<std::pair<int, int>>{{0, bit}}));
    trigger(GetParam().command);
    EXPECT_EQ(lines->taken(), (std::vector<std::pair<int, int>>{{bit, 0}}));
}

INSTANTIATE_TEST_SUITE_P(PortWindowRoad, LineCommand,
                         testing::Values(LineCase{"Dtr", "toggleDtr", TIOCM_DTR},
                                         LineCase{"Rts", "toggleRts", TIOCM_RTS}),
                         [](const testing::TestParamInfo<LineCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(PortWindowRoad, ClearScreenEmptiesTheScreen) {
    halvic::CChildFrame* child = openFromMenu();
    ASSERT_NE(child, nullptr);
    putTo(pty.master(), "first line\r\nsecond");
    ASSERT_TRUE(waitFor([&] { return rowText(child->document(), 1) == "second"; }));
    trigger("clearScreen");
    EXPECT_EQ(rowText(child->document(), 0), "");
    EXPECT_EQ(rowText(child->document(), 1), "");
    // The screen goes on from its top.
    putTo(pty.master(), "x");
    EXPECT_TRUE(waitFor([&] { return rowText(child->document(), 0) == "x"; }));
}

// How the profile came to have a file: saved from this program, or loaded in a fresh one.
struct ProfileCase {
    const char* name;
    bool reload;
};

class EditAfterProfile : public PortWindowRoad, public testing::WithParamInterface<ProfileCase> {};

TEST_P(EditAfterProfile, PropertiesChangesAreAskedAboutOnExit) {
    ASSERT_NE(openFromMenu(), nullptr);
    const QString path = dir.filePath(QStringLiteral("bench.hlv"));
    dialogs->answer({path});
    trigger("profileSave");
    ASSERT_TRUE(QFile::exists(path));
    ASSERT_EQ(messages->last().text, QStringLiteral("Option file save ok"));
    if (GetParam().reload) {
        frame.reset();
        const auto sheet = app->settingsSheet();
        app = std::make_unique<halvic::CHalvicApp>(QCoreApplication::applicationDirPath());
        app->setSettingsSheet(sheet);
        dialogs->answer({path});
        trigger("profileOpen");
        ASSERT_TRUE(waitFor([&] { return mainFrame().childFrames().size() == 1; }));
    }
    const size_t before = messages->boxes().size();

    wantedPort.baudIndex = wantedPort.baudCode = 13; // 19200
    trigger("properties");
    ASSERT_TRUE(waitFor([&] { return mainFrame().childFrames().front()->windowTitle().contains("19200"); }));
    messages->answer({gui::Answer::Cancel});
    trigger("profileExit");
    ASSERT_TRUE(waitFor([&] { return messages->boxes().size() > before; }));
    EXPECT_EQ(messages->last().kind, gui::BoxKind::AskYesNoCancel);
    EXPECT_EQ(messages->last().text, QStringLiteral("Do you want to save setting to file?"));
    EXPECT_TRUE(mainFrame().isVisible());
}

INSTANTIATE_TEST_SUITE_P(PortWindowRoad, EditAfterProfile,
                         testing::Values(ProfileCase{"AfterASave", false}, ProfileCase{"AfterALoad", true}),
                         [](const testing::TestParamInfo<ProfileCase>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
