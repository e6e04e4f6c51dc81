#pragma once
// A pseudo-terminal pair standing in for a serial line: the slave is the "port", the master the
// device at the other end. Both sides start in raw mode, close-on-exec.

#include <string>

namespace comm {

class PtyPair {
public:
    // Throws std::system_error when no pty can be had.
    PtyPair();
    ~PtyPair();
    PtyPair(PtyPair&& other) noexcept;
    PtyPair& operator=(PtyPair&& other) noexcept;
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    int master() const { return master_; }
    int slave() const { return slave_; }
    // The slave's device path (/dev/pts/N): what a port opens.
    const std::string& slavePath() const { return slavePath_; }

    // Closing the master hangs the line up: reads on the slave then fail.
    void closeMaster();
    // The pair keeps its own slave descriptor so that the master never sees a hang-up while the port
    // under test is closed and reopened; close it to see one.
    void closeSlave();

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

} // namespace comm
