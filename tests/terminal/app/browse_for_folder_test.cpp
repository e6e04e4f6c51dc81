#include "BrowseForFolder.h"
#include "scripted_file_dialogs.h"
#include "scripted_messenger.h"
#include "test_application.h"

#include <gtest/gtest.h>

namespace {

TEST(BrowseForFolder, AnswersOfTheDialog) {
    gui::testApplication();
    const QString deep = "/" + QString(250, 'd');
    struct Case {
        const char* name;
        QString answer; // empty: cancelled
        int limit;
        int result;
        QString folder; // afterwards
        bool told;
    };
    const Case cases[] = {
        {"cancelled", QString(), 260, 0, "/old/", false},
        {"a folder", "/srv/in", 260, 1, "/srv/in/", false},
        {"the root gets its separator too", "/", 260, 1, "//", false},
        {"just fits", deep, int(deep.size()) + 2, 1, deep + "/", false},
        {"one byte too long", deep, int(deep.size()) + 1, 0, "/old/", true},
        {"counted in UTF-8 bytes", QString::fromUtf8("/\xc3\xa9t\xc3\xa9"), 7, 0, "/old/", true},
    };
    for (const Case& c : cases) {
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
}

} // namespace
