#include "kermit_session.h"

#include "kermit_packet.h"
#include "seriallib.h"
#include "source_file.h"

#include <algorithm>
#include <cstdint>
#include <memory>
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

    // The code for a failed packet read or write that came from our side (stop, dead line).
    int fail(int code, int seq) {
        if (code != TransferErrNotOpen)
            sendError(seq, code == TransferErrTimeout ? "Timed out" : "Cancelled");
        return code;
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
        return exchange('B', {}, nullptr);
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
                return exchange('Z', {'D'}, nullptr); // the receiver does not want it
        }
        const size_t most = agreed_.dataCapacity();
        std::vector<uint8_t> raw(most);
        uint64_t at = 0;
        int clean = 0;
        while (at < f.size()) {
            const long n = f.readAt(at, raw.data(), raw.size());
            if (n <= 0)
                return fail(TransferErrFile, seq_);
            size_t used = 0;
            data.clear();
            codec_->encode(raw.data(), size_t(n), &used, capacity_, data);
            // A packet goes again exactly as it was (the receiver may hold it already); the next
            // ones are smaller after trouble, and grow back over clean exchanges, so that a noisy
            // line settles on packets that get through.
            int retried = 0;
            if (int rc = exchange('D', data, &reply, false, &retried); rc != 0)
                return rc;
            if (retried > 0) {
                capacity_ = std::max<size_t>(capacity_ / 2, std::min<size_t>(most, 40));
                clean = 0;
            } else if (++clean >= 4 && capacity_ < most) {
                capacity_ = std::min(most, capacity_ * 3 / 2);
                clean = 0;
            }
            at += used;
            if (int rc = ctx_.progress(int64_t(at), int64_t(f.size())); rc != 0)
                return fail(rc, seq_);
            if (!reply.empty() && (reply[0] == 'X' || reply[0] == 'Z')) {
                cancelBatch_ = reply[0] == 'Z';
                return exchange('Z', {'D'}, nullptr);
            }
        }
        return exchange('Z', {}, nullptr);
    }

    // Sends one packet until the receiver acknowledges it; reply gets the ACK's data.
    int exchange(uint8_t type, const std::vector<uint8_t>& data, std::vector<uint8_t>* reply,
                 bool start = false, int* retried = nullptr) {
        const int chkt = type == 'S' ? sInitCheck() : agreed_.chkt;
        const auto& t = ctx_.timings();
        // A receiver that keeps answering with NAKs is alive: the packet may go again for as long
        // as the retries would wait in silence.
        const auto giveUp = Clock::now() + (start ? t.startWait : t.responseWait * t.retries);
        if (int rc = send(seq_, type, data, chkt); rc != 0)
            return fail(rc, seq_);
        // Copies of this packet sent after a time-out, whose answers may yet come.
        int unanswered = 0;
        for (int tries = 0;;) {
            const Packet p = read(type == 'S' ? CheckInit : chkt, start ? t.startInterval : t.responseWait);
            bool again = false;
            switch (p.status) {
            case ReadStatus::Stopped:
                return fail(p.code, seq_);
            case ReadStatus::Failed:
                return TransferErrNotOpen;
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
                // A NAK for the next packet says this one arrived.
                if (p.type == 'N' && p.seq == ((seq_ + 1) & 63)) {
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
                if (p.type == 'Y' && p.seq == ((seq_ + 63) & 63)) {
                    again = echoes_ == 0;
                    echoes_ = std::max(echoes_ - 1, 0);
                    break;
                }
                again = p.type == 'N';
                break; // a late ACK of an earlier packet: keep waiting
            }
            if (!again)
                continue;
            if (++tries > t.retries && Clock::now() >= giveUp) {
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
    size_t capacity_ = SIZE_MAX; // data characters per packet for now
};

class Receiver : public Session {
public:
    Receiver(TransferContext& ctx, IncomingFiles& files, const KermitOptions& o)
        : Session(ctx, o), files_(files) {}

    int run() {
        enum class State { Init, File, Data } state = State::Init;
        int expected = 0;
        int silences = 0;
        int received = 0;
        uint64_t done = 0, total = 0;
        std::vector<uint8_t> plain;
        const auto& t = ctx_.timings();
        // Damaged packets each cost a NAK and one packet time; the transfer gives up only when no
        // good packet has come for as long as the silences it would allow.
        auto lastGood = Clock::now();
        for (;;) {
            const bool init = state == State::Init;
            const Packet p = read(init ? CheckInit : agreed_.chkt, init ? t.startInterval : t.blockWait);
            if (p.status == ReadStatus::Stopped)
                return abandon(fail(p.code, expected));
            if (p.status == ReadStatus::Failed)
                return abandon(TransferErrNotOpen);
            const auto patience = init ? t.startInterval * t.startTries : t.blockWait * t.retries;
            if (p.status == ReadStatus::Timeout && ++silences > (init ? t.startTries : t.retries))
                return abandon(fail(TransferErrTimeout, expected));
            if (p.status == ReadStatus::Ok && p.seq == expected) {
                silences = 0;
                lastGood = Clock::now();
            } else if (Clock::now() - lastGood > patience) {
                return abandon(
                    fail(p.status == ReadStatus::Ok ? TransferErrProtocol : TransferErrTimeout, expected));
            }
            if (p.status != ReadStatus::Ok) {
                if (int rc = send(expected, 'N', {}, init ? 1 : agreed_.chkt); rc != 0)
                    return abandon(fail(rc, expected));
                continue;
            }
            if (p.type == 'E')
                return abandon(TransferErrRemoteAbort);
            if (p.seq == ((expected + 63) & 63) && !init) {
                // Our answer went missing: the sender repeats its packet.
                if (int rc = resendLast(); rc != 0)
                    return abandon(fail(rc, expected));
                continue;
            }
            if (p.seq != expected) {
                if (int rc = send(expected, 'N', {}, init ? 1 : agreed_.chkt); rc != 0)
                    return abandon(fail(rc, expected));
                continue;
            }
            std::vector<uint8_t> ack;
            int ackChkt = agreed_.chkt;
            bool finished = false;
            switch (state) {
            case State::Init: {
                if (p.type != 'S' && p.type != 'I')
                    return abandon(fail(TransferErrProtocol, expected));
                // We have every check type: the sender's choice is the answer.
                const Params theirs = Params::decode(p.data);
                ours_.chkt = theirs.chkt;
                agreed_ = Agreement::make(ours_, theirs);
                codec_ = std::make_unique<Codec>(agreed_.peerQctl, agreed_.qbin, agreed_.rept);
                ack = ours_.encode();
                ackChkt = ours_.chkt == CheckForced3 ? 3 : 1;
                state = State::File;
                break;
            }
            case State::File:
                if (p.type == 'B') {
                    finished = true;
                    break;
                }
                if (p.type != 'F')
                    return abandon(fail(TransferErrProtocol, expected));
                if (!codec_->decode(p.data, plain))
                    return abandon(fail(TransferErrProtocol, expected));
                if (files_.begin(std::string(plain.begin(), plain.end()), 0, 0).empty())
                    return abandon(fail(TransferErrFile, expected));
                open_ = true;
                done = total = 0;
                text_ = TextLines();
                if (int rc = ctx_.progress(0, 0); rc != 0)
                    return abandon(fail(rc, expected));
                state = State::Data;
                break;
            case State::Data:
                if (p.type == 'A') {
                    const Attributes a = readAttributes(p.data);
                    total = a.size;
                    text_.on = a.text;
                    if (int rc = report(done, total); rc != 0)
                        return abandon(fail(rc, expected));
                } else if (p.type == 'D') {
                    if (!codec_->decode(p.data, plain))
                        return abandon(fail(TransferErrProtocol, expected));
                    text_.toLocal(plain);
                    if (!plain.empty() && !files_.write(plain.data(), plain.size()))
                        return abandon(fail(TransferErrFile, expected));
                    done += plain.size();
                    if (int rc = report(done, total); rc != 0)
                        return abandon(fail(rc, expected));
                } else if (p.type == 'Z') {
                    open_ = false;
                    if (!p.data.empty() && p.data[0] == 'D') {
                        files_.abandon(); // the sender gave this file up
                    } else {
                        plain.clear();
                        text_.finish(plain);
                        if ((!plain.empty() && !files_.write(plain.data(), plain.size())) || !files_.finish())
                            return abandon(fail(TransferErrFile, expected));
                        ++received;
                        if (int rc = plain.empty() ? 0 : report(done + plain.size(), total); rc != 0)
                            return abandon(fail(rc, expected));
                    }
                    state = State::File;
                } else {
                    return abandon(fail(TransferErrProtocol, expected));
                }
                break;
            }
            if (int rc = send(expected, 'Y', ack, ackChkt); rc != 0)
                return abandon(fail(rc, expected));
            expected = (expected + 1) & 63;
            if (finished)
                return received;
        }
    }

private:
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
        return ctx_.progress(clamp(done), clamp(total ? std::max(total, done) : 0));
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
