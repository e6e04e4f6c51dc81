// The operation worker's jobs against the simulated modem on a virtual line, and its reading of the
// modem's model and version.
#include "Loadthread.h"
#include "sim_link.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

using enginetest::settingsAt;
using enginetest::VirtualLink;
using testing::Contains;
using testing::IsEmpty;
using testing::Not;

namespace {

TEST(ApVersionReply, ModelVersionAndBuild) {
    struct Case {
        const char* reply;
        int found;
        const char* version;
        const char* build;
        const char* model; // the model before is "Old"
    };
    const Case cases[] = {
        {"at*apver\r\r\nBREL Q8690I v2.0.3 build 1234\r\nOK\r\n", 1, "2.0.3", "1234", "Q8690I"},
        {"\r\nBREL Q8630 v2.1.0 build 77x\r\n", 1, "2.1.0", "77", "Q8630"},
        {"\r\nBREL Q8690I v2.0.3\r\nOK", 1, "2.0.3", "", "Q8690I"},
        // Nothing between " v" and the line end: known, but no version and the model unchanged.
        {"\r\nBREL Q8630 v\r\nbuild 5", 1, "", "5", "Old"},
        // Twelve characters without a blank: cut there, and no build.
        {"BREL Q8690I v1234567890123 build 9", 1, "123456789012", "", "Q8690I"},
        // A reply that stops inside the version keeps what came.
        {"BREL Q8690I v2.0", 1, "2.0", "", "Q8690I"},
        {"\r\nERROR\r\n", -1, "", "", "Old"},
        {"\r\nBREL Q8690 v2.0.3\r\n", 0, "", "", "Old"},
        {"", 0, "", "", "Old"},
        // The version mark must start within the first 60 characters.
        {"..........................................................BREL Q8630 v2", 0, "", "", "Old"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        ApVersionInfo info{"", "", "Old"};
        EXPECT_EQ(ParseApVersion(c.reply, info), c.found);
        EXPECT_EQ(info.version, c.version);
        EXPECT_EQ(info.build, c.build);
        EXPECT_EQ(info.model, c.model);
    }
}

// What the worker asks of the windows beyond the recording view's calls.
class LoadView : public enginetest::RecordingView {
public:
    void setStatusTitle(const std::string& t) override { add("title " + t); }
    void setProgressMax(int m) override { add("max " + std::to_string(m)); }
    void endStatusModal() override { add("end status"); }
    void setMainCheck(MainCheck box, bool ticked) override {
        add("check " + std::to_string(static_cast<int>(box)) + (ticked ? " on" : " off"));
    }
    void restoreFactoryValues() override { add("factory"); }

    std::vector<std::string> extra() {
        std::lock_guard l(m_);
        return calls_;
    }

private:
    void add(std::string s) {
        std::lock_guard l(m_);
        calls_.push_back(std::move(s));
    }
    std::mutex m_;
    std::vector<std::string> calls_;
};

class LoadJobs : public VirtualLink {
protected:
    void SetUp() override { setEngineView(view); }

    // Starts the modem, opens the link at the index and runs the job to its end.
    int run(LoadJobFlags flags, q86sim::Scenario s, int baudIndex = 9) {
        startModem(std::move(s));
        LinkSettings l = linkAt(baudIndex);
        l.OpRead = flags.read;
        EXPECT_EQ(open(l), 1);
        worker = std::make_unique<LoadThread>(flags, "Old");
        worker->start();
        EXPECT_TRUE(worker->wait(QDeadlineTimer(30000)));
        return worker->result();
    }
    std::vector<std::string> sent() { return modem->commandTexts(); }
    bool sentCommand(const std::string& c) {
        const auto log = sent();
        return std::find(log.begin(), log.end(), c) != log.end();
    }

    std::shared_ptr<LoadView> view = std::make_shared<LoadView>();
    std::unique_ptr<LoadThread> worker;
};

LoadJobFlags apply() {
    LoadJobFlags f;
    f.apply = true;
    return f;
}
LoadJobFlags read() {
    LoadJobFlags f;
    f.read = true;
    return f;
}
LoadJobFlags restore() {
    LoadJobFlags f;
    f.restore = true;
    return f;
}

struct EarlyEnd {
    const char* name;
    LoadJobFlags flags;
    std::function<void(q86sim::Scenario&)> setup;
    int code;
};

class EarlyEndOfApplyOrRestore : public LoadJobs, public testing::WithParamInterface<EarlyEnd> {};

TEST_P(EarlyEndOfApplyOrRestore, LeavesItsCodeAndEndsTheStatusWindow) {
    const EarlyEnd& c = GetParam();
    q86sim::Scenario s;
    c.setup(s);
    EXPECT_EQ(run(c.flags, s), c.code);
    EXPECT_EQ(view->extra().back(), "end status");
    // Nothing of the settings is touched after an early end.
    EXPECT_THAT(view->extra(), Not(Contains("factory")));
    EXPECT_FALSE(sentCommand("at*config"));
    EXPECT_FALSE(sentCommand("at*default"));
}

INSTANTIATE_TEST_SUITE_P(
    LoadJobs, EarlyEndOfApplyOrRestore,
    testing::Values(
        EarlyEnd{"SilentModem", apply(), [](q86sim::Scenario& s) { s.mute = true; }, -2},
        EarlyEnd{"TunnelComesUpOnTheEscape", apply(), [](q86sim::Scenario& s) { s.dcdOnEscape = true; }, -3},
        EarlyEnd{"ModelRefused", apply(),
                 [](q86sim::Scenario& s) { s.replyOverride["at*apver"] = "\r\nERROR\r\n"; }, -4},
        EarlyEnd{"ModelRefusedRestore", restore(),
                 [](q86sim::Scenario& s) { s.replyOverride["at*apver"] = "\r\nBREL Q8690 v2\r\n"; }, -4}),
    [](const testing::TestParamInfo<EarlyEnd>& info) { return info.param.name; });

TEST_F(LoadJobs, ModelErrorIsAskedOnceOnly) {
    // The model's line follows the ERROR after the first attempt's reads are over (two reads of at
    // most 600 ms at 115200) but within a second attempt's: only a second attempt would see it.
    q86sim::Scenario s;
    const std::string error = "\r\nERROR\r\n";
    s.replyOverride["at*apver"] = error + "\r\nBREL Q8690I v2.0.3 build 1234\r\n";
    s.splits.push_back({"at*apver", error.size(), 900});
    EXPECT_EQ(run(read(), s), -4);
    const auto log = sent();
    EXPECT_EQ(std::count(log.begin(), log.end(), "at*apver"), 1);
    EXPECT_EQ(log.back(), "at*apver");
    EXPECT_EQ(worker->apInfo().model, "Old");
}

TEST_F(LoadJobs, ReadingAnEchoOffModemTurnsEchoOnForTheReportAndOffAgain) {
    q86sim::Scenario s;
    s.initialSettings = settingsAt(115200);
    s.initialSettings->echo = false;
    s.initialSettings->values[0] = "Pump 4";
    EXPECT_EQ(run(read(), s), 1);
    const auto log = sent();
    const auto ate1 = std::find(log.begin(), log.end(), "ate1");
    const auto report = std::find(log.begin(), log.end(), "at*report");
    const auto ate0 = std::find(log.begin(), log.end(), "ate0");
    ASSERT_NE(ate1, log.end());
    ASSERT_NE(report, log.end());
    ASSERT_NE(ate0, log.end());
    EXPECT_LT(ate1, report);
    EXPECT_LT(report, ate0);
    EXPECT_FALSE(sentCommand("ato"));
    EXPECT_FALSE(modem->active().echo);
    EXPECT_THAT(view->extra(), Contains("check 3 on")); // echo disabled in the window
    EXPECT_EQ(worker->apInfo().model, "Q8690I");
    EXPECT_EQ(worker->apInfo().version, "2.0.3");
    ASSERT_EQ(ui.applied.size(), 1u);
    EXPECT_EQ(ui.applied[0].at(0), "Pump 4");
}

TEST_F(LoadJobs, ReadingAnEchoOffModemWhoseReportFailsStillTurnsEchoOff) {
    q86sim::Scenario s;
    s.initialSettings = settingsAt(115200);
    s.initialSettings->echo = false;
    s.reportRefusal = "\r\nEnter SMS text\r\n";
    EXPECT_EQ(run(read(), s), -1);
    EXPECT_TRUE(sentCommand("ate0"));
    EXPECT_FALSE(modem->active().echo);
    EXPECT_THAT(view->extra(), Not(Contains("check 3 on")));
}

TEST_F(LoadJobs, ReadingAModemOnLineReturnsItOnLine) {
    q86sim::Scenario s;
    s.connection = q86sim::Connection::DataCall;
    s.guardMs = 1;
    EXPECT_EQ(run(read(), s), 1);
    EXPECT_TRUE(sentCommand("ato"));
    EXPECT_FALSE(sentCommand("ath"));
    EXPECT_TRUE(modem->dcd());
}

TEST_F(LoadJobs, RestoreBringsModemAndPortToTheFactoryLine) {
    q86sim::Scenario s;
    s.initialSettings = settingsAt(9600);
    s.initialSettings->values[0] = "Gate 2";
    EXPECT_EQ(run(restore(), s, 5), 1);
    EXPECT_EQ(modem->line(), (q86sim::LineSetting{115200, 8, q86sim::ParityNone, 1}));
    EXPECT_EQ(modem->stored().values[0], "");
    EXPECT_EQ(view->progress, 6);
    const auto extra = view->extra();
    ASSERT_GE(extra.size(), 2u);
    EXPECT_EQ(extra[extra.size() - 2], "factory");
    EXPECT_EQ(extra.back(), "end status");
}

TEST_F(LoadJobs, RestoreWithoutTheReadyLineAfterSetupOkFails) {
    q86sim::Scenario s;
    // Chatter in place of the ready line, so that the wait for it reads its budget out quickly.
    std::string chatter = "\r\nSetup OK\r\n";
    for (int line = 0; line < 150; ++line)
        chatter += "+WIND: 4\r\n+WIND: 7\r\n";
    s.replyOverride["at*default"] = chatter;
    // As the modem's own reset: nothing until the command's own answer has been waited out.
    s.splits.push_back({"at*default", 2, 3000});
    EXPECT_EQ(run(restore(), s), -1);
    EXPECT_FALSE(sentCommand("at&w"));
    EXPECT_THAT(view->extra(), Not(Contains("factory")));
    EXPECT_EQ(view->progress, 4);
}

struct HangUps {
    const char* name;
    LoadJobFlags flags;
    long hangUps;
};

class AnEchoedEscapeWithTheCarrierOn : public LoadJobs, public testing::WithParamInterface<HangUps> {};

// The restore hangs up once more with its tunnel stop.
TEST_P(AnEchoedEscapeWithTheCarrierOn, HangsUpFirst) {
    const HangUps& c = GetParam();
    q86sim::Scenario s;
    s.connection = q86sim::Connection::DataCall;
    s.carrierInCommandMode = true;
    EXPECT_EQ(run(c.flags, s), 1);
    const auto log = sent();
    EXPECT_EQ(std::count(log.begin(), log.end(), "ath"), c.hangUps);
    const auto ath = std::find(log.begin(), log.end(), "ath");
    EXPECT_LT(ath, std::find(log.begin(), log.end(), "at*apver"));
    EXPECT_FALSE(modem->dcd());
}

INSTANTIATE_TEST_SUITE_P(LoadJobs, AnEchoedEscapeWithTheCarrierOn,
                         testing::Values(HangUps{"Read", read(), 1}, HangUps{"Restore", restore(), 2}),
                         [](const testing::TestParamInfo<HangUps>& info) { return info.param.name; });

TEST_F(LoadJobs, ReadingEndsWhenTheTunnelComesUpDuringTheProbe) {
    q86sim::Scenario s;
    s.dcdOnCommand = "at";
    EXPECT_EQ(run(read(), s), -3);
    EXPECT_FALSE(sentCommand("at*apver"));
    EXPECT_FALSE(sentCommand("at*report"));
    EXPECT_EQ(view->extra().back(), "end status");
}

struct StatusFrame {
    const char* name;
    LoadJobFlags flags;
    std::vector<std::string> frame; // title and maximum
    std::vector<std::string> first, last;
    int progress;
    bool mute; // the apply's frame is shown before it finds the modem silent
    int code;
};

class StatusWindowOf : public LoadJobs, public testing::WithParamInterface<StatusFrame> {};

TEST_P(StatusWindowOf, TitlesTextsAndProgress) {
    const StatusFrame& c = GetParam();
    q86sim::Scenario s;
    s.mute = c.mute;
    EXPECT_EQ(run(c.flags, s), c.code);
    std::vector<std::string> frame;
    for (const std::string& e : view->extra())
        if (e.rfind("max ", 0) == 0 || e.rfind("title ", 0) == 0)
            frame.push_back(e);
    EXPECT_EQ(frame, c.frame);
    const auto statuses = view->logOf("status ");
    ASSERT_GE(statuses.size(), c.first.size() + c.last.size());
    EXPECT_EQ(std::vector<std::string>(statuses.begin(), statuses.begin() + long(c.first.size())), c.first);
    EXPECT_EQ(std::vector<std::string>(statuses.end() - long(c.last.size()), statuses.end()), c.last);
    EXPECT_EQ(view->progress, c.progress);
}

INSTANTIATE_TEST_SUITE_P(
    LoadJobs, StatusWindowOf,
    testing::Values(
        StatusFrame{"Apply",
                    apply(),
                    {"max 47", "title Apply new settings to modem"},
                    {"status Initial...", "status Checking modem status"},
                    {},
                    0,
                    true,
                    -2},
        StatusFrame{"Read",
                    read(),
                    {"max 30", "title Get settings from modem"},
                    {"status Initial...", "status Start..."},
                    {"status Finish!!"},
                    30,
                    false,
                    1},
        StatusFrame{
            "Restore", restore(), {}, {"status Beginning...", "status Restoring..."}, {}, 6, false, 1}),
    [](const testing::TestParamInfo<StatusFrame>& info) { return info.param.name; });

TEST_F(LoadJobs, NoJobSendsAndShowsNothing) {
    EXPECT_EQ(run(LoadJobFlags{}, q86sim::Scenario{}), 0);
    EXPECT_EQ(worker->job(), LoadThread::Job::None);
    EXPECT_THAT(sent(), IsEmpty());
    EXPECT_THAT(view->extra(), IsEmpty());
    EXPECT_THAT(view->log(), IsEmpty());
}

TEST(LoadJobChoice, FirstFlagInOrderWins) {
    LoadJobFlags all{true, true, true, true};
    EXPECT_EQ(LoadThread(all).job(), LoadThread::Job::Upgrade);
    all.upgrade = false;
    EXPECT_EQ(LoadThread(all).job(), LoadThread::Job::Apply);
    all.apply = false;
    EXPECT_EQ(LoadThread(all).job(), LoadThread::Job::Read);
    all.read = false;
    EXPECT_EQ(LoadThread(all).job(), LoadThread::Job::Restore);
}

} // namespace
