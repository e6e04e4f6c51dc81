// The replies of the command table, exactly as the modem sends them (echo off).

#include "modem_bench.h"

#include <gtest/gtest.h>

#include <cctype>
#include <random>

namespace q86sim::test {
namespace {

const std::string kOk = "\r\nOK\r\n";
const std::string kError = "\r\nERROR\r\n";

struct ReplyCase {
    const char* command;
    std::string reply;
};

const ReplyCase ReplyCases[] = {
    {"at", kOk},
    {"AT", kOk},
    {"noise before at", kOk},
    {"ate1", kOk},
    {"ath", kOk},
    {"ato", "\r\nNO CARRIER\r\n"},
    {"at*stopsms", kOk},
    {"at*smstun?", "\r\n*SMSTUN: 0\r\n" + kOk},
    {"at*apver", "\r\nBREL Q8690I v2.0.3 build 1234\r\n" + kOk},
    {"at+wind=0", kOk},
    {"at+wind?", "\r\n+WIND: 0\r\n" + kOk},
    {"at+ipr?", "\r\n+IPR: 115200\r\n" + kOk},
    {"at+ipr=1234", kError},
    {"at+ipr=", kError},
    {"at+icf?", "\r\n+ICF: 3,4\r\n" + kOk},
    {"at+icf=9,9", kError},
    {"at+icf=2,4", kError},
    {"at+ifc?", "\r\n+IFC: 2,2\r\n" + kOk},
    {"at+ifc=1,1", kError},
    {"ats0?", "\r\n000\r\n" + kOk},
    {"ats0=256", kError},
    {"at&d3", kError},
    {"at+cbst?", "\r\n+CBST: 0,0,1\r\n" + kOk},
    {"at+cbst=x", kError},
    {"at+cicb=0", kOk},
    {"at&w", kOk},
    {"at&f", kOk},
    {"at+wopen=0", kOk},
    {"at+cfun?", "\r\n+CFUN: 1\r\n" + kOk},
    {"at+cpin?", "\r\n+CPIN: READY\r\n" + kOk},
    {"at+cpin=1234", "\r\n+CME ERROR: 3\r\n"},
    {"at+csq", "\r\n+CSQ: 21,0\r\n" + kOk},
    {"at+creg?", "\r\n+CREG: 0,1\r\n" + kOk},
    {"at+cops?", "\r\n+COPS: 0,2,\"00101\"\r\n" + kOk},
    {"at+wopn=0,00101", "\r\n+WOPN: 0,\"TestNet\"\r\n" + kOk},
    {"at+wopn=0,99999", kError},
    {"atx9", kError},
    {"at*reportx", kError},
    {"hello", ""},
};

// The command as a row name: letters and digits kept, the signs spelt out.
std::string commandRowName(const testing::TestParamInfo<ReplyCase>& info) {
    std::string name;
    for (const char* c = info.param.command; *c; ++c) {
        switch (*c) {
        case '+':
            name += "Plus";
            break;
        case '*':
            name += "Star";
            break;
        case '&':
            name += "And";
            break;
        case '?':
            name += "Query";
            break;
        case '=':
            name += "Is";
            break;
        case ' ':
        case ',':
            name += '_';
            break;
        default:
            name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
        }
    }
    return name;
}

class ModemCommandReplies : public testing::TestWithParam<ReplyCase> {};

TEST_P(ModemCommandReplies, CommandTable) {
    Bench b(quiet());
    EXPECT_EQ(b.cmd(GetParam().command), GetParam().reply) << GetParam().command;
}

INSTANTIATE_TEST_SUITE_P(Commands, ModemCommandReplies, testing::ValuesIn(ReplyCases), commandRowName);

TEST(ModemReplies, EchoRepeatsEveryByteBeforeTheReply) {
    Bench b;
    EXPECT_EQ(b.cmd("at"), "at\r\n" + kOk);
    EXPECT_EQ(b.cmd("ate0"), "ate0\r\n" + kOk);
    EXPECT_EQ(b.cmd("at"), kOk);
    EXPECT_EQ(b.cmd("ate1"), kOk);
    EXPECT_EQ(b.cmd("at"), "at\r\n" + kOk);
}

struct ModelCase {
    const char* name;
    Model model;
    const char* version;
    const char* text;
};

class ModemModelTexts : public testing::TestWithParam<ModelCase> {};

TEST_P(ModemModelTexts, ModelTextsForEachFirmware) {
    const ModelCase& c = GetParam();
    Scenario s = quiet();
    s.model = c.model;
    s.firmwareVersion = c.version;
    Bench b(s);
    EXPECT_EQ(b.cmd("at*apver"), "\r\n" + std::string(c.text) + "\r\n" + kOk);
}

INSTANTIATE_TEST_SUITE_P(
    ModemReplies, ModemModelTexts,
    testing::Values(ModelCase{"Q8690I_1_0_1", Model::Q8690I, "1.0.1", "BREL Q8690I v1.0.1 build 1234"},
                    ModelCase{"Q8690I_1_0_0", Model::Q8690I, "1.0.0", "BREL Q8690I v1.0.0 build 1234"},
                    ModelCase{"Q8630_2_0_3", Model::Q8630, "2.0.3", "BREL Q8630 v2.0.3 build 1234"}),
    [](const testing::TestParamInfo<ModelCase>& i) { return std::string(i.param.name); });

TEST(ModemReplies, ReportListsEveryKeyWithItsValue) {
    Bench b(quiet());
    b.cmd("ats0=3");
    b.cmd("at&d1");
    b.cmd("at+cbst=71");
    const std::string report = b.cmd("at*report");
    ASSERT_GT(report.size(), 100u);
    EXPECT_EQ(report.rfind(kOk), report.size() - kOk.size());
    for (const char* line :
         {"\r\nDevice Alias=\r\n", "\r\nCellular Band Selection=5\r\n", "\r\nUse PIN=No\r\n",
          "\r\nConfig Serial Port=No\r\n", "\r\nBaudrate=10\r\n", "\r\nData Length=1\r\n",
          "\r\nStop Bit(s)=0\r\n", "\r\nParity Check=4\r\n", "\r\nFlow Control=1\r\n",
          "\r\nEcho Input=No\r\n", "\r\nAutoAnswer Rings(0~255)=3\r\n", "\r\nDTR Drop=1\r\n",
          "\r\nGSM (Auto,V.110,V.32)=71\r\n"}) {
        EXPECT_NE(report.find(line), std::string::npos) << line;
    }
    // The first "OK\r" must be the closing one, well past the start.
    EXPECT_EQ(report.find("OK\r"), report.size() - 4);
}

TEST(ModemReplies, ProfileFieldsStartEarlyAndEndWithPercentC) {
    Bench b;
    b.cmd("ats0=3");
    b.cmd("at+cbst=71,0,1");
    b.cmd("at&d2");
    b.cmd("at+icf=5,1");
    b.cmd("at+ifc=0,0");
    const std::string profile = b.cmd("at&v"); // with its echo, as the reader sees it
    EXPECT_LT(profile.size(), 320u);
    for (const char* field : {"S0:003", "+CBST: 71,0,1", "&D: 2", "+ICF: 5,1", "+IFC: 0,0"}) {
        const auto at = profile.find(field);
        ASSERT_NE(at, std::string::npos) << field;
        EXPECT_LT(at, 200u) << field;
    }
    EXPECT_LT(profile.find("&D:"), profile.find("+IFC:"));
    const auto lastLine = profile.rfind("\r\n", profile.size() - kOk.size() - 1);
    EXPECT_NE(profile.find("%C", profile.rfind("+IFC:")), std::string::npos);
    EXPECT_NE(lastLine, std::string::npos);
}

TEST(ModemReplies, SimPinAndPuk) {
    Scenario s = quiet();
    s.sim = SimState::PinRequired;
    Bench b(s);
    EXPECT_NE(b.cmd("at+cpin?").find("+CPIN: SIM PIN"), std::string::npos);
    EXPECT_EQ(b.cmd("at+creg?"), "\r\n+CREG: 0,0\r\n" + kOk); // no network without the SIM
    const std::string wrong = b.cmd("at+cpin=0000");
    EXPECT_EQ(wrong, "\r\n+CME ERROR: 16\r\n");
    EXPECT_EQ(wrong.find("OK"), std::string::npos);
    EXPECT_EQ(b.cmd("at+cpin=1234"), kOk);
    EXPECT_NE(b.cmd("at+cpin?").find("READY"), std::string::npos);
    EXPECT_EQ(b.cmd("at+creg?"), "\r\n+CREG: 0,1\r\n" + kOk);

    Bench locked(s);
    for (int i = 0; i < 3; ++i) {
        locked.cmd("at+cpin=9999");
    }
    EXPECT_NE(locked.cmd("at+cpin?").find("+CPIN: SIM PUK"), std::string::npos);
    EXPECT_EQ(locked.cmd("at+cpin=1234"), "\r\n+CME ERROR: 16\r\n");
    EXPECT_EQ(locked.cmd("at+cpin=12345678,4321"), kOk);
    EXPECT_NE(locked.cmd("at+cpin?").find("READY"), std::string::npos);

    Scenario none = quiet();
    none.sim = SimState::Absent;
    Bench absent(none);
    EXPECT_EQ(absent.cmd("at+cpin?"), "\r\n+CME ERROR: 10\r\n");
}

TEST(ModemReplies, SignalAndRegistrationFollowTheirScripts) {
    Scenario s = quiet();
    s.csq = {"99,99", "7,0", "21,0"};
    s.creg = {"2", "5"};
    Bench b(s);
    EXPECT_NE(b.cmd("at+csq").find("+CSQ: 99,99"), std::string::npos);
    EXPECT_NE(b.cmd("at+csq").find("+CSQ: 7,0"), std::string::npos);
    EXPECT_NE(b.cmd("at+csq").find("+CSQ: 21,0"), std::string::npos);
    EXPECT_NE(b.cmd("at+csq").find("+CSQ: 21,0"), std::string::npos);
    EXPECT_NE(b.cmd("at+creg?").find("+CREG: 0,2"), std::string::npos);
    EXPECT_EQ(b.cmd("at+cops?"), "\r\n+COPS: 0\r\n" + kOk); // searching: no operator
    EXPECT_NE(b.cmd("at+creg?").find("+CREG: 0,5"), std::string::npos);
    EXPECT_NE(b.cmd("at+cops?").find("\"00101\""), std::string::npos);
}

TEST(ModemReplies, FaultKnobs) {
    Scenario s = quiet();
    s.noReplyTo = {"at+csq"};
    s.replyOverride = {{"at*apver", "\r\nERROR\r\n"}, {"at+cpin=*", "\r\nBUSY\r\n"}};
    s.splits = {{"at+creg?", 5, 40}};
    Bench b(s);
    EXPECT_EQ(b.cmd("at+csq"), "");
    EXPECT_EQ(b.cmd("at*apver"), kError);
    EXPECT_EQ(b.cmd("at+cpin=4321"), "\r\nBUSY\r\n");
    b.cmd("at+creg?");
    // The split reply is two sends with the pause between them.
    const auto& a = b.actions;
    ASSERT_GE(a.size(), 3u);
    EXPECT_EQ(a[a.size() - 3].bytes, "\r\n+CR");
    EXPECT_EQ(a[a.size() - 2].kind, Action::Kind::Pause);
    EXPECT_EQ(a[a.size() - 2].pauseMs, 40);
    EXPECT_EQ(a[a.size() - 1].bytes, "EG: 0,1\r\n" + kOk);
    ASSERT_EQ(b.modem.commandLog().size(), 4u);
    EXPECT_EQ(b.modem.commandLog()[0].text, "at+csq");

    Scenario m;
    m.mute = true;
    Bench mute(m);
    EXPECT_EQ(mute.cmd("at"), "");
}

TEST(ModemReplies, ReportRefusal) {
    Scenario s = quiet();
    s.reportRefusal = "\r\nEnter SMS text\r\n";
    Bench b(s);
    EXPECT_EQ(b.cmd("at*report"), "\r\nEnter SMS text\r\n");
}

TEST(ModemReplies, GarbageAndOverlongLinesNeverBreakIt) {
    Bench b(quiet());
    const std::string longLine(5000, 'x');
    EXPECT_EQ(b.cmd("at" + longLine), kError);
    EXPECT_EQ(b.cmd("at"), kOk);

    std::mt19937 rng(7);
    for (int round = 0; round < 50; ++round) {
        std::string junk(200, '\0');
        for (char& c : junk) {
            c = static_cast<char>(rng() & 0xFF);
        }
        b.send(junk, 30);
        b.take();
    }
    b.run(60000); // whatever mode the junk reached has timed out by now
    b.send("\r");
    b.take();
    b.send("ate0\r\n");
    EXPECT_EQ(b.cmd("at", 3000).substr(0), kOk);
}

} // namespace
} // namespace q86sim::test
