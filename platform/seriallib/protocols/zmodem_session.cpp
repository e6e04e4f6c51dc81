#include "zmodem_session.h"

#include "crc.h"
#include "seriallib.h"
#include "source_file.h"
#include "zmodem_frame.h"

#include <algorithm>
#include <charconv>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>

namespace seriallib {
namespace {

using namespace zmodem;
using std::chrono::milliseconds;

constexpr size_t kMaxSubpacket = 8192; // what our receiver accepts (the largest any sender uses)
constexpr size_t kMaxFileInfo = 1024;
constexpr size_t kStreamWrite = 8192;     // bytes gathered before a write while streaming
constexpr size_t kFileWrite = 256 * 1024; // received data gathered before a write to the file
// What a receiver passes over after asking for a position before it asks again: more than a
// windowed sender has in flight, with escaping, and what the line's buffers hold.
constexpr uint64_t kRecoveryGarbage = 64 * 1024;
constexpr std::chrono::milliseconds kOverAndOutWait{100};

// Failures allowed while data keeps coming. Each failure costs one; data that gets through earns
// one back per kEarn bytes, never above the limit. A line that spoils nearly everything so ends the
// transfer, though some data still crawls through, while one that is merely noisy goes on.
class RetryBudget {
public:
    explicit RetryBudget(int limit) : limit_(limit), left_(limit) {}
    // One more failure; false once the budget is spent.
    bool spend() { return --left_ >= 0; }
    void progressed(uint64_t bytes) {
        if (left_ < 0 || left_ >= limit_)
            return;
        earned_ += bytes;
        left_ = int(std::min<uint64_t>(uint64_t(limit_), uint64_t(left_) + earned_ / kEarn));
        earned_ %= kEarn;
    }

private:
    static constexpr uint64_t kEarn = 128;
    int limit_;
    int left_;
    uint64_t earned_ = 0;
};

// Shared plumbing of both directions: output buffer, input, the cancel and the result mapping.
class Link {
public:
    explicit Link(TransferContext& ctx) : ctx_(ctx), in_(ctx) {}

    ZmodemInput& in() { return in_; }
    Escaper& esc() { return esc_; }
    std::vector<uint8_t>& out() { return out_; }
    const TransferTimings& timings() const { return ctx_.timings(); }
    static Clock::time_point after(milliseconds d) { return Clock::now() + d; }

    int progress(uint64_t done, uint64_t total) {
        return ctx_.progress(int64_t(std::min<uint64_t>(done, INT64_MAX)),
                             int64_t(std::min<uint64_t>(total, INT64_MAX)));
    }

    // Writes the output buffer; 0, or a result code (the stop request, a stalled or failed line).
    // While the line will not take more, the peer may be saying why: its cancel ends the wait.
    int flush() {
        size_t done = 0;
        auto moved = Clock::now();
        int rc = 0;
        while (done < out_.size()) {
            if ((rc = ctx_.stopCode()) != 0)
                break;
            const size_t piece = std::min<size_t>(out_.size() - done, 4096);
            const int n = ctx_.channel().write(out_.data() + done, piece, after(kWriteSlice));
            if (n < 0) {
                rc = TransferErrNotOpen;
                break;
            }
            if (n > 0) {
                done += size_t(n);
                ctx_.stats().bytesOut += uint64_t(n);
                moved = Clock::now();
                continue;
            }
            if (in_.cancelPending()) {
                rc = TransferErrRemoteAbort;
                break;
            }
            if (Clock::now() - moved >= timings().writeStall) {
                rc = TransferErrTimeout;
                break;
            }
        }
        out_.clear();
        return rc;
    }
    static constexpr milliseconds kWriteSlice{20};

    // Waits (up to the deadline) until what was written has left.
    void drain(Clock::time_point deadline) { ctx_.channel().drainOutput(deadline); }

    int sendHex(const Header& h) {
        appendHexHeader(out_, h);
        return flush();
    }

    // Tells the peer we are stopping; best effort, never blocks for long.
    void cancel() {
        out_.clear();
        appendCancel(out_);
        ctx_.sendCancel(out_.data(), out_.size());
        out_.clear();
    }

    // The result for a failed read; sends the cancel sequence when we are the one stopping.
    int readFailure(Status s) {
        switch (s) {
        case Status::Cancelled:
            return TransferErrRemoteAbort;
        case Status::Stopped:
            cancel();
            return in_.stopCode();
        case Status::Failed:
            return TransferErrNotOpen;
        default:
            return TransferErrTimeout;
        }
    }

    // Ends the session with a code that came from our side (stop, a failed write, a file error).
    int abortWith(int code) {
        if (code != TransferErrNotOpen && code != TransferErrRemoteAbort)
            cancel();
        return code;
    }

private:
    TransferContext& ctx_;
    ZmodemInput in_;
    Escaper esc_;
    std::vector<uint8_t> out_;
};

bool isFatalRead(Status s) {
    return s == Status::Cancelled || s == Status::Stopped || s == Status::Failed;
}

// ---------------------------------------------------------------------------------------------
class Sender {
public:
    Sender(TransferContext& ctx, const ZmodemOptions& options) : link_(ctx), opt_(options) {}

    int run(const std::vector<std::string>& paths) {
        std::vector<std::unique_ptr<SourceFile>> files;
        uint64_t bytesLeft = 0;
        for (const auto& p : paths) {
            auto f = std::make_unique<SourceFile>();
            // Positions on the line are 32 bits wide.
            if (!f->open(p) || f->size() > 0xFFFFFFFFu)
                return TransferErrFile;
            bytesLeft += f->size();
            files.push_back(std::move(f));
        }
        if (int rc = waitForReceiver(); rc != 0)
            return rc;
        for (size_t i = 0; i < files.size(); ++i) {
            const int rc = sendFile(*files[i], int(files.size() - i), bytesLeft);
            if (rc != 0)
                return rc;
            files[i].reset(); // its read buffer too
        }
        return finish();
    }

private:
    int waitForReceiver() {
        const char hello[] = "rz\r";
        link_.out().insert(link_.out().end(), hello, hello + 3);
        // The receiver may not be started yet: keep asking for the whole start wait.
        const auto giveUp = link_.after(link_.timings().startWait);
        for (int tries = 0; tries <= link_.timings().retries || Clock::now() < giveUp;) {
            if (int rc = link_.sendHex(Header::at(ZRQINIT, 0)); rc != 0)
                return link_.abortWith(rc);
            const auto r =
                link_.in().readHeader(std::min(giveUp, link_.after(link_.timings().startInterval)));
            if (isFatalRead(r.status))
                return link_.readFailure(r.status);
            if (r.status != Status::Ok) {
                ++tries;
                if (Clock::now() >= giveUp)
                    break;
                continue;
            }
            switch (r.header.type) {
            case ZRINIT:
                takeReceiverInit(r.header);
                return 0;
            case ZCHALLENGE:
                if (int rc = link_.sendHex(Header::at(ZACK, r.header.position())); rc != 0)
                    return link_.abortWith(rc);
                break;
            case ZCAN:
            case ZABORT:
            case ZFERR:
                return TransferErrRemoteAbort;
            default:
                ++tries;
                break;
            }
        }
        return link_.abortWith(TransferErrTimeout);
    }

    void takeReceiverInit(const Header& h) {
        const uint8_t f0 = h.zf0();
        crc32_ = (f0 & CANFC32) != 0;
        link_.esc().setEscapeAll((f0 & ESCCTL) != 0);
        window_ = uint32_t(h.b[0]) | uint32_t(h.b[1]) << 8;
        // A receiver that cannot read while it writes wants every frame acknowledged.
        if (!(f0 & CANOVIO) || !(f0 & CANFDX)) {
            if (window_ == 0)
                window_ = uint32_t(opt_.blockSize);
        }
        blockSize_ = opt_.blockSize;
        if (window_ != 0 && window_ < blockSize_)
            blockSize_ = std::max<size_t>(window_, 32);
    }

    int sendFile(SourceFile& f, int filesLeft, uint64_t& bytesLeft) {
        const uint64_t size = f.size();
        const std::string& name = f.name();
        std::vector<uint8_t> info(name.begin(), name.end());
        info.push_back(0);
        char rest[128];
        // Size, modification time (octal), mode (0: the receiver's default), serial, what is left.
        std::snprintf(rest, sizeof rest, "%" PRIu64 " %llo 0 0 %d %" PRIu64, size,
                      static_cast<unsigned long long>(std::max<int64_t>(f.modified(), 0)), filesLeft,
                      bytesLeft);
        info.insert(info.end(), rest, rest + std::strlen(rest));
        info.push_back(0);
        if (int rc = link_.progress(0, size); rc != 0)
            return link_.abortWith(rc);

        for (int tries = 0; tries <= link_.timings().retries;) {
            appendBinaryHeader(link_.out(), Header::flags(ZFILE, ZCBIN), crc32_, link_.esc());
            appendSubpacket(link_.out(), info.data(), info.size(), ZCRCW, crc32_, link_.esc());
            if (int rc = link_.flush(); rc != 0)
                return link_.abortWith(rc);
            const auto offered = Clock::now();
            bool resend = false;
            while (!resend) {
                const auto r = link_.in().readHeader(link_.after(link_.timings().responseWait));
                if (isFatalRead(r.status))
                    return link_.readFailure(r.status);
                if (r.status != Status::Ok) {
                    ++tries;
                    resend = true;
                    break;
                }
                switch (r.header.type) {
                case ZRPOS: {
                    const int rc = sendData(f, r.header.position(), size);
                    bytesLeft -= std::min(bytesLeft, size);
                    return rc;
                }
                case ZSKIP:
                    bytesLeft -= std::min(bytesLeft, size);
                    return 0;
                case ZCRC: {
                    const uint32_t crc = fileCrc(f, r.header.position());
                    if (int rc = link_.sendHex(Header::at(ZCRC, crc)); rc != 0)
                        return link_.abortWith(rc);
                    break;
                }
                case ZRINIT:
                    // One that crossed our ZFILE on the line (the answer to ZRQINIT) is stale; one
                    // that comes after a pause means the receiver never saw the file offered.
                    if (Clock::now() - offered < link_.timings().responseWait / 4)
                        break;
                    ++tries;
                    resend = true;
                    break;
                case ZNAK:
                    ++tries;
                    resend = true;
                    break;
                case ZFIN:
                case ZCAN:
                case ZABORT:
                case ZFERR:
                    return TransferErrRemoteAbort;
                default:
                    break;
                }
            }
        }
        return link_.abortWith(TransferErrTimeout);
    }

    static uint32_t fileCrc(SourceFile& f, uint32_t length) {
        uint32_t reg = 0xFFFFFFFFu;
        const uint64_t end = length ? std::min<uint64_t>(length, f.size()) : f.size();
        uint8_t buf[8192];
        for (uint64_t at = 0; at < end;) {
            const long n = f.readAt(at, buf, size_t(std::min<uint64_t>(end - at, sizeof buf)));
            if (n <= 0)
                break;
            reg = crc32Update(reg, buf, size_t(n));
            at += uint64_t(n);
        }
        return ~reg;
    }

    // Streams the file from pos, following the receiver's ZRPOS, until ZEOF is acknowledged.
    int sendData(SourceFile& f, uint32_t pos, uint64_t size) {
        std::vector<uint8_t> block(blockSize_);
        RetryBudget budget(link_.timings().retries);
        uint32_t confirmed = pos; // what the receiver has said it holds
        auto acked = [&](uint32_t at) {
            if (at > confirmed) {
                budget.progressed(at - confirmed);
                confirmed = at;
            }
        };
        // The receiver asks for data from want: what it confirmed on the way earns retries back and
        // the request costs one. Asking again for the same place means the line spoils our blocks:
        // smaller ones then.
        bool exhausted = false;
        auto request = [&](uint32_t want) {
            cleanRun_ = 0;
            if (want <= confirmed)
                blockSize_ = std::max<size_t>(blockSize_ / 2, 64);
            acked(want);
            confirmed = want;
            exhausted = exhausted || !budget.spend();
        };
        for (;;) {
            if (exhausted)
                return link_.abortWith(TransferErrProtocol);
            if (pos > size)
                pos = uint32_t(size);
            bool atEnd = pos >= size;
            if (!atEnd) {
                appendBinaryHeader(link_.out(), Header::at(ZDATA, pos), crc32_, link_.esc());
                uint32_t sinceAck = 0;
                bool restart = false;
                while (!restart) {
                    const size_t want = size_t(std::min<uint64_t>(blockSize_, size - pos));
                    const long got = f.readAt(pos, block.data(), want);
                    if (got < 0)
                        return link_.abortWith(TransferErrFile);
                    const size_t n = size_t(got);
                    atEnd = n < want || pos + n >= size;
                    FrameEnd end = ZCRCG;
                    if (atEnd)
                        end = ZCRCE;
                    else if (window_ != 0 && sinceAck + n >= window_)
                        end = ZCRCW;
                    appendSubpacket(link_.out(), block.data(), n, end, crc32_, link_.esc());
                    pos += uint32_t(n);
                    sinceAck += uint32_t(n);
                    // While streaming, a few subpackets go out in one write and the back channel
                    // is looked at between writes.
                    // After a complaint, subpackets go out one by one for a while.
                    cleanRun_ += n;
                    if (end == ZCRCG && cleanRun_ > kStreamWrite * 4 && link_.out().size() < kStreamWrite)
                        continue;
                    if (int rc = link_.flush(); rc != 0)
                        return link_.abortWith(rc);
                    if (int rc = link_.progress(pos, size); rc != 0)
                        return link_.abortWith(rc);
                    if (atEnd)
                        break;
                    if (end == ZCRCW) {
                        const int rc = waitForAck(pos, restart);
                        if (rc != 0)
                            return rc;
                        if (restart) {
                            if (ackSilent_)
                                exhausted = !budget.spend();
                            else
                                request(ackPos_);
                            pos = ackPos_;
                        } else {
                            acked(pos);
                            sinceAck = 0;
                            appendBinaryHeader(link_.out(), Header::at(ZDATA, pos), crc32_, link_.esc());
                        }
                        continue;
                    }
                    // The receiver talks only to complain: look at the back channel between subpackets.
                    while (!restart && link_.in().ready()) {
                        const int c = link_.in().get(Clock::now());
                        if (c != ZPAD && c != CAN)
                            continue;
                        link_.in().unget(uint8_t(c));
                        const auto r = link_.in().readHeader(link_.after(link_.timings().responseWait));
                        if (isFatalRead(r.status))
                            return link_.readFailure(r.status);
                        if (r.status != Status::Ok)
                            continue;
                        if (r.header.type == ZRPOS) {
                            pos = r.header.position();
                            request(pos);
                            restart = true;
                        } else if (r.header.type == ZACK) {
                            acked(r.header.position());
                        } else if (r.header.type == ZSKIP) {
                            return 0;
                        } else if (r.header.type == ZCAN || r.header.type == ZABORT ||
                                   r.header.type == ZFERR) {
                            return TransferErrRemoteAbort;
                        }
                    }
                    if (restart) {
                        // Finish the frame cleanly so the receiver can find the next header.
                        appendSubpacket(link_.out(), nullptr, 0, ZCRCE, crc32_, link_.esc());
                        if (int rc = link_.flush(); rc != 0)
                            return link_.abortWith(rc);
                    }
                }
                if (restart)
                    continue;
            }
            // End of file: ZEOF until the receiver asks for the next file or for data again.
            bool restart = false;
            for (int tries = 0; tries <= link_.timings().retries && !restart;) {
                appendBinaryHeader(link_.out(), Header::at(ZEOF, pos), crc32_, link_.esc());
                if (int rc = link_.flush(); rc != 0)
                    return link_.abortWith(rc);
                bool resend = false;
                while (!resend && !restart) {
                    const auto r = link_.in().readHeader(link_.after(link_.timings().responseWait));
                    if (isFatalRead(r.status))
                        return link_.readFailure(r.status);
                    if (r.status != Status::Ok) {
                        ++tries;
                        resend = true;
                        break;
                    }
                    switch (r.header.type) {
                    case ZRINIT:
                    case ZSKIP:
                        return 0;
                    case ZRPOS:
                        pos = r.header.position();
                        request(pos);
                        restart = true;
                        break;
                    case ZNAK:
                        ++tries;
                        resend = true;
                        break;
                    case ZCAN:
                    case ZABORT:
                    case ZFERR:
                    case ZFIN:
                        return TransferErrRemoteAbort;
                    default:
                        break; // a late ZACK
                    }
                }
            }
            if (!restart)
                return link_.abortWith(TransferErrTimeout);
        }
    }

    // After ZCRCW: waits for ZACK. restart is set when the receiver asks for data again (ackPos_),
    // or said nothing at all (ackSilent_).
    int waitForAck(uint32_t pos, bool& restart) {
        ackSilent_ = false;
        for (int tries = 0; tries <= link_.timings().retries; ++tries) {
            const auto r = link_.in().readHeader(link_.after(link_.timings().responseWait));
            if (isFatalRead(r.status))
                return link_.readFailure(r.status);
            if (r.status != Status::Ok)
                continue;
            switch (r.header.type) {
            case ZACK:
                if (r.header.position() == pos)
                    return 0;
                break;
            case ZRPOS:
                ackPos_ = r.header.position();
                restart = true;
                return 0;
            case ZCAN:
            case ZABORT:
            case ZFERR:
                return TransferErrRemoteAbort;
            default:
                break;
            }
        }
        // No answer: start a new frame, which the receiver either takes or answers with its place.
        ackPos_ = pos;
        ackSilent_ = true;
        restart = true;
        return 0;
    }

    int finish() {
        for (int tries = 0; tries < 3; ++tries) {
            if (int rc = link_.sendHex(Header::at(ZFIN, 0)); rc != 0)
                return link_.abortWith(rc);
            for (;;) {
                const auto r = link_.in().readHeader(link_.after(link_.timings().responseWait));
                if (r.status == Status::Stopped)
                    return link_.readFailure(r.status);
                if (r.status != Status::Ok)
                    break;
                if (r.header.type == ZFIN) {
                    link_.out().push_back('O');
                    link_.out().push_back('O');
                    link_.flush();
                    return 0;
                }
            }
        }
        // Every file was confirmed; only the goodbye went missing.
        return 0;
    }

    Link link_;
    const ZmodemOptions& opt_;
    bool crc32_ = false;
    uint32_t window_ = 0;
    size_t blockSize_ = 1024;
    uint32_t ackPos_ = 0;
    bool ackSilent_ = false;
    size_t cleanRun_ = 0; // bytes sent since the receiver last asked for data again
};

// ---------------------------------------------------------------------------------------------
class Receiver {
public:
    Receiver(TransferContext& ctx, IncomingFiles& files, const ZmodemOptions& options)
        : link_(ctx), opt_(options), files_(files) {}

    int run() {
        int received = 0;
        int tries = 0;
        bool sendInit = true;
        std::vector<uint8_t> data;
        // Before the first file, ZRINIT is repeated at the start interval as a start request.
        wait_ = link_.timings().startInterval;
        int limit = link_.timings().startTries;
        for (;;) {
            if (tries > limit)
                return link_.abortWith(TransferErrTimeout);
            if (sendInit) {
                if (int rc = sendZrinit(); rc != 0)
                    return link_.abortWith(rc);
            }
            sendInit = true;
            const auto r = link_.in().readHeader(link_.after(wait_));
            if (isFatalRead(r.status))
                return link_.readFailure(r.status);
            if (r.status != Status::Ok) {
                ++tries;
                continue;
            }
            crc32_ = r.encoding == ZBIN32;
            switch (r.header.type) {
            case ZRQINIT:
                ++tries;
                break;
            case ZSINIT: {
                const auto s = link_.in().readSubpacket(data, kMaxFileInfo, crc32_, link_.after(wait_));
                if (isFatalRead(s.status))
                    return link_.readFailure(s.status);
                if (s.status == Status::Ok) {
                    if (r.header.zf0() & TESCCTL)
                        link_.esc().setEscapeAll(true);
                    if (int rc = link_.sendHex(Header::at(ZACK, 1)); rc != 0)
                        return link_.abortWith(rc);
                    sendInit = false;
                } else {
                    ++tries;
                    if (int rc = link_.sendHex(Header::at(ZNAK, 0)); rc != 0)
                        return link_.abortWith(rc);
                    sendInit = false;
                }
                break;
            }
            case ZFILE: {
                const auto s = link_.in().readSubpacket(data, kMaxFileInfo, crc32_, link_.after(wait_));
                if (isFatalRead(s.status))
                    return link_.readFailure(s.status);
                if (s.status != Status::Ok) {
                    ++tries;
                    if (int rc = link_.sendHex(Header::at(ZNAK, 0)); rc != 0)
                        return link_.abortWith(rc);
                    sendInit = false;
                    break;
                }
                wait_ = link_.timings().blockWait;
                const int rc = receiveFile(data);
                if (rc < 0)
                    return rc;
                if (rc > 0)
                    ++received;
                tries = 0;
                limit = link_.timings().retries;
                break;
            }
            case ZFIN:
                if (int rc = link_.sendHex(Header::at(ZFIN, 0)); rc != 0)
                    return link_.abortWith(rc);
                awaitOverAndOut();
                return received;
            case ZCAN:
            case ZABORT:
                return TransferErrRemoteAbort;
            case ZCOMMAND:
                // We run no commands for the peer.
                if (int rc = link_.sendHex(Header::at(ZCOMPL, 1)); rc != 0)
                    return link_.abortWith(rc);
                sendInit = false;
                break;
            default:
                ++tries;
                break;
            }
        }
    }

private:
    int sendZrinit() {
        uint8_t f0 = CANFDX | CANOVIO | CANFC32;
        if (opt_.escapeAll)
            f0 |= ESCCTL;
        Header h = Header::flags(ZRINIT, f0);
        h.b[0] = uint8_t(opt_.receiveBuffer);
        h.b[1] = uint8_t(opt_.receiveBuffer >> 8);
        return link_.sendHex(h);
    }

    // Takes the sender's "OO" off the line, so that it does not show in the terminal afterwards. It
    // comes straight after our ZFIN has gone out; a sender that exits at once may lose it on the way.
    void awaitOverAndOut() {
        link_.drain(link_.after(kOverAndOutWait * 10));
        const auto deadline = Clock::now() + std::min<milliseconds>(link_.timings().quiet, kOverAndOutWait);
        int seen = 0;
        while (seen < 2) {
            const int c = link_.in().get(deadline);
            if (c < 0)
                return;
            seen = c == 'O' ? seen + 1 : 0;
        }
    }

    struct FileInfo {
        std::string name;
        uint64_t size = 0;
        int64_t mtime = 0;
    };

    // Name, then "size mtime ..." with size in decimal and mtime in octal. A field that is not a
    // plain unsigned number in range (a sign, a stray character, too many digits) counts as absent.
    static FileInfo parseInfo(const std::vector<uint8_t>& data) {
        FileInfo info;
        const auto nul = std::find(data.begin(), data.end(), uint8_t(0));
        info.name.assign(data.begin(), nul);
        if (nul == data.end())
            return info;
        const std::string rest(nul + 1, std::find(nul + 1, data.end(), uint8_t(0)));
        const char* at = rest.c_str();
        const char* end = at + rest.size();
        auto field = [&](int base, uint64_t& value) {
            while (at < end && *at == ' ')
                ++at;
            const auto r = std::from_chars(at, end, value, base);
            const bool ok = r.ec == std::errc() && (r.ptr == end || *r.ptr == ' ');
            at = ok ? r.ptr : end;
            return ok;
        };
        uint64_t size = 0, mtime = 0;
        if (field(10, size))
            info.size = size;
        if (field(8, mtime) && mtime <= uint64_t(INT64_MAX))
            info.mtime = int64_t(mtime);
        return info;
    }

    // 1 when the file arrived, 0 when it was skipped, or a negative result code.
    int receiveFile(const std::vector<uint8_t>& infoData) {
        const FileInfo info = parseInfo(infoData);
        const std::string stored = files_.begin(info.name, info.size, info.mtime);
        if (stored.empty()) {
            // Nowhere to put it: the whole receive fails, and the sender hears it at once.
            return link_.abortWith(TransferErrFile);
        }
        // Progress never runs past its total: a sender that sends more than it announced (or
        // announced nothing) has its total follow the data.
        auto report = [&](uint32_t done) {
            return link_.progress(done, std::max<uint64_t>(info.size, done));
        };
        if (int rc = report(0); rc != 0)
            return giveUp(rc, true);

        uint32_t pos = 0;
        RetryBudget budget(link_.timings().retries);
        std::vector<uint8_t> data;
        data.reserve(kMaxSubpacket);
        ZmodemInput& in = link_.in();
        bool ask = true;
        bool firstAsk = true;
        // After asking for a position, everything until the sender's ZDATA there is what it had
        // already sent: passed over without asking again, up to kRecoveryGarbage bytes.
        bool recovering = false;
        uint64_t askedAt = 0;
        bool hurry = false;  // the sender has finished its stream: its answer is due at once
        bool silent = false; // the last failure was silence rather than damage
        for (;;) {
            if (ask) {
                if (!firstAsk && !budget.spend())
                    return giveUp(silent ? TransferErrTimeout : TransferErrProtocol, true);
                firstAsk = false;
                ask = false;
                hurry = false;
                if (int rc = link_.sendHex(Header::at(ZRPOS, pos)); rc != 0)
                    return giveUp(rc, true);
                recovering = true;
                askedAt = in.consumed();
            }
            const uint64_t passed = in.consumed() - askedAt;
            const auto r = in.readHeader(
                link_.after(hurry ? std::min(wait_, link_.timings().byteGap) : wait_),
                recovering ? kRecoveryGarbage - std::min(passed, kRecoveryGarbage) : UINT64_MAX);
            if (isFatalRead(r.status))
                return giveUp(link_.readFailure(r.status), false);
            silent = r.status == Status::Timeout;
            // Passes over one more piece of the old stream, or asks again once that has gone on too long.
            auto passOver = [&] { ask = !recovering || in.consumed() - askedAt > kRecoveryGarbage; };
            if (r.status != Status::Ok) {
                if (silent)
                    ask = true;
                else
                    passOver();
                continue;
            }
            crc32_ = r.encoding == ZBIN32;
            switch (r.header.type) {
            case ZDATA: {
                if (r.header.position() != pos) {
                    passOver();
                    break;
                }
                recovering = false;
                for (;;) {
                    const auto s = in.readSubpacket(data, kMaxSubpacket, crc32_, link_.after(wait_));
                    if (isFatalRead(s.status))
                        return giveUp(link_.readFailure(s.status), false);
                    if (s.status != Status::Ok) {
                        silent = s.status == Status::Timeout;
                        ask = true;
                        break;
                    }
                    if (!data.empty() && !files_.write(data.data(), data.size()))
                        return giveUp(TransferErrFile, true);
                    pos += uint32_t(data.size());
                    budget.progressed(data.size());
                    if (int rc = report(pos); rc != 0)
                        return giveUp(rc, true);
                    if (s.end == ZCRCQ || s.end == ZCRCW) {
                        if (int rc = link_.sendHex(Header::at(ZACK, pos)); rc != 0)
                            return giveUp(rc, true);
                    }
                    if (s.end == ZCRCW || s.end == ZCRCE)
                        break;
                }
                break;
            }
            case ZEOF:
                // Everything up to the sender's end is here, whatever we asked for last.
                if (r.header.position() == pos) {
                    if (!files_.finish())
                        return giveUp(TransferErrFile, false);
                    return 1;
                }
                // The end of a stream we asked to be sent again: the sender's answer follows
                // straight away, unless our request went missing.
                if (recovering)
                    hurry = true;
                passOver();
                break;
            case ZFILE: {
                // Our ZRPOS went missing and the sender offers the file again.
                const auto s = in.readSubpacket(data, kMaxFileInfo, crc32_, link_.after(wait_));
                if (isFatalRead(s.status))
                    return giveUp(link_.readFailure(s.status), false);
                ask = true;
                break;
            }
            case ZNAK:
                ask = true;
                break;
            case ZFIN:
            case ZCAN:
            case ZABORT:
                return giveUp(TransferErrRemoteAbort, false);
            default:
                passOver();
                break;
            }
        }
    }

    int giveUp(int code, bool tellPeer) {
        files_.abandon();
        if (tellPeer)
            link_.cancel();
        return code;
    }

    Link link_;
    const ZmodemOptions& opt_;
    IncomingFiles& files_;
    milliseconds wait_{0}; // for the next header
    bool crc32_ = false;
};

} // namespace

std::string FolderFiles::begin(const std::string& senderName, uint64_t, int64_t) {
    abandon();
    current_ = folder_.begin(senderName);
    return current_.valid() ? current_.name() : std::string();
}

bool FolderFiles::write(const uint8_t* data, size_t size) {
    if (!current_.valid())
        return false;
    pending_.insert(pending_.end(), data, data + size);
    return pending_.size() < kFileWrite || flush();
}

bool FolderFiles::flush() {
    const bool ok = current_.write(pending_.data(), pending_.size());
    pending_.clear();
    return ok;
}

void FolderFiles::abandon() {
    pending_.clear();
    current_.discard();
}

bool FolderFiles::finish() {
    if (!flush()) {
        abandon();
        return false;
    }
    const std::string path = current_.commit();
    if (path.empty())
        return false;
    completed_.push_back(path);
    return true;
}

int zmodemSend(TransferContext& ctx, const std::vector<std::string>& paths, const ZmodemOptions& options) {
    Sender sender(ctx, options);
    return sender.run(paths);
}

int zmodemReceive(TransferContext& ctx, IncomingFiles& files, const ZmodemOptions& options) {
    Receiver receiver(ctx, files, options);
    return receiver.run();
}

} // namespace seriallib
