#include "kermit_session.h"

#include "kermit_packet.h"
#include "seriallib.h"
#include "source_file.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string_view>

namespace seriallib {
namespace {

using namespace kermit;

Params ourParams(const KermitOptions& o) {
    Params p;
    p.maxl = 94;
    p.timeout = 5;
    p.qbin = o.parity ? '&' : 'Y';
    p.chkt = 3;
    p.rept = '~';
    p.longPackets = o.longPacket > 94;
    p.attributes = true;
    p.maxlx = std::clamp(o.longPacket, 0, 9024);
    p.window = std::clamp(o.window, 1, 31);
    return p;
}

std::vector<uint8_t> textData(std::string_view s) {
    return {s.begin(), s.end()};
}

// What both directions share: sequence numbers, the agreement, packets out, the E packet.
class Session {
public:
    Session(TransferContext& ctx, const KermitOptions& o) : ctx_(ctx), opt_(o), ours_(ourParams(o)) {}

protected:
    int send(int seq, uint8_t type, const std::vector<uint8_t>& data, int chkt) {
        last_ = encodePacket(seq, type, data, chkt, agreed_);
        return ctx_.write(last_);
    }
    int resendLast() { return ctx_.write(last_); }

    // Tells the peer we are giving up, whatever our own stop state. A peer that clears its input
    // before each packet may throw the E packet away: when its next packet starts to arrive within
    // a moment, it hears the E packet again.
    void sendError(int seq, std::string_view text) {
        const auto pkt = encodePacket(seq, 'E', textData(text), agreed_.chkt, agreed_);
        ctx_.sendCancel(pkt.data(), pkt.size());
        const auto until = Clock::now() + kErrorLinger;
        uint8_t buf[256];
        while (Clock::now() < until) {
            const int n = ctx_.channel().read(buf, sizeof buf, until);
            if (n < 0)
                return;
            if (std::find(buf, buf + n, MARK) != buf + n) {
                ctx_.sendCancel(pkt.data(), pkt.size());
                return;
            }
        }
    }
    static constexpr milliseconds kErrorLinger{60};

    // The code for a failed transfer that came from our side (stop, dead line, lost patience, file).
    int fail(int code, int seq) {
        if (code != TransferErrNotOpen)
            sendError(seq, code == TransferErrTimeout    ? "Timed out"
                           : code == TransferErrFile     ? "File changed while sent"
                           : code == TransferErrProtocol ? "Too many retries"
                                                         : "Cancelled");
        return code;
    }

    // How long a side goes on without progress before it gives up: what the retries would wait in
    // silence, but never more than a minute, however long each wait.
    static milliseconds patience(milliseconds wait, int retries) {
        return std::min<milliseconds>(wait * std::max(retries, 1), kMostWithoutProgress);
    }
    static constexpr milliseconds kMostWithoutProgress{60000};

    // The code when a read ended with a stop or a dead line; 0 for anything else.
    int ended(const Packet& p, int seq) {
        if (p.status == ReadStatus::Stopped)
            return fail(p.code, seq);
        return p.status == ReadStatus::Failed ? TransferErrNotOpen : 0;
    }

    Packet read(int chkt, milliseconds wait) {
        return readPacket(ctx_, chkt, Clock::now() + wait, opt_.parity);
    }

    TransferContext& ctx_;
    const KermitOptions& opt_;
    Params ours_;
    Agreement agreed_;
    std::vector<uint8_t> last_;
};

// A smoothed round trip and its spread, as a reliable stream estimates them; until the first
// measurement, and never beyond it, the fixed wait for an answer.
class RoundTrip {
public:
    explicit RoundTrip(milliseconds most) : most_(most) {}
    void sample(Clock::duration d) {
        const double ms = std::chrono::duration<double, std::milli>(d).count();
        if (samples_++ == 0) {
            mean_ = ms;
            spread_ = ms / 2;
        } else {
            spread_ += (std::abs(ms - mean_) - spread_) / 4;
            mean_ += (ms - mean_) / 8;
        }
    }
    milliseconds resendAfter() const {
        if (samples_ == 0)
            return most_;
        const double ms = std::max(2 * mean_, mean_ + 4 * spread_);
        return std::min(most_, std::max(kLeast, milliseconds(long(ms))));
    }

private:
    static constexpr milliseconds kLeast{100};
    milliseconds most_;
    unsigned samples_ = 0;
    double mean_ = 0, spread_ = 0;
};

class Sender : public Session {
public:
    using Session::Session;

    int run(const std::vector<std::string>& paths) {
        std::vector<std::unique_ptr<SourceFile>> files;
        for (const auto& p : paths) {
            auto f = std::make_unique<SourceFile>();
            if (!f->open(p))
                return TransferErrFile;
            files.push_back(std::move(f));
        }
        std::vector<uint8_t> reply;
        if (int rc = exchange('S', ours_.encode(), &reply, true); rc != 0)
            return rc;
        agreed_ = Agreement::make(ours_, Params::decode(reply));
        codec_ = std::make_unique<Codec>(agreed_.qctl, agreed_.qbin, agreed_.rept, true, !opt_.parity);
        // Packets start at the size of a normal one and grow over clean exchanges: a first packet
        // too long for a noisy line would never get through, as a packet goes again unchanged.
        capacity_ = std::min<size_t>(agreed_.dataCapacity(), 90);
        for (auto& f : files) {
            if (int rc = sendFile(*f); rc != 0)
                return rc;
            if (cancelBatch_)
                break;
        }
        if (int rc = exchange('B', {}, nullptr); rc != 0)
            return rc;
        // A file the receiver refused or stopped was not delivered: that is no success.
        return refused_ ? TransferErrRemoteAbort : 0;
    }

private:
    int sendFile(SourceFile& f) {
        std::vector<uint8_t> data;
        const auto& name = f.name();
        size_t pos = 0;
        codec_->encode(reinterpret_cast<const uint8_t*>(name.data()), name.size(), &pos,
                       agreed_.dataCapacity(), data);
        std::vector<uint8_t> reply;
        if (int rc = exchange('F', data, &reply); rc != 0)
            return rc;
        if (int rc = ctx_.progress(0, int64_t(f.size())); rc != 0)
            return fail(rc, seq_);
        if (agreed_.attributes) {
            const std::string size = std::to_string(f.size());
            data = {'"', tochar(2), 'B', '8', '1', tochar(int(size.size()))};
            data.insert(data.end(), size.begin(), size.end());
            if (int rc = exchange('A', data, &reply); rc != 0)
                return rc;
            if (!reply.empty() && reply[0] == 'N')
                return discard(); // the receiver does not want it
        }
        if (agreed_.window > 1)
            return sendWindowed(f);
        uint64_t at = 0;
        while (at < f.size()) {
            size_t used = 0;
            if (!nextData(f, at, data, &used))
                return fail(TransferErrFile, seq_);
            // A packet goes again exactly as it was (the receiver may hold it already).
            int retried = 0;
            if (int rc = exchange('D', data, &reply, false, &retried); rc != 0)
                return rc;
            adapt(retried > 0, sizing_);
            at += used;
            if (int rc = ctx_.progress(int64_t(at), int64_t(f.size())); rc != 0)
                return fail(rc, seq_);
            if (!reply.empty() && (reply[0] == 'X' || reply[0] == 'Z')) {
                cancelBatch_ = reply[0] == 'Z';
                return discard();
            }
        }
        return endFile(f);
    }

    // The Z packet that gives the file up, at the receiver's word.
    int discard() {
        refused_ = true;
        return exchange('Z', {'D'}, nullptr);
    }

    // The Z packet that claims the whole file: only for the file as it was announced.
    int endFile(SourceFile& f) {
        if (f.changed())
            return fail(TransferErrFile, seq_);
        return exchange('Z', {}, nullptr);
    }

    // The encoding of the file's data from at, as much as one packet holds now; used gets the
    // bytes it covers.
    bool nextData(SourceFile& f, uint64_t at, std::vector<uint8_t>& data, size_t* used) {
        raw_.resize(agreed_.dataCapacity());
        const long n = f.readAt(at, raw_.data(), raw_.size());
        if (n <= 0)
            return false;
        data.clear();
        codec_->encode(raw_.data(), size_t(n), used, capacity_, data);
        return true;
    }

    // Packets are smaller after trouble and grow back over clean exchanges, so that a noisy line
    // settles on packets that get through. Only packets of the size in force count: with a window
    // in flight, the answers to packets of an older size say nothing about this one.
    void adapt(bool troubled, unsigned sentIn) {
        if (sentIn != sizing_)
            return;
        const size_t most = agreed_.dataCapacity();
        if (troubled) {
            capacity_ = std::max<size_t>(capacity_ / 2, std::min<size_t>(most, 20));
            clean_ = 0;
            ++sizing_;
        } else if (++clean_ >= 4 && capacity_ < most) {
            capacity_ = std::min(most, capacity_ * 3 / 2);
            clean_ = 0;
            ++sizing_;
        }
    }

    // The data with up to a window of packets in flight: each is acknowledged on its own, a NAK
    // resends just that one, and the window moves on as its oldest packet is acknowledged.
    int sendWindowed(SourceFile& f) {
        struct Slot {
            int seq;
            std::vector<uint8_t> wire;
            uint64_t end; // the file offset after its data
            unsigned sizing;
            Clock::time_point sent; // when it last went out
            bool acked = false;
            int tries = 0;
        };
        std::deque<Slot> flight;
        const auto& t = ctx_.timings();
        const size_t window = size_t(agreed_.window);
        uint64_t at = 0;
        bool stop = false; // the receiver asked us to stop sending
        auto lastMove = Clock::now();
        const auto limit = patience(t.responseWait, t.retries);
        std::vector<uint8_t> data;
        // How long a packet's answer takes, measured on packets that went once: a packet whose
        // answer is well overdue went missing, and goes again long before a fixed time-out.
        RoundTrip trip(t.responseWait);

        // A damaged packet goes again unchanged; a packet that keeps failing while nothing moves
        // for as long as the retries would wait in silence ends the transfer.
        auto resend = [&](Slot& s) {
            if (++s.tries > t.retries && Clock::now() - lastMove > limit)
                return fail(TransferErrProtocol, s.seq);
            adapt(true, s.sizing);
            s.sent = Clock::now();
            const int rc = ctx_.write(s.wire);
            return rc != 0 ? fail(rc, s.seq) : 0;
        };
        auto oldestOpen = [&]() -> Slot* {
            for (auto& s : flight)
                if (!s.acked)
                    return &s;
            return nullptr;
        };
        auto blocked = [&] { return flight.size() >= window || at >= f.size() || stop; };
        auto onReply = [&](const Packet& p, bool waited) -> int {
            switch (p.status) {
            case ReadStatus::Stopped:
            case ReadStatus::Failed:
                return ended(p, seq_);
            case ReadStatus::Timeout:
                // Nothing for the whole wait: the oldest packet (or its answer) was lost.
                if (Slot* s = oldestOpen(); waited && s)
                    return resend(*s);
                return 0;
            case ReadStatus::BadPacket:
                // A damaged answer: when we can send nothing new, the oldest packet goes again
                // once rather than after a time-out.
                if (blocked() && !flight.front().acked && flight.front().tries == 0)
                    return resend(flight.front());
                return 0;
            case ReadStatus::Ok:
                break;
            }
            if (p.type == 'E')
                return TransferErrRemoteAbort;
            const size_t offset = size_t((p.seq - flight.front().seq) & 63);
            if (p.type == 'Y' && offset < flight.size()) {
                if (!flight[offset].acked && flight[offset].tries == 0)
                    trip.sample(Clock::now() - flight[offset].sent);
                flight[offset].acked = true;
                if (!p.data.empty() && (p.data[0] == 'X' || p.data[0] == 'Z')) {
                    stop = true;
                    cancelBatch_ = p.data[0] == 'Z';
                }
                // Answers come in order: a later one first says the oldest one's was lost.
                if (offset > 0 && blocked() && !flight.front().acked && flight.front().tries == 0)
                    return resend(flight.front());
            } else if (p.type == 'N' && offset < flight.size()) {
                if (!flight[offset].acked)
                    return resend(flight[offset]);
            } else if (p.type == 'N' && p.seq == seq_ && blocked()) {
                // With windows a NAK names the one packet the receiver wants and acknowledges
                // nothing: one for the packet after ours says our ACKs went missing, so the oldest
                // unacknowledged packet goes again for its ACK.
                if (Slot* s = oldestOpen())
                    return resend(*s);
            }
            return 0;
        };

        for (;;) {
            // Answers that keep coming damaged must not keep us here when nothing moves.
            if (Clock::now() - lastMove >
                std::min<milliseconds>(limit + t.responseWait, kMostWithoutProgress))
                return fail(TransferErrProtocol, seq_);
            while (!flight.empty() && flight.front().acked) {
                if (flight.front().tries == 0)
                    adapt(false, flight.front().sizing);
                lastMove = Clock::now();
                if (int rc = ctx_.progress(int64_t(flight.front().end), int64_t(f.size())); rc != 0)
                    return fail(rc, seq_);
                flight.pop_front();
            }
            if (!blocked()) {
                size_t used = 0;
                if (!nextData(f, at, data, &used))
                    return fail(TransferErrFile, seq_);
                Slot s{seq_, encodePacket(seq_, 'D', data, agreed_.chkt, agreed_), at + used, sizing_,
                       Clock::now()};
                if (int rc = ctx_.write(s.wire); rc != 0)
                    return fail(rc, seq_);
                at += used;
                seq_ = (seq_ + 1) & 63;
                flight.push_back(std::move(s));
                // Take the answers that are in already, without waiting.
                for (;;) {
                    const Packet p = read(agreed_.chkt, milliseconds(0));
                    if (p.status == ReadStatus::Timeout)
                        break;
                    if (int rc = onReply(p, false); rc != 0)
                        return rc;
                }
                continue;
            }
            if (flight.empty())
                break;
            // Until the oldest open packet's answer is overdue.
            const Slot* open = oldestOpen();
            const auto due = open ? open->sent + trip.resendAfter() : Clock::now() + t.responseWait;
            const auto wait = std::max(milliseconds(0), std::chrono::ceil<milliseconds>(due - Clock::now()));
            if (int rc = onReply(read(agreed_.chkt, wait), true); rc != 0)
                return rc;
        }
        return stop ? discard() : endFile(f);
    }

    // Sends one packet until the receiver acknowledges it; reply gets the ACK's data.
    int exchange(uint8_t type, const std::vector<uint8_t>& data, std::vector<uint8_t>* reply,
                 bool start = false, int* retried = nullptr) {
        const int chkt = type == 'S' ? sInitCheck() : agreed_.chkt;
        const auto& t = ctx_.timings();
        // A receiver that keeps answering with NAKs is alive: the packet may go again for as long
        // as the retries would wait in silence.
        const auto began = Clock::now();
        const auto giveUp = began + (start ? t.startWait : patience(t.responseWait, t.retries));
        if (int rc = send(seq_, type, data, chkt); rc != 0)
            return fail(rc, seq_);
        // Copies of this packet sent after a time-out, whose answers may yet come.
        int unanswered = 0;
        const auto wait = start ? t.startInterval : t.responseWait;
        for (int tries = 0;;) {
            const Packet p = read(type == 'S' ? CheckInit : chkt, wait);
            bool again = false;
            switch (p.status) {
            case ReadStatus::Stopped:
            case ReadStatus::Failed:
                return ended(p, seq_);
            case ReadStatus::Timeout:
            case ReadStatus::BadPacket:
                again = true;
                break;
            case ReadStatus::Ok:
                if (p.type == 'E')
                    return TransferErrRemoteAbort;
                if (p.type == 'Y' && p.seq == seq_) {
                    if (reply)
                        *reply = p.data;
                    seq_ = (seq_ + 1) & 63;
                    echoes_ = unanswered;
                    return 0;
                }
                // Without windows a NAK for the next packet says this one arrived; with windows a
                // NAK acknowledges nothing, nor does it ever the S packet, whose ACK carries the
                // receiver's parameters.
                if (p.type == 'N' && p.seq == ((seq_ + 1) & 63) && agreed_.window == 1 && type != 'S') {
                    if (reply)
                        reply->clear();
                    seq_ = (seq_ + 1) & 63;
                    echoes_ = unanswered;
                    return 0;
                }
                // A receiver that insists on a forced type 3 NAKs our S with that check: offer it.
                if (type == 'S' && p.type == 'N' && p.chkt == 3 && ours_.chkt != CheckForced3) {
                    ours_.chkt = CheckForced3;
                    if (int rc = send(seq_, type, ours_.encode(), 3); rc != 0)
                        return fail(rc, seq_);
                    continue;
                }
                // The previous packet's ACK once more is how a receiver says this one came damaged,
                // unless it answers a copy of the previous packet that we sent ourselves.
                if (p.type == 'Y' && p.seq == ((seq_ + 63) & 63) && agreed_.window == 1) {
                    again = echoes_ == 0;
                    echoes_ = std::max(echoes_ - 1, 0);
                    break;
                }
                again = p.type == 'N';
                break; // a late ACK of an earlier packet: keep waiting
            }
            if (!again) {
                if (Clock::now() < giveUp + wait)
                    continue;
                tries = t.retries; // answers that acknowledge nothing for that long end it too
            }
            // However long each wait, a minute without the ACK ends it.
            if ((++tries > t.retries && Clock::now() >= giveUp) ||
                (!start && Clock::now() >= began + kMostWithoutProgress)) {
                // Every file was confirmed by the ACK to its Z: a receiver that has ended the
                // session cannot answer the B any more.
                if (type == 'B')
                    return 0;
                return fail(start ? TransferErrTimeout : TransferErrProtocol, seq_);
            }
            if (retried)
                *retried = tries;
            if (int rc = resendLast(); rc != 0)
                return fail(rc, seq_);
            unanswered += p.status == ReadStatus::Timeout ? 1 : 0;
        }
    }

    // The check on our S packet: type 1, or 3 when the receiver wants it forced.
    int sInitCheck() const { return ours_.chkt == CheckForced3 ? 3 : 1; }

    std::unique_ptr<Codec> codec_;
    int seq_ = 0;
    int echoes_ = 0; // answers still to come to copies of the previous packet sent after a time-out
    bool cancelBatch_ = false;
    bool refused_ = false;       // the receiver refused or stopped a file
    size_t capacity_ = SIZE_MAX; // data characters per packet for now
    int clean_ = 0;              // exchanges without trouble since the last change of capacity_
    unsigned sizing_ = 0;        // counts the changes of capacity_
    std::vector<uint8_t> raw_;
};

class Receiver : public Session {
public:
    Receiver(TransferContext& ctx, IncomingFiles& files, const KermitOptions& o)
        : Session(ctx, o), files_(files) {}

    int run() {
        const auto& t = ctx_.timings();
        int silences = 0;
        // Damaged packets each cost a NAK and one packet time; the transfer gives up only when no
        // good packet has come for as long as the silences it would allow.
        auto lastGood = Clock::now();
        for (;;) {
            const bool init = state_ == State::Init;
            const int chkt = init ? 1 : agreed_.chkt;
            const Packet p = read(init ? CheckInit : agreed_.chkt, init ? t.startInterval : t.blockWait);
            if (int rc = ended(p, expected_); rc != 0)
                return abandon(rc);
            const auto patience =
                init ? t.startInterval * t.startTries : Session::patience(t.blockWait, t.retries);
            if (p.status == ReadStatus::Timeout && ++silences > (init ? t.startTries : t.retries))
                return abandon(fail(TransferErrTimeout, expected_));
            // Packets in order or ahead of it within the window are good news.
            const int ahead = (p.seq - expected_) & 63;
            const int window = init ? 1 : agreed_.window;
            if (p.status == ReadStatus::Ok && ahead < window && !held_[size_t(p.seq)]) {
                silences = 0;
                lastGood = Clock::now();
            } else if (Clock::now() - lastGood > patience) {
                return abandon(
                    fail(p.status == ReadStatus::Ok ? TransferErrProtocol : TransferErrTimeout, expected_));
            }
            if (p.status != ReadStatus::Ok) {
                if (int rc = send(expected_, 'N', {}, chkt); rc != 0)
                    return abandon(fail(rc, expected_));
                continue;
            }
            if (p.type == 'E')
                return abandon(TransferErrRemoteAbort);
            if (!init && ahead >= 64 - window) {
                // We have it: our answer went missing, and the sender repeats its packet.
                if (int rc = ctx_.write(answers_[size_t(p.seq)]); rc != 0)
                    return abandon(fail(rc, expected_));
                continue;
            }
            if (ahead >= window) {
                if (int rc = send(expected_, 'N', {}, chkt); rc != 0)
                    return abandon(fail(rc, expected_));
                continue;
            }
            if (ahead > 0) {
                if (int rc = hold(p); rc != 0)
                    return abandon(fail(rc, expected_));
                continue;
            }
            // In order: it, and the packets held after it, are taken in turn.
            bool finished = false;
            std::optional<Packet> next = p;
            while (next && !finished) {
                const bool answered = held_[size_t(expected_)].has_value();
                held_[size_t(expected_)].reset();
                std::vector<uint8_t> ack;
                int ackChkt = agreed_.chkt;
                if (int rc = take(*next, ack, ackChkt, finished); rc != 0)
                    return abandon(rc);
                // A held packet was acknowledged when it came.
                if (!answered) {
                    if (int rc = answer(expected_, ack, ackChkt); rc != 0)
                        return abandon(fail(rc, expected_));
                }
                expected_ = (expected_ + 1) & 63;
                next = held_[size_t(expected_)];
            }
            if (finished)
                return received_;
        }
    }

private:
    enum class State { Init, File, Data };

    // Sends an ACK and keeps it for the packet's repetition.
    int answer(int seq, const std::vector<uint8_t>& data, int chkt) {
        const int rc = send(seq, 'Y', data, chkt);
        answers_[size_t(seq)] = last_;
        return rc;
    }

    // A packet ahead of the one we wait for: kept and acknowledged at once, and the ones missing
    // before it asked for (each once: a later loss costs a time-out or the sender's own repeat).
    int hold(const Packet& p) {
        if (!held_[size_t(p.seq)]) {
            held_[size_t(p.seq)] = p;
            for (int s = expected_; s != p.seq; s = (s + 1) & 63) {
                if (held_[size_t(s)] || asked_[size_t(s)])
                    continue;
                asked_[size_t(s)] = true;
                if (int rc = send(s, 'N', {}, agreed_.chkt); rc != 0)
                    return rc;
            }
        }
        return answer(p.seq, {}, agreed_.chkt);
    }

    // Acts on the packet in order; ack gets its ACK's data. 0 or the code to end with.
    int take(const Packet& p, std::vector<uint8_t>& ack, int& ackChkt, bool& finished) {
        asked_[size_t(p.seq)] = false;
        switch (state_) {
        case State::Init: {
            if (p.type != 'S' && p.type != 'I')
                return fail(TransferErrProtocol, expected_);
            // We have every check type: the sender's choice is the answer.
            const Params theirs = Params::decode(p.data);
            ours_.chkt = theirs.chkt;
            agreed_ = Agreement::make(ours_, theirs);
            ours_.window = agreed_.window;
            codec_ = std::make_unique<Codec>(agreed_.peerQctl, agreed_.qbin, agreed_.rept);
            ack = ours_.encode();
            ackChkt = ours_.chkt == CheckForced3 ? 3 : 1;
            state_ = State::File;
            return 0;
        }
        case State::File:
            if (p.type == 'B') {
                finished = true;
                return 0;
            }
            if (p.type != 'F' || !codec_->decode(p.data, plain_))
                return fail(TransferErrProtocol, expected_);
            if (files_.begin(localName(plain_), 0, 0).empty())
                return fail(TransferErrFile, expected_);
            open_ = true;
            done_ = total_ = 0;
            text_ = TextLines();
            state_ = State::Data;
            return report(0, 0);
        case State::Data:
            break;
        }
        if (p.type == 'A') {
            const Attributes a = readAttributes(p.data);
            total_ = a.size;
            text_.on = a.text;
            return report(done_, total_);
        }
        if (p.type == 'D') {
            if (!codec_->decode(p.data, plain_))
                return fail(TransferErrProtocol, expected_);
            text_.toLocal(plain_);
            if (!plain_.empty() && !files_.write(plain_.data(), plain_.size()))
                return fail(TransferErrFile, expected_);
            done_ += plain_.size();
            return report(done_, total_);
        }
        if (p.type != 'Z')
            return fail(TransferErrProtocol, expected_);
        state_ = State::File;
        open_ = false;
        if (!p.data.empty() && p.data[0] == 'D') {
            files_.abandon(); // the sender gave this file up
            return 0;
        }
        plain_.clear();
        text_.finish(plain_);
        if ((!plain_.empty() && !files_.write(plain_.data(), plain_.size())) || !files_.finish())
            return fail(TransferErrFile, expected_);
        ++received_;
        done_ += plain_.size();
        return report(done_, total_);
    }

    // A name all in capitals is the protocol's common form, not the sender's choice: on a system
    // whose names keep their case it becomes lower case. A name with any small letter stays.
    static std::string localName(const std::vector<uint8_t>& sent) {
        std::string name(sent.begin(), sent.end());
        if (std::any_of(name.begin(), name.end(), [](char c) { return c >= 'a' && c <= 'z'; }))
            return name;
        for (char& c : name)
            if (c >= 'A' && c <= 'Z')
                c = char(c - 'A' + 'a');
        return name;
    }

    struct Attributes {
        uint64_t size = 0;
        bool text = false;
    };
    // The length (in bytes, else in kilobytes) and whether the sender calls the file text.
    static Attributes readAttributes(const std::vector<uint8_t>& d) {
        Attributes a;
        uint64_t kbytes = 0;
        bool haveBytes = false;
        for (size_t i = 0; i + 1 < d.size();) {
            const uint8_t tag = d[i];
            const int len = unchar(d[i + 1]);
            if (len < 0 || i + 2 + size_t(len) > d.size())
                break;
            const uint8_t* value = d.data() + i + 2;
            if (tag == '"' && len > 0)
                a.text = value[0] == 'A';
            uint64_t v = 0;
            bool digits = len > 0;
            for (int k = 0; k < len; ++k) {
                const uint8_t c = value[k];
                if (c < '0' || c > '9' || v > UINT64_MAX / 10 - 9) {
                    digits = false;
                    break;
                }
                v = v * 10 + (c - '0');
            }
            if (digits && tag == '1') {
                a.size = v;
                haveBytes = true;
            } else if (digits && tag == '!' && v < UINT64_MAX / 1024) {
                kbytes = v * 1024;
            }
            i += 2 + size_t(len);
        }
        if (!haveBytes)
            a.size = kbytes;
        return a;
    }

    // Progress never past its total: a sender's size may be short of what arrives.
    int report(uint64_t done, uint64_t total) {
        const auto clamp = [](uint64_t v) { return int64_t(std::min<uint64_t>(v, INT64_MAX)); };
        const int rc = ctx_.progress(clamp(done), clamp(total ? std::max(total, done) : 0));
        return rc != 0 ? fail(rc, expected_) : 0;
    }

    // A text file comes with CR LF line ends, the protocol's common form; the file on disk gets the
    // sender's own: LF, as a Linux user's files have them. A CR that ends one packet waits for the next.
    struct TextLines {
        bool on = false;
        bool cr = false;
        void toLocal(std::vector<uint8_t>& data) {
            if (!on)
                return;
            std::vector<uint8_t> out;
            out.reserve(data.size() + 1);
            for (uint8_t c : data) {
                if (cr && c != '\n')
                    out.push_back('\r');
                cr = c == '\r';
                if (!cr)
                    out.push_back(c);
            }
            data.swap(out);
        }
        void finish(std::vector<uint8_t>& out) {
            if (on && cr)
                out.push_back('\r');
            cr = false;
        }
    };

    int abandon(int code) {
        if (open_)
            files_.abandon();
        open_ = false;
        return code;
    }

    IncomingFiles& files_;
    std::unique_ptr<Codec> codec_;
    TextLines text_;
    State state_ = State::Init;
    int expected_ = 0; // the packet we wait for (the window's bottom)
    int received_ = 0;
    uint64_t done_ = 0, total_ = 0;
    std::vector<uint8_t> plain_;
    std::array<std::optional<Packet>, 64> held_;   // packets that came ahead of expected_
    std::array<bool, 64> asked_{};                 // missing packets we have NAKed
    std::array<std::vector<uint8_t>, 64> answers_; // our ACK to each packet, for its repetition
    bool open_ = false;
};

} // namespace

int kermitSend(TransferContext& ctx, const std::vector<std::string>& paths, const KermitOptions& options) {
    Sender s(ctx, options);
    return s.run(paths);
}

int kermitReceive(TransferContext& ctx, IncomingFiles& files, const KermitOptions& options) {
    Receiver r(ctx, files, options);
    return r.run();
}

} // namespace seriallib
