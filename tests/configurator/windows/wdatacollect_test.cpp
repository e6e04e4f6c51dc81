// The value codes of the configuration record against the controls of the main settings window.
#include "control_style.h"
#include "Wdatacollect.h"
#include "window_fixture.h"

#include <QSignalSpy>

#include <functional>
#include <string>
#include <vector>

namespace {

void untickAll(std::initializer_list<QRadioButton*> radios) {
    for (QRadioButton* r : radios) {
        r->setAutoExclusive(false);
        r->setChecked(false);
        r->setAutoExclusive(true);
    }
}

TEST(ValueText, TakeDigits) {
    const struct {
        const char* text;
        int n;
        const char* digits;
    } cases[] = {{"a1b2c3", 2, "12"}, {"abc", 3, ""}, {"12", 4, "12"},
                 {" 007x", 3, "007"}, {"9", 0, ""},   {"+886 912", 59, "886912"},
                 {"", 2, ""}};
    for (const auto& c : cases)
        EXPECT_EQ(TakeDigits(c.text, c.n), c.digits) << c.text << " " << c.n;
}

TEST(ValueText, YesNoTextToCode) {
    const struct {
        const char* text;
        int code;
    } cases[] = {{"none", 2}, {"yes", 1},   {"", 0},      {"Yes", 1},
                 {"No", 2},   {"noYES", 1}, {"maybe", 0}, {"=No", 2}};
    for (const auto& c : cases)
        EXPECT_EQ(YesNoTextToCode(c.text), c.code) << c.text;
}

TEST(ValueText, ComboTextsToCodes) {
    const struct {
        int (*convert)(const QString&);
        const char* text;
        int code;
    } cases[] = {
        {BaudTextToCode, "300", 1},
        {BaudTextToCode, "9600", 6},
        {BaudTextToCode, "115200", 10},
        {BaudTextToCode, "1200 ", 10},
        {BaudTextToCode, "", 10},
        {BaudTextToCode, "110", 10},
        {DataBitsTextToCode, "7", 0},
        {DataBitsTextToCode, "8", 1},
        {DataBitsTextToCode, "x", 1},
        {StopBitsTextToCode, "1", 0},
        {StopBitsTextToCode, "2", 1},
        {StopBitsTextToCode, "1.5", 0},
        {ParityTextToCode, "Odd", 0},
        {ParityTextToCode, "Even", 1},
        {ParityTextToCode, "Mark", 2},
        {ParityTextToCode, "Space", 3},
        {ParityTextToCode, "None", 4},
        {ParityTextToCode, "odd", 4},
        {FlowTextToCode, "None", 0},
        {FlowTextToCode, "Hardward (RTS)", 1},
        {FlowTextToCode, "Hardware (RTS)", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.convert(QString::fromLatin1(c.text)), c.code) << c.text;
}

class BindingTest : public WindowSetTest {};

// Every item of the baud and parity boxes maps to its code and back to the same item.
TEST_F(BindingTest, ComboItemsRoundTripThroughTheirCodes) {
    main().Config_serial->setChecked(true);
    for (int i = 0; i < main().ComboBox2->count(); ++i) {
        const int code = BaudTextToCode(main().ComboBox2->itemText(i));
        EXPECT_EQ(code, i + 1);
        main().ComboBox2->setCurrentIndex(i == 0 ? 1 : 0);
        SetBaudFromValue(std::to_string(code));
        EXPECT_EQ(main().ComboBox2->currentIndex(), i);
    }
    for (int i = 0; i < main().ComboBox3->count(); ++i) {
        const int code = ParityTextToCode(main().ComboBox3->itemText(i));
        EXPECT_EQ(code, (i + 4) % 5);
        main().ComboBox3->setCurrentIndex(i == 0 ? 1 : 0);
        SetStopBitsParityFromValue("0", std::to_string(code));
        EXPECT_EQ(main().ComboBox3->currentIndex(), i);
    }
}

TEST_F(BindingTest, RadioSetsReportTheirCodes) {
    auto& u = main();
    const std::vector<QRadioButton*> bands{u.wmbs0_rm, u.wmbs1_rm, u.wmbs2_rm, u.wmbs3_rm,
                                           u.wmbs4_rm, u.wmbs5_rm, u.wmbs6_rm};
    for (std::size_t i = 0; i < bands.size(); ++i) {
        bands[i]->setChecked(true);
        EXPECT_EQ(BandCodeFromForm(), int(i));
    }
    u.SMS_c16rm->setChecked(true);
    u.SMS_t8rm->setChecked(true);
    u.DTR2_HangUp->setChecked(true);
    u.GSM_P71->setChecked(true);
    EXPECT_EQ(SmsInEncodingFromForm(), 2);
    EXPECT_EQ(SmsOutEncodingFromForm(), 1);
    EXPECT_EQ(DtrDropFromForm(), 2);
    EXPECT_EQ(BearerFromForm(), 71);
    u.GSM_P7->setChecked(true);
    EXPECT_EQ(BearerFromForm(), 7);

    untickAll({u.wmbs0_rm, u.wmbs1_rm, u.wmbs2_rm, u.wmbs3_rm, u.wmbs4_rm, u.wmbs5_rm, u.wmbs6_rm});
    untickAll({u.SMS_c7rm, u.SMS_c8rm, u.SMS_c16rm});
    untickAll({u.SMS_t7rm, u.SMS_t8rm, u.SMS_t16rm});
    untickAll({u.DTR0_ignore, u.DTR1_Command, u.DTR2_HangUp});
    untickAll({u.GSM_P0, u.GSM_P7, u.GSM_P71});
    EXPECT_EQ(BandCodeFromForm(), 5);
    EXPECT_EQ(SmsInEncodingFromForm(), 1);
    EXPECT_EQ(SmsOutEncodingFromForm(), 1);
    EXPECT_EQ(DtrDropFromForm(), 0);
    EXPECT_EQ(BearerFromForm(), 0);
}

TEST_F(BindingTest, RingsFromForm) {
    const struct {
        bool ticked;
        const char* text;
        int rings;
    } cases[] = {{false, "12", 0},   {true, "   ", 0},   {true, "", 0},     {true, " 7 ", 7},
                 {true, "255", 255}, {true, "300", 255}, {true, "12a", 12}, {true, "x", 0}};
    for (const auto& c : cases) {
        main().GSM_Ring_On->setChecked(c.ticked);
        // Placed without the change check, as a paste of odd text would leave it at worst.
        const QSignalBlocker quiet(main().GSM_Ring);
        main().GSM_Ring->setText(QString::fromLatin1(c.text));
        EXPECT_EQ(RingsFromForm(), c.rings) << c.ticked << " '" << c.text << "'";
    }
}

struct SetterCase {
    const char* name;
    std::function<void()> apply;
    std::function<bool()> holds;
};

TEST_F(BindingTest, ValueSetters) {
    auto& u = main();
    u.Config_serial->setChecked(true);
    const auto baudIs = [&](int i) { return [&u, i] { return u.ComboBox2->currentIndex() == i; }; };
    const auto ticked = [](QAbstractButton* b) { return [b] { return b->isChecked(); }; };
    const SetterCase cases[] = {
        {"band 9", [] { SetBandFromValue("9"); }, ticked(u.wmbs5_rm)},
        {"band 0", [] { SetBandFromValue("0"); }, ticked(u.wmbs0_rm)},
        {"band empty keeps", [] { SetBandFromValue(""); }, ticked(u.wmbs0_rm)},
        {"band x6", [] { SetBandFromValue("x6"); }, ticked(u.wmbs6_rm)},
        {"band 7", [] { SetBandFromValue("7"); }, ticked(u.wmbs5_rm)},
        {"baud 1", [] { SetBaudFromValue("1"); }, baudIs(0)},
        {"baud 12", [] { SetBaudFromValue("12"); }, baudIs(9)},
        {"baud 0 keeps", [] { SetBaudFromValue("0"); }, baudIs(9)},
        {"baud blank 5", [] { SetBaudFromValue(" 5"); }, baudIs(4)},
        {"baud empty keeps", [] { SetBaudFromValue(""); }, baudIs(4)},
        {"baud 100 reads 10", [] { SetBaudFromValue("100"); }, baudIs(9)},
        {"data 0", [] { SetDataBitsFromValue("0"); }, [&] { return u.ComboBox4->currentText() == "7"; }},
        {"data 5 keeps", [] { SetDataBitsFromValue("5"); },
         [&] { return u.ComboBox4->currentText() == "7"; }},
        {"data 1", [] { SetDataBitsFromValue("1"); }, [&] { return u.ComboBox4->currentText() == "8"; }},
        {"flow 1", [] { SetFlowFromValue("1"); }, [&] { return u.ComboBox6->currentIndex() == 1; }},
        {"flow empty keeps", [] { SetFlowFromValue(""); }, [&] { return u.ComboBox6->currentIndex() == 1; }},
        {"flow 7", [] { SetFlowFromValue("7"); }, [&] { return u.ComboBox6->currentIndex() == 0; }},
        {"echo No", [] { SetEchoFromValue("No"); }, ticked(u.Echo_Disable)},
        {"echo Yes", [] { SetEchoFromValue("Yes"); }, [&] { return !u.Echo_Disable->isChecked(); }},
        {"echo none", [] { SetEchoFromValue("none"); }, ticked(u.Echo_Disable)},
        {"echo empty", [] { SetEchoFromValue(""); }, [&] { return !u.Echo_Disable->isChecked(); }},
        {"sms in 1", [] { SetSmsInEncodingFromValue("1"); }, ticked(u.SMS_c8rm)},
        {"sms in 2", [] { SetSmsInEncodingFromValue("2"); }, ticked(u.SMS_c16rm)},
        {"sms in empty keeps", [] { SetSmsInEncodingFromValue(""); }, ticked(u.SMS_c16rm)},
        {"sms in 5", [] { SetSmsInEncodingFromValue("5"); }, ticked(u.SMS_c7rm)},
        {"sms out 2", [] { SetSmsOutEncodingFromValue("2"); }, ticked(u.SMS_t16rm)},
        {"sms out 0", [] { SetSmsOutEncodingFromValue("0"); }, ticked(u.SMS_t7rm)},
        {"dtr 1", [] { SetDtrDropFromValue("1"); }, ticked(u.DTR1_Command)},
        {"dtr 2", [] { SetDtrDropFromValue("2"); }, ticked(u.DTR2_HangUp)},
        {"dtr empty keeps", [] { SetDtrDropFromValue(""); }, ticked(u.DTR2_HangUp)},
        {"dtr 9", [] { SetDtrDropFromValue("9"); }, ticked(u.DTR0_ignore)},
        {"bearer 71", [] { SetBearerFromValue("71"); }, ticked(u.GSM_P71)},
        {"bearer empty keeps", [] { SetBearerFromValue(""); }, ticked(u.GSM_P71)},
        {"bearer 7", [] { SetBearerFromValue("7"); }, ticked(u.GSM_P7)},
        {"bearer 710", [] { SetBearerFromValue("710"); }, ticked(u.GSM_P71)},
        {"bearer 8", [] { SetBearerFromValue("8"); }, ticked(u.GSM_P0)},
        {"pin 12345", [] { SetPinFromValue("12345"); }, [&] { return u.PIN1->text() == "1234"; }},
        {"pin a1b2", [] { SetPinFromValue("a1b2"); }, [&] { return u.PIN1->text() == "12"; }},
        {"pin empty", [] { SetPinFromValue(""); }, [&] { return u.PIN1->text().isEmpty(); }},
    };
    // Applied in order: each "keeps" case checks that the state of the case before it stays.
    for (const auto& c : cases) {
        c.apply();
        EXPECT_TRUE(c.holds()) << c.name;
    }
}

TEST_F(BindingTest, StopBitsWithParity) {
    auto& u = main();
    const struct {
        const char* stop;
        const char* parity;
        const char* stopBefore;
        const char* stopAfter;
        const char* parityAfter;
        bool parityEnabled;
    } cases[] = {
        {"1", "2", "1", "2", "None", false}, // two stop bits: the parity value is ignored
        {"0", "4", "2", "1", "None", true},  // one stop bit frees the parity box again
        {"0", "0", "1", "1", "Odd", true},   {"2", "1", "2", "2", "Even", true},
        {"", "3", "1", "1", "Space", true},  {"00", "1", "2", "2", "Even", true},
        {"0", "9", "1", "1", "None", true},  {"0", "", "2", "1", "None", true},
    };
    for (const auto& c : cases) {
        u.Config_serial->setChecked(true);
        u.ComboBox3->setCurrentIndex(0);
        u.ComboBox5->setCurrentText(QString::fromLatin1(c.stopBefore));
        SetComboEnabled(u.ComboBox3, true);
        SetStopBitsParityFromValue(c.stop, c.parity);
        EXPECT_EQ(u.ComboBox5->currentText(), c.stopAfter) << c.stop << "/" << c.parity;
        EXPECT_EQ(u.ComboBox3->currentText(), c.parityAfter) << c.stop << "/" << c.parity;
        EXPECT_EQ(u.ComboBox3->isEnabled(), c.parityEnabled) << c.stop << "/" << c.parity;
        const QColor expected =
            QApplication::palette().color(c.parityEnabled ? QPalette::Base : QPalette::Button);
        EXPECT_EQ(u.ComboBox3->palette().color(QPalette::Base), expected) << c.stop << "/" << c.parity;
    }
}

// A code-set selection runs no combo reaction: with Modify off the parity box stays locked.
TEST_F(BindingTest, CodeSetStopBitsRunNoReaction) {
    auto& u = main();
    u.ComboBox5->setCurrentIndex(1);
    SetStopBitsParityFromValue("0", "");
    EXPECT_EQ(u.ComboBox5->currentText(), "1");
    EXPECT_FALSE(u.ComboBox3->isEnabled());
}

TEST_F(BindingTest, Rings) {
    auto& u = main();
    const struct {
        const char* value;
        bool on;
        const char* count;
    } cases[] = {{"300", true, "255"}, {"007", true, "007"}, {"0", false, ""},
                 {"12", true, "12"},   {"", false, ""},      {"x5", true, "5"}};
    for (const auto& c : cases) {
        SetRingsFromValue(c.value);
        EXPECT_EQ(u.GSM_Ring_On->isChecked(), c.on) << c.value;
        EXPECT_EQ(u.GSM_Ring->text(), c.count) << c.value;
        EXPECT_EQ(u.GSM_Ring->isEnabled(), c.on) << c.value;
    }
}

// Ticking auto-answer runs its reaction ("1") before the count is written; the SMS tunnel is
// switched off first, so no exclusion message appears.
TEST_F(BindingTest, RingsRunTheAutoAnswerReactionFirst) {
    auto& u = main();
    u.SMS_OUT_Data_Mode->setChecked(true);
    QSignalSpy texts(u.GSM_Ring, &QLineEdit::textChanged);
    SetRingsFromValue("5");
    ASSERT_EQ(texts.size(), 3);
    EXPECT_EQ(texts[0][0].toString(), "1");
    EXPECT_EQ(texts[1][0].toString(), "");
    EXPECT_EQ(texts[2][0].toString(), "5");
    EXPECT_FALSE(u.SMS_OUT_Data_Mode->isChecked());
    EXPECT_FALSE(u.GroupBox7->isEnabled());
    EXPECT_TRUE(boxes->boxes().empty());
}

TEST_F(BindingTest, CopyWizardInSmsMode) {
    auto& w = wizard();
    auto& m = main();
    w.SMS_MS->setChecked(true);
    w.Config_serial->setChecked(true);
    w.ComboBox2->setCurrentIndex(5);
    w.ComboBox4->setCurrentIndex(0);
    w.ComboBox6->setCurrentIndex(1);
    w.ComboBox3->setCurrentIndex(2);
    w.DeviceName->setText("Pump 4");
    w.PIN1->setText("4321");
    w.wmbs2_r->setChecked(true);
    w.SMSc1->setText("+49170");
    w.SMSc2->setText("+49171");
    w.SMSt1->setText("+3312");
    w.SMS_c16r->setChecked(true);
    w.SMS_t8r->setChecked(true);
    w.SMS_IN_Data_Mode->setChecked(false);
    m.GSM_P7->setChecked(true);

    CopyWizardToMainForm();
    EXPECT_TRUE(m.Config_serial->isChecked());
    EXPECT_EQ(m.ComboBox2->currentText(), "9600");
    EXPECT_EQ(m.ComboBox4->currentText(), "7");
    EXPECT_EQ(m.ComboBox6->currentIndex(), 1);
    EXPECT_EQ(m.ComboBox3->currentText(), "Even");
    EXPECT_TRUE(m.ComboBox3->isEnabled());
    EXPECT_EQ(m.DeviceName->text(), "Pump 4");
    EXPECT_EQ(m.PIN1->text(), "4321");
    EXPECT_TRUE(m.wmbs2_rm->isChecked());
    EXPECT_EQ(m.SMSc1m->text(), "+49170");
    EXPECT_EQ(m.SMSc2m->text(), "+49171");
    EXPECT_EQ(m.SMSt1m->text(), "+3312");
    EXPECT_EQ(m.SMSt2m->text(), "+");
    EXPECT_TRUE(m.SMS_c16rm->isChecked());
    EXPECT_TRUE(m.SMS_t8rm->isChecked());
    EXPECT_FALSE(m.SMS_IN_Data_Mode->isChecked());
    EXPECT_TRUE(m.SMS_OUT_Data_Mode->isChecked());
    EXPECT_TRUE(m.GroupBox7->isEnabled());
    EXPECT_TRUE(m.GSM_P7->isChecked()); // not the wizard's business
    EXPECT_TRUE(boxes->boxes().empty());
}

TEST_F(BindingTest, CopyWizardInTransparentMode) {
    auto& w = wizard();
    auto& m = main();
    w.SMSc1->setText("+49170");
    m.SMS_IN_Data_Mode->setChecked(true);
    m.SMSc1m->setText("+111");
    m.SMSc2m->setText("+222");
    m.SMS_c8rm->setChecked(true);
    CopyWizardToMainForm();
    for (QLineEdit* e : {m.SMSc1m, m.SMSc2m, m.SMSt1m, m.SMSt2m})
        EXPECT_EQ(e->text(), "+") << e->objectName().toStdString();
    EXPECT_FALSE(m.SMS_IN_Data_Mode->isChecked());
    EXPECT_FALSE(m.SMS_OUT_Data_Mode->isChecked());
    EXPECT_TRUE(m.SMS_c7rm->isChecked());
    EXPECT_TRUE(m.SMS_t7rm->isChecked());
    EXPECT_FALSE(m.Config_serial->isChecked());
    EXPECT_FALSE(m.ComboBox2->isEnabled());
}

TEST_F(BindingTest, CopyWizardParityFollowsItsStopBits) {
    auto& w = wizard();
    auto& m = main();
    w.Config_serial->setChecked(true);
    w.ComboBox3->setCurrentIndex(1);
    w.ComboBox5->setCurrentIndex(1);
    CopyWizardToMainForm();
    EXPECT_EQ(m.ComboBox5->currentText(), "2");
    EXPECT_EQ(m.ComboBox3->currentText(), "None");
    EXPECT_FALSE(m.ComboBox3->isEnabled());

    // Back to one stop bit: the main window's parity box is free again.
    w.ComboBox5->setCurrentIndex(0);
    CopyWizardToMainForm();
    EXPECT_EQ(m.ComboBox3->currentText(), "Odd");
    EXPECT_TRUE(m.ComboBox3->isEnabled());
}

TEST_F(BindingTest, ResetWizard) {
    auto& w = wizard();
    auto& m = main();
    w.PageControl1->setCurrentWidget(w.Wizard5PIN);
    w.SMS_MS->setChecked(true);
    w.RadioButton3->setChecked(true);
    w.Config_serial->setChecked(true);
    w.ComboBox2->setCurrentIndex(0);
    w.DeviceName->setText("x");
    w.PIN1->setText("12");
    w.wmbs0_r->setChecked(true);
    w.SMSc1->setText("+1234");
    w.SMS_IN_Data_Mode->setChecked(false);
    w.Back->show();
    w.TitleL3->setText("t");
    WizardStep = 3;
    m.SMSc1m->setText("+555");
    m.GSM_Ring_On->setChecked(true);
    m.DTR1_Command->setChecked(true);
    m.GSM_P71->setChecked(true);
    m.Ver->setText("v");
    m.Build->setText("b");
    m.CMD2->setText("ate0");
    m.init1->setText("at");

    ResetWizard();
    EXPECT_EQ(w.PageControl1->currentWidget(), w.MainWizard1);
    EXPECT_TRUE(w.TransparentMS->isChecked());
    EXPECT_TRUE(w.RadioButton1->isChecked());
    EXPECT_FALSE(w.Config_serial->isChecked());
    EXPECT_EQ(w.ComboBox2->currentText(), "115200");
    for (QComboBox* c : {w.ComboBox2, w.ComboBox3, w.ComboBox4, w.ComboBox5, w.ComboBox6})
        EXPECT_FALSE(c->isEnabled());
    EXPECT_TRUE(w.DeviceName->text().isEmpty());
    EXPECT_TRUE(w.PIN1->text().isEmpty());
    EXPECT_TRUE(w.wmbs5_r->isChecked());
    EXPECT_EQ(w.SMSc1->text(), "+");
    EXPECT_TRUE(w.SMS_IN_Data_Mode->isChecked());
    EXPECT_TRUE(w.GroupBox4->isEnabled());
    EXPECT_EQ(w.TitleL1->text(), "Welcome to the Vantro Modem Wizard");
    EXPECT_TRUE(w.TitleL3->text().isEmpty());
    EXPECT_TRUE(w.Back->isHidden());
    EXPECT_EQ(WizardStep, 3); // the walk's counter is left to the wizard's buttons
    EXPECT_EQ(m.SMSc1m->text(), "+");
    EXPECT_FALSE(m.GSM_Ring_On->isChecked());
    EXPECT_TRUE(m.DTR0_ignore->isChecked());
    EXPECT_TRUE(m.GSM_P0->isChecked());
    EXPECT_TRUE(m.Ver->text().isEmpty());
    EXPECT_TRUE(m.Build->text().isEmpty());
    EXPECT_TRUE(m.CMD2->text().isEmpty());
    EXPECT_TRUE(m.init1->text().isEmpty());
    WizardStep = 0;
}

} // namespace
