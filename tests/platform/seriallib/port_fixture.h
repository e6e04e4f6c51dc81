#pragma once
// A pty standing in for COM5 (and COM6 naming the same device) through a temporary port map.

#include "pty_helpers.h"
#include "pty_pair.h"
#include "seriallib.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

namespace porttest {

using namespace ptytest;

constexpr int kPort = 5;
constexpr int kSameDevice = 6;
constexpr int kMissing = 7;
constexpr int kPlainFile = 8;

class PortTest : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/portlib-XXXXXX";
        ASSERT_TRUE(::mkdtemp(dir));
        dir_ = dir;
        map_ = dir_ + "/ports.conf";
        plain_ = dir_ + "/plain";
        std::ofstream(plain_) << "x";
        std::ofstream(map_) << "COM" << kPort << "=" << pty.slavePath() << "\nCOM" << kSameDevice << "="
                            << pty.slavePath() << "\nCOM" << kMissing << "=/nonexistent/tty\nCOM"
                            << kPlainFile << "=" << plain_ << "\n";
        ::setenv("BREL_PORT_MAP", map_.c_str(), 1);
    }
    void TearDown() override {
        for (int p : {kPort, kSameDevice})
            SerialClose(p);
        ::unsetenv("BREL_PORT_MAP");
        std::remove(map_.c_str());
        std::remove(plain_.c_str());
        ::rmdir(dir_.c_str());
    }
    void open() { ASSERT_EQ(SerialOpen(kPort), 0); }
    std::string readPort(int size) {
        std::string buf(size_t(size), '\0');
        int n = SerialRead(kPort, buf.data(), size);
        buf.resize(n > 0 ? size_t(n) : 0);
        return buf;
    }

    comm::PtyPair pty;
    std::string dir_, map_, plain_;
};

} // namespace porttest
