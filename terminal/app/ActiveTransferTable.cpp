#include "ActiveTransferTable.h"

#include <QThread>

#include <array>
#include <mutex>

namespace halvic {

namespace {

struct Slot {
    const void* thread = nullptr; // null: free
    ProgressTarget dialog;
    std::shared_ptr<TransferStop> stop;
    int lastDone = 0;
    std::string extra;
};

// Shared by every port's workers and the GUI thread.
std::mutex tableMutex;
std::array<Slot, TransferSlots> table;

int progress(int done, int total, bool withPath) {
    ProgressTarget dialog;
    TransferProgress block;
    {
        std::lock_guard lock(tableMutex);
        const void* self = QThread::currentThread();
        Slot* slot = nullptr;
        for (Slot& s : table)
            if (s.thread == self) {
                slot = &s;
                break;
            }
        if (!slot || (slot->stop && slot->stop->isSet()))
            return -1;
        if (done == slot->lastDone)
            return 0;
        slot->lastDone = done;
        block.done = done;
        block.total = total;
        block.percent = total > 0 ? static_cast<int>(static_cast<double>(done) / total * 100.0) : 0;
        if (withPath)
            block.path = slot->extra;
        dialog = slot->dialog;
    }
    if (dialog)
        dialog(block);
    return 0;
}

} // namespace

int RegisterTransfer(const void* thread, ProgressTarget dialog, std::shared_ptr<TransferStop> stop,
                     const std::string& extra) {
    std::lock_guard lock(tableMutex);
    for (size_t i = 0; i < table.size(); ++i) {
        if (table[i].thread)
            continue;
        table[i] = Slot{thread, std::move(dialog), std::move(stop), 0, extra};
        return static_cast<int>(i);
    }
    return -1;
}

void UnregisterTransfer(int slot) {
    if (slot < 0 || slot >= TransferSlots)
        return;
    std::lock_guard lock(tableMutex);
    table[static_cast<size_t>(slot)] = Slot{};
}

void ResetTransfers() {
    std::lock_guard lock(tableMutex);
    table.fill(Slot{});
}

int TransmitProgress(int done, int, int, int total) {
    return progress(done, total, false);
}

int ReceiveProgress(int done, int, int, int total) {
    return progress(done, total, true);
}

} // namespace halvic
