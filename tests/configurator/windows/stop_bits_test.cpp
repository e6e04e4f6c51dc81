// Two stop bits go with no parity, in every window that has both boxes.
#include "window_fixture.h"

#include <QTest>

namespace {

class StopBitsTest : public WindowSetTest {
protected:
    // The user picks the stop bits: arrow keys on the box, which run its user reaction.
    static void pick(QComboBox* stop, int index) {
        while (stop->currentIndex() < index)
            QTest::keyClick(stop, Qt::Key_Down);
        while (stop->currentIndex() > index)
            QTest::keyClick(stop, Qt::Key_Up);
    }
    static bool looksLocked(QComboBox* c) {
        return !c->isEnabled() &&
               c->palette().color(QPalette::Base) == QApplication::palette().color(QPalette::Button);
    }
    static bool looksFree(QComboBox* c) {
        return c->isEnabled() &&
               c->palette().color(QPalette::Base) == QApplication::palette().color(QPalette::Base);
    }
};

TEST_F(StopBitsTest, EveryWindowLocksParityForTwoStopBits) {
    QWidget* forms[] = {Fwizard, Fmainset, Fconnect};
    for (QWidget* form : forms) {
        const std::string name = form->metaObject()->className();
        if (auto* modify = form->findChild<QCheckBox*>("Config_serial"))
            modify->setChecked(true);
        auto* stop = form->findChild<QComboBox*>("ComboBox5");
        auto* parity = form->findChild<QComboBox*>("ComboBox3");
        ASSERT_TRUE(stop && parity) << name;
        ASSERT_TRUE(looksFree(parity)) << name;
        parity->setCurrentText("Odd");
        pick(stop, 1);
        EXPECT_EQ(stop->currentText(), "2") << name;
        EXPECT_EQ(parity->currentText(), "None") << name;
        EXPECT_TRUE(looksLocked(parity)) << name;
        pick(stop, 0);
        EXPECT_TRUE(looksFree(parity)) << name;
        EXPECT_EQ(parity->currentText(), "None") << name;
    }
}

// Modify ticked again with two stop bits: parity stays locked in both windows that have it.
TEST_F(StopBitsTest, ModifyKeepsTheLock) {
    for (QWidget* form : {static_cast<QWidget*>(Fwizard), static_cast<QWidget*>(Fmainset)}) {
        auto* modify = form->findChild<QCheckBox*>("Config_serial");
        auto* stop = form->findChild<QComboBox*>("ComboBox5");
        auto* parity = form->findChild<QComboBox*>("ComboBox3");
        stop->setCurrentIndex(1);
        modify->setChecked(true);
        EXPECT_TRUE(looksLocked(parity)) << form->metaObject()->className();
        EXPECT_TRUE(looksFree(stop)) << form->metaObject()->className();
        modify->setChecked(false);
        EXPECT_TRUE(looksLocked(stop)) << form->metaObject()->className();
    }
}

TEST_F(StopBitsTest, AutoDetectLocksTheFramingBoxes) {
    auto& c = conn();
    c.AutoDetect->setChecked(true);
    for (QComboBox* box : {c.ComboBox2, c.ComboBox3, c.ComboBox4, c.ComboBox5})
        EXPECT_TRUE(looksLocked(box)) << box->objectName().toStdString();
    EXPECT_TRUE(looksFree(c.ComboBox6));
    EXPECT_TRUE(looksFree(c.ComboBox1));
    EXPECT_EQ(c.AutoDetectWarn1->text(), "Please hang up or remove SIM card");
    EXPECT_EQ(c.AutoDetectWarn2->text(), "This will take a few minutes.");

    c.ComboBox5->setCurrentIndex(1);
    c.AutoDetect->setChecked(false);
    for (QComboBox* box : {c.ComboBox2, c.ComboBox4, c.ComboBox5})
        EXPECT_TRUE(looksFree(box)) << box->objectName().toStdString();
    EXPECT_TRUE(looksLocked(c.ComboBox3));
    EXPECT_TRUE(c.AutoDetectWarn1->text().isEmpty());
    EXPECT_TRUE(c.AutoDetectWarn2->text().isEmpty());
}

TEST_F(StopBitsTest, ConnectDialogStartsAsDescribed) {
    auto& c = conn();
    ASSERT_EQ(c.ComboBox1->count(), 256);
    EXPECT_EQ(c.ComboBox1->currentText(), "COM1");
    EXPECT_EQ(c.ComboBox1->itemText(255), "COM256");
    EXPECT_EQ(c.ComboBox2->currentText(), "115200");
    EXPECT_EQ(c.ComboBox4->currentText(), "8");
    EXPECT_EQ(c.Label_Enter_PIN->text(), "Baud Rate");
    EXPECT_EQ(c.AutoDetect->text(), "Auto Detect Serial Settings");
    EXPECT_FALSE(c.AutoDetect->isChecked());
}

TEST_F(StopBitsTest, LinkSettingsFollowTheBoxes) {
    auto& c = conn();
    c.ComboBox1->setCurrentIndex(11);
    c.ComboBox2->setCurrentIndex(5);
    c.ComboBox3->setCurrentIndex(2);
    c.ComboBox4->setCurrentIndex(0);
    c.ComboBox6->setCurrentIndex(1);
    Fmainset->OpRead = 1;
    LinkSettings expected;
    expected.PortIndex = 11;
    expected.PortText = "COM12";
    expected.BaudIndex = 5;
    expected.BaudText = "9600";
    expected.ParityText = "Even";
    expected.DataBitsText = "7";
    expected.StopBitsText = "1";
    expected.FlowText = "Hardward (RTS)";
    expected.OpRead = true;
    EXPECT_EQ(Fconnect->CurrentLinkSettings(), expected);
}

} // namespace
