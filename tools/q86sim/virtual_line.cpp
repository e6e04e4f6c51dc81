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
        l.scheduler_.lineIn(std::string_view(bytes, size), l.now_);
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
        int64_t wake = std::min(totalDeadline, l.scheduler_.nextEventUs(l.now_));
        if (interval >= 0 && lastByte >= 0) {
            wake = std::min(wake, lastByte + interval);
        }
        if (wake == INT64_MAX) {
            break; // nothing will ever arrive and no time-out bounds the read
        }
        if (wake > l.now_) {
            l.runUntil(wake);
        } else {
            l.scheduler_.step(l.now_);
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

VirtualLine::VirtualLine(Scenario scenario) : modem_(std::move(scenario), 0), scheduler_(modem_, *this) {
    dcd_ = modem_.dcd();
    cts_ = modem_.cts();
    scheduler_.takeActions();
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
    scheduler_.takeActions();
    scheduler_.step(now_);
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
    return scheduler_.wire();
}

bool VirtualLine::dcd() const {
    std::lock_guard lock(mutex_);
    return dcd_;
}

bool VirtualLine::cts() const {
    std::lock_guard lock(mutex_);
    return cts_;
}

bool VirtualLine::applicationMatches(const LineSetting& wire) {
    const LineSetting app{app_.BaudRate, app_.ByteSize, app_.Parity,
                          static_cast<uint8_t>(app_.StopBits == comm::TwoStopBits ? 2 : 1)};
    return app == wire;
}

std::optional<std::size_t> VirtualLine::deliver(std::string_view bytes) {
    rx_.append(bytes);
    return bytes.size();
}

void VirtualLine::runUntil(int64_t us) {
    while (true) {
        const int64_t e = scheduler_.nextEventUs(now_);
        if (e > us) {
            break;
        }
        now_ = std::max(now_, e);
        scheduler_.step(now_);
    }
    now_ = std::max(now_, us);
}

} // namespace q86sim
