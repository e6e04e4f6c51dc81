#include "TransferWorker.h"

#include "ReaderControl.h"
#include "received_name.h"
#include "seriallib.h"

#include <array>
#include <cerrno>
#include <chrono>

namespace halvic {

namespace {

constexpr int AbortKey = 27;
constexpr int AsciiIdleSeconds = 30;
constexpr int BatchFlags = 1;

using SendFn = int (*)(int, const char*, TransferProgressCallback, int);
using SingleReceiveFn = int (*)(int, const char*, TransferProgressCallback, int);
using BatchReceiveFn = int (*)(int, const char**, int, TransferProgressCallback, int);

struct Protocol {
    const char* name;
    SendFn send;
    SingleReceiveFn receiveFile; // ASCII goes its own way (idle time-out)
    BatchReceiveFn receiveBatch;
};

const std::array<Protocol, ProtocolCount + 1> Protocols = {{
    {"ASCII", FileSendAscii, nullptr, nullptr},
    {"Kermit", FileSendKermit, nullptr, FileReceiveKermit},
    {"XModem-1KCRC", FileSendXmodem1KCrc, FileReceiveXmodem1KCrc, nullptr},
    {"XModem-CheckSum", FileSendXmodemChecksum, FileReceiveXmodemChecksum, nullptr},
    {"XModem-CRC", FileSendXmodemCrc, FileReceiveXmodemCrc, nullptr},
    {"YModem", FileSendYmodem, nullptr, FileReceiveYmodem},
    {"ZModem", FileSendZmodem, nullptr, FileReceiveZmodem},
    {"ZModem", nullptr, nullptr, FileReceiveZmodemAuto},
}};

} // namespace

QString ProtocolName(int protocol) {
    if (protocol < 0 || protocol > ProtocolCount)
        return {};
    return QString::fromLatin1(Protocols[static_cast<size_t>(protocol)].name);
}

bool IsBatchReceive(int protocol) {
    return protocol >= 0 && protocol <= ProtocolCount &&
           Protocols[static_cast<size_t>(protocol)].receiveBatch;
}

int RunTransferJob(const TransferJob& job) {
    if (job.protocol < 0 || job.protocol > ProtocolCount)
        return 0;
    const Protocol& p = Protocols[static_cast<size_t>(job.protocol)];
    if (!job.receive)
        return p.send ? p.send(job.port, job.path.c_str(), TransmitProgress, AbortKey) : 0;
    if (p.receiveBatch) {
        const char* folder = job.folder.c_str();
        return p.receiveBatch(job.port, &folder, BatchFlags, ReceiveProgress, AbortKey);
    }
    if (p.receiveFile)
        return p.receiveFile(job.port, job.path.c_str(), ReceiveProgress, AbortKey);
    return FileReceiveAscii(job.port, job.path.c_str(), ReceiveProgress, AbortKey, AsciiIdleSeconds);
}

TransferWorker::TransferWorker(TransferJob job, ReaderControl* reader, std::shared_ptr<TransferStop> stop,
                               QObject* parent)
    : QThread(parent), job_(std::move(job)), reader_(reader), stop_(std::move(stop)) {}

TransferWorker::~TransferWorker() {
    wait();
}

void TransferWorker::run() {
    // The reader may be inside a read that would take the peer's first bytes: the library starts only
    // once the reader says it is paused (or has ended). A stop meanwhile ends the transfer unstarted.
    using namespace std::chrono_literals;
    while (reader_ && !reader_->waitPausedAck(50ms) && !reader_->stopped()) {
        if (stop_ && stop_->isSet()) {
            result_ = TransferErrUserAbort;
            return;
        }
    }
    // A batch receive names each file in its dialog as soon as the sender has given the name.
    const bool batch = job_.receive && IsBatchReceive(job_.protocol);
    if (batch)
        SerialSetReceivedNameListener([](const std::string& name) { ReceivedFileName(name); });
    errno = 0;
    result_ = RunTransferJob(job_);
    systemError_ = errno;
    if (batch)
        SerialSetReceivedNameListener({});
}

} // namespace halvic
