// The open port windows go into an option file and come back from it as windows with their records.
#include "halvic_fixture.h"
#include "scripted_file_dialogs.h"

using namespace halvictest;

namespace {

class ProfilesTest : public HalvicTest {
protected:
    void SetUp() override {
        HalvicTest::SetUp();
        dialogs = gui::ScriptedFileDialogs::install();
        path = dir.filePath(QStringLiteral("set.hlv"));
    }
    std::shared_ptr<gui::ScriptedFileDialogs> dialogs;
    QString path;
};

TEST_F(ProfilesTest, SavedWindowsOpenAgainWithTheirRecords) {
    wantedTerminal.terminalType = 1;
    ASSERT_TRUE(openWindow());
    halvic::SetPort(wantedPort, kOtherPort);
    wantedTerminal.terminalType = 2;
    wantedTerminal.enterCode = halvic::CodeLf;
    ASSERT_TRUE(openWindow());
    EXPECT_TRUE(app->SettingsChanged());

    dialogs->answer({path});
    ASSERT_TRUE(mainFrame().OnProfileSave(false));
    EXPECT_EQ(messages->last().text, QStringLiteral("Option file save ok"));
    EXPECT_FALSE(app->SettingsChanged());

    dialogs->answer({path});
    mainFrame().OnProfileOpen();
    // The old windows go once their readers have stopped; the file's windows come after them.
    ASSERT_TRUE(waitFor([&] {
        const auto frames = mainFrame().childFrames();
        return frames.size() == 2 && frames[0]->document().fromProfile() &&
               frames[1]->document().fromProfile();
    }));
    EXPECT_EQ(app->openPortCount(), 2);
    const auto frames = mainFrame().childFrames();
    EXPECT_EQ(frames[0]->document().activePort(), kPort);
    EXPECT_EQ(frames[0]->document().terminalSettings.terminalType, 1);
    EXPECT_EQ(frames[1]->document().activePort(), kOtherPort);
    EXPECT_EQ(frames[1]->document().terminalSettings.enterCode, halvic::CodeLf);
    EXPECT_TRUE(frames[1]->document().IsPortOpen());
    EXPECT_FALSE(app->SettingsChanged());

    // Closing one of them makes the set differ from the file again.
    QPointer<halvic::CChildFrame> first(frames[0]);
    first->close();
    ASSERT_TRUE(waitFor([&] { return first.isNull(); }));
    EXPECT_TRUE(app->SettingsChanged());
}

TEST_F(ProfilesTest, CancelledSaveOnExitKeepsTheProgramRunning) {
    ASSERT_TRUE(openWindow());
    messages->answer({gui::Answer::Yes});
    dialogs->answer({QString()}); // the save dialog is cancelled
    mainFrame().close();
    EXPECT_TRUE(mainFrame().isVisible());
    EXPECT_EQ(mainFrame().childFrames().size(), 1);
    // The question comes again; No closes without writing.
    messages->answer({gui::Answer::No});
    mainFrame().close();
    ASSERT_TRUE(waitFor([&] { return !mainFrame().isVisible(); }));
    EXPECT_FALSE(QFile::exists(path));
}

} // namespace
