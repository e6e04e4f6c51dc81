// The setup wizard's walk through its pages, its hand-over to the main settings window and its
// load-a-file start, with real windows, scripted dialogs and real files.
#include "window_fixture.h"

#include "Configstruct.h"
#include "Configstruct_form.h"
#include "scripted_file_dialogs.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <array>
#include <string>

namespace {

using Titles = std::array<QString, 4>;

const QString kWelcome = QStringLiteral("Welcome to the Vantro Modem Wizard");
const QString kUseThis = QStringLiteral("Use this wizard to set up your Vantro Q8600 cellular modem.");

class WizardFlow : public WindowSetTest {
protected:
    void SetUp() override {
        WindowSetTest::SetUp();
        WizardStep = 0;
        dialogs = gui::ScriptedFileDialogs::install();
        Fwizard->show();
        ASSERT_TRUE(dir.isValid());
    }
    void TearDown() override {
        WizardStep = 0;
        WindowSetTest::TearDown();
    }

    Titles titles() {
        return {wizard().TitleL1->text(), wizard().TitleL2->text(), wizard().TitleL3->text(),
                wizard().TitleL4->text()};
    }
    QWidget* page() { return wizard().PageControl1->currentWidget(); }
    void next() { wizard().Next->click(); }
    void back() { wizard().Back->click(); }
    void startWalk(bool smsMode) {
        wizard().RadioButton2->setChecked(true);
        next();
        (smsMode ? wizard().SMS_MS : wizard().TransparentMS)->setChecked(true);
    }
    bool wizardShown() { return !Fwizard->isHidden(); }
    bool mainShown() { return !Fmainset->isHidden(); }

    QString writeFile(const char* name, const std::string& bytes) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes.data(), qint64(bytes.size()));
        return path;
    }

    std::shared_ptr<gui::ScriptedFileDialogs> dialogs;
    QTemporaryDir dir;
};

TEST_F(WizardFlow, NextWithTheDefaultChoiceOpensTheMainWindowOnItsBasicPage) {
    main().PageControl1->setCurrentIndex(2);
    next();
    EXPECT_FALSE(wizardShown());
    EXPECT_TRUE(mainShown());
    EXPECT_EQ(main().PageControl1->currentWidget(), main().TabSheet1);
    EXPECT_EQ(WizardStep, 0);
    EXPECT_TRUE(boxes->boxes().empty());
}

TEST_F(WizardFlow, EachModeWalksItsPagesWithTheirTitlesAndFinishesIntoTheMainWindow) {
    const Titles step1{
        kWelcome, kUseThis, QStringLiteral("Please select mode that you would like set up"), {}};
    const Titles step2{QStringLiteral("Configure the Serial Interface"),
                       QStringLiteral("Set up new serial communication parameters"),
                       {},
                       {}};
    const Titles step3{QStringLiteral("PIN and Band Management"), {}, {}, {}};
    const Titles step4{
        QStringLiteral("SMS Tunnel Mode Settings"),
        QStringLiteral(
            "SMS Data Mode creates a data tunnel for low-speed and non-time-critical applications to "),
        QStringLiteral("send data over SMS service provided by a carrier."),
        {}};
    struct Stop {
        QWidget* page;
        Titles titles;
    };
    for (const bool smsMode : {false, true}) {
        SCOPED_TRACE(smsMode ? "SMS tunnel" : "transparent");
        DestroyConfiguratorWindows();
        CreateConfiguratorWindows();
        WizardStep = 0;
        WizardControls w(Fwizard);
        MainsetControls m(Fmainset);
        Fwizard->show();
        std::vector<Stop> stops{{w.Wizard3ModeSel, step1}, {w.Wizard4ComSet, step2}, {w.Wizard5PIN, step3}};
        if (smsMode)
            stops.push_back({w.Wizard6SMS, step4});

        w.RadioButton2->setChecked(true);
        for (std::size_t i = 0; i < stops.size(); ++i) {
            SCOPED_TRACE(i);
            w.Next->click();
            if (i == 0)
                (smsMode ? w.SMS_MS : w.TransparentMS)->setChecked(true);
            EXPECT_EQ(w.PageControl1->currentWidget(), stops[i].page);
            EXPECT_EQ(WizardStep, int(i) + 1);
            EXPECT_EQ(Titles({w.TitleL1->text(), w.TitleL2->text(), w.TitleL3->text(), w.TitleL4->text()}),
                      stops[i].titles);
            EXPECT_FALSE(w.Back->isHidden());
            EXPECT_FALSE(Fwizard->isHidden());
            EXPECT_TRUE(Fmainset->isHidden());
            if (stops[i].page == w.Wizard5PIN) {
                w.PIN1->setText(QStringLiteral("1234"));
                w.wmbs2_r->setChecked(true);
            }
            if (stops[i].page == w.Wizard4ComSet)
                w.DeviceName->setText(QStringLiteral("Pump7"));
            if (stops[i].page == w.Wizard6SMS)
                w.SMSc1->setText(QStringLiteral("+886912345678"));
        }
        w.Next->click();
        EXPECT_TRUE(Fwizard->isHidden());
        EXPECT_FALSE(Fmainset->isHidden());
        EXPECT_EQ(WizardStep, 0);
        // The wizard stays on its last page until it is reset.
        EXPECT_EQ(w.PageControl1->currentWidget(), stops.back().page);
        EXPECT_EQ(m.DeviceName->text(), QStringLiteral("Pump7"));
        EXPECT_EQ(m.PIN1->text(), QStringLiteral("1234"));
        EXPECT_EQ(m.SMS_IN_Data_Mode->isChecked(), smsMode);
        EXPECT_EQ(m.SMSc1m->text(), smsMode ? QStringLiteral("+886912345678") : QStringLiteral("+"));
        EXPECT_TRUE(boxes->boxes().empty());
    }
}

TEST_F(WizardFlow, BackFromTheModePageReturnsToTheFirstPageWithTheModemTitle) {
    startWalk(false);
    back();
    EXPECT_EQ(page(), wizard().MainWizard1);
    EXPECT_TRUE(wizard().Back->isHidden());
    EXPECT_EQ(WizardStep, 0);
    EXPECT_EQ(titles(), Titles({kWelcome, kUseThis, {}, {}}));
    // The walk starts again from there.
    next();
    EXPECT_EQ(page(), wizard().Wizard3ModeSel);
    EXPECT_EQ(WizardStep, 1);
}

TEST_F(WizardFlow, BackThenNextOnEveryPageOfTheWalkReturnsToTheSamePage) {
    startWalk(true);
    for (int stepped = 1; stepped <= 4; ++stepped) {
        SCOPED_TRACE(stepped);
        QWidget* const here = page();
        const Titles shown = titles();
        back();
        EXPECT_NE(page(), here);
        EXPECT_EQ(WizardStep, stepped - 1);
        next();
        EXPECT_EQ(page(), here);
        EXPECT_EQ(titles(), shown);
        EXPECT_EQ(WizardStep, stepped);
        EXPECT_FALSE(wizard().Back->isHidden());
        if (stepped < 4)
            next();
    }
    EXPECT_EQ(page(), wizard().Wizard6SMS);
}

TEST_F(WizardFlow, CancelOnAnyPageOpensTheMainWindowAndGoToModeWizardStartsAfresh) {
    for (int pages = 0; pages <= 4; ++pages) {
        SCOPED_TRACE(pages);
        if (pages > 0) {
            startWalk(true);
            for (int i = 1; i < pages; ++i)
                next();
        }
        main().PageControl1->setCurrentIndex(1);
        wizard().Cancel->click();
        EXPECT_EQ(WizardStep, 0);
        EXPECT_FALSE(wizardShown());
        EXPECT_TRUE(mainShown());
        EXPECT_EQ(main().PageControl1->currentWidget(), main().TabSheet1);

        main().GotoModeWizard1->trigger();
        EXPECT_TRUE(wizardShown());
        EXPECT_FALSE(mainShown());
        EXPECT_EQ(page(), wizard().MainWizard1);
        EXPECT_TRUE(wizard().RadioButton1->isChecked());
        EXPECT_TRUE(wizard().Back->isHidden());
    }
    // After a cancelled walk the next walk begins on the mode page again.
    startWalk(false);
    EXPECT_EQ(page(), wizard().Wizard3ModeSel);
    EXPECT_EQ(WizardStep, 1);
}

TEST_F(WizardFlow, LoadChoiceReportsEachBadFileAndLeavesTheWalkAtItsStart) {
    // The largest file taken is 10240 bytes.
    const std::string noKey(10240, 'x');
    struct Case {
        const char* name;
        std::string bytes;
        bool create;
        const char* message; // plain message, nullptr for none
    } cases[] = {
        {"empty.txt", "", true, "The file is empty."},
        {"big.txt", std::string(10241, 'x'), true,
         "Invalid Configurator File, Please check that you selected file."},
        {"nokey.txt", noKey, true, "Load Configurator File Format Error"},
        {"good.txt", "Device Alias=Pump7\r\n", true, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fmainset->hide();
        Fwizard->show();
        WizardStep = 3; // stands for a count left over; the messages put it back to 0
        boxes->clear();
        dialogs->clear();
        wizard().RadioButton3->setChecked(true);
        wizard().Back->show();
        const QString path = writeFile(c.name, c.bytes);
        dialogs->answer({path});
        next();
        ASSERT_EQ(dialogs->requests().size(), 1u);
        EXPECT_EQ(dialogs->requests()[0].kind, gui::DialogKind::Open);
        EXPECT_EQ(dialogs->requests()[0].filter, QStringLiteral("Txt files (*.txt)"));
        EXPECT_FALSE(wizardShown());
        EXPECT_TRUE(mainShown());
        EXPECT_TRUE(wizard().Back->isHidden());
        if (c.message) {
            ASSERT_EQ(boxes->boxes().size(), 1u);
            EXPECT_EQ(boxes->last().kind, gui::BoxKind::Plain);
            EXPECT_EQ(boxes->last().text, QString::fromLatin1(c.message));
            EXPECT_EQ(WizardStep, 0);
        } else {
            EXPECT_TRUE(boxes->boxes().empty());
            EXPECT_EQ(main().DeviceName->text(), QStringLiteral("Pump7"));
            EXPECT_EQ(WizardStep, 3);
        }
    }
}

TEST_F(WizardFlow, LoadChoiceWithAMissingFileWarnsAndKeepsTheWizard) {
    wizard().RadioButton3->setChecked(true);
    WizardStep = 2;
    const QString path = dir.filePath(QStringLiteral("absent.txt"));
    dialogs->answer({path});
    next();
    ASSERT_EQ(boxes->boxes().size(), 1u);
    const gui::Box box = boxes->last();
    EXPECT_EQ(box.kind, gui::BoxKind::Show);
    EXPECT_EQ(box.icon, gui::Icon::Warning);
    EXPECT_EQ(box.caption, QStringLiteral("Load Configurator Existing File Error"));
    EXPECT_EQ(box.text,
              path + QStringLiteral("\nFound Configurator file error\u3002\nPlease confirm the file "
                                    "name\u3002\n"));
    EXPECT_EQ(WizardStep, 0);
    EXPECT_TRUE(wizardShown());
    EXPECT_FALSE(mainShown());
}

TEST_F(WizardFlow, LoadChoiceCancelledChangesNothing) {
    wizard().RadioButton3->setChecked(true);
    next(); // the dialog queue is empty: cancelled
    EXPECT_EQ(dialogs->requests().size(), 1u);
    EXPECT_TRUE(boxes->boxes().empty());
    EXPECT_TRUE(wizardShown());
    EXPECT_FALSE(mainShown());
    EXPECT_EQ(page(), wizard().MainWizard1);
}

TEST_F(WizardFlow, LoadChoiceReadsAndAppliesTheFileOnce) {
    int applied = 0;
    setApplyConfigToForm([&](const ConfigRecord& record) {
        ++applied;
        Fmainset->EmptyValueCount = LastEmptyValueCount();
        ApplyConfigToForm(record);
    });
    wizard().RadioButton3->setChecked(true);
    dialogs->answer({writeFile("one.txt", "Device Alias=Once\r\nPIN Code=4321\r\n")});
    next();
    EXPECT_EQ(applied, 1);
    EXPECT_EQ(main().DeviceName->text(), QStringLiteral("Once"));
    EXPECT_TRUE(boxes->boxes().empty());
    InstallConfigFormHook();
}

} // namespace
