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

TEST_F(SharedLinesTest, ThePortSeesTheModemsLinesAndTheModemSeesDtrAndRts) {
    ASSERT_TRUE(comm::createSharedLines(lines, TIOCM_DSR));
    ASSERT_TRUE(portmap::writeEntry(map, 5, pty.slavePath(), lines));
    auto port = comm::openPort("COM5");
    ASSERT_TRUE(port);

    struct Case {
        int modem;
        uint32_t status;
    } cases[] = {
        {TIOCM_DSR, comm::MsDsrOn},
        {TIOCM_DSR | TIOCM_CTS, comm::MsDsrOn | comm::MsCtsOn},
        {TIOCM_DSR | TIOCM_CTS | TIOCM_CAR, comm::MsDsrOn | comm::MsCtsOn | comm::MsRlsdOn},
        {TIOCM_RNG, comm::MsRingOn},
        {0, 0},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(comm::writeModemLines(lines, c.modem));
        EXPECT_EQ(status(*port), c.status) << c.modem;
    }

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
    EXPECT_EQ(modem, 0) << "the program never writes the modem's lines";
    port.reset(); // closing hangs up: RTS drops too
    EXPECT_EQ(programLines(lines), 0);
}

TEST_F(SharedLinesTest, OnlyAPtyNamedWithAGoodFileUsesIt) {
    ASSERT_TRUE(comm::createSharedLines(lines, TIOCM_CAR));
    // Anything but a pty keeps the ioctls: a device without lines shows CTS and DSR only.
    int null = ::open("/dev/null", O_RDWR);
    ASSERT_GE(null, 0);
    int bits = 0;
    ASSERT_TRUE(comm::sharedLineControl(lines)->getLines(null, &bits));
    EXPECT_EQ(bits, TIOCM_CTS | TIOCM_DSR);
    ::close(null);

    // A file of another shape, a FIFO, a missing file: the pty shows its usual lines.
    const std::string other = (dir / "other").string();
    std::ofstream(other) << "not lines";
    const std::string fifo = (dir / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& file : {other, fifo, (dir / "missing").string(), lines}) {
        ASSERT_TRUE(portmap::writeEntry(map, 5, pty.slavePath(), file));
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

} // namespace
