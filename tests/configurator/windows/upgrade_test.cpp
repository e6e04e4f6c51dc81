// The firmware upgrade end to end: the main window's button and the connect dialog's OK clicked,
// the real windows under the offscreen platform, the worker on its thread, the simulated modem
// behind COM3 on a pseudo-terminal taking the image over the serial library's XMODEM.
#include "Connectsetup.h"
#include "engine_view_qt.h"
#include "fast_clock.h"
#include "gui.h"
#include "Loadthread.h"
#include "Mainsetup.h"
#include "Progressivebar.h"
#include "Rs232_setup.h"
#include "scripted_file_dialogs.h"
#include "seriallib.h"
#include "window_fixture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include "firmware_image.h"
#include "simulated_modem.h"
#include "temporary_port_map.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <mutex>
#include <thread>

using gui::Answer;
using q86sim::Model;
using testing::ElementsAre;

namespace {

using namespace std::chrono_literals;

const QString kComplete = QStringLiteral("Upgrade Firmware Complete");
const QString kFailure = QStringLiteral("Upgrade Firmware Failure");
const QString kDownloadFailure = QStringLiteral("Download Firmware Failure");

// The status window's texts in the order the worker set them.
class RecordingStatusView : public WindowsEngineView {
public:
    void setStatusText(const std::string& text) override {
        {
            std::lock_guard lock(mutex);
            texts.push_back(text);
        }
        WindowsEngineView::setStatusText(text);
    }
    // The status window's title before the worker's first title and each title after it.
    void setStatusTitle(const std::string& text) override {
        std::string shown;
        gui::call([&] {
            if (Fprogressbar)
                shown = Fprogressbar->StatusTitle->text().toStdString();
        });
        {
            std::lock_guard lock(mutex);
            for (const std::string& t : {shown, text})
                if (titles.empty() || titles.back() != t)
                    titles.push_back(t);
        }
        WindowsEngineView::setStatusTitle(text);
    }
    std::vector<std::string> after(const std::string& text) {
        std::lock_guard lock(mutex);
        const auto at = std::find(texts.begin(), texts.end(), text);
        return at == texts.end() ? std::vector<std::string>{} : std::vector<std::string>(at + 1, texts.end());
    }
    bool saw(const std::string& text) {
        std::lock_guard lock(mutex);
        return std::find(texts.begin(), texts.end(), text) != texts.end();
    }
    std::mutex mutex;
    std::vector<std::string> texts;
    std::vector<std::string> titles;
};

const std::vector<std::string> kStatusTitles = {"Upgrade Modem Firmware", "Upgrade Firmware To Modem"};

// Pauses as FastClock, and the first pause the named worker makes takes COM3 away: the port the
// worker then opens no longer exists, as when another program or a pulled adapter took it.
class PortTakingClock : public enginetest::FastClock {
public:
    PortTakingClock(QString worker, std::string mapFile)
        : worker_(std::move(worker)), mapFile_(std::move(mapFile)) {}
    void sleepMs(int ms) override {
        if (!taken && QThread::currentThread()->objectName() == worker_) {
            std::ofstream(mapFile_, std::ios::trunc) << "COM3=/nonexistent/tty\n";
            taken = true;
        }
        FastClock::sleepMs(ms);
    }
    std::atomic<bool> taken{false};

private:
    QString worker_;
    std::string mapFile_;
};

class UpgradeRun : public WindowSetTest {
protected:
    static constexpr int kPort = 3;

    void SetUp() override {
        WindowSetTest::SetUp();
        dialogs = gui::ScriptedFileDialogs::install();
        // The download file goes into this Documents folder.
        home = QDir(tmp.path()).filePath(QStringLiteral("home"));
        docs = QDir(home).filePath(QStringLiteral("Documents"));
        QDir().mkpath(docs);
        savedHome = qgetenv("HOME");
        savedConfig = qgetenv("XDG_CONFIG_HOME");
        qputenv("HOME", QFile::encodeName(home));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home + QStringLiteral("/.config")));
        engine::setLinkClock(std::make_shared<enginetest::FastClock>());
        view = std::make_shared<RecordingStatusView>();
        setEngineView(view);
        Fmainset->show();
    }
    void TearDown() override {
        if (aborter.joinable())
            aborter.join();
        CloseComPort();
        SetLinkSettings({});
        if (modem)
            modem->stop();
        engine::setLinkClock(nullptr);
        setUpgradeReplyWait({});
        qputenv("HOME", savedHome);
        qputenv("XDG_CONFIG_HOME", savedConfig);
        WindowSetTest::TearDown();
    }

    q86sim::SimulatedModem& startModem(q86sim::Scenario s = {}) {
        s.xmodemFirstNakMs = 100;
        // The modem takes "at+wopen=1" right after its restart's "OK".
        s.restartMs = 0;
        // and the closing commands soon after its verdict.
        s.factoryResetMs = std::min(s.factoryResetMs, 40);
        // Far enough apart that a busy machine still reads each line of the verdict on its own.
        s.upgradeStepMs = std::min(s.upgradeStepMs, 300);
        if (modem)
            modem->stop();
        modem = std::make_unique<q86sim::SimulatedModem>(std::move(s));
        modem->start();
        EXPECT_TRUE(modem->publish(kPort));
        return *modem;
    }

    QString writeImage(const std::string& bytes) {
        const QString path = QDir(tmp.path()).filePath(QStringLiteral("modem.img"));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes.data(), qint64(bytes.size()));
        return path;
    }

    // Upgrade FW, Yes, the image, then OK in the connect dialog at COM3, all by clicks.
    void upgrade(const std::string& image) {
        boxes->clear();
        boxes->answer({Answer::Yes});
        dialogs->answer({writeImage(image)});
        QTest::mouseClick(main().UpgradeBtn, Qt::LeftButton);
        ASSERT_TRUE(Fconnect->isVisible());
        conn().ComboBox1->setCurrentIndex(kPort - 1);
        QTest::mouseClick(conn().OKF3Btn, Qt::LeftButton);
    }

    // The modem's log once it has stayed the same for 100 ms.
    std::vector<std::string> settledLog() {
        auto log = modem->commandTexts();
        for (int i = 0; i < 40; ++i) {
            std::this_thread::sleep_for(50ms);
            auto now = modem->commandTexts();
            if (now == log && i > 0)
                break;
            log = std::move(now);
        }
        return log;
    }
    // The commands after the last one equal to command: a busy machine may have the dialog ask again.
    std::vector<std::string> after(const std::vector<std::string>& log, const std::string& command) {
        const auto at = std::find(log.rbegin(), log.rend(), command);
        return at == log.rend() ? std::vector<std::string>{} : std::vector<std::string>(at.base(), log.end());
    }
    // The commands after command: first waited for until they are the expected ones (the modem's
    // thread may still be reading the last bytes written), then until no more come.
    void expectCommandsAfter(const std::string& command, const std::vector<std::string>& expected) {
        modem->waitFor(
            [&](const q86sim::Modem& m) {
                std::vector<std::string> log;
                for (const q86sim::CommandRecord& r : m.commandLog())
                    log.push_back(r.text);
                return after(log, command) == expected;
            },
            10s);
        EXPECT_EQ(after(settledLog(), command), expected);
    }
    bool sent(const std::string& command) {
        const auto log = modem->commandTexts();
        return std::find(log.begin(), log.end(), command) != log.end();
    }

    // Every road ends with the port free again, for both the dialog's link and the library.
    void expectPortClosedAndWindowsGone() {
        EXPECT_EQ(ComHandle(), nullptr);
        EXPECT_EQ(SerialOpen(kPort), 0);
        SerialClose(kPort);
        EXPECT_EQ(Fprogressbar, nullptr);
        EXPECT_EQ(Fconnect->LoadWorker, nullptr);
        EXPECT_EQ(Fconnect->OldUpgradeWorker, nullptr);
        EXPECT_EQ(Fmainset->OpUpgrade, 0);
        EXPECT_FALSE(Fconnect->isVisible());
    }

    // Stands for a sender's start time-out: ends the transfer once the modem has waited a while.
    void abortTransferWhenWaiting() {
        aborter = std::thread([this] {
            const auto waiting = [](const q86sim::Modem& m) {
                return m.mode() == q86sim::Modem::Mode::Xmodem;
            };
            if (modem->waitFor(waiting, 10s)) {
                std::this_thread::sleep_for(500ms);
                SerialAbortTransmit(kPort);
            }
        });
    }

    std::string dwlOf(const std::string& image) {
        std::string d = image.substr(128);
        for (char& c : d)
            c = char(~static_cast<unsigned char>(c));
        return d;
    }

    std::shared_ptr<gui::ScriptedFileDialogs> dialogs;
    std::shared_ptr<RecordingStatusView> view;
    QTemporaryDir tmp;
    QString home;
    QString docs;
    QByteArray savedHome;
    QByteArray savedConfig;
    q86sim::TemporaryPortMap map;
    std::unique_ptr<q86sim::SimulatedModem> modem;
    std::thread aborter;
};

TEST_F(UpgradeRun, NewFirmwareFromTheButtonThroughTheConnectDialog) {
    startModem();
    const std::string image = q86sim::MakeFirmwareImage(Model::Q8690I, 3000);
    upgrade(image);

    EXPECT_THAT(boxes->texts(),
                ElementsAre(QStringLiteral("This will reset the modem to default settings.\nYour "
                                           "current settings will be lost. \n\nTo save your "
                                           "modem's current settings, press \n\"No\", then use "
                                           "the \"Get Settings\" function \nand the "
                                           "\"File->Save\" command.\n\nDo you wish to proceed?"),
                            kComplete));
    const std::string got = modem->transferData();
    ASSERT_GE(got.size(), image.size());
    EXPECT_EQ(got.substr(0, image.size()), image);
    EXPECT_EQ(got.find_first_not_of('\x1A', image.size()), std::string::npos);
    EXPECT_EQ(modem->firmwareVersion(), "2.1.0");
    expectCommandsAfter("at*apver", {"at+wind=0", "at*upg", "at+wind=0", "at&w"});
    EXPECT_THAT(view->texts, ElementsAre("Initial...", "Loading...", "Finished loading.", "Upgrading...",
                                         "Setting modem...", "Firmware upgrade successful!!"));
    EXPECT_EQ(view->titles, kStatusTitles);
    EXPECT_EQ(Fconnect->XmodemResult, 0);
    EXPECT_EQ(Fconnect->UpgradeResult, 1);
    // The modem came back at its factory setting, and so did the window.
    EXPECT_EQ(main().ComboBox6->currentText(), QStringLiteral("Hardward (RTS)"));
    expectPortClosedAndWindowsGone();
}

struct NewFirmwareCase {
    const char* what;
    std::function<void(q86sim::Scenario&)> script;
    QString message;
    int upgradeResult;
    // The status texts after "Finished loading."; none when the transfer failed.
    std::vector<std::string> texts;
    std::vector<std::string> after; // the commands after "at*upg"
    // Lines written back to back may still reach two reads on a loaded machine: then the second
    // one's text may show in between, and only the first and last texts are fixed.
    bool readsMaySplit = false;
};

const std::vector<std::string> kClosing = {"at+wind=0", "at&w"};

class NewFirmware : public UpgradeRun, public testing::WithParamInterface<NewFirmwareCase> {};

TEST_P(NewFirmware, VerdictOrTransferFault) {
    const NewFirmwareCase& c = GetParam();
    const std::string image = q86sim::MakeFirmwareImage(Model::Q8690I, 1500);
    q86sim::Scenario s;
    c.script(s);
    startModem(s);
    setUpgradeReplyWait({s.verdict == q86sim::UpgradeVerdict::Silent ? 10 : 1000, 20});
    if (s.xmodemNeverStart)
        abortTransferWhenWaiting();
    upgrade(image);
    if (aborter.joinable())
        aborter.join();

    EXPECT_EQ(boxes->last().text, c.message);
    EXPECT_EQ(Fconnect->UpgradeResult, c.upgradeResult);
    EXPECT_EQ(Fconnect->XmodemResult < 0, c.message == kDownloadFailure);
    const std::vector<std::string> texts = view->after("Finished loading.");
    if (c.readsMaySplit && texts.size() == c.texts.size() + 1) {
        EXPECT_EQ(texts.front(), c.texts.front());
        EXPECT_EQ(texts[1], "Setting modem...");
        EXPECT_EQ(texts.back(), c.texts.back());
    } else {
        EXPECT_EQ(texts, c.texts);
    }
    EXPECT_EQ(view->saw("Finished loading."), c.message != kDownloadFailure);
    expectCommandsAfter("at*upg", c.after);
    if (c.upgradeResult == 1) {
        EXPECT_EQ(modem->transferData().substr(0, image.size()), image);
    }
    expectPortClosedAndWindowsGone();
}

INSTANTIATE_TEST_SUITE_P(
    UpgradeRun, NewFirmware,
    testing::Values(NewFirmwareCase{"UpOk",
                                    [](q86sim::Scenario& s) { s.verdict = q86sim::UpgradeVerdict::Success; },
                                    kComplete,
                                    1,
                                    {"Upgrading...", "Setting modem...", "Firmware upgrade successful!!"},
                                    kClosing},
                    NewFirmwareCase{"Failed",
                                    [](q86sim::Scenario& s) { s.verdict = q86sim::UpgradeVerdict::Failed; },
                                    kFailure,
                                    -1,
                                    {"Upgrading...", "Firmware upgrade failed!! Please try again."},
                                    kClosing},
                    NewFirmwareCase{"MisMatchKeepsTheFirmwareAtItsFactoryProfile",
                                    [](q86sim::Scenario& s) { s.verdict = q86sim::UpgradeVerdict::MisMatch; },
                                    kComplete,
                                    1,
                                    {},
                                    {"at&f", "atz", "at+wind=0", "at&w"}},
                    NewFirmwareCase{"GradingAndStoringInOneRead",
                                    // The two progress lines back to back; the verdict in a read of its own.
                                    [](q86sim::Scenario& s) { s.upgradeSecondLineMs = 0; },
                                    kComplete,
                                    1,
                                    {"Upgrading...", "Firmware upgrade successful!!"},
                                    kClosing,
                                    true},
                    NewFirmwareCase{"FiftySilentReads",
                                    [](q86sim::Scenario& s) { s.verdict = q86sim::UpgradeVerdict::Silent; },
                                    kFailure,
                                    0,
                                    {},
                                    kClosing},
                    NewFirmwareCase{"ANakedBlockIsSentAgain",
                                    [](q86sim::Scenario& s) { s.xmodemNakBlockOnce = 3; },
                                    kComplete,
                                    1,
                                    {"Upgrading...", "Setting modem...", "Firmware upgrade successful!!"},
                                    kClosing},
                    NewFirmwareCase{"TheModemCancelsTheTransfer",
                                    [](q86sim::Scenario& s) { s.xmodemCancelAtBlock = 3; },
                                    kDownloadFailure,
                                    0,
                                    {},
                                    {}},
                    NewFirmwareCase{"TheModemNeverStartsTheTransfer",
                                    [](q86sim::Scenario& s) { s.xmodemNeverStart = true; },
                                    kDownloadFailure,
                                    0,
                                    {},
                                    {}}),
    [](const testing::TestParamInfo<NewFirmwareCase>& info) { return std::string(info.param.what); });

struct OldFirmwareCase {
    const char* what;
    std::function<void(q86sim::Scenario&)> script;
    QString message;
    std::vector<std::string> texts; // after "Downloading..."
    const char* version;            // afterwards
    bool onlyLastText = false;      // where the reads fall decides the progress texts
};

class OldFirmware : public UpgradeRun, public testing::WithParamInterface<OldFirmwareCase> {};

TEST_P(OldFirmware, VerdictAndTheDownloadFileGoesAway) {
    const OldFirmwareCase& c = GetParam();
    const std::string image = q86sim::MakeFirmwareImage(Model::Q8690I, 1500);
    q86sim::Scenario s;
    s.firmwareVersion = "1.0.1";
    c.script(s);
    startModem(s);
    setUpgradeReplyWait({s.verdict == q86sim::UpgradeVerdict::Silent ? 10 : 1000, 20});
    upgrade(image);

    EXPECT_EQ(boxes->last().text, c.message);
    EXPECT_EQ(modem->firmwareVersion(), c.version);
    const std::vector<std::string> texts = view->after("Downloading...");
    if (c.onlyLastText) {
        EXPECT_EQ(texts.empty() ? "" : texts.back(), c.texts.back());
    } else {
        EXPECT_EQ(texts, c.texts);
    }
    const std::string dwl = dwlOf(image);
    if (c.message != kDownloadFailure) {
        EXPECT_EQ(modem->transferData().substr(0, dwl.size()), dwl);
        expectCommandsAfter("at*apver", {"at&w", "at+wopen=0", "at+wdwl", "at+cfun=1", "at+wopen=1",
                                         "at*default", "at+wind=0", "at&w"});
    } else {
        expectCommandsAfter("at*apver", {"at&w", "at+wopen=0", "at+wdwl"});
    }
    EXPECT_TRUE(QDir(docs).isEmpty()) << "the download file is deleted";
    EXPECT_EQ(view->titles, kStatusTitles);
    expectPortClosedAndWindowsGone();
}

INSTANTIATE_TEST_SUITE_P(
    UpgradeRun, OldFirmware,
    testing::Values(OldFirmwareCase{"UpOk",
                                    [](q86sim::Scenario&) {},
                                    kComplete,
                                    {"Upgrading...", "Setting Modem...", "Upgrade Success!!"},
                                    "2.1.0"},
                    OldFirmwareCase{"AdFailed",
                                    [](q86sim::Scenario& s) { s.verdict = q86sim::UpgradeVerdict::Failed; },
                                    kFailure,
                                    {"Upgrading...", "Upgrade Fail!!"},
                                    "1.0.1"},
                    OldFirmwareCase{"UpOkSplitOverTwoReads",
                                    [](q86sim::Scenario& s) {
                                        s.upgradeStepMs = 0;
                                        s.factoryResetMs = 0;
                                        // "\r\nOK\r\n", "\r\nUpgrading firmware\r\n", "\r\nRestoring
                                        // settings\r\n", "\r\nSetup O" | "K".
                                        s.splits.push_back({"at*default", 59, 200});
                                    },
                                    kComplete,
                                    {"Upgrade Success!!"},
                                    "2.1.0",
                                    true},
                    OldFirmwareCase{"FiftySilentReads",
                                    [](q86sim::Scenario& s) { s.verdict = q86sim::UpgradeVerdict::Silent; },
                                    kFailure,
                                    {},
                                    "1.0.1"},
                    OldFirmwareCase{"TheModemCancelsTheTransfer",
                                    [](q86sim::Scenario& s) { s.xmodemCancelAtBlock = 2; },
                                    kDownloadFailure,
                                    {},
                                    "1.0.1"}),
    [](const testing::TestParamInfo<OldFirmwareCase>& info) { return std::string(info.param.what); });

struct Mismatch {
    const char* name;
    Model modem;
    Model image;
};

class ModelMismatch : public UpgradeRun, public testing::WithParamInterface<Mismatch> {};

TEST_P(ModelMismatch, StopsBeforeTheTransfer) {
    q86sim::Scenario s;
    s.model = GetParam().modem;
    startModem(s);
    upgrade(q86sim::MakeFirmwareImage(GetParam().image, 500));
    EXPECT_EQ(boxes->last().text, QStringLiteral("Model and Firmware not match."));
    EXPECT_EQ(boxes->texts().size(), 2u);
    EXPECT_FALSE(sent("at*upg"));
    EXPECT_FALSE(sent("at+wdwl"));
    expectPortClosedAndWindowsGone();
}

INSTANTIATE_TEST_SUITE_P(UpgradeRun, ModelMismatch,
                         testing::Values(Mismatch{"Q8630ModemQ8690IImage", Model::Q8630, Model::Q8690I},
                                         Mismatch{"Q8690IModemQ8630Image", Model::Q8690I, Model::Q8630}),
                         [](const testing::TestParamInfo<Mismatch>& info) { return info.param.name; });

TEST_F(UpgradeRun, AnEarlierSuccessIsNeverShownForALaterRun) {
    startModem();
    upgrade(q86sim::MakeFirmwareImage(Model::Q8690I, 500));
    ASSERT_EQ(boxes->last().text, kComplete);

    q86sim::Scenario silent;
    silent.verdict = q86sim::UpgradeVerdict::Silent;
    startModem(silent);
    setUpgradeReplyWait({10, 20});
    upgrade(q86sim::MakeFirmwareImage(Model::Q8690I, 500));
    EXPECT_EQ(boxes->last().text, kFailure);

    // The SMS tunnel comes up at the escape: no worker runs, the port is closed.
    q86sim::Scenario tunnel;
    tunnel.dcdOnEscape = true;
    startModem(tunnel);
    upgrade(q86sim::MakeFirmwareImage(Model::Q8690I, 500));
    EXPECT_EQ(boxes->last().text, kFailure);
    EXPECT_FALSE(sent("at*upg"));
    expectPortClosedAndWindowsGone();

    // No Documents folder and no home folder: the old road stops before the modem is touched.
    q86sim::Scenario old;
    old.firmwareVersion = "1.0.0";
    startModem(old);
    qputenv("HOME", QFile::encodeName(home + QStringLiteral("/gone")));
    upgrade(q86sim::MakeFirmwareImage(Model::Q8690I, 500));
    EXPECT_EQ(boxes->last().text, kFailure);
    EXPECT_FALSE(sent("at&w"));
    expectPortClosedAndWindowsGone();
}

struct ReachedAt {
    const char* what;
    uint32_t rate;
    int baudIndex;
    uint8_t dataBits;
    uint8_t parity;
    int parityIndex;
    std::vector<std::string> moves;
};

class TheTransferFromAModem : public UpgradeRun, public testing::WithParamInterface<ReachedAt> {};

TEST_P(TheTransferFromAModem, AlwaysRunsAt115200EightNoneOne) {
    const ReachedAt& c = GetParam();
    const std::vector<std::string> transfer = {"at+wind=0", "at*upg", "at+wind=0", "at&w"};
    q86sim::Scenario s;
    s.initialSettings = q86sim::Settings::factory();
    s.initialSettings->line = {c.rate, c.dataBits, c.parity, 1};
    startModem(s);
    boxes->answer({Answer::Yes});
    dialogs->answer({writeImage(q86sim::MakeFirmwareImage(Model::Q8690I, 500))});
    QTest::mouseClick(main().UpgradeBtn, Qt::LeftButton);
    conn().ComboBox2->setCurrentIndex(c.baudIndex);
    conn().ComboBox3->setCurrentIndex(c.parityIndex);
    conn().ComboBox4->setCurrentIndex(c.dataBits == 7 ? 0 : 1);
    conn().ComboBox1->setCurrentIndex(kPort - 1);
    QTest::mouseClick(conn().OKF3Btn, Qt::LeftButton);

    EXPECT_EQ(boxes->last().text, kComplete);
    std::vector<std::string> expected = c.moves;
    expected.insert(expected.end(), transfer.begin(), transfer.end());
    expectCommandsAfter("at*apver", expected);
    expectPortClosedAndWindowsGone();
}

// At 115200 7E1 only the framing moves; at 115200 8N1 nothing does.
INSTANTIATE_TEST_SUITE_P(
    UpgradeRun, TheTransferFromAModem,
    testing::Values(ReachedAt{"At9600SevenEvenOne",
                              9600,
                              5,
                              7,
                              q86sim::ParityEven,
                              2,
                              {"at+wind=0", "at+ipr=115200", "at+icf=3,4"}},
                    ReachedAt{"At115200SevenEvenOne", 115200, 9, 7, q86sim::ParityEven, 2, {"at+icf=3,4"}},
                    ReachedAt{"At115200EightNoneOne", 115200, 9, 8, q86sim::ParityNone, 0, {}}),
    [](const testing::TestParamInfo<ReachedAt>& info) { return info.param.what; });

TEST_F(UpgradeRun, AnOpenSmsTunnelIsClosedBeforeTheTransfer) {
    q86sim::Scenario s;
    s.connection = q86sim::Connection::SmsTunnel;
    startModem(s);
    upgrade(q86sim::MakeFirmwareImage(Model::Q8690I, 500));
    EXPECT_EQ(boxes->last().text, kComplete);
    // The tunnel is stopped, then the line hung up, before the transfer.
    expectCommandsAfter("at*apver", {"at*stopsms", "ath", "at+wind=0", "at*upg", "at+wind=0", "at&w"});
    EXPECT_FALSE(modem->dcd());
    expectPortClosedAndWindowsGone();
}

struct RefusedCase {
    const char* name;
    std::function<void(q86sim::Scenario&)> script;
    QString message;
};

class UpgradeRefused : public UpgradeRun, public testing::WithParamInterface<RefusedCase> {};

TEST_P(UpgradeRefused, BeforeTheTransferWithItsMessage) {
    q86sim::Scenario s;
    GetParam().script(s);
    startModem(s);
    upgrade(q86sim::MakeFirmwareImage(Model::Q8690I, 500));
    EXPECT_THAT(boxes->texts(), testing::SizeIs(2));
    EXPECT_EQ(boxes->last().text, GetParam().message);
    EXPECT_FALSE(sent("at*upg"));
    EXPECT_FALSE(sent("at+wdwl"));
    expectPortClosedAndWindowsGone();
}

INSTANTIATE_TEST_SUITE_P(
    UpgradeRun, UpgradeRefused,
    testing::Values(
        RefusedCase{
            "TheModemDoesNotAnswer", [](q86sim::Scenario& s) { s.mute = true; },
            QStringLiteral("No response from modem. Please check baud rate and data format settings.")},
        RefusedCase{"TheVersionQueryIsAnError",
                    [](q86sim::Scenario& s) { s.replyOverride["at*apver"] = "\r\nERROR\r\n"; },
                    QStringLiteral("Please contact BREL Corp.")},
        RefusedCase{
            "AnUnknownModel",
            [](q86sim::Scenario& s) { s.replyOverride["at*apver"] = "\r\nX77 v3.0 build 9\r\nOK\r\n"; },
            QStringLiteral("Please contact BREL Corp.")}),
    [](const testing::TestParamInfo<RefusedCase>& info) { return std::string(info.param.name); });

struct LostPortCase {
    const char* name;
    const char* version; // the modem's firmware: its road and its worker
    const char* worker;
    QString message;
    const char* neverSent;
};

class WorkerCannotOpenThePort : public UpgradeRun, public testing::WithParamInterface<LostPortCase> {};

TEST_P(WorkerCannotOpenThePort, FailsWithoutATransfer) {
    const LostPortCase& c = GetParam();
    q86sim::Scenario s;
    s.firmwareVersion = c.version;
    startModem(s);
    auto clock = std::make_shared<PortTakingClock>(QString::fromLatin1(c.worker), map.path());
    engine::setLinkClock(clock);
    upgrade(q86sim::MakeFirmwareImage(Model::Q8690I, 500));
    EXPECT_TRUE(clock->taken);
    EXPECT_EQ(boxes->last().text, c.message);
    EXPECT_NE(boxes->last().text, kComplete);
    EXPECT_EQ(Fconnect->UpgradeResult, 0);
    EXPECT_FALSE(sent(c.neverSent));
    EXPECT_EQ(modem->firmwareVersion(), c.version);
    EXPECT_TRUE(QDir(docs).isEmpty()) << "no download file is left behind";
    // COM3 back for the closing checks.
    ASSERT_TRUE(modem->publish(kPort));
    expectPortClosedAndWindowsGone();
}

INSTANTIATE_TEST_SUITE_P(
    UpgradeRun, WorkerCannotOpenThePort,
    testing::Values(LostPortCase{"NewFirmware", "2.0.3", "LoadThread", kDownloadFailure, "at*upg"},
                    LostPortCase{"OldFirmware", "1.0.1", "UpgOldVersion1Thread", kFailure, "at+wdwl"}),
    [](const testing::TestParamInfo<LostPortCase>& info) { return std::string(info.param.name); });

} // namespace
