// The connect dialog running the operations and the scan: the real windows under the offscreen
// platform, the worker on its thread, the simulated modem behind COM3 on a virtual line for the
// dialog's logic, and on a pseudo-terminal for the runs that prove the real port end to end.
#include "Connectsetup.h"
#include "fast_clock.h"
#include "gui.h"
#include "Mainsetup.h"
#include "Progressivebar.h"
#include "Rf_monitor.h"
#include "Rs232_setup.h"
#include "window_fixture.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include "simulated_modem.h"
#include "temporary_port_map.h"
#include "virtual_modem.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>

using gui::Answer;
using testing::ElementsAre;

namespace {

using namespace std::chrono_literals;

const QString kNoResponse =
    QStringLiteral("No response from modem. Please check baud rate and data format setting.");

class ConnectRun : public WindowSetTest {
protected:
    static constexpr int kPort = 3;

    void TearDown() override {
        CloseComPort();
        SetLinkSettings({});
        if (modem)
            modem->stop();
        WindowSetTest::TearDown();
        onLine.reset();
        engine::setLinkClock(nullptr);
    }

    q86sim::SimulatedModem& startModem(q86sim::Scenario s = {}) {
        modem = std::make_unique<q86sim::SimulatedModem>(std::move(s));
        modem->start();
        EXPECT_TRUE(modem->publish(kPort));
        conn().ComboBox1->setCurrentIndex(kPort - 1);
        return *modem;
    }

    // The modem on a virtual line instead: the dialogues' waits take no real time.
    void startVirtualModem(q86sim::Scenario s = {}) {
        onLine.reset();
        onLine = std::make_unique<enginetest::VirtualModem>("COM3", std::move(s));
        conn().ComboBox1->setCurrentIndex(kPort - 1);
    }

    std::vector<std::string> commandLog() { return onLine ? onLine->commandTexts() : modem->commandTexts(); }
    q86sim::Settings stored() { return onLine ? onLine->stored() : modem->stored(); }

    // The user's button in the main window, then OK in the connect dialog.
    void runOperation(void (TFmainset::*button)()) {
        (Fmainset->*button)();
        ASSERT_TRUE(Fconnect->isVisible());
        QTest::mouseClick(conn().OKF3Btn, Qt::LeftButton);
    }

    // The same road clicked: the main window's button, then OK in the connect dialog.
    void clickOperation(QPushButton* button) {
        QTest::mouseClick(button, Qt::LeftButton);
        ASSERT_TRUE(Fconnect->isVisible());
        QTest::mouseClick(conn().OKF3Btn, Qt::LeftButton);
    }

    void selectLine(const char* baud, const char* parity, const char* dataBits) {
        conn().ComboBox2->setCurrentText(QString::fromLatin1(baud));
        conn().ComboBox3->setCurrentText(QString::fromLatin1(parity));
        conn().ComboBox4->setCurrentText(QString::fromLatin1(dataBits));
        conn().ComboBox5->setCurrentText(QStringLiteral("1"));
    }

    QStringList lineBoxes() {
        return {conn().ComboBox2->currentText(), conn().ComboBox3->currentText(),
                conn().ComboBox4->currentText(), conn().ComboBox5->currentText()};
    }

    bool sent(const std::string& command) {
        const auto log = commandLog();
        return std::find(log.begin(), log.end(), command) != log.end();
    }

    // Runs f once the connect dialog sits in its modal loop (the scan has started).
    void whenScanning(std::function<void()> f) {
        auto* timer = new QTimer(Fconnect);
        QObject::connect(timer, &QTimer::timeout, timer, [timer, f] {
            if (gui::inModal(Fconnect)) {
                timer->stop();
                timer->deleteLater();
                f();
            }
        });
        timer->start(10);
    }

    q86sim::TemporaryPortMap map;
    std::unique_ptr<q86sim::SimulatedModem> modem;
    std::unique_ptr<enginetest::VirtualModem> onLine;
};

TEST_F(ConnectRun, ReadBringsTheModemsSettingsIntoTheMainWindow) {
    q86sim::Scenario s;
    s.initialSettings = q86sim::Settings::factory();
    s.initialSettings->values[0] = "Pump 7";
    startModem(s);
    runOperation(&TFmainset::UploadBtnClick);

    EXPECT_THAT(boxes->texts(), ElementsAre(QStringLiteral("Query modem status sucess.")));
    EXPECT_EQ(main().DeviceName->text(), QStringLiteral("Pump 7"));
    EXPECT_EQ(main().Ver->text(), QStringLiteral("Q8690I  Ver 2.0.3"));
    EXPECT_EQ(main().Build->text(), QStringLiteral("Build 1234"));
    EXPECT_EQ(Fconnect->ReadResult, 1);
    EXPECT_EQ(Fmainset->OpRead, 0);
    EXPECT_EQ(ComHandle(), nullptr);
    EXPECT_EQ(Fconnect->LoadWorker, nullptr);
    EXPECT_EQ(Fprogressbar, nullptr);
    EXPECT_FALSE(Fconnect->isVisible());
}

TEST_F(ConnectRun, ApplyLeavesTheWindowsSettingsInTheModem) {
    // The dialogue's own pauses shortened; its reads still wait on the real port.
    engine::setLinkClock(std::make_shared<enginetest::FastClock>());
    startModem();
    main().DeviceName->setText(QStringLiteral("Station 9"));
    runOperation(&TFmainset::DownloadBtnClick);

    EXPECT_THAT(boxes->texts(), ElementsAre(QStringLiteral("Modem settings have been applied.")));
    EXPECT_EQ(modem->stored().values[0], "Station 9");
    EXPECT_EQ(Fconnect->ApplyResult, 1);
    EXPECT_EQ(Fmainset->OpApply, 0);
    EXPECT_EQ(ComHandle(), nullptr);
    // Already at 115200: no rate change around the dialogue.
    EXPECT_FALSE(sent("at+ipr=115200"));
    EXPECT_TRUE(sent("at+cfun=1"));
}

class ApplyAtAnotherRate : public ConnectRun, public testing::WithParamInterface<bool> {};

// Unticked "Modify": the modem goes back to the rate it was reached at; ticked, the window's own
// serial settings decide and no rate is sent after the dialogue.
TEST_P(ApplyAtAnotherRate, RunsTheDialogueAtTheFastRate) {
    const bool modify = GetParam();
    q86sim::Scenario s;
    s.initialSettings = q86sim::Settings::factory();
    s.initialSettings->line.baud = 9600;
    startVirtualModem(s);
    conn().ComboBox2->setCurrentIndex(5);
    main().Config_serial->setChecked(modify);
    main().ComboBox2->setCurrentIndex(9);
    runOperation(&TFmainset::DownloadBtnClick);

    EXPECT_THAT(boxes->texts(), ElementsAre(QStringLiteral("Modem settings have been applied.")));
    const auto log = commandLog();
    const auto fast = std::find(log.begin(), log.end(), "at+ipr=115200");
    const auto dialogue = std::find(log.begin(), log.end(), "at*config");
    const auto back = std::find(log.begin(), log.end(), "at+ipr=9600");
    ASSERT_NE(fast, log.end());
    ASSERT_NE(dialogue, log.end());
    EXPECT_LT(fast, dialogue);
    if (modify) {
        EXPECT_EQ(back, log.end());
        EXPECT_EQ(stored().line.baud, 115200u);
    } else {
        ASSERT_NE(back, log.end());
        EXPECT_LT(dialogue, back);
        EXPECT_EQ(stored().line.baud, 9600u);
    }
}

INSTANTIATE_TEST_SUITE_P(ConnectRun, ApplyAtAnotherRate, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? "ModifyTicked" : "ModifyUnticked";
                         });

TEST_F(ConnectRun, RestorePutsModemAndWindowBackToTheFactoryValues) {
    q86sim::Scenario s;
    s.initialSettings = q86sim::Settings::factory();
    s.initialSettings->values[0] = "Gate 2";
    startVirtualModem(s);
    main().DeviceName->setText(QStringLiteral("Gate 2"));
    main().Config_serial->setChecked(true);
    runOperation(&TFmainset::ResetBtnClick);

    EXPECT_THAT(boxes->texts(),
                ElementsAre(QStringLiteral("Default settings have been applied. 115200 8-N-1")));
    EXPECT_EQ(Fconnect->RestoreResult, 1);
    EXPECT_TRUE(sent("at*default"));
    EXPECT_EQ(stored().values[0], "");
    EXPECT_EQ(main().DeviceName->text(), QString());
    EXPECT_EQ(main().ComboBox6->currentText(), QStringLiteral("Hardward (RTS)"));
    // Unticking runs the window's reaction: its serial boxes are locked again.
    EXPECT_FALSE(main().Config_serial->isChecked());
    EXPECT_FALSE(main().ComboBox2->isEnabled());
    // The worker was waited for and released before the port was closed.
    EXPECT_EQ(Fconnect->LoadWorker, nullptr);
    EXPECT_EQ(ComHandle(), nullptr);
}

q86sim::Scenario sevenEvenOneAt9600() {
    q86sim::Scenario s;
    s.initialSettings = q86sim::Settings::factory();
    s.initialSettings->line = {9600, 7, q86sim::ParityEven, 1};
    return s;
}

TEST_F(ConnectRun, AfterARestoreTheDialogShowsTheFactoryLineAndTheNextReadFindsTheModem) {
    startVirtualModem(sevenEvenOneAt9600());
    selectLine("9600", "Even", "7");
    clickOperation(main().ResetBtn);
    EXPECT_THAT(boxes->texts(),
                ElementsAre(QStringLiteral("Default settings have been applied. 115200 8-N-1")));
    EXPECT_EQ(lineBoxes(), (QStringList{"115200", "None", "8", "1"}));

    boxes->clear();
    clickOperation(main().UploadBtn);
    EXPECT_THAT(boxes->texts(), ElementsAre(QStringLiteral("Query modem status sucess.")));
}

TEST_F(ConnectRun, AFailedRestoreLeavesTheDialogsLineAlone) {
    q86sim::Scenario s = sevenEvenOneAt9600();
    s.replyOverride["at*apver"] = "\r\nERROR\r\n";
    startVirtualModem(s);
    selectLine("9600", "Even", "7");
    clickOperation(main().ResetBtn);
    EXPECT_THAT(boxes->texts(), ElementsAre(QStringLiteral("Modem not detected.")));
    EXPECT_EQ(lineBoxes(), (QStringList{"9600", "Even", "7", "1"}));
}

struct Framing {
    uint8_t dataBits;
    uint8_t parity;
    const char* parityText;
    const char* dataText;
};

class ReadOfAModemWithParity : public ConnectRun, public testing::WithParamInterface<Framing> {};

TEST_P(ReadOfAModemWithParity, ShowsItsParity) {
    const Framing& c = GetParam();
    q86sim::Scenario s;
    s.initialSettings = q86sim::Settings::factory();
    s.initialSettings->line = {9600, c.dataBits, c.parity, 1};
    startVirtualModem(s);
    // The window starts from another framing, so that only the read can set it.
    main().ComboBox3->setCurrentText(QStringLiteral("Mark"));
    main().ComboBox4->setCurrentText(c.dataBits == 7 ? QStringLiteral("8") : QStringLiteral("7"));
    selectLine("9600", c.parityText, c.dataText);
    clickOperation(main().UploadBtn);
    EXPECT_THAT(boxes->texts(), ElementsAre(QStringLiteral("Query modem status sucess.")));
    EXPECT_EQ(main().ComboBox3->currentText(), QString::fromLatin1(c.parityText));
    EXPECT_EQ(main().ComboBox4->currentText(), QString::fromLatin1(c.dataText));
}

INSTANTIATE_TEST_SUITE_P(ConnectRun, ReadOfAModemWithParity,
                         testing::Values(Framing{7, q86sim::ParityEven, "Even", "7"},
                                         Framing{7, q86sim::ParityOdd, "Odd", "7"},
                                         Framing{8, q86sim::ParityNone, "None", "8"}),
                         [](const testing::TestParamInfo<Framing>& info) {
                             return std::string(info.param.parityText) + info.param.dataText;
                         });

TEST_F(ConnectRun, AModemThatDiesAfterItsReportIsNoSuccess) {
    q86sim::Scenario s;
    // The profile question is the next thing after the report: the modem is gone by then.
    s.noReplyTo = {"at&v"};
    startModem(s);
    std::thread killer([this] {
        if (modem->waitForCommand("at&v", 20s))
            modem->stop();
    });
    clickOperation(main().UploadBtn);
    killer.join();
    EXPECT_THAT(boxes->texts(), ElementsAre(QStringLiteral("Query Failure. Please try again.")));
    EXPECT_EQ(Fconnect->ReadResult, -1);
    EXPECT_EQ(ComHandle(), nullptr);
}

struct FailedOperation {
    const char* name;
    void (TFmainset::*button)();
    std::function<void(q86sim::Scenario&)> setup;
    QString message;
};

class ResultMessageOfAFailed : public ConnectRun, public testing::WithParamInterface<FailedOperation> {};

TEST_P(ResultMessageOfAFailed, Operation) {
    const FailedOperation& c = GetParam();
    q86sim::Scenario s;
    c.setup(s);
    startVirtualModem(s);
    runOperation(c.button);
    EXPECT_THAT(boxes->texts(), ElementsAre(c.message));
    EXPECT_EQ(ComHandle(), nullptr);
    EXPECT_EQ(Fmainset->OpApply + Fmainset->OpRead + Fmainset->OpRestore, 0);
}

INSTANTIATE_TEST_SUITE_P(
    ConnectRun, ResultMessageOfAFailed,
    testing::Values(
        FailedOperation{"NoAnswer", &TFmainset::DownloadBtnClick, [](q86sim::Scenario& s) { s.mute = true; },
                        kNoResponse},
        FailedOperation{"CarrierComesOn", &TFmainset::DownloadBtnClick,
                        [](q86sim::Scenario& s) { s.dcdOnEscape = true; },
                        QStringLiteral("Activating SMS Tunnel. Please try again in a moment.")},
        FailedOperation{"UnknownModel", &TFmainset::DownloadBtnClick,
                        [](q86sim::Scenario& s) { s.replyOverride["at*apver"] = "\r\nERROR\r\n"; },
                        QStringLiteral("Vantro not detected.")},
        FailedOperation{"UnknownModelRead", &TFmainset::UploadBtnClick,
                        [](q86sim::Scenario& s) { s.replyOverride["at*apver"] = "\r\nBREL Q86 v1\r\n"; },
                        QStringLiteral("Vantro not detected.")},
        FailedOperation{"UnknownModelRestore", &TFmainset::ResetBtnClick,
                        [](q86sim::Scenario& s) { s.replyOverride["at*apver"] = "\r\nERROR\r\n"; },
                        QStringLiteral("Modem not detected.")}),
    [](const testing::TestParamInfo<FailedOperation>& info) { return info.param.name; });

TEST_F(ConnectRun, NoModemLinesMeansNothingIsSent) {
    q86sim::Scenario s;
    s.cts = false;
    startModem(s);
    runOperation(&TFmainset::DownloadBtnClick);
    EXPECT_THAT(boxes->texts(),
                ElementsAre(QStringLiteral(
                    "Modem not detected on this port. \nPlease verify connection and power.")));
    EXPECT_TRUE(modem->commandTexts().empty());
}

TEST_F(ConnectRun, PortThatCannotBeOpened) {
    conn().ComboBox1->setCurrentIndex(7); // COM8: not in the map
    runOperation(&TFmainset::UploadBtnClick);
    EXPECT_THAT(boxes->texts(),
                ElementsAre(QStringLiteral("No such port or port is occupied by another program.")));
    EXPECT_EQ(Fmainset->OpRead, 0);
    EXPECT_EQ(Fprogressbar, nullptr);
}

TEST(ResultMessages, EachOperationHasItsOwnTexts) {
    struct Case {
        OperationKind kind;
        int code;
        const char* text;
    };
    const Case cases[] = {
        {OperationKind::Apply, 1, "Modem settings have been applied."},
        {OperationKind::Apply, -1, "Unable to apply modem settings. Please reboot modem and try again."},
        {OperationKind::Apply, -3, "Activating SMS Tunnel. Please try again in a moment."},
        {OperationKind::Apply, -4, "Vantro not detected."},
        {OperationKind::Read, 1, "Query modem status sucess."},
        {OperationKind::Read, -1, "Query Failure. Please try again."},
        {OperationKind::Read, -3, "Activating SMS Tunnel. Please try again in a moment."},
        {OperationKind::Read, -4, "Vantro not detected."},
        {OperationKind::Restore, 1, "Default settings have been applied. 115200 8-N-1"},
        {OperationKind::Restore, -1, "Unable to apply default settings. Please try again."},
        {OperationKind::Restore, -3, "SMS Tunnel activated, Please try again."},
        {OperationKind::Restore, -4, "Modem not detected."},
    };
    for (const Case& c : cases)
        EXPECT_EQ(OperationResultMessage(c.kind, c.code), QString::fromLatin1(c.text)) << c.text;
    // -2 and every code no job leaves read as no response.
    for (OperationKind k : {OperationKind::Apply, OperationKind::Read, OperationKind::Restore}) {
        for (int code : {-2, 0, 7, -5})
            EXPECT_EQ(OperationResultMessage(k, code), kNoResponse);
    }
}

TEST(ApverClass, ModelAndFirmwareRoads) {
    struct Case {
        const char* reply;
        int v;
    };
    const Case cases[] = {
        {"BREL Q8690I v2.0.3 build 1234", 1},
        {"BREL Q8690I v1.0.1 build 0815", 2}, // old firmware even with a build
        {"BREL Q8690I v1.0.0", 2},
        {"BREL Q8690I v1.0.10 build 7", 1}, // only 1.0.0 and 1.0.1 exactly are old
        {"BREL Q8690I v11.0.1 build 7", 1},
        {"BREL Q8690I v2.0.3 build 1.0.1", 1},
        {"\r\nBREL Q8690I v1.0.1\r\nOK", 2},
        {"BREL Q8690I v2.0.3", 0},
        {"BREL Q8630 v2.1.0 build 77", 3},
        {"BREL Q8630 v2.1.0", 0},
        {"\r\nERROR\r\n", -1},
        {"", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ClassifyApverReply(c.reply), c.v) << c.reply;
}

TEST_F(ConnectRun, DetectionFindsAModemAt9600AndTheBoxesShowIt) {
    q86sim::Scenario s;
    s.initialSettings = q86sim::Settings::factory();
    s.initialSettings->line.baud = 9600;
    startVirtualModem(s);
    Fmainset->UploadBtnClick();
    conn().AutoDetect->setChecked(true);
    boxes->answer({Answer::Yes});
    QTest::mouseClick(conn().OKF3Btn, Qt::LeftButton);

    ASSERT_EQ(boxes->texts().size(), 2u);
    EXPECT_EQ(boxes->texts()[1], QStringLiteral("Baud rate and data format detected successfully."));
    EXPECT_EQ(conn().ComboBox2->currentText(), QStringLiteral("9600"));
    EXPECT_EQ(conn().ComboBox4->currentText(), QStringLiteral("8"));
    EXPECT_EQ(conn().ComboBox3->currentText(), QStringLiteral("None"));
    EXPECT_FALSE(conn().AutoDetect->isChecked());
    EXPECT_TRUE(conn().ComboBox2->isEnabled());
    EXPECT_TRUE(conn().OKF3Btn->isEnabled());
    EXPECT_TRUE(Fconnect->isVisible());
    EXPECT_EQ(ComHandle(), nullptr);
    EXPECT_EQ(Fconnect->AutoDetectWorker, nullptr);
    // The pending read waits for the second OK, which now finds the modem.
    EXPECT_EQ(Fmainset->OpRead, 1);
    boxes->clear();
    QTest::mouseClick(conn().OKF3Btn, Qt::LeftButton);
    EXPECT_THAT(boxes->texts(), ElementsAre(QStringLiteral("Query modem status sucess.")));
}

// Counts the dialog's raises, and those made while a condition held.
class RaiseWatch : public QObject {
public:
    RaiseWatch(QWidget* w, std::function<bool()> condition) : condition_(std::move(condition)) {
        w->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::ZOrderChange) {
            ++raises;
            raisesWhile += condition_();
        }
        return false;
    }
    int raises = 0;
    int raisesWhile = 0;

private:
    std::function<bool()> condition_;
};

// The dialog is the main window's own: the window manager keeps it above the main window however
// the user clicks, and it is raised whenever it is shown.
void expectOwnedByTheMainWindow() {
    ASSERT_TRUE(Fconnect->isVisible());
    EXPECT_TRUE(Fconnect->isWindow());
    EXPECT_EQ(Fconnect->windowType(), Qt::Dialog);
    EXPECT_EQ(Fconnect->parentWidget(), Fmainset);
    ASSERT_NE(Fconnect->windowHandle(), nullptr);
    EXPECT_EQ(Fconnect->windowHandle()->transientParent(), Fmainset->windowHandle());
}

TEST_F(ConnectRun, TheDialogStaysAboveTheMainWindowThatShowedIt) {
    Fmainset->show();
    RaiseWatch watch(Fconnect, [] { return true; });
    QTest::mouseClick(main().UploadBtn, Qt::LeftButton);
    expectOwnedByTheMainWindow();
    EXPECT_GE(watch.raises, 1);
    // A click on the main window leaves the dialog where it belongs.
    QTest::mouseClick(Fmainset, Qt::LeftButton);
    Fmainset->activateWindow();
    expectOwnedByTheMainWindow();
    QTest::mouseClick(conn().CancelF3Btn, Qt::LeftButton);
    EXPECT_FALSE(Fconnect->isVisible());
    QTest::mouseClick(main().ResetBtn, Qt::LeftButton);
    expectOwnedByTheMainWindow();
}

TEST_F(ConnectRun, AfterAScanTheDialogIsRaisedBeforeItsMessage) {
    q86sim::Scenario s;
    s.initialSettings = q86sim::Settings::factory();
    s.initialSettings->line.baud = 9600;
    startVirtualModem(s);
    Fmainset->show();
    QTest::mouseClick(main().UploadBtn, Qt::LeftButton);
    conn().AutoDetect->setChecked(true);
    boxes->answer({Answer::Yes});
    // The scan over, its question asked and its answer not yet shown.
    RaiseWatch watch(Fconnect,
                     [this] { return Fconnect->AutoDetectWorker == nullptr && boxes->texts().size() == 1; });
    QTest::mouseClick(conn().OKF3Btn, Qt::LeftButton);

    ASSERT_EQ(boxes->texts().size(), 2u);
    EXPECT_EQ(boxes->texts()[1], QStringLiteral("Baud rate and data format detected successfully."));
    EXPECT_GE(watch.raisesWhile, 1) << "raised after the scan, before its message";
    expectOwnedByTheMainWindow();
}

TEST_F(ConnectRun, CancelAndTheCloseBoxEndAScan) {
    struct Case {
        const char* name;
        std::function<void()> stop;
    };
    const Case cases[] = {
        {"Cancel", [] { Fconnect->CancelF3BtnClick(); }},
        {"close box", [] { Fconnect->close(); }},
    };
    q86sim::Scenario s;
    s.mute = true;
    startModem(s);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        boxes->clear();
        Fmainset->UploadBtnClick();
        conn().AutoDetect->setChecked(true);
        boxes->answer({Answer::Yes});
        whenScanning(c.stop);
        const auto started = std::chrono::steady_clock::now();
        QTest::mouseClick(conn().OKF3Btn, Qt::LeftButton);
        EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
        ASSERT_EQ(boxes->texts().size(), 2u);
        EXPECT_EQ(boxes->texts()[1],
                  QStringLiteral("Auto Detect Failed \nPlease Select Correct Port or Try Again."));
        EXPECT_EQ(Fconnect->AutoDetectResult, 0);
        EXPECT_EQ(Fmainset->OpRead, 1);
        EXPECT_TRUE(Fconnect->isVisible());
        EXPECT_TRUE(conn().OKF3Btn->isEnabled());
        EXPECT_EQ(ComHandle(), nullptr);
        // A late end of the cancelled scan is not left over for the next modal loop.
        EXPECT_FALSE(gui::inModal(Fconnect));
    }
}

TEST_F(ConnectRun, AnsweringNoToTheScanQuestionUnticksTheBox) {
    startModem();
    Fmainset->UploadBtnClick();
    conn().AutoDetect->setChecked(true);
    QTest::mouseClick(conn().OKF3Btn, Qt::LeftButton); // the question's default is No
    ASSERT_EQ(boxes->boxes().size(), 1u);
    EXPECT_EQ(boxes->boxes()[0].kind, gui::BoxKind::Ask);
    EXPECT_FALSE(conn().AutoDetect->isChecked());
    EXPECT_TRUE(conn().ComboBox3->isEnabled());
    EXPECT_TRUE(modem->commandTexts().empty());
    EXPECT_EQ(Fmainset->OpRead, 1);
}

TEST_F(ConnectRun, CancelAndCloseWithoutAScan) {
    Fmainset->UploadBtnClick();
    conn().AutoDetect->setChecked(true);
    QTest::mouseClick(conn().CancelF3Btn, Qt::LeftButton);
    // Box ticked: only unticked, the dialog stays and the operation is kept.
    EXPECT_FALSE(conn().AutoDetect->isChecked());
    EXPECT_TRUE(Fconnect->isVisible());
    EXPECT_EQ(Fmainset->OpRead, 1);
    // The close box only hides; the flag stays for the next OK.
    Fconnect->close();
    EXPECT_FALSE(Fconnect->isVisible());
    EXPECT_EQ(Fmainset->OpRead, 1);
    Fconnect->show();
    QTest::mouseClick(conn().CancelF3Btn, Qt::LeftButton);
    EXPECT_FALSE(Fconnect->isVisible());
    EXPECT_EQ(Fmainset->OpRead, 0);
    EXPECT_TRUE(boxes->texts().empty());
}

TEST_F(ConnectRun, MonitorOpensThePortAndHandsItToTheMonitorWindow) {
    startModem();
    Fmainset->show();
    runOperation(&TFmainset::MonitoringBtnClick);
    EXPECT_TRUE(Frf_monitor->isVisible());
    EXPECT_FALSE(Fconnect->isVisible());
    EXPECT_FALSE(Fmainset->isVisible());
    EXPECT_EQ(Fconnect->MonitorOpenedPort, 1);
    EXPECT_EQ(Fmainset->OpMonitor, 0);
    ASSERT_NE(ComHandle(), nullptr);
    ASSERT_TRUE(QTest::qWaitFor([] { return Frf_monitor->MonitorWorker->isFinished(); }, 15000));
    QCoreApplication::processEvents();
    EXPECT_EQ(monitor().GSM_OperatorName->text(), QStringLiteral("TestNet"));
    EXPECT_TRUE(Frf_monitor->RF_Timer1->isActive());

    Frf_monitor->BitBtn1Click();
    EXPECT_EQ(ComHandle(), nullptr);
    EXPECT_TRUE(Fmainset->isVisible());
    EXPECT_TRUE(boxes->texts().empty());
}

TEST_F(ConnectRun, MonitorStartUpEndsWhenTheTunnelComesUpDuringTheProbe) {
    q86sim::Scenario s;
    s.dcdOnCommand = "at";
    startModem(s);
    Fmainset->show();
    clickOperation(main().MonitoringBtn);
    ASSERT_TRUE(QTest::qWaitFor([] { return Frf_monitor->MonitorWorker->isFinished(); }, 15000));
    QCoreApplication::processEvents();
    EXPECT_EQ(monitor().GSM_OperatorName->text(), QStringLiteral("SMS Tunnel Activated"));
    EXPECT_EQ(monitor().GSM_Registration->text(), QStringLiteral("Please try again"));
    EXPECT_FALSE(Frf_monitor->RF_Timer1->isActive());
    EXPECT_FALSE(sent("at*apver")) << "the start-up went on after the tunnel came up";
    Frf_monitor->BitBtn1Click();
    EXPECT_EQ(ComHandle(), nullptr);
}

TEST_F(ConnectRun, RestoreShowsItsOwnStatusWindow) {
    startModem();
    QString title;
    int maximum = -1;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (Fprogressbar && gui::inModal(Fprogressbar)) {
            title = Fprogressbar->StatusTitle->text();
            maximum = Fprogressbar->ProgressBar1->maximum();
            watch.stop();
        }
    });
    watch.start(5);
    clickOperation(main().ResetBtn);
    EXPECT_EQ(Fconnect->RestoreResult, 1);
    EXPECT_EQ(title, QStringLiteral("Reset Modem To Defaults"));
    EXPECT_EQ(maximum, 6);
}

TEST_F(ConnectRun, MonitorOnAPortThatDoesNotOpenShowsOnlyTheMessage) {
    conn().ComboBox1->setCurrentIndex(kPort - 1); // nothing is published there
    runOperation(&TFmainset::MonitoringBtnClick);
    EXPECT_THAT(boxes->texts(),
                ElementsAre(QStringLiteral("No such port or port is occupied by another program.")));
    EXPECT_FALSE(Frf_monitor->isVisible());
    EXPECT_FALSE(Fconnect->isVisible());
    EXPECT_EQ(Fconnect->MonitorOpenedPort, 0);
    EXPECT_EQ(Fmainset->OpMonitor, 0);
}

TEST_F(ConnectRun, OkWithoutAPendingOperationOnlyHides) {
    Fconnect->show();
    QTest::mouseClick(conn().OKF3Btn, Qt::LeftButton);
    EXPECT_FALSE(Fconnect->isVisible());
    EXPECT_TRUE(boxes->texts().empty());
}

} // namespace
