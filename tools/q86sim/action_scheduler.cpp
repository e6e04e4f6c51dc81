#include "action_scheduler.h"

#include <algorithm>
#include <climits>
#include <string>

namespace q86sim {

namespace {

// How long a send waits before trying again while the application does not read.
constexpr int64_t kBlockedRetryUs = 20'000;

} // namespace

ActionScheduler::ActionScheduler(Modem& modem, LineEnd& end)
    : modem_(modem), end_(end), wire_(modem.active().line) {}

void ActionScheduler::takeActions() {
    for (Action& a : modem_.takeActions()) {
        queue_.push_back(std::move(a));
    }
}

int64_t ActionScheduler::byteUs() const {
    return std::max<int64_t>(1, int64_t{wire_.bitsPerChar()} * 1'000'000 / std::max<uint32_t>(wire_.baud, 1));
}

void ActionScheduler::lineIn(std::string_view bytes, int64_t nowUs) {
    for (char b : bytes) {
        inputFreeUs_ = std::max(nowUs, inputFreeUs_) + byteUs();
        input_.push_back({inputFreeUs_, b});
    }
}

void ActionScheduler::step(int64_t nowUs) {
    // Output and line changes due by now happened first, so a rate switch made while the
    // application's next command is on its way is in force for it.
    drain(nowUs);
    judgeInput(nowUs);
    if (auto d = modem_.nextDeadline(); d && *d * 1000 <= nowUs) {
        modem_.tick(nowUs / 1000);
    }
    takeActions();
    drain(nowUs);
}

void ActionScheduler::judgeInput(int64_t nowUs) {
    // A byte is judged when it has crossed the line.
    std::string noise;
    const bool match = input_.empty() || end_.applicationMatches(wire_);
    while (!input_.empty() && input_.front().dueUs <= nowUs) {
        const Pending p = input_.front();
        input_.pop_front();
        if (match) {
            modem_.receive(std::string_view(&p.byte, 1), p.dueUs / 1000);
        } else {
            ++ignored_;
            // What a receiver at another rate makes of it: nothing that reads as text.
            noise.push_back(static_cast<char>(0x80 | ((p.dueUs / 7 + p.byte) & 0x7F)));
        }
    }
    if (!noise.empty() && modem_.scenario().noiseOnMismatch) {
        end_.deliver(noise);
    }
}

void ActionScheduler::drain(int64_t nowUs) {
    while (!queue_.empty()) {
        Action& a = queue_.front();
        switch (a.kind) {
        case Action::Kind::Pause:
            if (pauseUntilUs_ < 0) {
                pauseUntilUs_ = nowUs + int64_t{a.pauseMs} * 1000;
            }
            if (nowUs < pauseUntilUs_) {
                return;
            }
            pauseUntilUs_ = -1;
            break;
        case Action::Kind::SetLine:
            wire_ = a.line;
            break;
        case Action::Kind::SetDcd:
            end_.setDcd(a.on);
            break;
        case Action::Kind::SetCts:
            end_.setCts(a.on);
            break;
        case Action::Kind::Send: {
            const int64_t per = byteUs();
            if (sendStartUs_ < 0) {
                sendStartUs_ = nowUs;
            }
            const auto due =
                std::min<std::size_t>(a.bytes.size(), static_cast<std::size_t>((nowUs - sendStartUs_) / per));
            if (due > sendOffset_) {
                if (end_.applicationMatches(wire_)) {
                    const std::optional<std::size_t> taken =
                        end_.deliver(std::string_view(a.bytes).substr(sendOffset_, due - sendOffset_));
                    if (!taken) {
                        blockedUntilUs_ = nowUs + kBlockedRetryUs;
                        return;
                    }
                    sendOffset_ += *taken;
                } else {
                    sendOffset_ = due; // garbage at the other rate: lost
                }
            }
            if (sendOffset_ < a.bytes.size()) {
                return;
            }
            // The next burst follows this one without a gap if it is already waiting, but never
            // starts in the past: a late wake-up must not let it out faster than the line rate.
            sendStartUs_ = std::max(nowUs, sendStartUs_ + static_cast<int64_t>(a.bytes.size()) * per);
            sendOffset_ = 0;
            queue_.pop_front();
            if (queue_.empty() || queue_.front().kind != Action::Kind::Send) {
                sendStartUs_ = -1;
            }
            continue;
        }
        }
        queue_.pop_front();
    }
}

int64_t ActionScheduler::nextEventUs(int64_t nowUs) const {
    int64_t next = INT64_MAX;
    if (auto d = modem_.nextDeadline()) {
        next = std::min(next, std::max(nowUs, *d * 1000));
    }
    if (!input_.empty()) {
        next = std::min(next, input_.front().dueUs);
    }
    if (!queue_.empty()) {
        const Action& a = queue_.front();
        if (a.kind == Action::Kind::Pause && pauseUntilUs_ >= 0) {
            next = std::min(next, pauseUntilUs_);
        } else if (a.kind == Action::Kind::Send && nowUs < blockedUntilUs_) {
            next = std::min(next, blockedUntilUs_);
        } else if (a.kind == Action::Kind::Send && sendStartUs_ >= 0) {
            next = std::min(next, sendStartUs_ + int64_t(sendOffset_ + 1) * byteUs());
        } else {
            next = nowUs;
        }
    }
    return next;
}

bool ActionScheduler::idle() const {
    return queue_.empty() && input_.empty() && !modem_.hasActions();
}

} // namespace q86sim
