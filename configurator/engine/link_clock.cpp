#include "link_clock.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace engine {
namespace {

class SteadyClock : public LinkClock {
public:
    int64_t nowMs() override {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }
    void sleepMs(int ms) override {
        if (ms > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
};

std::shared_ptr<LinkClock> steadyClock() {
    static const auto clock = std::make_shared<SteadyClock>();
    return clock;
}

// Swapped atomically: a worker may be sleeping while a test installs its clock.
std::atomic<std::shared_ptr<LinkClock>> installed;

} // namespace

std::shared_ptr<LinkClock> linkClock() {
    if (auto clock = installed.load())
        return clock;
    return steadyClock();
}

void setLinkClock(std::shared_ptr<LinkClock> clock) {
    installed.store(std::move(clock));
}

} // namespace engine

void SleepMs(int ms) {
    engine::linkClock()->sleepMs(ms);
}
