#pragma once
// The bridge between worker threads and the GUI thread.

#include <functional>

class QDialog;
class QThread;

namespace gui {

// True on the thread that owns the application object (or when there is none yet).
bool onGuiThread();

// Runs f on the GUI thread and returns when it has run: at once when called there, else as a
// blocking queued call. The GUI thread keeps f's nested event loops (message boxes) working.
// An exception thrown by f reaches the caller on its own thread.
void call(const std::function<void()>& f);

template <typename R>
R callFor(const std::function<R()>& f) {
    R result{};
    call([&] { result = f(); });
    return result;
}

// Waits on the GUI thread until the thread has finished, still running the calls it makes
// through gui::call meanwhile (a plain QThread::wait() would deadlock). Returns at once for a
// thread that never started or has finished. Safe to call off the GUI thread (then a plain wait).
void waitPumping(QThread* thread);

// Ends a modal dialog with a result: done() while its exec() runs; before exec() has started the
// result is latched and exec() returns it at once; outside any exec() the dialog is not hidden.
// May be called from any thread (off the GUI thread it is carried out there, like gui::call).
void endModal(QDialog* dialog, int result);

// The dialog's exec() that honours a latched endModal; use it in place of QDialog::exec(). A dialog
// shown modeless is hidden first, so that it comes back application-modal.
int execModal(QDialog* dialog);

// Drops a result latched by an endModal that came after the dialog's last exec() had ended (a late
// end from a worker that was cancelled), so that the next execModal waits again.
void resetModal(QDialog* dialog);

// Whether the dialog is inside execModal() now (GUI thread).
bool inModal(const QDialog* dialog);

} // namespace gui
