// The wizard's own control rules and the monitor window's poll interval.
#include "window_fixture.h"

#include <QTest>

namespace {

class WizardControlsTest : public WindowSetTest {};

TEST_F(WizardControlsTest, StartsOnItsFirstPage) {
    auto& w = wizard();
    EXPECT_EQ(w.PageControl1->currentWidget(), w.MainWizard1);
    EXPECT_TRUE(w.RadioButton1->isChecked());
    EXPECT_TRUE(w.Back->isHidden());
    EXPECT_FALSE(w.Next->isHidden());
    EXPECT_EQ(w.TitleL1->text(), "Welcome to the Vantro Wizard");
    EXPECT_TRUE(w.TitleL1->font().bold());
    EXPECT_TRUE(w.TransparentMS->isChecked());
    EXPECT_TRUE(w.AutoDialMS->isHidden());
    EXPECT_TRUE(w.TCP_ServerMS->isHidden());
    EXPECT_TRUE(w.Real_ComMS->isHidden());
    EXPECT_TRUE(w.wmbs5_r->isChecked());
    EXPECT_TRUE(w.SMS_IN_Data_Mode->isChecked());
    EXPECT_TRUE(w.GroupBox5->isEnabled());
    EXPECT_EQ(w.RadioButton2->text(), "Create a new Configuration File from Wizard ");
    // The three start choices exclude each other across their two groups.
    w.RadioButton3->setChecked(true);
    EXPECT_FALSE(w.RadioButton1->isChecked());
    w.RadioButton2->setChecked(true);
    EXPECT_FALSE(w.RadioButton3->isChecked());
}

TEST_F(WizardControlsTest, SmsBoxesSwitchTheirGroups) {
    auto& w = wizard();
    w.SMS_OUT_Data_Mode->setChecked(false);
    EXPECT_FALSE(w.GroupBox5->isEnabled());
    EXPECT_EQ(w.SMSt1->palette().color(QPalette::Base), QApplication::palette().color(QPalette::Midlight));
    w.SMS_OUT_Data_Mode->setChecked(true);
    EXPECT_TRUE(w.GroupBox5->isEnabled());
    EXPECT_EQ(w.SMSt1->palette().color(QPalette::Base), QApplication::palette().color(QPalette::Base));
    EXPECT_TRUE(boxes->boxes().empty());
}

// The same number rules as the main window; the two format messages use the plain display.
TEST_F(WizardControlsTest, PhoneMessages) {
    auto& w = wizard();
    w.SMSc1->setText("49");
    EXPECT_EQ(w.SMSc1->text(), "+");
    w.SMSc2->setText("+4917");
    EXPECT_EQ(w.SMSc2->text(), "+");
    w.SMSt1->setText("+4x");
    const auto b = boxes->boxes();
    ASSERT_EQ(b.size(), 3u);
    EXPECT_EQ(b[0].kind, gui::BoxKind::Plain);
    EXPECT_EQ(b[0].text, "\"+\" and country code required.");
    EXPECT_EQ(b[1].kind, gui::BoxKind::Show);
    EXPECT_EQ(b[1].caption, "Vantro Configurator");
    EXPECT_EQ(b[1].text, "Please fill in Caller No. 1 first.");
    EXPECT_EQ(b[2].kind, gui::BoxKind::Plain);
    EXPECT_EQ(b[2].text, "Please enter digits.");
}

TEST_F(WizardControlsTest, PinTakesDigitsOnly) {
    auto& w = wizard();
    QTest::keyClicks(w.PIN1, "1a2b345");
    EXPECT_EQ(w.PIN1->text(), "1234");
}

TEST_F(WizardControlsTest, GoToModeWizardBringsTheFirstPageBack) {
    auto& w = wizard();
    w.PageControl1->setCurrentWidget(w.Wizard4ComSet);
    w.Back->show();
    Fwizard->hide();
    Fmainset->show();
    main().GotoModeWizard1->trigger();
    EXPECT_TRUE(Fwizard->isVisible());
    EXPECT_FALSE(Fmainset->isVisible());
    EXPECT_EQ(w.PageControl1->currentWidget(), w.MainWizard1);
    EXPECT_TRUE(w.Back->isHidden());
}

TEST_F(WizardControlsTest, MonitorIntervalFollowsTheChoice) {
    auto& m = monitor();
    EXPECT_FALSE(Frf_monitor->RF_Timer1->isActive());
    EXPECT_EQ(Frf_monitor->RF_Timer1->interval(), 5000);
    m.ThirtySec->setChecked(true);
    EXPECT_EQ(Frf_monitor->RF_Timer1->interval(), 30000);
    m.TenSec->setChecked(true);
    EXPECT_EQ(Frf_monitor->RF_Timer1->interval(), 10000);
    m.FiveSec->setChecked(true);
    EXPECT_EQ(Frf_monitor->RF_Timer1->interval(), 5000);
    EXPECT_EQ(m.Shape1->height(), 46);
    EXPECT_EQ(m.Shape3->height(), 20);
}

} // namespace
