// The worker thread of one file transfer (FileTransmitThread / FileReceiveThread): it waits until the
// port's reader has stepped aside, then runs the library's send or receive of the chosen protocol.
#pragma once

#include "ActiveTransferTable.h"

#include <QString>
#include <QThread>

#include <atomic>
#include <memory>
#include <string>

namespace halvic {

class ReaderControl;

inline constexpr int ProtocolCount = 7;
inline constexpr int AutoDownloadProtocol = 7; // shown as ZModem
inline constexpr int ReceiveCodeBase = 100;

// The protocol's name as the dialogs show it (the automatic download shows "ZModem").
QString ProtocolName(int protocol);
// Kermit, YModem, ZModem and the automatic download receive a batch into a folder.
bool IsBatchReceive(int protocol);

// What one transfer does on the port.
struct TransferJob {
    int port = 0;
    int protocol = 0; // 0..6, 7 the automatic download
    bool receive = false;
    std::string path;   // the file to send or to receive into
    std::string folder; // batch receives: the receive folder
};

// Calls the library function of the job; 0 without a call for a protocol outside the table.
int RunTransferJob(const TransferJob& job);

class TransferWorker : public QThread {
    Q_OBJECT
public:
    // reader: the port's reader, paused by the caller; null when none runs.
    TransferWorker(TransferJob job, ReaderControl* reader, std::shared_ptr<TransferStop> stop,
                   QObject* parent = nullptr);
    ~TransferWorker() override;

    const TransferJob& job() const { return job_; }
    // The library's result, once finished.
    int result() const { return result_; }
    // errno right after the library returned (the text of a -10 result).
    int systemError() const { return systemError_; }

protected:
    void run() override;

private:
    const TransferJob job_;
    ReaderControl* reader_;
    std::shared_ptr<TransferStop> stop_;
    std::atomic<int> result_{0};
    std::atomic<int> systemError_{0};
};

} // namespace halvic
