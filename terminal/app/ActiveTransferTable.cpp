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
    int lastTotal = 0;
    std::string extra;
};

int percentOf(int done, int total) {
    return total > 0 ? static_cast<int>(static_cast<double>(done) / total * 100.0) : 0;
}

// The slot of the calling thread's transfer (caller holds tableMutex), or null.
Slot* ownSlot();

// Shared by every port's workers and the GUI thread.
std::mutex tableMutex;
std::array<Slot, TransferSlots> table;

int progress(int done, int total, bool withPath) {
    ProgressTarget dialog;
    TransferProgress block;
    {
        std::lock_guard lock(tableMutex);
        Slot* slot = ownSlot();
        if (!slot || (slot->stop && slot->stop->isSet()))
            return -1;
        slot->lastTotal = total;
        if (done == slot->lastDone)
            return 0;
        slot->lastDone = done;
        block.done = done;
        block.total = total;
        block.percent = percentOf(done, total);
        if (withPath)
            block.path = slot->extra;
        dialog = slot->dialog;
    }
    if (dialog)
        dialog(block);
    return 0;
}

Slot* ownSlot() {
    const void* self = QThread::currentThread();
    for (Slot& s : table)
        if (s.thread == self)
            return &s;
    return nullptr;
}

} // namespace

void ReceivedFileName(const std::string& name) {
    ProgressTarget dialog;
    TransferProgress block;
    {
        std::lock_guard lock(tableMutex);
        Slot* slot = ownSlot();
        if (!slot)
            return;
        slot->extra = name;
        block.done = slot->lastDone;
        block.total = slot->lastTotal;
        block.percent = percentOf(block.done, block.total);
        block.path = name;
        dialog = slot->dialog;
    }
    if (dialog)
        dialog(block);
}

int RegisterTransfer(const void* thread, ProgressTarget dialog, std::shared_ptr<TransferStop> stop,
                     const std::string& extra) {
    std::lock_guard lock(tableMutex);
    for (size_t i = 0; i < table.size(); ++i) {
        if (table[i].thread)
            continue;
        table[i] = Slot{thread, std::move(dialog), std::move(stop), 0, 0, extra};
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
