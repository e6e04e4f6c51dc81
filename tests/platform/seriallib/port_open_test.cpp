#include "port_fixture.h"

#include <sys/stat.h>
#include <sys/wait.h>

using namespace porttest;

TEST_F(PortTest, OpenIsExclusiveHereAndInOtherProcesses) {
    open();
    EXPECT_EQ(SerialOpen(kPort), SerialErrOccupied) << "a second open in one program";
    EXPECT_EQ(SerialOpen(kSameDevice), SerialErrOccupied) << "the same device under another number";

    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        ::_exit(SerialOpen(kSameDevice) == SerialErrOccupied ? 0 : 1);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "another program must be refused";

    EXPECT_EQ(SerialClose(kPort), 0);
    EXPECT_EQ(SerialClose(kPort), SerialErrNotOpen);
    EXPECT_EQ(SerialOpen(kSameDevice), 0) << "closing releases the device at once";
}

TEST_F(PortTest, OpenFailures) {
    // A FIFO in a device's place must not block the open; a malformed line never falls back to ttyS.
    const std::string fifo = dir_ + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::ofstream(map_, std::ios::app) << "COM9=" << fifo << "\nCOM1=ttyS0\n";
    struct Case {
        int port;
        int code;
    } cases[] = {
        {0, SerialErrNotOpen},         {257, SerialErrNotOpen},         {-1, SerialErrNotOpen},
        {kMissing, SerialErrOccupied}, {kPlainFile, SerialErrNotBoard}, {9, SerialErrNotBoard},
        {1, SerialErrOccupied},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SerialOpen(c.port), c.code) << c.port;
    std::remove(fifo.c_str());
}

TEST_F(PortTest, EveryCallOnAPortNotOpenIsRefused) {
    open();
    ASSERT_EQ(SerialClose(kPort), 0);
    char buf[8] = {};
    int ms = 0;
    const std::pair<const char*, std::function<int()>> calls[] = {
        {"SetLine", [] { return SerialSetLine(kPort, 12, SerialData8); }},
        {"SetFlowControl", [] { return SerialSetFlowControl(kPort, 0); }},
        {"SetDtr", [] { return SerialSetDtr(kPort, 1); }},
        {"SetRts", [] { return SerialSetRts(kPort, 1); }},
        {"SendBreak", [] { return SerialSendBreak(kPort, 2); }},
        {"OnLineStatusChange", [] { return SerialOnLineStatusChange(kPort, [](int) {}); }},
        {"OnBreak", [] { return SerialOnBreak(kPort, [](int) {}); }},
        {"Read", [&] { return SerialRead(kPort, buf, 8); }},
        {"Write", [&] { return SerialWrite(kPort, buf, 8); }},
        {"Flush", [] { return SerialFlush(kPort, 2); }},
        {"SetReadTimeouts", [] { return SerialSetReadTimeouts(kPort, -1, 0); }},
        {"SetWriteTimeout", [] { return SerialSetWriteTimeout(kPort, 100); }},
        {"GetWriteTimeout", [&] { return SerialGetWriteTimeout(kPort, &ms); }},
        {"AbortTransmit", [] { return SerialAbortTransmit(kPort); }},
        {"AbortReceive", [] { return SerialAbortReceive(kPort); }},
        {"Close", [] { return SerialClose(kPort); }},
    };
    for (const auto& [name, call] : calls)
        EXPECT_EQ(call(), SerialErrNotOpen) << name;
    // The line word goes straight to four lamps: never a negative that would light them all.
    EXPECT_EQ(SerialGetLineStatus(kPort), 0);
    EXPECT_EQ(SerialGetLineStatus(0), 0);
}

TEST_F(PortTest, BadParameters) {
    open();
    char buf[4] = {};
    int ms = 0;
    struct Case {
        const char* what;
        int result;
        int code;
    } cases[] = {
        {"baud code 20", SerialSetLine(kPort, 20, SerialData8), SerialErrBadParam},
        {"baud code -1", SerialSetLine(kPort, -1, SerialData8), SerialErrBadParam},
        {"parity bits without enable", SerialSetLine(kPort, 12, 0x10 | SerialData8), SerialErrBadParam},
        {"mode bit 6", SerialSetLine(kPort, 12, 0x40 | SerialData8), SerialErrBadParam},
        {"flow bit 4", SerialSetFlowControl(kPort, 0x10), SerialErrBadParam},
        {"read size", SerialRead(kPort, buf, -1), SerialErrBadParam},
        {"read buffer", SerialRead(kPort, nullptr, 4), SerialErrNoData},
        {"write buffer", SerialWrite(kPort, nullptr, 4), SerialErrNoData},
        {"flush 3", SerialFlush(kPort, 3), SerialErrBadParam},
        {"first-byte time -2", SerialSetReadTimeouts(kPort, -2, 0), SerialErrBadParam},
        {"collect time -1", SerialSetReadTimeouts(kPort, 50, -1), SerialErrBadParam},
        {"write time-out -1", SerialSetWriteTimeout(kPort, -1), SerialErrBadParam},
        {"write time-out pointer", SerialGetWriteTimeout(kPort, nullptr), SerialErrBadParam},
        {"break 0", SerialSendBreak(kPort, 0), SerialErrBadParam},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.result, c.code) << c.what;
    ASSERT_EQ(SerialGetWriteTimeout(kPort, &ms), 0);
    EXPECT_GT(ms, 0) << "a new port never waits without bound";
    EXPECT_EQ(SerialSetWriteTimeout(kPort, 100), 0);
    ASSERT_EQ(SerialGetWriteTimeout(kPort, &ms), 0);
    EXPECT_EQ(ms, 100);
}
