#include "virtual_line.h"

#include <algorithm>
#include <climits>

namespace q86sim {

// The application's port on the virtual line.
class VirtualPort : public comm::Port {
public:
    explicit VirtualPort(std::shared_ptr<VirtualLine> line) : line_(std::move(line)) {}

    bool getState(comm::Dcb& dcb) override {
        std::lock_guard lock(line_->mutex_);
        dcb = line_->app_;
        return true;
    }
    bool setState(const comm::Dcb& dcb) override {
        std::lock_guard lock(line_->mutex_);
        line_->app_ = dcb;
        return true;
    }
    bool getTimeouts(comm::CommTimeouts& t) override {
        t = timeouts_;
        return true;
    }
    bool setTimeouts(const comm::CommTimeouts& t) override {
        timeouts_ = t;
        return true;
    }
    bool purge(uint32_t flags) override {
        if (flags & (comm::PurgeRxClear | comm::PurgeRxAbort)) {
            std::lock_guard lock(line_->mutex_);
            line_->rx_.clear();
        }
        return true;
    }
    bool read(void* buffer, uint32_t size, uint32_t* got) override;
    bool write(const void* buffer, uint32_t size, uint32_t* written) override {
        std::lock_guard lock(line_->mutex_);
        VirtualLine& l = *line_;
        const auto* bytes = static_cast<const char*>(buffer);
        for (uint32_t i = 0; i < size; ++i) {
            l.inputFreeUs_ = std::max(l.now_, l.inputFreeUs_) + l.byteUs();
            l.input_.push_back({l.inputFreeUs_, bytes[i]});
        }
        if (written) {
            *written = size;
        }
        return true;
    }
    bool getModemStatus(uint32_t* status) override {
        std::lock_guard lock(line_->mutex_);
        *status = comm::MsDsrOn | (line_->cts_ ? comm::MsCtsOn : 0u) | (line_->dcd_ ? comm::MsRlsdOn : 0u);
        return true;
    }

private:
    std::shared_ptr<VirtualLine> line_;
    comm::CommTimeouts timeouts_{};
};

bool VirtualPort::read(void* buffer, uint32_t size, uint32_t* got) {
    std::lock_guard lock(line_->mutex_);
    VirtualLine& l = *line_;
    std::string out;
    auto take = [&] {
        const std::size_t n = std::min<std::size_t>(size - out.size(), l.rx_.size());
        out += l.rx_.substr(0, n);
        l.rx_.erase(0, n);
        return n;
    };
    const comm::CommTimeouts& t = timeouts_;
    const bool intervalNone = t.ReadIntervalTimeout == comm::kMaxDword;
    const int64_t start = l.now_;
    int64_t totalDeadline = INT64_MAX;
    bool firstByteOnly = false;
    if (intervalNone && t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0) {
        totalDeadline = start; // whatever is there, at once
    } else if (intervalNone && t.ReadTotalTimeoutMultiplier == comm::kMaxDword) {
        firstByteOnly = true; // wait up to the constant for the first byte, then return
        totalDeadline = start + int64_t{t.ReadTotalTimeoutConstant} * 1000;
    } else if (t.ReadTotalTimeoutMultiplier != 0 || t.ReadTotalTimeoutConstant != 0) {
        const int64_t mult =
            t.ReadTotalTimeoutMultiplier == comm::kMaxDword ? 0 : t.ReadTotalTimeoutMultiplier;
        totalDeadline = start + (mult * size + t.ReadTotalTimeoutConstant) * 1000;
    }
    const int64_t interval =
        intervalNone || t.ReadIntervalTimeout == 0 ? -1 : int64_t{t.ReadIntervalTimeout} * 1000;
    int64_t lastByte = -1;
    while (true) {
        if (take() > 0) {
            lastByte = l.now_;
        }
        if (out.size() >= size || (firstByteOnly && !out.empty())) {
            break;
        }
        int64_t wake = std::min(totalDeadline, l.nextEventUs());
        if (interval >= 0 && lastByte >= 0) {
            wake = std::min(wake, lastByte + interval);
        }
        if (wake == INT64_MAX) {
            break; // nothing will ever arrive and no time-out bounds the read
        }
        if (wake > l.now_) {
            l.runUntil(wake);
        } else {
            l.step();
        }
        if (take() > 0) {
            lastByte = l.now_;
        }
        if (out.size() >= size || l.now_ >= totalDeadline ||
            (interval >= 0 && lastByte >= 0 && l.now_ >= lastByte + interval && l.rx_.empty())) {
            break;
        }
    }
    std::copy(out.begin(), out.end(), static_cast<char*>(buffer));
    if (got) {
        *got = static_cast<uint32_t>(out.size());
    }
    return true;
}

VirtualLine::VirtualLine(Scenario scenario) : modem_(std::move(scenario), 0) {
    wire_ = modem_.active().line;
    dcd_ = modem_.dcd();
    cts_ = modem_.cts();
    for (Action& a : modem_.takeActions()) {
        queue_.push_back(std::move(a));
    }
}

std::unique_ptr<comm::Port> VirtualLine::open() {
    return std::make_unique<VirtualPort>(shared_from_this());
}

int64_t VirtualLine::nowUs() const {
    std::lock_guard lock(mutex_);
    return now_;
}

void VirtualLine::advanceMs(int ms) {
    advanceUs(int64_t{ms} * 1000);
}

void VirtualLine::advanceUs(int64_t us) {
    std::lock_guard lock(mutex_);
    runUntil(now_ + std::max<int64_t>(us, 0));
}

void VirtualLine::withModem(const std::function<void(Modem&)>& f) {
    std::lock_guard lock(mutex_);
    f(modem_);
    for (Action& a : modem_.takeActions()) {
        queue_.push_back(std::move(a));
    }
    step();
}

std::vector<std::string> VirtualLine::commandTexts() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    for (const CommandRecord& r : modem_.commandLog()) {
        out.push_back(r.text);
    }
    return out;
}

LineSetting VirtualLine::wire() const {
    std::lock_guard lock(mutex_);
    return wire_;
}

bool VirtualLine::dcd() const {
    std::lock_guard lock(mutex_);
    return dcd_;
}

bool VirtualLine::cts() const {
    std::lock_guard lock(mutex_);
    return cts_;
}

int64_t VirtualLine::byteUs() const {
    return std::max<int64_t>(1, int64_t{wire_.bitsPerChar()} * 1'000'000 / std::max<uint32_t>(wire_.baud, 1));
}

bool VirtualLine::appMatches() const {
    const LineSetting app{app_.BaudRate, app_.ByteSize, app_.Parity,
                          static_cast<uint8_t>(app_.StopBits == comm::TwoStopBits ? 2 : 1)};
    return app == wire_;
}

int64_t VirtualLine::nextEventUs() const {
    int64_t next = INT64_MAX;
    if (auto d = modem_.nextDeadline()) {
        next = std::min(next, std::max(now_, *d * 1000));
    }
    if (!input_.empty()) {
        next = std::min(next, input_.front().dueUs);
    }
    if (!queue_.empty()) {
        const Action& a = queue_.front();
        if (a.kind == Action::Kind::Pause) {
            next = std::min(next, pauseUntilUs_ >= 0 ? pauseUntilUs_ : now_);
        } else if (a.kind == Action::Kind::Send) {
            next =
                std::min(next, sendStartUs_ >= 0 ? sendStartUs_ + int64_t(sendOffset_ + 1) * byteUs() : now_);
        } else {
            next = now_;
        }
    }
    return next;
}

void VirtualLine::runUntil(int64_t us) {
    while (true) {
        const int64_t e = nextEventUs();
        if (e > us) {
            break;
        }
        now_ = std::max(now_, e);
        step();
    }
    now_ = std::max(now_, us);
}

void VirtualLine::step() {
    // Output and line changes due by now happened first; a byte is judged when it has crossed.
    drainQueue();
    const bool match = appMatches();
    while (!input_.empty() && input_.front().dueUs <= now_) {
        const Pending p = input_.front();
        input_.pop_front();
        if (match) {
            modem_.receive(std::string_view(&p.byte, 1), p.dueUs / 1000);
        }
    }
    if (auto d = modem_.nextDeadline(); d && *d * 1000 <= now_) {
        modem_.tick(now_ / 1000);
    }
    for (Action& a : modem_.takeActions()) {
        queue_.push_back(std::move(a));
    }
    drainQueue();
}

void VirtualLine::drainQueue() {
    while (!queue_.empty()) {
        Action& a = queue_.front();
        if (a.kind == Action::Kind::Pause) {
            if (pauseUntilUs_ < 0) {
                pauseUntilUs_ = now_ + int64_t{a.pauseMs} * 1000;
            }
            if (now_ < pauseUntilUs_) {
                return;
            }
            pauseUntilUs_ = -1;
        } else if (a.kind == Action::Kind::SetLine) {
            wire_ = a.line;
        } else if (a.kind == Action::Kind::SetDcd) {
            dcd_ = a.on;
        } else if (a.kind == Action::Kind::SetCts) {
            cts_ = a.on;
        } else {
            if (sendStartUs_ < 0) {
                sendStartUs_ = now_;
            }
            const auto due = std::min<std::size_t>(
                a.bytes.size(), static_cast<std::size_t>((now_ - sendStartUs_) / byteUs()));
            if (due > sendOffset_) {
                if (appMatches()) {
                    rx_.append(a.bytes, sendOffset_, due - sendOffset_);
                }
                sendOffset_ = due;
            }
            if (sendOffset_ < a.bytes.size()) {
                return;
            }
            sendStartUs_ = sendStartUs_ + static_cast<int64_t>(a.bytes.size()) * byteUs();
            sendOffset_ = 0;
            queue_.pop_front();
            if (queue_.empty() || queue_.front().kind != Action::Kind::Send) {
                sendStartUs_ = -1;
            }
            continue;
        }
        queue_.pop_front();
    }
}

} // namespace q86sim
