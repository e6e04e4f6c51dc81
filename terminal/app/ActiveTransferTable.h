// The transfers running in the program, one slot each: the library's progress callback finds its own
// transfer by the thread it is called on, asks it to stop when its stop flag is set, and hands a new
// done count to the transfer's progress dialog.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

namespace halvic {

// Set by the progress dialog's button (or at once when no slot was free); the transfer then ends.
class TransferStop {
public:
    void set() { set_ = true; }
    bool isSet() const { return set_; }

private:
    std::atomic<bool> set_{false};
};

struct TransferProgress {
    int percent = 0;
    int done = 0;
    int total = 0;
    std::string path; // receives: the slot's path text
};

// Hands a progress block to a dialog; called on the transfer's thread, so it may only post.
using ProgressTarget = std::function<void(const TransferProgress&)>;

inline constexpr int TransferSlots = 256;

// Slot index, or -1 when all are taken. thread identifies the worker (its QThread); extra is the
// path text shown with receive progress.
int RegisterTransfer(const void* thread, ProgressTarget dialog, std::shared_ptr<TransferStop> stop,
                     const std::string& extra);
// A negative slot is ignored.
void UnregisterTransfer(int slot);
void ResetTransfers();

// A batch receive on the calling thread has started the file `name`: it becomes the slot's path
// text, and the dialog hears of it at once.
void ReceivedFileName(const std::string& name);

// The library's progress callbacks: -1 to abort, 0 to go on.
int TransmitProgress(int done, int, int, int total);
int ReceiveProgress(int done, int, int, int total);

} // namespace halvic
