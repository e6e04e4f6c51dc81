#include "zmodem_session.h"

#include "crc.h"
#include "seriallib.h"
#include "source_file.h"
#include "zmodem_link.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <memory>

namespace seriallib {
namespace {

using namespace zmodem;

constexpr size_t kStreamWrite = 8192; // bytes gathered before a write while streaming

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
            reg = wire::crc32Update(reg, buf, size_t(n));
            at += uint64_t(n);
        }
        return ~reg;
    }

    // One file's data phase: where we are, what the receiver holds, and the failures it may still cost.
    struct DataRun {
        SourceFile& f;
        uint64_t size;
        uint32_t pos;
        uint32_t confirmed; // what the receiver has said it holds
        RetryBudget budget;
        std::vector<uint8_t> block;
        bool exhausted = false;
        int result = 0; // once a step says Done
    };
    // What a step of the data phase leads to.
    enum class Next { Stream, EndOfFile, Again, Done };

    static Next done(DataRun& run, int result) {
        run.result = result;
        return Next::Done;
    }

    // What the receiver confirmed on the way earns retries back.
    static void acknowledged(DataRun& run, uint32_t at) {
        if (at > run.confirmed) {
            run.budget.progressed(at - run.confirmed);
            run.confirmed = at;
        }
    }

    // The receiver asks for data from want: the request costs one. Asking again for the same place
    // means the line spoils our blocks: smaller ones then.
    void requested(DataRun& run, uint32_t want) {
        cleanRun_ = 0;
        if (want <= run.confirmed)
            blockSize_ = std::max<size_t>(blockSize_ / 2, 64);
        acknowledged(run, want);
        run.confirmed = want;
        run.exhausted = run.exhausted || !run.budget.spend();
    }

    // Streams the file from pos, following the receiver's ZRPOS, until ZEOF is acknowledged.
    int sendData(SourceFile& f, uint32_t pos, uint64_t size) {
        DataRun run{
            f, size, pos, pos, RetryBudget(link_.timings().retries), std::vector<uint8_t>(blockSize_)};
        for (;;) {
            if (run.exhausted)
                return link_.abortWith(TransferErrProtocol);
            if (run.pos > size)
                run.pos = uint32_t(size);
            Next next = run.pos < size ? streamFrame(run) : Next::EndOfFile;
            if (next == Next::EndOfFile)
                next = sendEndOfFile(run);
            if (next == Next::Done)
                return run.result;
        }
    }

    // One ZDATA frame from run.pos: subpackets until the end of the file, or until the receiver asks
    // for data again.
    Next streamFrame(DataRun& run) {
        appendBinaryHeader(link_.out(), Header::at(ZDATA, run.pos), crc32_, link_.esc());
        uint32_t sinceAck = 0;
        for (;;) {
            const size_t want = size_t(std::min<uint64_t>(blockSize_, run.size - run.pos));
            const long got = run.f.readAt(run.pos, run.block.data(), want);
            if (got < 0)
                return done(run, link_.abortWith(TransferErrFile));
            const size_t n = size_t(got);
            const bool atEnd = n < want || run.pos + n >= run.size;
            FrameEnd end = ZCRCG;
            if (atEnd)
                end = ZCRCE;
            else if (window_ != 0 && sinceAck + n >= window_)
                end = ZCRCW;
            appendSubpacket(link_.out(), run.block.data(), n, end, crc32_, link_.esc());
            run.pos += uint32_t(n);
            sinceAck += uint32_t(n);
            // While streaming, a few subpackets go out in one write and the back channel is looked
            // at between writes. After a complaint, subpackets go out one by one for a while.
            cleanRun_ += n;
            if (end == ZCRCG && cleanRun_ > kStreamWrite * 4 && link_.out().size() < kStreamWrite)
                continue;
            if (int rc = link_.flush(); rc != 0)
                return done(run, link_.abortWith(rc));
            if (int rc = link_.progress(run.pos, run.size); rc != 0)
                return done(run, link_.abortWith(rc));
            if (atEnd)
                return Next::EndOfFile;
            const Next next = end == ZCRCW ? awaitWindowAck(run) : watchBackChannel(run);
            if (next != Next::Stream)
                return next;
            if (end == ZCRCW) {
                sinceAck = 0;
                appendBinaryHeader(link_.out(), Header::at(ZDATA, run.pos), crc32_, link_.esc());
            }
        }
    }

    // After a ZCRCW subpacket: Stream on when the receiver acknowledged it, Again from where it wants.
    Next awaitWindowAck(DataRun& run) {
        bool restart = false;
        if (int rc = waitForAck(run.pos, restart); rc != 0)
            return done(run, rc);
        if (!restart) {
            acknowledged(run, run.pos);
            return Next::Stream;
        }
        if (ackSilent_)
            run.exhausted = !run.budget.spend();
        else
            requested(run, ackPos_);
        run.pos = ackPos_;
        return Next::Again;
    }

    // The receiver talks only to complain: look at the back channel between subpackets.
    Next watchBackChannel(DataRun& run) {
        bool restart = false;
        while (!restart && link_.in().ready()) {
            const int c = link_.in().get(Clock::now());
            if (c != ZPAD && c != CAN)
                continue;
            link_.in().unget(uint8_t(c));
            const auto r = link_.in().readHeader(link_.after(link_.timings().responseWait));
            if (isFatalRead(r.status))
                return done(run, link_.readFailure(r.status));
            if (r.status != Status::Ok)
                continue;
            if (r.header.type == ZRPOS) {
                run.pos = r.header.position();
                requested(run, run.pos);
                restart = true;
            } else if (r.header.type == ZACK) {
                acknowledged(run, r.header.position());
            } else if (r.header.type == ZSKIP) {
                return done(run, 0);
            } else if (r.header.type == ZCAN || r.header.type == ZABORT || r.header.type == ZFERR) {
                return done(run, TransferErrRemoteAbort);
            }
        }
        if (!restart)
            return Next::Stream;
        // Finish the frame cleanly so the receiver can find the next header.
        appendSubpacket(link_.out(), nullptr, 0, ZCRCE, crc32_, link_.esc());
        if (int rc = link_.flush(); rc != 0)
            return done(run, link_.abortWith(rc));
        return Next::Again;
    }

    // End of file: ZEOF until the receiver asks for the next file or for data again.
    Next sendEndOfFile(DataRun& run) {
        // A file that grew or was rewritten while it was sent is not the one announced.
        if (run.f.changed())
            return done(run, link_.abortWith(TransferErrFile));
        for (int tries = 0; tries <= link_.timings().retries;) {
            appendBinaryHeader(link_.out(), Header::at(ZEOF, run.pos), crc32_, link_.esc());
            if (int rc = link_.flush(); rc != 0)
                return done(run, link_.abortWith(rc));
            for (;;) {
                const auto r = link_.in().readHeader(link_.after(link_.timings().responseWait));
                if (isFatalRead(r.status))
                    return done(run, link_.readFailure(r.status));
                if (r.status != Status::Ok || r.header.type == ZNAK) {
                    ++tries;
                    break;
                }
                switch (r.header.type) {
                case ZRINIT:
                case ZSKIP:
                    return done(run, 0);
                case ZRPOS:
                    run.pos = r.header.position();
                    requested(run, run.pos);
                    return Next::Again;
                case ZCAN:
                case ZABORT:
                case ZFERR:
                case ZFIN:
                    return done(run, TransferErrRemoteAbort);
                default:
                    break; // a late ZACK
                }
            }
        }
        return done(run, link_.abortWith(TransferErrTimeout));
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

} // namespace

int zmodemSend(TransferContext& ctx, const std::vector<std::string>& paths, const ZmodemOptions& options) {
    Sender sender(ctx, options);
    return sender.run(paths);
}

} // namespace seriallib
