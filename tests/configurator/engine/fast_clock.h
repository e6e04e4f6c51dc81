#pragma once
// Pauses of the dialogues run faster (twenty times unless told); reads still wait on the real line.

#include "link_clock.h"

#include <chrono>
#include <thread>

namespace enginetest {

class FastClock : public engine::LinkClock {
public:
    explicit FastClock(int speedUp = 20) : usPerMs_(1000 / speedUp) {}
    int64_t nowMs() override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    void sleepMs(int ms) override {
        if (ms > 0)
            std::this_thread::sleep_for(std::chrono::microseconds(ms * usPerMs_));
    }

private:
    int usPerMs_;
};

} // namespace enginetest
