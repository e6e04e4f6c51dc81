#include "zmodem_session.h"

#include "seriallib.h"
#include "zmodem_link.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <optional>

namespace seriallib {
namespace {

using namespace zmodem;

constexpr size_t kMaxSubpacket = 8192; // what our receiver accepts (the largest any sender uses)
constexpr size_t kMaxFileInfo = 1024;
// What a receiver passes over after asking for a position before it asks again: more than a
// windowed sender has in flight, with escaping, and what the line's buffers hold.
constexpr uint64_t kRecoveryGarbage = 64 * 1024;
constexpr std::chrono::milliseconds kOverAndOutWait{100};

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
    // One file's data phase on our side.
    struct ReceiveRun {
        uint64_t size; // as the sender announced it
        uint32_t pos = 0;
        RetryBudget budget;
        std::vector<uint8_t> data;
        bool ask = true;
        bool firstAsk = true;
        // After asking for a position, everything until the sender's ZDATA there is what it had
        // already sent: passed over without asking again, up to kRecoveryGarbage bytes.
        bool recovering = false;
        uint64_t askedAt = 0;
        bool hurry = false;  // the sender has finished its stream: its answer is due at once
        bool silent = false; // the last failure was silence rather than damage
    };

    // Progress never runs past its total: a sender that sends more than it announced (or announced
    // nothing) has its total follow the data.
    int report(const ReceiveRun& run) {
        return link_.progress(run.pos, std::max<uint64_t>(run.size, run.pos));
    }

    // Asks for data from run.pos when a step said so; a result when the transfer ends here.
    std::optional<int> askWhenDue(ReceiveRun& run) {
        if (!run.ask)
            return std::nullopt;
        if (!run.firstAsk && !run.budget.spend())
            return giveUp(run.silent ? TransferErrTimeout : TransferErrProtocol, true);
        run.firstAsk = false;
        run.ask = false;
        run.hurry = false;
        if (int rc = link_.sendHex(Header::at(ZRPOS, run.pos)); rc != 0)
            return giveUp(rc, true);
        run.recovering = true;
        run.askedAt = link_.in().consumed();
        return std::nullopt;
    }

    // The subpackets of a ZDATA frame at our position into the file, acknowledged where the sender
    // wants it; a result when the transfer ends here.
    std::optional<int> takeDataFrame(ReceiveRun& run) {
        run.recovering = false;
        for (;;) {
            const auto s = link_.in().readSubpacket(run.data, kMaxSubpacket, crc32_, link_.after(wait_));
            if (isFatalRead(s.status))
                return giveUp(link_.readFailure(s.status), false);
            if (s.status != Status::Ok) {
                run.silent = s.status == Status::Timeout;
                run.ask = true;
                return std::nullopt;
            }
            if (!run.data.empty() && !files_.write(run.data.data(), run.data.size()))
                return giveUp(TransferErrFile, true);
            run.pos += uint32_t(run.data.size());
            run.budget.progressed(run.data.size());
            if (int rc = report(run); rc != 0)
                return giveUp(rc, true);
            if (s.end == ZCRCQ || s.end == ZCRCW) {
                if (int rc = link_.sendHex(Header::at(ZACK, run.pos)); rc != 0)
                    return giveUp(rc, true);
            }
            if (s.end == ZCRCW || s.end == ZCRCE)
                return std::nullopt;
        }
    }

    int receiveFile(const std::vector<uint8_t>& infoData) {
        const FileInfo info = parseInfo(infoData);
        const std::string stored = files_.begin(info.name, info.size, info.mtime);
        if (stored.empty()) {
            // Nowhere to put it: the whole receive fails, and the sender hears it at once.
            return link_.abortWith(TransferErrFile);
        }
        ReceiveRun run{info.size, 0, RetryBudget(link_.timings().retries), {}};
        if (int rc = report(run); rc != 0)
            return giveUp(rc, true);
        run.data.reserve(kMaxSubpacket);
        ZmodemInput& in = link_.in();
        for (;;) {
            if (const auto rc = askWhenDue(run))
                return *rc;
            const uint64_t passed = in.consumed() - run.askedAt;
            const auto r = in.readHeader(
                link_.after(run.hurry ? std::min(wait_, link_.timings().byteGap) : wait_),
                run.recovering ? kRecoveryGarbage - std::min(passed, kRecoveryGarbage) : UINT64_MAX);
            if (isFatalRead(r.status))
                return giveUp(link_.readFailure(r.status), false);
            run.silent = r.status == Status::Timeout;
            // Passes over one more piece of the old stream, or asks again once that has gone on too long.
            auto passOver = [&] {
                run.ask = !run.recovering || in.consumed() - run.askedAt > kRecoveryGarbage;
            };
            if (r.status != Status::Ok) {
                if (run.silent)
                    run.ask = true;
                else
                    passOver();
                continue;
            }
            crc32_ = r.encoding == ZBIN32;
            switch (r.header.type) {
            case ZDATA:
                if (r.header.position() != run.pos) {
                    passOver();
                    break;
                }
                if (const auto rc = takeDataFrame(run))
                    return *rc;
                break;
            case ZEOF:
                // Everything up to the sender's end is here, whatever we asked for last.
                if (r.header.position() == run.pos) {
                    if (!files_.finish())
                        return giveUp(TransferErrFile, false);
                    return 1;
                }
                // The end of a stream we asked to be sent again: the sender's answer follows
                // straight away, unless our request went missing.
                if (run.recovering)
                    run.hurry = true;
                passOver();
                break;
            case ZFILE: {
                // Our ZRPOS went missing and the sender offers the file again.
                const auto s = in.readSubpacket(run.data, kMaxFileInfo, crc32_, link_.after(wait_));
                if (isFatalRead(s.status))
                    return giveUp(link_.readFailure(s.status), false);
                run.ask = true;
                break;
            }
            case ZNAK:
                run.ask = true;
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

int zmodemReceive(TransferContext& ctx, IncomingFiles& files, const ZmodemOptions& options) {
    Receiver receiver(ctx, files, options);
    return receiver.run();
}

} // namespace seriallib
