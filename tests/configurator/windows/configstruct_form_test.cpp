// The main settings window against the configuration record, both ways, on either thread.
#include "Configstruct.h"
#include "Configstruct_form.h"
#include "gui.h"
#include "window_fixture.h"

#include <QSignalBlocker>
#include <QTemporaryDir>
#include <QThread>

#include <mutex>
#include <set>
#include <string>

namespace {

class RecordTest : public WindowSetTest {
protected:
    // The record's value for key k without its line end; fails when the line end is missing.
    std::string value(const ConfigRecord& r, int k) {
        const std::string& v = r.at(std::size_t(k));
        EXPECT_TRUE(v.size() >= 2 && v.compare(v.size() - 2, 2, "\r\n") == 0) << "key " << k;
        return v.size() >= 2 ? v.substr(0, v.size() - 2) : v;
    }
    // Text placed without the field's change check, as a paste or an earlier state could leave it.
    static void place(QLineEdit* edit, const char* text) {
        const QSignalBlocker quiet(edit);
        edit->setText(QString::fromLatin1(text));
    }
    static ConfigRecord emptyRecord() { return ConfigRecord{}; }
};

TEST_F(RecordTest, FixedAndDefaultValues) {
    const ConfigRecord r = CollectFormRecord();
    EXPECT_EQ(value(r, 0), "");
    EXPECT_EQ(value(r, 1), "5");
    EXPECT_EQ(value(r, 2), "No");
    EXPECT_EQ(value(r, 4), "No");
    EXPECT_EQ(value(r, 5), "");
    EXPECT_EQ(value(r, 6), "No");
    EXPECT_EQ(value(r, 7), "10");
    EXPECT_EQ(value(r, 8), "1");
    EXPECT_EQ(value(r, 9), "0");
    EXPECT_EQ(value(r, 10), "4");
    EXPECT_EQ(value(r, 11), "0");
    EXPECT_EQ(value(r, 12), "Yes");
    EXPECT_EQ(value(r, 13), "No");
    for (int k = 14; k <= 21; ++k)
        EXPECT_EQ(value(r, k), "") << k;
    for (int k = 22; k <= 35; ++k)
        EXPECT_EQ(value(r, k), "No") << k;
    EXPECT_EQ(value(r, 36), "No");
    EXPECT_EQ(value(r, 43), "ats0=0");
    EXPECT_EQ(value(r, 44), "at&d0");
    EXPECT_EQ(value(r, 45), "at+cbst=0");
    EXPECT_EQ(r.at(46), "");
}

TEST_F(RecordTest, Pin) {
    const struct {
        const char* pin;
        const char* use;
        const char* code;
    } cases[] = {{"1234", "Yes", "1234"}, {"12a4", "No", "124"}, {"123", "No", ""}, {"", "No", ""}};
    for (const auto& c : cases) {
        place(main().PIN1, c.pin);
        const ConfigRecord r = CollectFormRecord();
        EXPECT_EQ(value(r, 2), c.use) << c.pin;
        EXPECT_EQ(value(r, 3), c.code) << c.pin;
    }
}

TEST_F(RecordTest, PhoneNumbers) {
    main().SMS_IN_Data_Mode->setChecked(true);
    const std::string seventy(70, '7');
    const struct {
        std::string typed;
        std::string stored;
    } cases[] = {{" +886 912 345 678 ", "+886912345678"},
                 {"5", ""},
                 {"+", ""},
                 {"+1", ""},
                 {"+12", "+12"},
                 {"+" + seventy, "+" + seventy.substr(0, 58)},
                 {"(0)44-12", "+04412"}};
    for (const auto& c : cases) {
        place(main().SMSc1m, c.typed.c_str());
        place(main().SMSt2m, c.typed.c_str());
        const ConfigRecord r = CollectFormRecord();
        EXPECT_EQ(value(r, 16), c.stored) << c.typed;
        EXPECT_EQ(value(r, 21), c.stored) << c.typed;
    }
}

TEST_F(RecordTest, SmsCombinations) {
    auto& u = main();
    u.SMSc1m->setText("+4917");
    u.SMSc2m->setText("+4918");
    u.SMSt1m->setText("+3312");
    u.SMS_c16rm->setChecked(true);
    u.SMS_t8rm->setChecked(true);
    const struct {
        bool in, out;
        const char* v13;
        const char* v14;
        const char* v15;
        const char* v16;
        const char* v18;
        const char* v19;
        const char* v20;
    } cases[] = {
        {false, false, "No", "", "", "", "", "", ""},
        {false, true, "Yes", "No", "2", "+4917", "Yes", "1", "+3312"},
        {true, false, "Yes", "Yes", "2", "+4917", "No", "1", "+3312"},
        {true, true, "Yes", "Yes", "2", "+4917", "Yes", "1", "+3312"},
    };
    for (const auto& c : cases) {
        u.SMS_IN_Data_Mode->setChecked(c.in);
        u.SMS_OUT_Data_Mode->setChecked(c.out);
        const ConfigRecord r = CollectFormRecord();
        EXPECT_EQ(value(r, 13), c.v13) << c.in << c.out;
        EXPECT_EQ(value(r, 14), c.v14) << c.in << c.out;
        EXPECT_EQ(value(r, 15), c.v15) << c.in << c.out;
        EXPECT_EQ(value(r, 16), c.v16) << c.in << c.out;
        EXPECT_EQ(value(r, 17), *c.v16 ? "+4918" : "") << c.in << c.out;
        EXPECT_EQ(value(r, 18), c.v18) << c.in << c.out;
        EXPECT_EQ(value(r, 19), c.v19) << c.in << c.out;
        EXPECT_EQ(value(r, 20), c.v20) << c.in << c.out;
        EXPECT_EQ(value(r, 21), "") << c.in << c.out;
    }
}

TEST_F(RecordTest, InitCommands) {
    ConfigRecord r = CollectFormRecord();
    EXPECT_EQ(value(r, 36), "No");
    main().CMD3->setText("at+cmee=1");
    r = CollectFormRecord();
    EXPECT_EQ(value(r, 36), "Yes");
    EXPECT_EQ(value(r, 39), "at+cmee=1");
    for (int k : {37, 38, 40, 41, 42})
        EXPECT_EQ(value(r, k), "") << k;
    main().CMD3->clear();
    main().init1->setText("  at&k0 ");
    r = CollectFormRecord();
    EXPECT_EQ(value(r, 36), "Yes");
    EXPECT_EQ(value(r, 42), "  at&k0 ");
}

TEST_F(RecordTest, CommandKeysForFileAndForModem) {
    main().GSM_Ring_On->setChecked(true);
    main().GSM_Ring->setText("3");
    main().DTR1_Command->setChecked(true);
    main().GSM_P71->setChecked(true);
    const struct {
        int saving;
        const char* rings;
        const char* dtr;
        const char* bearer;
    } cases[] = {{1, "3", "1", "71"}, {0, "ats0=3", "at&d1", "at+cbst=71"}};
    for (const auto& c : cases) {
        Fmainset->SavingToFile = c.saving;
        const ConfigRecord r = CollectFormRecord();
        EXPECT_EQ(value(r, 43), c.rings);
        EXPECT_EQ(value(r, 44), c.dtr);
        EXPECT_EQ(value(r, 45), c.bearer);
        EXPECT_EQ(Fmainset->SavingToFile, c.saving);
    }
    Fmainset->SavingToFile = 1;
    CollectConfigFromForm();
    EXPECT_EQ(Fmainset->SavingToFile, 0);
    CollectConfigFromForm();
    EXPECT_EQ(ConfigLines.at(43), "ats0=3\r\n");
}

TEST_F(RecordTest, ApplyEmptyRecord) {
    auto& u = main();
    u.Config_serial->setChecked(true);
    u.ComboBox2->setCurrentIndex(3);
    u.PIN1->setText("1234");
    u.SMS_IN_Data_Mode->setChecked(true);
    u.SMS_OUT_Data_Mode->setChecked(true);
    for (QLineEdit* e : {u.SMSc1m, u.SMSc2m, u.SMSt1m, u.SMSt2m})
        e->setText("+4917");
    u.SMS_c8rm->setChecked(true);
    u.SMS_t16rm->setChecked(true);
    for (QLineEdit* e : {u.CMD1, u.CMD2, u.CMD3, u.CMD4, u.CMD5, u.init1})
        e->setText("ate1");
    u.wmbs2_rm->setChecked(true);
    u.DTR2_HangUp->setChecked(true);
    u.GSM_P7->setChecked(true);
    boxes->clear();

    ApplyConfigToForm(emptyRecord());
    EXPECT_FALSE(u.Config_serial->isChecked());
    EXPECT_EQ(u.ComboBox2->currentIndex(), 3);
    EXPECT_TRUE(u.PIN1->text().isEmpty());
    for (QLineEdit* e : {u.SMSc1m, u.SMSc2m, u.SMSt1m, u.SMSt2m})
        EXPECT_TRUE(e->text().isEmpty()) << e->objectName().toStdString();
    for (QLineEdit* e : {u.CMD1, u.CMD2, u.CMD3, u.CMD4, u.CMD5, u.init1})
        EXPECT_TRUE(e->text().isEmpty()) << e->objectName().toStdString();
    EXPECT_FALSE(u.SMS_IN_Data_Mode->isChecked());
    EXPECT_FALSE(u.SMS_OUT_Data_Mode->isChecked());
    EXPECT_FALSE(u.GroupBox6->isEnabled());
    EXPECT_TRUE(u.SMS_c7rm->isChecked());
    EXPECT_TRUE(u.SMS_t7rm->isChecked());
    EXPECT_TRUE(u.wmbs2_rm->isChecked());
    EXPECT_TRUE(u.DTR2_HangUp->isChecked());
    EXPECT_TRUE(u.GSM_P7->isChecked());
    EXPECT_FALSE(u.GSM_Ring_On->isChecked());
    EXPECT_TRUE(boxes->boxes().empty());
}

// Straight from start-up, with "+" in every number field, an empty record empties all four.
TEST_F(RecordTest, ApplyEmptyRecordToFreshWindows) {
    ApplyConfigToForm(emptyRecord());
    for (QLineEdit* e : {main().SMSc1m, main().SMSc2m, main().SMSt1m, main().SMSt2m})
        EXPECT_TRUE(e->text().isEmpty()) << e->objectName().toStdString();
    EXPECT_TRUE(boxes->boxes().empty());
}

TEST_F(RecordTest, ApplySerialSmsAndInitValues) {
    auto& u = main();
    ConfigRecord r = emptyRecord();
    r.at(0) = "Tank 7";
    r.at(1) = "2";
    r.at(2) = "yes";
    r.at(3) = "0042";
    r.at(6) = "Yes";
    r.at(7) = "6";
    r.at(8) = "0";
    r.at(9) = "1";
    r.at(10) = "2";
    r.at(11) = "1";
    r.at(12) = "No";
    r.at(13) = "Yes";
    r.at(14) = "Yes";
    r.at(15) = "2";
    r.at(16) = "";
    r.at(17) = "+44 77";
    r.at(18) = "No";
    r.at(36) = "Yes";
    r.at(37) = "ate0\r\n";
    r.at(42) = std::string(45, 'x');
    r.at(44) = "2";
    r.at(45) = "71";
    ApplyConfigToForm(r);
    EXPECT_EQ(u.DeviceName->text(), "Tank 7");
    EXPECT_TRUE(u.wmbs2_rm->isChecked());
    EXPECT_EQ(u.PIN1->text(), "0042");
    EXPECT_TRUE(u.Config_serial->isChecked());
    EXPECT_EQ(u.ComboBox2->currentText(), "9600");
    EXPECT_EQ(u.ComboBox4->currentText(), "7");
    EXPECT_EQ(u.ComboBox5->currentText(), "2");
    EXPECT_EQ(u.ComboBox3->currentText(), "None");
    EXPECT_FALSE(u.ComboBox3->isEnabled());
    EXPECT_EQ(u.ComboBox6->currentIndex(), 1);
    EXPECT_TRUE(u.Echo_Disable->isChecked());
    EXPECT_TRUE(u.SMS_IN_Data_Mode->isChecked());
    EXPECT_TRUE(u.SMS_c16rm->isChecked());
    // An empty number 1 becomes "+", and then number 2 cannot stand without it.
    EXPECT_EQ(u.SMSc1m->text(), "+");
    EXPECT_EQ(u.SMSc2m->text(), "+");
    EXPECT_FALSE(u.SMS_OUT_Data_Mode->isChecked());
    EXPECT_TRUE(u.SMS_t7rm->isChecked());
    EXPECT_EQ(u.CMD1->text(), "ate0");
    EXPECT_EQ(u.init1->text(), QString(39, 'x'));
    EXPECT_TRUE(u.DTR2_HangUp->isChecked());
    EXPECT_TRUE(u.GSM_P71->isChecked());
    EXPECT_EQ(boxes->texts(), std::vector<QString>{"Please fill in Caller No. 1 first."});
}

// A number set by the program is held to the field's 59 characters, as a typed one is, and goes
// back as the field shows it.
TEST_F(RecordTest, LongestNumberIsHeldToTheFieldsLength) {
    ConfigRecord r = emptyRecord();
    const std::string digits(58, '8');
    r.at(13) = "Yes";
    r.at(18) = "Yes";
    r.at(20) = "+" + digits + "99";
    r.at(21) = "+" + digits + "9";
    ApplyConfigToForm(r);
    EXPECT_EQ(main().SMSt1m->text(), QString::fromStdString("+" + digits));
    EXPECT_EQ(main().SMSt2m->text(), QString::fromStdString("+" + digits));
    const ConfigRecord back = CollectFormRecord();
    EXPECT_EQ(value(back, 20), "+" + digits);
    EXPECT_EQ(value(back, 21), "+" + digits);
}

TEST_F(RecordTest, ReactionOrder) {
    ConfigRecord r = emptyRecord();
    r.at(13) = "Yes";
    r.at(14) = "Yes";
    r.at(16) = "+4917";
    r.at(43) = "5";
    // Rings come last and switch the tunnel off without a word.
    ApplyConfigToForm(r);
    EXPECT_TRUE(main().GSM_Ring_On->isChecked());
    EXPECT_EQ(main().GSM_Ring->text(), "5");
    EXPECT_FALSE(main().SMS_IN_Data_Mode->isChecked());
    EXPECT_TRUE(boxes->boxes().empty());

    // With auto-answer on already, ticking SMS-IN unticks it and says so, once.
    ApplyConfigToForm(r);
    ASSERT_EQ(boxes->boxes().size(), 1u);
    EXPECT_EQ(boxes->last().caption, "Vantro Configurator");
    EXPECT_TRUE(boxes->last().text.startsWith("SMS Tunnel mode and Auto-answer cannot be used"));
    EXPECT_TRUE(main().GSM_Ring_On->isChecked());
    EXPECT_EQ(main().GSM_Ring->text(), "5");
}

// Saved, read back and applied to fresh windows, the 30 saved values come out the same.
TEST_F(RecordTest, RoundTripThroughTheTextFormat) {
    auto& u = main();
    u.DeviceName->setText("Well 3");
    u.wmbs1_rm->setChecked(true);
    u.PIN1->setText("9876");
    u.Config_serial->setChecked(true);
    u.ComboBox2->setCurrentIndex(7);
    u.ComboBox4->setCurrentIndex(0);
    u.ComboBox3->setCurrentIndex(3);
    u.ComboBox6->setCurrentIndex(1);
    u.Echo_Disable->setChecked(true);
    u.SMS_OUT_Data_Mode->setChecked(true);
    u.SMSt1m->setText("+4412345");
    u.SMSt2m->setText("+4467890");
    u.SMS_t16rm->setChecked(true);
    u.CMD2->setText("at+cgdcont=1");
    u.init1->setText("at&k3");
    u.DTR1_Command->setChecked(true);
    u.GSM_P7->setChecked(true);
    Fmainset->SavingToFile = 1;
    const ConfigRecord saved = CollectFormRecord();

    QTemporaryDir dir;
    const std::string path = (dir.path() + "/modem.txt").toStdString();
    ASSERT_TRUE(SaveConfigFile(path, saved));
    DestroyConfiguratorWindows();
    CreateConfiguratorWindows();
    ASSERT_EQ(LoadConfigFile(path), 0);
    EXPECT_EQ(Fmainset->EmptyValueCount, LastEmptyValueCount());
    EXPECT_GE(Fmainset->EmptyValueCount, 16);

    Fmainset->SavingToFile = 1;
    const ConfigRecord again = CollectFormRecord();
    int compared = 0;
    for (int k = 0; k < kConfigKeyCount; ++k) {
        if (!IsSavedConfigKey(k))
            continue;
        ++compared;
        EXPECT_EQ(again.at(std::size_t(k)), saved.at(std::size_t(k))) << ConfigKeyTable[k].KeyText;
    }
    EXPECT_EQ(compared, 30);
    EXPECT_EQ(FormatConfigFile(again), FormatConfigFile(saved));
}

// From a worker, every reaction, message and control access happens on the GUI thread.
TEST_F(RecordTest, WorkerThreadTouchesNoWidget) {
    auto& u = main();
    u.GSM_Ring_On->setChecked(true);
    std::mutex mutex;
    std::set<QThread*> threads;
    const auto note = [&] {
        const std::lock_guard lock(mutex);
        threads.insert(QThread::currentThread());
    };
    for (QLineEdit* e : {u.DeviceName, u.PIN1, u.SMSc1m, u.SMSc2m, u.GSM_Ring, u.CMD1})
        QObject::connect(e, &QLineEdit::textChanged, e, note, Qt::DirectConnection);
    for (QCheckBox* c : {u.Config_serial, u.SMS_IN_Data_Mode, u.GSM_Ring_On})
        QObject::connect(c, &QCheckBox::toggled, c, note, Qt::DirectConnection);
    boxes->onBox([&](const gui::Box&) { note(); });

    ConfigRecord r = emptyRecord();
    r.at(0) = "Remote";
    r.at(2) = "Yes";
    r.at(3) = "1111";
    r.at(6) = "Yes";
    r.at(13) = "Yes";
    r.at(14) = "Yes";
    r.at(16) = "+3161";
    r.at(36) = "Yes";
    r.at(37) = "ate1";
    ConfigRecord collected;
    std::unique_ptr<QThread> worker(QThread::create([&] {
        ApplyConfigToForm(r);
        collected = CollectFormRecord();
    }));
    worker->start();
    gui::waitPumping(worker.get());

    EXPECT_EQ(threads, std::set<QThread*>{QApplication::instance()->thread()});
    EXPECT_EQ(boxes->boxes().size(), 1u); // auto-answer gave way to the tunnel
    EXPECT_EQ(u.DeviceName->text(), "Remote");
    EXPECT_EQ(value(collected, 3), "1111");
    EXPECT_EQ(value(collected, 16), "+3161");
    EXPECT_EQ(value(collected, 37), "ate1");
}

} // namespace
