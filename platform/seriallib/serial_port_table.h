#pragma once
// The ports the serial library holds open, and the guard every call takes on one of them.
//
// A call on a port holds it open: SerialClose wakes blocked reads, writes and waits (through the
// close event), stops the line monitor, waits until the calls have left and only then closes the
// descriptor, so a descriptor number is never reused under a running call.

#include "line_control.h"
#include "port_channel.h"
#include "seriallib.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace seriallib::detail {

constexpr int kDefaultFirstByteMs = 50;
constexpr int kDefaultCollectMs = 100;
constexpr int kDefaultWriteTimeoutMs = 1000;

struct OpenPort {
    OpenPort(int number, int fd, std::string path);
    ~OpenPort();

    const int number;
    int fd;                 // closed by SerialClose once the calls have left, else by the destructor
    const std::string path; // the device, symlinks resolved
    int closeEvent = -1;    // readable once the port is closing
    int abortEvent = -1;    // readable once a transfer abort was asked for (and while closing)

    std::mutex stateMutex; // the fields below
    comm::TtyLineSettings line;
    bool dtr = true;
    bool rts = true;
    int firstByteMs = kDefaultFirstByteMs;
    int collectMs = kDefaultCollectMs;
    int writeTimeoutMs = kDefaultWriteTimeoutMs;

    std::mutex readMutex;        // one reader at a time
    std::mutex unreadMutex;      // unread
    std::string unread;          // handed back by SerialUnread: read before the device
    std::timed_mutex writeMutex; // writes are never interleaved
    PortAbort abort;
    std::atomic<unsigned> transmitAborts{0}; // SerialAbortTransmit calls so far

    std::mutex callMutex;
    std::condition_variable idle;
    int activeCalls = 0;
    bool closing = false;

    std::mutex monitorMutex;
    SerialNotify onLineChange;
    SerialNotify onBreak;
    std::thread monitor;
    bool monitorStop = false;

    std::shared_ptr<comm::LineControl> lines() const;
    // Wakes every wait on the port and marks it closing.
    void signalClosing();
    // Wakes the waits of a transfer's channel.
    void signalAbort();
};

// Holds an open port for the length of one call.
class PortCall {
public:
    explicit PortCall(int port);
    ~PortCall();
    PortCall(const PortCall&) = delete;
    PortCall& operator=(const PortCall&) = delete;

    explicit operator bool() const { return port_ != nullptr; }
    OpenPort& operator*() const { return *port_; }
    OpenPort* operator->() const { return port_.get(); }

private:
    std::shared_ptr<OpenPort> port_;
};

// SerialOpen's and SerialClose's table work.
int openPort(int port);
int closePort(int port);

// Starts the line monitor of an open port when it is not running yet (caller holds monitorMutex).
void startMonitorLocked(const std::shared_ptr<OpenPort>& port);
// Stops it; when called from the monitor's own thread (a callback closing its port) it is detached.
void stopMonitor(OpenPort& port);
std::shared_ptr<OpenPort> sharedPort(int port);

// The serial library's line-status word (bits 0-3) from TIOCM_* bits.
int lineStatusBits(int tiocmBits);

// Applies settings to an open port (caller holds stateMutex); 0 or a port code.
int applyLocked(OpenPort& port, const comm::TtyLineSettings& settings, int refusedCode);

} // namespace seriallib::detail
