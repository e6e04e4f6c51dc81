// How a port's reader spaces its reads. A serial driver hands bytes on a few at a time, so a read
// that waits for the line wakes for every few bytes of a fast line (thousands of times a second at
// 921600 baud). A read that brought little is therefore followed, a short while later, by one that
// takes at once everything that has come meanwhile; a read that brought much is followed at once
// (the bytes are already waiting); a read that brought nothing hands back to the waiting read.
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
    // A read that brings this many bytes is followed at once: more than a line up to 921600 baud
    // brings while the reader gathers, so only bytes that come faster than that skip the gathering.
    static constexpr int Much = 2048;

    struct Next {
        std::chrono::milliseconds before; // how long to wait first (on the reader's requests only)
        bool waiting;                     // a read that waits for the line, else one that takes what is there
        bool operator==(const Next&) const = default;
    };

    // The next read after one that brought `brought` bytes (negative: it failed).
    static Next after(int brought);
};

} // namespace halvic
