#pragma once
// A scripted serial port for the link's tests, on virtual time.
//
// Input arrives in bursts: each burst is what one read gets at most (a read of fewer bytes leaves
// the rest of the burst for the next read), so a test places reply bytes on the read grid exactly.
// A read with no input waits out its time-outs on the virtual clock and returns no bytes. The
// port answers writes through a handler, and logs every call for the test to check the order.

#include "comm_port.h"
#include "link_clock.h"

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace enginetest {

class VirtualClock : public engine::LinkClock {
public:
    int64_t nowMs() override { return now; }
    void sleepMs(int ms) override {
        if (ms > 0)
            now += ms;
        sleeps.push_back(ms);
    }
    int64_t now = 0;
    std::vector<int> sleeps;
};

struct Burst {
    std::string bytes;
    bool fail = false; // the read fails (an I/O error) instead of returning bytes
};

struct PortScript {
    comm::Dcb dcb;
    bool getStateOk = true;
    bool setStateOk = true;
    bool setTimeoutsOk = true;
    bool modemStatusOk = true;
    uint32_t modemStatus = 0;
    comm::CommTimeouts timeouts{};
    bool timeoutsSet = false;
    std::deque<Burst> input;
    // Called with each write; typically queues the modem's reply.
    std::function<void(PortScript&, std::string_view)> onWrite;
    std::shared_ptr<VirtualClock> clock;

    std::vector<std::string> log; // "purge", "write <bytes>", "read <size>", "state", "timeouts"
    std::vector<std::string> writes;
    std::vector<uint32_t> readSizes;
    std::vector<std::string> openedNames;
    int openPorts = 0;

    void reply(std::string bytes) { input.push_back({std::move(bytes), false}); }
    void failRead() { input.push_back({{}, true}); }
};

class ScriptedPort : public comm::Port {
public:
    explicit ScriptedPort(std::shared_ptr<PortScript> script);
    ~ScriptedPort() override;
    bool getState(comm::Dcb& dcb) override;
    bool setState(const comm::Dcb& dcb) override;
    bool getTimeouts(comm::CommTimeouts& t) override;
    bool setTimeouts(const comm::CommTimeouts& t) override;
    bool purge(uint32_t flags) override;
    bool read(void* buffer, uint32_t size, uint32_t* got) override;
    bool write(const void* buffer, uint32_t size, uint32_t* written) override;
    bool getModemStatus(uint32_t* status) override;

private:
    std::shared_ptr<PortScript> s_;
};

// While alive: every port name opens a ScriptedPort on the script (none when refuse is set), and
// the script's virtual clock is the link's clock.
class ScriptedPortInstall {
public:
    explicit ScriptedPortInstall(std::shared_ptr<PortScript> script);
    ~ScriptedPortInstall();
    ScriptedPortInstall(const ScriptedPortInstall&) = delete;
    ScriptedPortInstall& operator=(const ScriptedPortInstall&) = delete;
    bool refuse = false;

private:
    std::shared_ptr<PortScript> s_;
};

} // namespace enginetest
