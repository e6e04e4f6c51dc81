#include "upgrade_steps.h"

#include "engine_view.h"
#include "seriallib.h"

#include <algorithm>
#include <atomic>

namespace {

std::atomic<int> firstByteMs{UpgradeReplyWait{}.firstByteMs};
std::atomic<int> collectMs{UpgradeReplyWait{}.collectMs};

} // namespace

UpgradeReplyWait upgradeReplyWait() {
    return {firstByteMs.load(), collectMs.load()};
}

void setUpgradeReplyWait(UpgradeReplyWait wait) {
    firstByteMs.store(wait.firstByteMs);
    collectMs.store(wait.collectMs);
}

int XmodemProgress::operator()(int done, int, int, int total) {
    if (std::int64_t(total / 100) * step_ < done && position_ < 100) {
        ++step_;
        ++position_;
        engineView()->setProgress(position_);
    }
    return 0;
}

ReplyWatch::ReplyWatch(std::vector<std::string_view> verdicts, std::vector<std::string_view> progress)
    : verdicts_(std::move(verdicts)), progress_(std::move(progress)) {}

bool ReplyWatch::endsInRead(std::string_view text, std::string_view word) const {
    // Only an occurrence that reaches into the new read is new.
    for (size_t at = text.find(word); at != std::string_view::npos; at = text.find(word, at + 1)) {
        if (at + word.size() > tail_.size())
            return true;
    }
    return false;
}

ReplyWatch::Found ReplyWatch::feed(std::string_view read) {
    const std::string text = tail_ + std::string(read);
    Found found;
    for (size_t i = 0; i < verdicts_.size() && found.kind == Kind::None; ++i) {
        if (endsInRead(text, verdicts_[i]))
            found = {Kind::Verdict, int(i)};
    }
    for (size_t i = 0; i < progress_.size() && found.kind == Kind::None; ++i) {
        if (endsInRead(text, progress_[i]))
            found = {Kind::Progress, int(i)};
    }
    size_t longest = 1;
    for (const auto& list : {verdicts_, progress_})
        for (std::string_view w : list)
            longest = std::max(longest, w.size());
    tail_ = text.substr(text.size() - std::min(text.size(), longest - 1));
    return found;
}

void WriteLibCommand(int port, std::string_view command) {
    SerialWrite(port, command.data(), int(command.size()));
}

std::string ReadLibReply(int port, int size) {
    const UpgradeReplyWait wait = upgradeReplyWait();
    SerialSetReadTimeouts(port, wait.firstByteMs, wait.collectMs);
    std::string buffer(size_t(size), '\0');
    const int n = SerialRead(port, buffer.data(), size);
    buffer.resize(n > 0 ? size_t(n) : 0);
    return buffer;
}

void FollowReplies(int port, int reads, int size, ReplyWatch& watch,
                   const std::function<bool(const ReplyWatch::Found&)>& handle) {
    for (int r = 0; r < reads; ++r) {
        const ReplyWatch::Found f = watch.feed(ReadLibReply(port, size));
        if (f.kind != ReplyWatch::Kind::None && handle(f))
            return;
    }
}
