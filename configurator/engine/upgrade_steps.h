#pragma once
// What the two firmware-upgrade paths share: the job's inputs, the transfer's progress callback
// (one per path, each with its own step counter), the search of the modem's replies for its
// verdict and progress words, and the reply wait.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The serial library's view of the upgrade, taken from the windows before the worker starts.
struct UpgradeJob {
    int port = 1;     // COM number: the dialog's port index + 1
    std::string file; // the image (new firmware) or the download file (old firmware)
    int flowBits = 0; // SerialSetFlowControl's bits for the dialog's flow-control choice
};

// How long one reply read waits for its first byte and then keeps collecting. Tests shorten the
// first wait; the program keeps the defaults.
struct UpgradeReplyWait {
    int firstByteMs = 1000;
    int collectMs = 20;
};
UpgradeReplyWait upgradeReplyWait();
void setUpgradeReplyWait(UpgradeReplyWait wait);

// The TransferProgressCallback of one upgrade path: at most one step of the status window's bar
// per call, once done passes another hundredth of total; the bar stops at 100. Always 0 (go on).
class XmodemProgress {
public:
    int operator()(int done, int, int, int total);
    int position() const { return position_; }

private:
    std::int64_t step_ = 1;
    int position_ = 0;
};

// Looks at the modem's replies one read at a time. Verdict words are searched first, in their
// order, anywhere in the read; then the progress words, of which only the first in order counts.
// A word split over two reads is found in the read that completes it, and a word is never found
// twice.
class ReplyWatch {
public:
    ReplyWatch(std::vector<std::string_view> verdicts, std::vector<std::string_view> progress);
    enum class Kind { None, Verdict, Progress };
    struct Found {
        Kind kind = Kind::None;
        int index = -1; // in its list
    };
    Found feed(std::string_view read);

private:
    // Where word ends after the carried tail, or false when it does not.
    bool endsInRead(std::string_view text, std::string_view word) const;

    std::vector<std::string_view> verdicts_;
    std::vector<std::string_view> progress_;
    std::string tail_;
};

// Writes a command on the serial library's port; the answer is not examined.
void WriteLibCommand(int port, std::string_view command);
// One reply read of up to size bytes under the reply wait; empty after a time-out or a failure.
std::string ReadLibReply(int port, int size);
// Up to reads reply reads of size bytes, each fed to watch; a word found goes to handle, which
// returns true to stop reading.
void FollowReplies(int port, int reads, int size, ReplyWatch& watch,
                   const std::function<bool(const ReplyWatch::Found&)>& handle);
