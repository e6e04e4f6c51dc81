// The main settings window's menu commands: saving and loading configuration files, starting the
// terminal emulator and the help file, and the About box. Real windows and files; scripted dialogs,
// messages and launches.
#include "window_fixture.h"

#include "About.h"
#include "Configstruct.h"
#include "install_layout.h"
#include "recording_launcher.h"
#include "scripted_file_dialogs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <string>
#include <vector>

namespace {

class MainsetFiles : public WindowSetTest {
protected:
    void SetUp() override {
        WindowSetTest::SetUp();
        dialogs = gui::ScriptedFileDialogs::install();
        ASSERT_TRUE(dir.isValid());
        Fmainset->show();
    }

    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    static QByteArray read(const QString& file) {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static void write(const QString& file, const QByteArray& bytes) {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    std::vector<QString> savePrompts() const {
        std::vector<QString> texts;
        for (const gui::Box& b : boxes->boxes())
            if (b.kind == gui::BoxKind::Confirm)
                texts.push_back(b.text);
        return texts;
    }

    std::shared_ptr<gui::ScriptedFileDialogs> dialogs;
    QTemporaryDir dir;
};

TEST_F(MainsetFiles, SaveNamesTheFileWithTxtUnlessTheChosenNameHoldsIt) {
    const struct {
        const char* chosen;
        const char* written;
    } cases[] = {{"a", "a.txt"}, {"b.txt", "b.txt"}, {"c.txt.bak", "c.txt.bak"}, {"d.TXT", "d.TXT.txt"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chosen);
        dialogs->clear();
        dialogs->answer({path(c.chosen)});
        main().SaveFile->trigger();
        ASSERT_EQ(dialogs->requests().size(), 1u);
        const gui::DialogRequest request = dialogs->requests()[0];
        EXPECT_EQ(request.kind, gui::DialogKind::Save);
        EXPECT_EQ(request.filter, QStringLiteral("Text Files(*.txt)"));
        EXPECT_FALSE(request.confirmOverwrite);
        EXPECT_TRUE(QFileInfo(path(c.written)).isFile());
        if (QString::fromLatin1(c.chosen) != QString::fromLatin1(c.written)) {
            EXPECT_FALSE(QFileInfo::exists(path(c.chosen)));
        }
    }
    EXPECT_TRUE(boxes->boxes().empty());
    // Nothing but the files themselves is left in the folder.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 4);
}

TEST_F(MainsetFiles, SavedFileHoldsThirtyKeyLinesInTableOrderWithPlainNumbersForTheLastThree) {
    main().DeviceName->setText(QStringLiteral("Pump7"));
    main().GSM_Ring_On->setChecked(true);
    main().GSM_Ring->setText(QStringLiteral("3"));
    dialogs->answer({path("settings")});
    main().SaveFile->trigger();
    EXPECT_EQ(Fmainset->SavingToFile, 0);

    const QByteArray bytes = read(path("settings.txt"));
    ASSERT_FALSE(bytes.isEmpty());
    ASSERT_TRUE(bytes.endsWith("\r\n"));
    const QList<QByteArray> lines = bytes.chopped(2).split('\n');
    ASSERT_EQ(lines.size(), 30);
    std::size_t line = 0;
    for (int k = 0; k < kConfigKeyCount; ++k) {
        const bool saved = !(k == 4 || k == 5 || (k >= 22 && k <= 35));
        if (!saved)
            continue;
        SCOPED_TRACE(ConfigKeyTable[k].KeyText);
        const QByteArray& text = lines[qsizetype(line++)];
        EXPECT_TRUE(text.startsWith(QByteArray(ConfigKeyTable[k].KeyText) + '='));
        EXPECT_TRUE(text.endsWith('\r') || k == kConfigKeyCount - 1);
        EXPECT_EQ(text.count('\r'), k == kConfigKeyCount - 1 ? 0 : 1);
    }
    EXPECT_TRUE(lines[0] == "Device Alias=Pump7\r");
    EXPECT_TRUE(bytes.contains("\r\nAutoAnswer Rings(0~255)=3\r\n"));
    EXPECT_FALSE(bytes.toLower().contains("ats0") || bytes.toLower().contains("at&d") ||
                 bytes.toLower().contains("at+cbst"));
}

TEST_F(MainsetFiles, SavedSettingsComeBackThroughLoadFileFrom) {
    main().DeviceName->setText(QStringLiteral("Pump7"));
    main().PIN1->setText(QStringLiteral("1234"));
    main().SMS_IN_Data_Mode->setChecked(true);
    main().SMSc1m->setText(QStringLiteral("+886912345678"));
    dialogs->answer({path("round.txt")});
    main().SaveFile->trigger();

    main().DeviceName->setText(QStringLiteral("Other"));
    main().PIN1->clear();
    main().SMS_IN_Data_Mode->setChecked(false);
    boxes->clear();
    dialogs->answer({path("round.txt")});
    main().Export1->trigger();
    ASSERT_EQ(dialogs->requests().size(), 2u);
    EXPECT_EQ(dialogs->requests()[1].kind, gui::DialogKind::Open);
    EXPECT_EQ(dialogs->requests()[1].filter, QStringLiteral("Txt files (*.txt)"));
    EXPECT_TRUE(boxes->boxes().empty());
    EXPECT_EQ(main().DeviceName->text(), QStringLiteral("Pump7"));
    EXPECT_EQ(main().PIN1->text(), QStringLiteral("1234"));
    EXPECT_TRUE(main().SMS_IN_Data_Mode->isChecked());
    EXPECT_EQ(main().SMSc1m->text(), QStringLiteral("+886912345678"));
}

TEST_F(MainsetFiles, SaveOverAnExistingFileAsksAndADeclinedNameLeavesItAlone) {
    write(path("kept.txt"), "old contents");
    boxes->answer({gui::Answer::No});
    dialogs->answer({path("kept.txt"), path("fresh")});
    main().SaveFile->trigger();
    EXPECT_EQ(savePrompts(), std::vector<QString>{QStringLiteral("This is an existing file. Overwrite?")});
    EXPECT_EQ(boxes->boxes()[0].caption, QStringLiteral("Vantro Configurator"));
    EXPECT_EQ(read(path("kept.txt")), QByteArray("old contents"));
    EXPECT_TRUE(read(path("fresh.txt")).startsWith("Device Alias="));

    // Agreed: replaced.
    boxes->clear();
    boxes->answer({gui::Answer::Yes});
    dialogs->answer({path("kept.txt")});
    main().SaveFile->trigger();
    EXPECT_EQ(savePrompts().size(), 1u);
    EXPECT_TRUE(read(path("kept.txt")).startsWith("Device Alias="));
}

TEST_F(MainsetFiles, SaveNeverReplacesAFileOfTheChosenNameWithoutTxt) {
    write(path("notes"), "someone's notes");
    dialogs->answer({path("notes")});
    main().SaveFile->trigger();
    EXPECT_TRUE(boxes->boxes().empty());
    EXPECT_EQ(read(path("notes")), QByteArray("someone's notes"));
    EXPECT_TRUE(read(path("notes.txt")).startsWith("Device Alias="));
}

TEST_F(MainsetFiles, SaveGivesUpSilentlyAfterTwentyDeclinedNames) {
    write(path("kept.txt"), "old");
    dialogs->answerAlways(path("kept.txt"));
    for (int i = 0; i < 30; ++i)
        boxes->answer({gui::Answer::No});
    main().SaveFile->trigger();
    EXPECT_EQ(dialogs->requests().size(), 20u);
    EXPECT_EQ(savePrompts().size(), 20u);
    EXPECT_EQ(boxes->boxes().size(), 20u);
    EXPECT_EQ(read(path("kept.txt")), QByteArray("old"));
    EXPECT_EQ(Fmainset->SavingToFile, 0);
}

TEST_F(MainsetFiles, AFailedWriteSaysSoAndTheNextNameIsStillWrittenWithPlainNumbers) {
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder.txt")));
    dialogs->answer({path("folder.txt"), path("missing/x.txt"), path("good")});
    main().SaveFile->trigger();
    EXPECT_EQ(dialogs->requests().size(), 3u);
    std::vector<QString> failures;
    for (const gui::Box& b : boxes->boxes())
        if (b.kind == gui::BoxKind::Show)
            failures.push_back(b.text);
    EXPECT_EQ(failures,
              std::vector<QString>(2, QStringLiteral("Invalid Filename, it could be reserved by Windows.")));
    const QByteArray good = read(path("good.txt"));
    EXPECT_TRUE(good.contains("\r\nAutoAnswer Rings(0~255)=0\r\n"));
    EXPECT_FALSE(good.toLower().contains("ats0"));
    EXPECT_TRUE(QFileInfo(path("folder.txt")).isDir());
    EXPECT_EQ(Fmainset->SavingToFile, 0);
}

TEST_F(MainsetFiles, SaveCancelledWritesNothing) {
    main().SaveFile->trigger();
    EXPECT_EQ(dialogs->requests().size(), 1u);
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
    EXPECT_EQ(Fmainset->SavingToFile, 0);
}

struct LoadedFile {
    const char* name;
    QByteArray bytes;
    const char* message;
};

class LoadOfAFile : public MainsetFiles, public testing::WithParamInterface<LoadedFile> {};

// A refused file changes nothing; a good one without the SMS and ring keys leaves those off.
TEST_P(LoadOfAFile, ReportsWhatIsBadAndChangesNothingForIt) {
    const LoadedFile& c = GetParam();
    main().GSM_Ring_On->setChecked(false);
    main().SMS_IN_Data_Mode->setChecked(true);
    main().SMS_OUT_Data_Mode->setChecked(true);
    main().PIN1->setText(QStringLiteral("1234"));
    main().SMSc1m->setText(QStringLiteral("+4912345"));
    main().init1->setText(QStringLiteral("at+cgdcont=1"));
    main().Ver->setText(QStringLiteral("Q8630  Ver 2.0.1"));
    write(path(c.name), c.bytes);
    dialogs->answer({path(c.name)});
    main().Export1->trigger();
    if (c.message) {
        ASSERT_EQ(boxes->boxes().size(), 1u);
        EXPECT_EQ(boxes->last().kind, gui::BoxKind::Plain);
        EXPECT_EQ(boxes->last().text, QString::fromLatin1(c.message));
    } else {
        EXPECT_TRUE(boxes->boxes().empty());
    }
    const bool refused = c.message != nullptr;
    EXPECT_EQ(main().SMS_IN_Data_Mode->isChecked(), refused);
    EXPECT_EQ(main().SMS_OUT_Data_Mode->isChecked(), refused);
    EXPECT_EQ(main().GroupBox6->isEnabled(), refused);
    EXPECT_EQ(main().GroupBox7->isEnabled(), refused);
    EXPECT_FALSE(main().GSM_Ring_On->isChecked());
    if (refused) {
        EXPECT_EQ(main().PIN1->text(), QStringLiteral("1234"));
        EXPECT_EQ(main().SMSc1m->text(), QStringLiteral("+4912345"));
        EXPECT_EQ(main().init1->text(), QStringLiteral("at+cgdcont=1"));
        EXPECT_EQ(main().Ver->text(), QStringLiteral("Q8630  Ver 2.0.1"));
    } else {
        // The model shown belonged to the last modem read, not to this file.
        EXPECT_TRUE(main().Ver->text().isEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    MainsetFiles, LoadOfAFile,
    testing::Values(LoadedFile{"empty.txt", QByteArray(), "The file is empty."},
                    LoadedFile{"big.txt", QByteArray(10241, 'x'),
                               "Configurator file invalid. Please check the file."},
                    LoadedFile{"nokey.txt", QByteArray(10240, 'x'), "Format error in Configurator file."},
                    LoadedFile{"utf16.txt", QByteArray("D\0e\0v\0i\0c\0e\0 \0A\0l\0i\0a\0s\0=\0x\0", 28),
                               "Format error in Configurator file."},
                    LoadedFile{"nosms.txt", QByteArray("Device Alias=Pump7\r\n"), nullptr}),
    [](const testing::TestParamInfo<LoadedFile>& info) {
        const std::string name = info.param.name;
        return name.substr(0, name.find('.'));
    });

TEST_F(MainsetFiles, LoadOfAMissingFileWarnsAndChangesNothing) {
    main().SMS_IN_Data_Mode->setChecked(true);
    const QString missing = path("absent.txt");
    dialogs->answer({missing});
    main().Export1->trigger();
    ASSERT_EQ(boxes->boxes().size(), 1u);
    const gui::Box box = boxes->last();
    EXPECT_EQ(box.caption, QStringLiteral("File not found."));
    EXPECT_EQ(box.icon, gui::Icon::Warning);
    EXPECT_EQ(box.text,
              missing +
                  QStringLiteral("\nFound Configurator file error\u3002\nPlease confirm the file name.\n"));
    EXPECT_TRUE(main().SMS_IN_Data_Mode->isChecked());

    // Cancelled: nothing at all.
    boxes->clear();
    main().Export1->trigger();
    EXPECT_TRUE(boxes->boxes().empty());
    EXPECT_TRUE(main().SMS_IN_Data_Mode->isChecked());
}

class MainsetLaunch : public MainsetFiles {
protected:
    void SetUp() override {
        MainsetFiles::SetUp();
        ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("bin")));
        shell::setInstallLayout(shell::InstallLayout(path("bin")));
        launches = shell::RecordingLauncher::install();
        // Shown again: each menu item still runs its command once.
        Fmainset->hide();
        Fmainset->show();
    }
    void TearDown() override {
        shell::setInstallLayout(std::nullopt);
        MainsetFiles::TearDown();
    }
    void placeProgram(bool executable) {
        const QString program = shell::installLayout().program(QStringLiteral("halvic"));
        write(program, "#!/bin/sh\n");
        QFile::setPermissions(program, executable ? QFile::permissions(program) | QFile::ExeOwner
                                                  : QFile::ReadOwner | QFile::WriteOwner);
    }
    void placeHelp() {
        ASSERT_TRUE(QDir().mkpath(shell::installLayout().helpDir()));
        write(shell::installLayout().helpFile(QStringLiteral("vantro-configurator.html")), "help");
    }

    std::shared_ptr<shell::RecordingLauncher> launches;
};

struct TerminalProgram {
    const char* what;
    int program; // 0 absent, 1 not executable, 2 executable
    bool starts;
    bool expectLaunch;
};

class TerminalEmulator : public MainsetLaunch, public testing::WithParamInterface<TerminalProgram> {};

TEST_P(TerminalEmulator, StartsFromTheSameInstallOrSaysItIsNotFound) {
    const TerminalProgram& c = GetParam();
    QFile::remove(shell::installLayout().program(QStringLiteral("halvic")));
    if (c.program)
        placeProgram(c.program == 2);
    boxes->clear();
    launches = shell::RecordingLauncher::install();
    launches->setSucceeds(c.starts);
    main().Zerip1->trigger();
    const auto made = launches->launches();
    if (c.expectLaunch) {
        ASSERT_EQ(made.size(), 1u);
        EXPECT_EQ(made[0].kind, shell::LaunchKind::Program);
        EXPECT_EQ(made[0].path, shell::installLayout().program(QStringLiteral("halvic")));
        EXPECT_TRUE(made[0].arguments.isEmpty());
    } else {
        EXPECT_TRUE(made.empty());
    }
    if (c.starts && c.expectLaunch) {
        EXPECT_TRUE(boxes->boxes().empty());
    } else {
        ASSERT_EQ(boxes->boxes().size(), 1u);
        EXPECT_EQ(boxes->last().caption, QStringLiteral("Vantro Configurator"));
        EXPECT_EQ(boxes->last().text, QStringLiteral("Zerip Terminal Emulator not found"));
    }
}

INSTANTIATE_TEST_SUITE_P(MainsetLaunch, TerminalEmulator,
                         testing::Values(TerminalProgram{"Absent", 0, true, false},
                                         TerminalProgram{"NotExecutable", 1, true, false},
                                         TerminalProgram{"Present", 2, true, true},
                                         TerminalProgram{"FailsToStart", 2, false, true}),
                         [](const testing::TestParamInfo<TerminalProgram>& info) { return info.param.what; });

TEST_F(MainsetLaunch, HelpOpensTheInstalledHelpFileOrSaysItIsNotFound) {
    const QString help = shell::installLayout().helpFile(QStringLiteral("vantro-configurator.html"));
    main().Help->trigger();
    EXPECT_TRUE(launches->launches().empty());
    ASSERT_EQ(boxes->boxes().size(), 1u);
    EXPECT_EQ(boxes->last().text, QStringLiteral("Help file not found"));

    placeHelp();
    boxes->clear();
    main().Help->trigger();
    ASSERT_EQ(launches->launches().size(), 1u);
    EXPECT_EQ(launches->launches()[0].kind, shell::LaunchKind::Document);
    EXPECT_EQ(launches->launches()[0].path, help);
    EXPECT_TRUE(boxes->boxes().empty());

    launches->setSucceeds(false);
    main().Help->trigger();
    ASSERT_EQ(boxes->boxes().size(), 1u);
    EXPECT_EQ(boxes->last().text, QStringLiteral("Help file not found"));
}

TEST_F(MainsetFiles, AboutShowsTheBuildTextModallyAndFreesTheBox) {
    QString build;
    bool modal = false;
    QTimer::singleShot(0, [&] {
        if (!Fabout)
            return;
        build = Fabout->Build->text();
        modal = QApplication::activeModalWidget() == Fabout;
        Fabout->AboutOK->click();
    });
    main().About->trigger();
    EXPECT_EQ(build, ProgramBuildText());
    EXPECT_TRUE(build.startsWith(QStringLiteral("Build ")));
    EXPECT_TRUE(modal);
    EXPECT_EQ(Fabout, nullptr);
}

} // namespace
