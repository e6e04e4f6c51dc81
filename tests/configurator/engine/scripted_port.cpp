#include "scripted_port.h"

#include <algorithm>
#include <cstring>

namespace enginetest {

ScriptedPort::ScriptedPort(std::shared_ptr<PortScript> script) : s_(std::move(script)) {
    ++s_->openPorts;
}

ScriptedPort::~ScriptedPort() {
    --s_->openPorts;
    s_->log.push_back("close");
}

bool ScriptedPort::getState(comm::Dcb& dcb) {
    if (!s_->getStateOk)
        return false;
    dcb = s_->dcb;
    return true;
}

bool ScriptedPort::setState(const comm::Dcb& dcb) {
    s_->log.push_back("state");
    if (!s_->setStateOk)
        return false;
    s_->dcb = dcb;
    return true;
}

bool ScriptedPort::getTimeouts(comm::CommTimeouts& t) {
    t = s_->timeouts;
    return true;
}

bool ScriptedPort::setTimeouts(const comm::CommTimeouts& t) {
    s_->log.push_back("timeouts");
    if (!s_->setTimeoutsOk)
        return false;
    s_->timeouts = t;
    s_->timeoutsSet = true;
    return true;
}

bool ScriptedPort::purge(uint32_t flags) {
    s_->log.push_back("purge");
    if (flags & comm::PurgeRxClear)
        s_->input.clear();
    return true;
}

bool ScriptedPort::read(void* buffer, uint32_t size, uint32_t* got) {
    s_->log.push_back("read " + std::to_string(size));
    s_->readSizes.push_back(size);
    *got = 0;
    if (s_->input.empty()) {
        // Silence: the read waits out its total time-out.
        const comm::CommTimeouts& t = s_->timeouts;
        uint64_t wait = t.ReadTotalTimeoutConstant == comm::kMaxDword ? 0 : t.ReadTotalTimeoutConstant;
        if (t.ReadTotalTimeoutMultiplier != comm::kMaxDword)
            wait += uint64_t{t.ReadTotalTimeoutMultiplier} * size;
        if (s_->clock)
            s_->clock->now += static_cast<int64_t>(wait);
        return true;
    }
    Burst& front = s_->input.front();
    if (front.fail) {
        s_->input.pop_front();
        return false;
    }
    const uint32_t n = std::min<uint32_t>(size, static_cast<uint32_t>(front.bytes.size()));
    std::memcpy(buffer, front.bytes.data(), n);
    front.bytes.erase(0, n);
    if (front.bytes.empty())
        s_->input.pop_front();
    *got = n;
    return true;
}

bool ScriptedPort::write(const void* buffer, uint32_t size, uint32_t* written) {
    const std::string bytes(static_cast<const char*>(buffer), size);
    s_->log.push_back("write " + bytes);
    s_->writes.push_back(bytes);
    *written = size;
    if (s_->onWrite)
        s_->onWrite(*s_, bytes);
    return true;
}

bool ScriptedPort::getModemStatus(uint32_t* status) {
    if (!s_->modemStatusOk)
        return false;
    *status = s_->modemStatus;
    return true;
}

ScriptedPortInstall::ScriptedPortInstall(std::shared_ptr<PortScript> script) : s_(std::move(script)) {
    if (!s_->clock)
        s_->clock = std::make_shared<VirtualClock>();
    engine::setLinkClock(s_->clock);
    comm::setPortOpener([this](const std::string& name) -> std::unique_ptr<comm::Port> {
        s_->openedNames.push_back(name);
        if (refuse)
            return nullptr;
        return std::make_unique<ScriptedPort>(s_);
    });
}

ScriptedPortInstall::~ScriptedPortInstall() {
    comm::setPortOpener(nullptr);
    engine::setLinkClock(nullptr);
}

} // namespace enginetest
