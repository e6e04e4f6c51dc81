#include "BrowseForFolder.h"
#include "scripted_file_dialogs.h"
#include "scripted_messenger.h"
#include "test_application.h"

#include <gtest/gtest.h>

namespace {

struct FolderCase {
    const char* name;
    QString answer; // empty: cancelled
    int limit;
    int result;
    QString folder; // afterwards
    bool told;
};

std::vector<FolderCase> folderCases() {
    const QString deep = "/" + QString(250, 'd');
    return {
        {"Cancelled", QString(), 260, 0, "/old/", false},
        {"AFolder", "/srv/in", 260, 1, "/srv/in/", false},
        {"TheRootGetsItsSeparatorToo", "/", 260, 1, "//", false},
        {"JustFits", deep, int(deep.size()) + 2, 1, deep + "/", false},
        {"OneByteTooLong", deep, int(deep.size()) + 1, 0, "/old/", true},
        {"CountedInUtf8Bytes", QString::fromUtf8("/\xc3\xa9t\xc3\xa9"), 7, 0, "/old/", true},
    };
}

class BrowseForFolderAnswers : public testing::TestWithParam<FolderCase> {};

TEST_P(BrowseForFolderAnswers, AnswersOfTheDialog) {
    const FolderCase& c = GetParam();
    gui::testApplication();
    auto dialogs = gui::ScriptedFileDialogs::install();
    auto messages = gui::ScriptedMessenger::install();
    dialogs->answer({c.answer});
    QString folder = "/old/";
    EXPECT_EQ(BrowseForFolder(nullptr, folder, "/start/here/", c.limit), c.result) << c.name;
    EXPECT_EQ(folder, c.folder) << c.name;
    ASSERT_EQ(dialogs->requests().size(), 1u);
    EXPECT_EQ(dialogs->requests()[0].kind, gui::DialogKind::Folder);
    EXPECT_EQ(dialogs->requests()[0].caption, "Select Folder");
    EXPECT_EQ(dialogs->requests()[0].start, "/start/here/");
    EXPECT_EQ(messages->boxes().size(), c.told ? 1u : 0u) << c.name;
}

INSTANTIATE_TEST_SUITE_P(BrowseForFolder, BrowseForFolderAnswers, testing::ValuesIn(folderCases()),
                         [](const testing::TestParamInfo<FolderCase>& i) {
                             return std::string(i.param.name);
                         });

} // namespace
