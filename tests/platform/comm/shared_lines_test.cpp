// The modem lines of a pty whose far end is in another process, through the file the port map names.
#include "comm_port.h"
#include "line_control.h"
#include "port_map.h"
#include "pty_pair.h"
#include "shared_lines.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class SharedLinesTest : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/shared-lines-XXXXXX";
        ASSERT_TRUE(::mkdtemp(pattern));
        dir = pattern;
        map = (dir / "ports.conf").string();
        lines = (dir / "lines").string();
        ::setenv("BREL_PORT_MAP", map.c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("BREL_PORT_MAP");
        fs::remove_all(dir);
    }
    static uint32_t status(comm::Port& port) {
        uint32_t s = 0;
        EXPECT_TRUE(port.getModemStatus(&s));
        return s;
    }
    static int programLines(const std::string& file) {
        int modem = 0, program = 0;
        EXPECT_TRUE(comm::readSharedLines(file, &modem, &program));
        return program;
    }

    fs::path dir;
    std::string map, lines;
    comm::PtyPair pty;
};

struct LinesRow {
    const char* name;
    int modem;
    uint32_t status;
};

class SharedModemLines : public SharedLinesTest, public testing::WithParamInterface<LinesRow> {};

TEST_P(SharedModemLines, ThePortSeesTheModemsLines) {
    const LinesRow& c = GetParam();
    ASSERT_TRUE(comm::createSharedLines(lines, TIOCM_DSR));
    ASSERT_TRUE(portmap::writeEntry(map, 5, pty.slavePath(), lines));
    auto port = comm::openPort("COM5");
    ASSERT_TRUE(port);
    ASSERT_TRUE(comm::writeModemLines(lines, c.modem));
    EXPECT_EQ(status(*port), c.status) << c.modem;
}

INSTANTIATE_TEST_SUITE_P(Lines, SharedModemLines,
                         testing::Values(LinesRow{"Dsr", TIOCM_DSR, comm::MsDsrOn},
                                         LinesRow{"DsrCts", TIOCM_DSR | TIOCM_CTS,
                                                  comm::MsDsrOn | comm::MsCtsOn},
                                         LinesRow{"DsrCtsCarrier", TIOCM_DSR | TIOCM_CTS | TIOCM_CAR,
                                                  comm::MsDsrOn | comm::MsCtsOn | comm::MsRlsdOn},
                                         LinesRow{"Ring", TIOCM_RNG, comm::MsRingOn}, LinesRow{"None", 0, 0}),
                         [](const testing::TestParamInfo<LinesRow>& i) { return std::string(i.param.name); });

TEST_F(SharedLinesTest, TheModemSeesDtrAndRts) {
    ASSERT_TRUE(comm::createSharedLines(lines, TIOCM_DSR));
    ASSERT_TRUE(portmap::writeEntry(map, 5, pty.slavePath(), lines));
    auto port = comm::openPort("COM5");
    ASSERT_TRUE(port);
    comm::Dcb dcb;
    ASSERT_TRUE(port->getState(dcb));
    dcb.fDtrControl = comm::LineEnable;
    dcb.fRtsControl = comm::LineEnable;
    ASSERT_TRUE(port->setState(dcb));
    EXPECT_EQ(programLines(lines), TIOCM_DTR | TIOCM_RTS);
    dcb.fDtrControl = comm::LineDisable; // the modem sees DTR drop
    ASSERT_TRUE(port->setState(dcb));
    EXPECT_EQ(programLines(lines), TIOCM_RTS);
    int modem = 0, program = 0;
    ASSERT_TRUE(comm::readSharedLines(lines, &modem, &program));
    EXPECT_EQ(modem, TIOCM_DSR) << "the program never writes the modem's lines";
    port.reset(); // closing hangs up: RTS drops too
    EXPECT_EQ(programLines(lines), 0);
}

TEST_F(SharedLinesTest, AnythingButAPtyKeepsTheIoctls) {
    ASSERT_TRUE(comm::createSharedLines(lines, TIOCM_CAR));
    // A device without lines shows CTS and DSR only.
    int null = ::open("/dev/null", O_RDWR);
    ASSERT_GE(null, 0);
    int bits = 0;
    ASSERT_TRUE(comm::sharedLineControl(lines)->getLines(null, &bits));
    EXPECT_EQ(bits, TIOCM_CTS | TIOCM_DSR);
    ::close(null);
}

// A file of another shape, a FIFO, a missing file: the pty shows its usual lines.
enum class LinesFile { OtherShape, Fifo, Missing, Good };

class SharedLinesFile : public SharedLinesTest, public testing::WithParamInterface<LinesFile> {};

TEST_P(SharedLinesFile, OnlyAPtyNamedWithAGoodFileUsesIt) {
    ASSERT_TRUE(comm::createSharedLines(lines, TIOCM_CAR));
    std::string file = lines;
    switch (GetParam()) {
    case LinesFile::OtherShape:
        file = (dir / "other").string();
        std::ofstream(file) << "not lines";
        break;
    case LinesFile::Fifo:
        file = (dir / "fifo").string();
        ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
        break;
    case LinesFile::Missing:
        file = (dir / "missing").string();
        break;
    case LinesFile::Good:
        break;
    }
    ASSERT_TRUE(portmap::writeEntry(map, 5, pty.slavePath(), file));
    {
        auto port = comm::openPort("COM5");
        ASSERT_TRUE(port) << file;
        EXPECT_EQ(status(*port), file == lines ? comm::MsRlsdOn : comm::MsCtsOn | comm::MsDsrOn) << file;
    }
    // The entry gone, so is the file's say.
    ASSERT_TRUE(portmap::writeEntry(map, 5, pty.slavePath()));
    auto port = comm::openPort("COM5");
    ASSERT_TRUE(port);
    EXPECT_EQ(status(*port), comm::MsCtsOn | comm::MsDsrOn);
}

const char* const LinesFileNames[] = {"OtherShape", "Fifo", "Missing", "Good"};

INSTANTIATE_TEST_SUITE_P(Files, SharedLinesFile,
                         testing::Values(LinesFile::OtherShape, LinesFile::Fifo, LinesFile::Missing,
                                         LinesFile::Good),
                         [](const testing::TestParamInfo<LinesFile>& i) {
                             return std::string(LinesFileNames[static_cast<int>(i.param)]);
                         });

} // namespace
