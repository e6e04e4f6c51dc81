#pragma once
// The time source of the modem dialogues. The program uses the steady clock and real sleeps; tests
// install a virtual clock so that dialogues with long pauses run in no time.

#include <cstdint>
#include <memory>

namespace engine {

class LinkClock {
public:
    virtual ~LinkClock() = default;
    virtual int64_t nowMs() = 0;
    // Sleeps at least ms milliseconds (nothing for 0 or less).
    virtual void sleepMs(int ms) = 0;
};

// The installed clock, or the real one.
std::shared_ptr<LinkClock> linkClock();
// Installs a clock; null puts the real one back.
void setLinkClock(std::shared_ptr<LinkClock> clock);

} // namespace engine

// The dialogues' pause, through the installed clock.
void SleepMs(int ms);
