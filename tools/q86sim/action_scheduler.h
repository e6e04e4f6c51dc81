#pragma once
// The modem's actions carried out in line time, the same for the pty and the virtual line: bytes
// leave at the wire's rate and framing and reach the application only while its side matches,
// pauses hold what follows, a line change takes effect once the bytes before it have left, and the
// application's bytes reach the modem once they have crossed the line.
//
// Times are microseconds of the transport's clock. Not thread-safe: the transport calls it under
// the lock that guards its modem.

#include "action.h"
#include "line_setting.h"
#include "modem.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string_view>

namespace q86sim {

// The application's end of the line, as the transport gives it.
class LineEnd {
public:
    virtual ~LineEnd() = default;
    // Whether the application's side has the rate and framing the modem has on the wire.
    virtual bool applicationMatches(const LineSetting& wire) = 0;
    // Hands bytes to the application. Returns how many it took (all of them when the line lost
    // them), or nothing while the application is not reading.
    virtual std::optional<std::size_t> deliver(std::string_view bytes) = 0;
    virtual void setDcd(bool on) = 0;
    virtual void setCts(bool on) = 0;
};

class ActionScheduler {
public:
    ActionScheduler(Modem& modem, LineEnd& end);

    // Queues what the modem has decided on since the last call.
    void takeActions();
    // The application's bytes start across the line at nowUs, one after the other.
    void lineIn(std::string_view bytes, int64_t nowUs);
    // Carries out everything due by nowUs.
    void step(int64_t nowUs);
    // When something falls due next (nowUs when at once); INT64_MAX when nothing ever will.
    int64_t nextEventUs(int64_t nowUs) const;
    // Nothing queued, nothing on its way to the modem, nothing decided and not yet queued.
    bool idle() const;

    const LineSetting& wire() const { return wire_; }
    // Bytes that arrived while the application's side had another rate or framing.
    std::size_t ignoredBytes() const { return ignored_; }

private:
    struct Pending {
        int64_t dueUs;
        char byte;
    };

    void drain(int64_t nowUs);
    void judgeInput(int64_t nowUs);
    int64_t byteUs() const;

    Modem& modem_;
    LineEnd& end_;
    LineSetting wire_;
    std::deque<Action> queue_;
    std::size_t sendOffset_ = 0;
    int64_t sendStartUs_ = -1;
    int64_t pauseUntilUs_ = -1;
    int64_t blockedUntilUs_ = 0;
    std::deque<Pending> input_;
    int64_t inputFreeUs_ = 0;
    std::size_t ignored_ = 0;
};

} // namespace q86sim
