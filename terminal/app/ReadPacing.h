// How a port's reader spaces its reads. A serial driver hands bytes on a few at a time, so a read
// that waits for the line wakes for every few bytes of a fast line (thousands of times a second at
// 921600 baud). A read that brought little is therefore followed, a short while later, by one that
// takes at once everything that has come meanwhile; a read that brought much, or filled its buffer,
// is followed at once (the bytes are already waiting); a read that brought nothing hands back to the
// read that waits for the line. So does a read that brought little right after one that took much,
// or after a waiting read that filled its buffer faster than a 921600-baud line could: bytes that
// come faster than a line are not held up for the gathering.
#pragma once

#include <chrono>

namespace halvic {

class ReadPacing {
public:
    // How long a read that brought little lets the line gather before the next: well under a frame
    // and under a typist's pace between keys.
    static constexpr std::chrono::milliseconds Gather{10};
    // After a failed read (a line that reads nothing at once) the reader waits this long.
    static constexpr std::chrono::milliseconds AfterFailure{10};
    // The size of a read that takes what has come.
    static constexpr int TakeSize = 64 * 1024;
    // Much for a read that takes what has come: more than a line up to 921600 baud brings while the
    // reader gathers.
    static constexpr int Much = 2048;
    // A waiting read that fills its buffer within this came faster than a line up to 921600 baud
    // (1024 bytes take 11 ms).
    static constexpr std::chrono::microseconds Quick{5000};

    struct Next {
        std::chrono::milliseconds before; // how long to wait first (on the reader's requests only)
        bool waiting;                     // a read that waits for the line, else one that takes what is there
        bool operator==(const Next&) const = default;
    };

    // waitingSize: the size of the reads that wait for the line.
    explicit ReadPacing(int waitingSize) : waitingSize_(waitingSize) {}

    const Next& next() const { return next_; }
    int size() const { return next_.waiting ? waitingSize_ : TakeSize; }
    // The next read was made, took `took` and brought `brought` bytes (negative: it failed).
    void after(int brought, std::chrono::microseconds took);

private:
    int waitingSize_;
    Next next_{std::chrono::milliseconds(0), true};
    bool fast_ = false; // the last read brought bytes faster than a line
};

} // namespace halvic
