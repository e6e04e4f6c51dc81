// The main settings window: its checks before an operation, the flags, key filters, change checks
// and the rules that keep its controls consistent.
#include "window_fixture.h"

#include "Wdatacollect.h"

#include <QClipboard>
#include <QSignalSpy>
#include <QTest>

#include <functional>

namespace {

const QString kTitle = QStringLiteral("Vantro Configurator");

class MainSettingsTest : public WindowSetTest {
protected:
    void SetUp() override {
        WindowSetTest::SetUp();
        Fmainset->show();
        Fmainset->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Fmainset));
    }
    static void place(QLineEdit* edit, const QString& text) {
        const QSignalBlocker quiet(edit);
        edit->setText(text);
    }
    int flagSum() const {
        return Fmainset->OpUpgrade + Fmainset->OpApply + Fmainset->OpMonitor + Fmainset->OpRead +
               Fmainset->OpRestore;
    }
};

TEST_F(MainSettingsTest, PinCheck) {
    const struct {
        const char* pin;
        int result;
    } cases[] = {{"", 2}, {"1234", 1}, {"12a4", -2}, {"123", -1}, {"1", -1}, {"    ", -2}};
    for (const auto& c : cases) {
        place(main().PIN1, c.pin);
        EXPECT_EQ(Fmainset->Fmain_DL_PIN_Check(), c.result) << c.pin;
    }
}

struct ApplyCase {
    const char* name;
    std::function<void(MainsetControls&)> setUp;
    const char* message; // nullptr: the apply goes ahead
    const char* page;
    const char* focus;
};

class ApplyCheck : public MainSettingsTest, public testing::WithParamInterface<ApplyCase> {
public:
    using Fill = std::function<void(MainsetControls&)>;
    static Fill pin(const char* p) {
        return [p](MainsetControls& m) { place(m.PIN1, p); };
    }
    static Fill rings(const char* count) {
        return [count](MainsetControls& m) {
            m.GSM_Ring_On->setChecked(true);
            m.GSM_Ring->setText(count);
        };
    }
    static Fill numbers(const char* a, const char* b, const char* c, const char* d) {
        return [=](MainsetControls& m) {
            // Ticked so that the fields can take the focus; the check itself ignores the boxes.
            m.SMS_IN_Data_Mode->setChecked(true);
            m.SMS_OUT_Data_Mode->setChecked(true);
            place(m.SMSc1m, a);
            place(m.SMSc2m, b);
            place(m.SMSt1m, c);
            place(m.SMSt2m, d);
        };
    }
    static Fill init(const char* edit, const char* text) {
        return [=](MainsetControls&) { Fmainset->findChild<QLineEdit*>(edit)->setText(text); };
    }
};

TEST_P(ApplyCheck, BeforeTheConnectDialog) {
    const ApplyCase& c = GetParam();
    c.setUp(main());
    main().PageControl1->setCurrentIndex(1);
    Fmainset->OpRead = 1;
    main().DownloadBtn->click();
    if (!c.message) {
        EXPECT_TRUE(boxes->boxes().empty()) << boxes->last().text.toStdString();
        EXPECT_EQ(Fmainset->OpApply, 1);
        EXPECT_EQ(Fmainset->OpRead, 0);
        EXPECT_TRUE(Fconnect->isVisible());
        return;
    }
    ASSERT_EQ(boxes->boxes().size(), 1u);
    EXPECT_EQ(boxes->last().caption, kTitle);
    EXPECT_EQ(boxes->last().text, c.message);
    EXPECT_EQ(main().PageControl1->currentWidget()->objectName(), c.page);
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    EXPECT_EQ(QApplication::focusWidget()->objectName(), c.focus);
    EXPECT_EQ(Fmainset->OpApply, 0);
    EXPECT_EQ(Fmainset->OpRead, 1);
    EXPECT_FALSE(Fconnect->isVisible());
}

const char* const kPinText = "The PIN must be 4 digits. Leave this empty if a PIN is not used.";
const char* const kQText = "ATQ0 or ATQ1 commands not support.";

INSTANTIATE_TEST_SUITE_P(
    MainSettingsTest, ApplyCheck,
    testing::Values(
        ApplyCase{"Defaults", [](MainsetControls&) {}, nullptr, nullptr, nullptr},
        ApplyCase{"PinOfFourDigits", ApplyCheck::pin("1234"), nullptr, nullptr, nullptr},
        ApplyCase{"PinOfThreeDigits", ApplyCheck::pin("123"), kPinText, "TabSheet1", "PIN1"},
        ApplyCase{"PinWithALetter", ApplyCheck::pin("12a4"), kPinText, "TabSheet1", "PIN1"},
        ApplyCase{"RingsEmpty", ApplyCheck::rings(""),
                  "Must enter between 1 and 255 rings for Auto-answer on", "TabSheet2", "GSM_Ring"},
        ApplyCase{"RingsZero", ApplyCheck::rings("0"), nullptr, nullptr, nullptr},
        ApplyCase{"CallerTwoWithoutOne", ApplyCheck::numbers("+", "+4917", "+", "+"),
                  "Please fill in Caller No. 1 first.", "TabSheet3", "SMSc1m"},
        ApplyCase{"TargetTwoWithoutOne", ApplyCheck::numbers("+", "+", "", "+33"),
                  "Please fill in Target No. 1 first.", "TabSheet3", "SMSt1m"},
        ApplyCase{"BothGroups", ApplyCheck::numbers("+1", "+4917", "+", "+"), nullptr, nullptr, nullptr},
        ApplyCase{"PlusAlone", ApplyCheck::numbers("+", "+", "+", "+"), nullptr, nullptr, nullptr},
        ApplyCase{"Atq1InCmd3", ApplyCheck::init("CMD3", "ATQ1"), kQText, "Init_Strings", "CMD3"},
        ApplyCase{"Atq0InInit1", ApplyCheck::init("init1", "atq0"), kQText, "Init_Strings", "init1"},
        ApplyCase{"Q1Inside", ApplyCheck::init("CMD1", "xq1y"), kQText, "Init_Strings", "CMD1"},
        ApplyCase{"HarmlessInit", ApplyCheck::init("CMD2", "at+cfun=1"), nullptr, nullptr, nullptr}),
    [](const testing::TestParamInfo<ApplyCase>& info) { return info.param.name; });

TEST_F(MainSettingsTest, CallerCheckPutsTheCaretAfterThePlus) {
    place(main().SMSc1m, "+");
    place(main().SMSc2m, "+4917");
    main().SMSc1m->setCursorPosition(0);
    main().DownloadBtn->click();
    EXPECT_EQ(main().SMSc1m->cursorPosition(), 1);
}

TEST_F(MainSettingsTest, OperationFlags) {
    auto& m = main();
    const struct {
        QPushButton* button;
        std::int32_t TFmainset::*flag;
    } buttons[] = {{m.UploadBtn, &TFmainset::OpRead},
                   {m.MonitoringBtn, &TFmainset::OpMonitor},
                   {m.ResetBtn, &TFmainset::OpRestore},
                   {m.DownloadBtn, &TFmainset::OpApply}};
    Fmainset->OpUpgrade = 1;
    Fmainset->DelSMSBtnClick(); // the button itself stays hidden and disabled
    EXPECT_EQ(Fmainset->OpDeleteSms, 1);
    EXPECT_EQ(flagSum(), 0);
    for (const auto& b : buttons) {
        Fconnect->hide();
        b.button->click();
        EXPECT_EQ(Fmainset->*b.flag, 1) << b.button->objectName().toStdString();
        EXPECT_EQ(flagSum(), 1) << b.button->objectName().toStdString();
        EXPECT_TRUE(Fconnect->isVisible()) << b.button->objectName().toStdString();
    }
    EXPECT_EQ(Fmainset->OpDeleteSms, 1);
    EXPECT_TRUE(m.DelSMSBtn->isHidden());
    EXPECT_FALSE(m.DelSMSBtn->isEnabled());
    EXPECT_TRUE(boxes->boxes().empty());
}

TEST_F(MainSettingsTest, UpgradeAnsweredNoDropsEveryOperation) {
    Fmainset->OpRead = 1;
    boxes->answer({gui::Answer::No});
    main().UpgradeBtn->click();
    ASSERT_EQ(boxes->boxes().size(), 1u);
    EXPECT_EQ(boxes->last().kind, gui::BoxKind::Ask);
    EXPECT_EQ(boxes->last().caption, kTitle);
    EXPECT_TRUE(boxes->last().text.startsWith("This will reset the modem to default settings.\n"));
    EXPECT_TRUE(boxes->last().text.endsWith("\n\nDo you wish to proceed?"));
    EXPECT_EQ(flagSum(), 0);
    EXPECT_FALSE(Fconnect->isVisible());
}

TEST_F(MainSettingsTest, KeyFilters) {
    auto& m = main();
    m.SMS_IN_Data_Mode->setChecked(true);
    const QString longest = "+" + QString(58, '5');
    const struct {
        QLineEdit* edit;
        QString text;
        int caret; // -1: everything selected
        Qt::Key key;
        char typed;
        QString after;
    } cases[] = {
        {m.SMSc1m, "+12", 3, Qt::Key_Plus, '+', "+12"},    {m.SMSc1m, "12", 0, Qt::Key_Plus, '+', "+12"},
        {m.SMSc1m, "+12", 1, Qt::Key_Backspace, 0, "+12"}, {m.SMSc1m, "+12", 3, Qt::Key_Backspace, 0, "+1"},
        {m.SMSc1m, "+12", 0, Qt::Key_Delete, 0, "+12"},    {m.SMSc1m, "+12", 1, Qt::Key_Delete, 0, "+2"},
        {m.SMSc1m, "+12", 3, Qt::Key_A, 'a', "+12"},       {m.SMSc1m, "+12", 3, Qt::Key_5, '5', "+125"},
        {m.SMSc1m, "+12", 3, Qt::Key_Space, ' ', "+12"},   {m.SMSc1m, longest, 59, Qt::Key_5, '5', longest},
        {m.PIN1, "12", 2, Qt::Key_A, 'a', "12"},           {m.PIN1, "12", 2, Qt::Key_3, '3', "123"},
        {m.PIN1, "12", 2, Qt::Key_Backspace, 0, "1"},      {m.DeviceName, "ab", 2, Qt::Key_C, 'c', "abc"},
    };
    for (const auto& c : cases) {
        place(c.edit, c.text);
        if (c.caret < 0)
            c.edit->selectAll();
        else
            c.edit->setCursorPosition(c.caret);
        if (c.typed)
            QTest::keyClick(c.edit, c.typed);
        else
            QTest::keyClick(c.edit, c.key);
        EXPECT_EQ(c.edit->text(), c.after)
            << c.edit->objectName().toStdString() << " '" << c.text.toStdString() << "' at " << c.caret
            << " key " << int(c.key);
    }
    EXPECT_TRUE(boxes->boxes().empty());

    m.GSM_Ring_On->setChecked(true);
    m.GSM_Ring->clear();
    QTest::keyClicks(m.GSM_Ring, "3x00");
    EXPECT_EQ(m.GSM_Ring->text(), "255");
}

TEST_F(MainSettingsTest, TypingOverTheWholeNumberNeedsThePlus) {
    auto& m = main();
    m.SMS_IN_Data_Mode->setChecked(true);
    place(m.SMSc1m, "+4917");
    m.SMSc1m->selectAll();
    QTest::keyClick(m.SMSc1m, '6');
    EXPECT_EQ(m.SMSc1m->text(), "+");
    EXPECT_EQ(m.SMSc1m->cursorPosition(), 1);
    ASSERT_EQ(boxes->boxes().size(), 1u);
    EXPECT_EQ(boxes->last().kind, gui::BoxKind::Show);
    EXPECT_EQ(boxes->last().text, "\"+\" and country code required.");
}

TEST_F(MainSettingsTest, PhoneChangeChecks) {
    auto& m = main();
    m.SMS_IN_Data_Mode->setChecked(true);
    m.SMS_OUT_Data_Mode->setChecked(true);
    // Number 2 before number 1: message, reset to "+", and the chain ends there.
    QSignalSpy changes(m.SMSt2m, &QLineEdit::textChanged);
    m.SMSt2m->setText("+4917");
    EXPECT_EQ(m.SMSt2m->text(), "+");
    EXPECT_EQ(changes.size(), 2);
    EXPECT_EQ(boxes->texts(), std::vector<QString>{"Please fill in Target No. 1 first."});
    EXPECT_EQ(QApplication::focusWidget(), m.SMSt1m);
    EXPECT_EQ(m.SMSt1m->cursorPosition(), 1);

    boxes->clear();
    m.SMSc1m->setText("+12a");
    EXPECT_EQ(m.SMSc1m->text(), "+");
    EXPECT_EQ(boxes->texts(), std::vector<QString>{"Please enter digits."});

    // One character in number 1 while number 2 holds a number: the message, and the text stays.
    boxes->clear();
    place(m.SMSc2m, "+4917");
    m.SMSc1m->setText("5");
    EXPECT_EQ(m.SMSc1m->text(), "5");
    EXPECT_EQ(boxes->texts(), std::vector<QString>{"Please fill in Caller No. 1 first."});

    boxes->clear();
    m.SMSc1m->setText("+4930");
    m.SMSc2m->setText("+4931");
    EXPECT_EQ(m.SMSc2m->text(), "+4931");
    m.SMSc2m->setText("4931");
    EXPECT_EQ(m.SMSc2m->text(), "+");
    EXPECT_EQ(boxes->texts(), std::vector<QString>{"\"+\" and country code required."});
}

// Resets empty number 2 before number 1, so no "fill in No. 1 first" box interrupts them.
TEST_F(MainSettingsTest, ResetsOfFilledNumbersAskNothing) {
    auto& m = main();
    auto& w = wizard();
    const std::function<void()> resets[] = {[&] { m.GotoModeWizard1->trigger(); }, [] { ResetWizard(); },
                                            [] { Fconnect->WizardData_Default(); }};
    for (const auto& reset : resets) {
        for (QLineEdit* e : {m.SMSc1m, m.SMSt1m, w.SMSc1, w.SMSt1})
            place(e, "+4930");
        for (QLineEdit* e : {m.SMSc2m, m.SMSt2m, w.SMSc2, w.SMSt2})
            place(e, "+4931");
        boxes->clear();
        reset();
        EXPECT_TRUE(boxes->texts().empty()) << boxes->texts().front().toStdString();
        for (QLineEdit* e : {m.SMSc1m, m.SMSc2m, m.SMSt1m, m.SMSt2m})
            EXPECT_EQ(e->text(), "+");
    }
}

// Pasted and program-set numbers are held to the typed length: 59 characters with the "+".
TEST_F(MainSettingsTest, NumbersAreHeldToTheirLengthHoweverTheyCome) {
    auto& m = main();
    const QString longNumber = QStringLiteral("+") + QString(100, QLatin1Char('5'));
    const QString longest = QStringLiteral("+") + QString(58, QLatin1Char('5'));
    m.SMSc1m->setText(longNumber);
    EXPECT_EQ(m.SMSc1m->text(), longest);
    m.SMSc2m->clear();
    QApplication::clipboard()->setText(longNumber);
    m.SMSc2m->setFocus();
    m.SMSc2m->paste();
    EXPECT_EQ(m.SMSc2m->text(), longest);
    // and one more key is refused there too.
    QTest::keyClick(m.SMSc2m, Qt::Key_5);
    EXPECT_EQ(m.SMSc2m->text(), longest);
}

TEST_F(MainSettingsTest, PastedPinAndRings) {
    auto& m = main();
    m.PIN1->setText("1a");
    EXPECT_TRUE(m.PIN1->text().isEmpty());
    EXPECT_EQ(boxes->texts(), std::vector<QString>{"Invalid PIN. 4-digit PIN required."});
    EXPECT_EQ(QApplication::focusWidget(), m.PIN1);

    boxes->clear();
    m.GSM_Ring_On->setChecked(true);
    m.GSM_Ring->setText("1x2");
    EXPECT_EQ(m.GSM_Ring->text(), "12");
    m.GSM_Ring->setText("999");
    EXPECT_EQ(m.GSM_Ring->text(), "255");
    EXPECT_TRUE(boxes->boxes().empty());
}

TEST_F(MainSettingsTest, ModifyAndEcho) {
    auto& m = main();
    m.Config_serial->setChecked(true);
    for (QComboBox* c : {m.ComboBox2, m.ComboBox3, m.ComboBox4, m.ComboBox5, m.ComboBox6})
        EXPECT_TRUE(c->isEnabled()) << c->objectName().toStdString();
    EXPECT_TRUE(m.Echo_Disable->isEnabled());
    m.Echo_Disable->setChecked(true);
    m.Config_serial->setChecked(false);
    for (QComboBox* c : {m.ComboBox2, m.ComboBox3, m.ComboBox4, m.ComboBox5, m.ComboBox6}) {
        EXPECT_FALSE(c->isEnabled()) << c->objectName().toStdString();
        EXPECT_EQ(c->palette().color(QPalette::Base), QApplication::palette().color(QPalette::Button));
    }
    EXPECT_FALSE(m.Echo_Disable->isEnabled());
    EXPECT_FALSE(m.Echo_Disable->isChecked());

    // Two stop bits keep parity locked when Modify opens the box again.
    m.ComboBox5->setCurrentIndex(1);
    m.Config_serial->setChecked(true);
    EXPECT_FALSE(m.ComboBox3->isEnabled());
    EXPECT_TRUE(m.ComboBox2->isEnabled());
}

TEST_F(MainSettingsTest, TunnelAndAutoAnswerExcludeEachOther) {
    auto& m = main();
    m.GSM_Ring_On->setChecked(true);
    EXPECT_EQ(m.GSM_Ring->text(), "1");
    EXPECT_TRUE(m.GSM_Ring->isEnabled());
    m.PageControl1->setCurrentWidget(m.TabSheet3);
    m.SMS_IN_Data_Mode->setChecked(true);
    EXPECT_FALSE(m.GSM_Ring_On->isChecked());
    EXPECT_TRUE(m.GSM_Ring->text().isEmpty());
    EXPECT_FALSE(m.GSM_Ring->isEnabled());
    EXPECT_TRUE(m.GroupBox6->isEnabled());
    EXPECT_EQ(m.PageControl1->currentWidget(), m.TabSheet2);
    EXPECT_EQ(QApplication::focusWidget(), m.GSM_Ring_On);
    EXPECT_EQ(boxes->texts(),
              std::vector<QString>{"SMS Tunnel mode and Auto-answer cannot be used at the same "
                                   "time.\nWhen SMS Tunnel On is selected, Auto-answer will be "
                                   "disabled."});

    boxes->clear();
    m.SMS_IN_Data_Mode->setChecked(false);
    m.GSM_Ring_On->setChecked(true);
    m.SMS_OUT_Data_Mode->setChecked(true);
    EXPECT_FALSE(m.GSM_Ring_On->isChecked());
    EXPECT_EQ(boxes->texts(),
              std::vector<QString>{"SMS Tunnel mode and Auto-answer can not coexist.\nWhen you "
                                   "choice SMS Tunnel On, Auto-answer will be disable."});

    boxes->clear();
    m.GSM_Ring_On->setChecked(true);
    EXPECT_FALSE(m.SMS_IN_Data_Mode->isChecked());
    EXPECT_FALSE(m.SMS_OUT_Data_Mode->isChecked());
    EXPECT_FALSE(m.GroupBox6->isEnabled());
    EXPECT_FALSE(m.GroupBox7->isEnabled());
    EXPECT_EQ(m.PageControl1->currentWidget(), m.TabSheet3);
    EXPECT_EQ(QApplication::focusWidget(), m.SMS_OUT_Data_Mode);
    EXPECT_EQ(boxes->texts(),
              std::vector<QString>{"Auto-answer and SMS Tunnel mode can not coexist.\nWhen you "
                                   "choice Auto-answer On, SMS tunnel will be disable."});
}

TEST_F(MainSettingsTest, StartsAsDescribed) {
    auto& m = main();
    EXPECT_EQ(m.PageControl1->currentWidget(), m.TabSheet2);
    EXPECT_EQ(m.ComboBox2->currentText(), "115200");
    EXPECT_EQ(m.ComboBox6->itemText(1), "Hardward (RTS)");
    EXPECT_EQ(m.Echo_Disable->text(), " Disable Echo");
    EXPECT_TRUE(m.wmbs5_rm->isChecked());
    EXPECT_TRUE(m.GSM_P0->isChecked());
    EXPECT_TRUE(m.DTR0_ignore->isChecked());
    EXPECT_EQ(m.GSM_P7->text(), "V.32    9600");
    for (QLineEdit* e : {m.SMSc1m, m.SMSc2m, m.SMSt1m, m.SMSt2m}) {
        EXPECT_EQ(e->text(), "+");
        EXPECT_EQ(e->toolTip(), "\"+\" (Country Code) (Cellular Number)");
    }
    EXPECT_EQ(m.DownloadBtn->toolTip(), "Apply new settings to modem");
    EXPECT_EQ(m.ResetBtn->toolTip(), "Reset modem to  115200 8-N-1 defaults.");
    EXPECT_EQ(m.GSM_Ring->toolTip(), "(0~255)");
    EXPECT_EQ(m.Export1->text(), "Load File From...");
    EXPECT_EQ(m.PageControl1->tabText(3), "Init. Strings");
}

} // namespace
