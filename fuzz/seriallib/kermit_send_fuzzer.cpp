// The Kermit sender against a hostile receiver: the input scripts each answer (ACKs and NAKs for
// any sequence number, packets with a wrong check, garbage, silences, an E packet, any ACK data,
// the receiver's own send-init parameters). The rule: the send returns 0 only when the receiver
// confirmed the end of the file, by an ACK to its claiming Z packet (or, without windows, a NAK
// for the packet after it); and that Z goes out only after every D packet was acknowledged.

#include "fuzz_check.h"
#include "kermit_packet.h"
#include "kermit_session.h"
#include "receiver_fuzz_support.h"
#include "transfer_context.h"

#include <deque>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace seriallib;
using namespace seriallib::kermit;

// One file for the whole run, a few packets long, removed at the end.
struct SourceFileOnDisk {
    SourceFileOnDisk()
        : path((std::filesystem::temp_directory_path() /
                ("kermit-send-fuzz-" + std::to_string(::getpid()) + ".bin"))
                   .string()) {
        std::ofstream out(path, std::ios::binary);
        for (int i = 0; i < 1500; ++i)
            out.put(char(i * 7 + (i >> 5)));
    }
    ~SourceFileOnDisk() {
        std::error_code ec;
        std::filesystem::remove(path, ec);
    }
    const std::string path;
};

const std::string& sourceFile() {
    static const SourceFileOnDisk file;
    return file.path;
}

class HostileReceiver : public ByteChannel {
public:
    HostileReceiver(const uint8_t* data, size_t size) : data_(data), size_(size) {
        ours_.chkt = 1 + next() % 3;
        ours_.window = 1 + next() % 31;
        ours_.longPackets = next() & 1;
        ours_.maxlx = 100 + next() * 8;
        ours_.attributes = next() & 1;
        ours_.rept = next() & 1 ? '~' : ' ';
        ours_.qbin = next() & 1 ? '&' : 'Y';
    }

    int write(const uint8_t* buffer, size_t size, Clock::time_point) override {
        written_.insert(written_.end(), buffer, buffer + size);
        parse();
        return int(size);
    }

    int read(uint8_t* buffer, size_t size, Clock::time_point) override {
        if (pending_.empty() && !answer())
            return -1; // the script is over: the receiver hung up
        size_t n = 0;
        while (n < size && !pending_.empty()) {
            buffer[n++] = pending_.front();
            pending_.pop_front();
        }
        return int(n); // 0: a silence
    }

    void purgeInput() override {}

    bool confirmed() const { return confirmed_; }

private:
    uint8_t next() { return pos_ < size_ ? data_[pos_++] : 0; }
    bool exhausted() const { return pos_ >= size_; }

    // The sender's packets: MARK LEN SEQ TYPE ... (a MARK never appears inside one).
    void parse() {
        for (;;) {
            size_t at = 0;
            while (at < written_.size() && written_[at] != MARK)
                ++at;
            written_.erase(written_.begin(), written_.begin() + long(at));
            size_t end = 1;
            while (end < written_.size() && written_[end] != MARK && written_[end] != '\r')
                ++end;
            if (end >= written_.size())
                return;
            take(std::vector<uint8_t>(written_.begin(), written_.begin() + long(end)));
            written_.erase(written_.begin(), written_.begin() + long(end));
        }
    }

    void take(const std::vector<uint8_t>& p) {
        if (p.size() < 5)
            return;
        lastSeq_ = unchar(p[2]) & 63;
        lastType_ = p[3];
        if (lastType_ == 'S' && !agreed_) {
            const int len = unchar(p[1]);
            if (len >= 3 && size_t(len) + 2 <= p.size()) {
                sender_ = Params::decode(std::vector<uint8_t>(p.begin() + 4, p.begin() + 4 + (len - 3)));
                agreement_ = Agreement::make(sender_, ours_);
            }
        }
        if (lastType_ == 'D')
            dataSent_.insert(lastSeq_);
        // A Z with no data claims the whole file; a later claim needs a confirmation of its own.
        if (lastType_ == 'Z') {
            const int len = unchar(p[1]);
            const int check = agreement_.chkt == 3 ? 3 : agreement_.chkt == 1 ? 1 : 2;
            claimSeq_ = len == 2 + check ? lastSeq_ : -1;
            if (claimSeq_ >= 0) {
                confirmed_ = false;
                // Only after every data packet was acknowledged.
                for (int seq : dataSent_)
                    fuzzsupport::check(answered_.count(seq) > 0, "Z before every D packet was acknowledged");
            }
        }
    }

    void reply(int seq, uint8_t type, const std::vector<uint8_t>& data, int chkt) {
        const auto bytes = encodePacket(seq, type, data, chkt, replyAgreement());
        pending_.insert(pending_.end(), bytes.begin(), bytes.end());
        if (chkt != agreement_.chkt || (type != 'Y' && (type != 'N' || agreement_.window != 1)))
            return;
        // What acknowledges a packet: its ACK, or without windows a NAK for the one after it.
        const int acked = type == 'Y' ? seq : (seq + 63) & 63;
        answered_.insert(acked);
        if (claimSeq_ >= 0 && acked == claimSeq_)
            confirmed_ = true;
    }

    Agreement replyAgreement() const {
        Agreement a;
        a.chkt = agreement_.chkt;
        return a;
    }

    // The next answer from the script; false when it is over.
    bool answer() {
        if (exhausted())
            return false;
        const uint8_t op = next();
        // Every answer to the S packet carries the same parameters, so that the agreement is known.
        const bool answeringS = lastType_ == 'S';
        const int chkt = agreed_ ? agreement_.chkt : 1;
        switch (op % 9) {
        case 0: { // ACK the last packet, with data of the script's choosing
            if (answeringS) {
                reply(lastSeq_, 'Y', ours_.encode(), 1);
                agreed_ = true;
                break;
            }
            std::vector<uint8_t> d(next() % 3);
            for (auto& c : d)
                c = uint8_t(' ' + next() % 95);
            reply(lastSeq_, 'Y', d, chkt);
            break;
        }
        case 1: // ACK the last packet, no data
            if (answeringS) {
                reply(lastSeq_, 'Y', ours_.encode(), 1);
                agreed_ = true;
            } else {
                reply(lastSeq_, 'Y', {}, chkt);
            }
            break;
        case 2: // a NAK for the last packet, the one after or the one before
            reply((lastSeq_ + int(next() % 3) + 63) & 63, 'N', {}, chkt);
            break;
        case 3: { // an answer for any packet (before the agreement, a NAK: an ACK would be one to S)
            const int seq = next() & 63;
            reply(seq, next() & 1 && agreed_ ? 'Y' : 'N', {}, chkt);
            break;
        }
        case 4: // an ACK whose check is spoilt: the sender must not take it
            if (agreed_) {
                auto bytes = encodePacket(lastSeq_, 'Y', {}, chkt, replyAgreement());
                bytes[bytes.size() - 2] ^= 1; // the last check character (before the EOL)
                pending_.insert(pending_.end(), bytes.begin(), bytes.end());
            }
            break;
        case 5: { // garbage without a packet mark
            const int n = next() % 64;
            for (int i = 0; i < n; ++i) {
                uint8_t c = next();
                pending_.push_back(c == MARK ? 0 : c);
            }
            break;
        }
        case 6: { // the start of a packet that never ends
            const auto bytes = encodePacket(lastSeq_, 'Y', {}, chkt, replyAgreement());
            pending_.insert(pending_.end(), bytes.begin(), bytes.begin() + long(bytes.size() / 2));
            break;
        }
        case 7:
            if (next() % 16 == 0)
                reply(lastSeq_, 'E', {'n', 'o'}, chkt);
            break;
        default: // silence
            break;
        }
        return true;
    }

    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    std::vector<uint8_t> written_;
    std::deque<uint8_t> pending_;
    Params ours_, sender_;
    Agreement agreement_;
    bool agreed_ = false;
    int lastSeq_ = 0;
    uint8_t lastType_ = 0;
    std::set<int> dataSent_; // the D packets' sequence numbers
    std::set<int> answered_; // the packets we acknowledged (by sequence number)
    int claimSeq_ = -1;      // the Z packet that claims the file, while it is not confirmed
    bool confirmed_ = false;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    HostileReceiver receiver(data, size);
    // Waits of a millisecond: a silence costs that much, and the windowed sender still gets to
    // act on its answers before its patience (a few waits) runs out.
    TransferTimings t = fuzzsupport::zeroWaits();
    t.startWait = t.startInterval = t.responseWait = t.blockWait = milliseconds(1);
    t.retries = 3;
    TransferContext ctx(receiver, nullptr, {}, t);
    const int rc = kermitSend(ctx, {sourceFile()});
    if (rc == 0)
        fuzzsupport::check(receiver.confirmed(), "success without a confirmed end of the file");
    return 0;
}
