#include "gui.h"

#include <QCoreApplication>
#include <QDialog>
#include <QEventLoop>
#include <QPointer>
#include <QThread>
#include <QVariant>

#include <exception>

namespace gui {

namespace {

// Per-dialog modal state lives in dynamic properties, touched on the GUI thread only.
constexpr const char* inExecProperty = "_gui_in_exec";
constexpr const char* latchedProperty = "_gui_latched_result";

} // namespace

bool onGuiThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app == nullptr || QThread::currentThread() == app->thread();
}

void call(const std::function<void()>& f) {
    if (onGuiThread()) {
        f();
        return;
    }
    std::exception_ptr failure;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [&] {
            try {
                f();
            } catch (...) {
                failure = std::current_exception();
            }
        },
        Qt::BlockingQueuedConnection);
    if (failure) {
        std::rethrow_exception(failure);
    }
}

void waitPumping(QThread* thread) {
    if (thread == nullptr) {
        return;
    }
    if (!onGuiThread()) {
        thread->wait();
        return;
    }
    if (thread->isRunning()) {
        QEventLoop loop;
        // Connected before the check, so an end between the check and exec() still quits the loop.
        QObject::connect(thread, &QThread::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
        if (!thread->isFinished() && thread->isRunning()) {
            loop.exec(QEventLoop::ExcludeUserInputEvents);
        }
    }
    // finished() is emitted just before the thread really ends; no further call can come from it.
    thread->wait();
}

void endModal(QDialog* dialog, int result) {
    if (dialog == nullptr) {
        return;
    }
    if (!onGuiThread()) {
        call([dialog, result] { endModal(dialog, result); });
        return;
    }
    if (dialog->property(inExecProperty).toBool()) {
        dialog->done(result);
        return;
    }
    // Outside exec(): keep the value only, as the dialog may be shown modeless right now.
    dialog->setResult(result);
    dialog->setProperty(latchedProperty, result);
}

int execModal(QDialog* dialog) {
    if (!onGuiThread()) {
        return callFor<int>([dialog] { return execModal(dialog); });
    }
    const QVariant latched = dialog->property(latchedProperty);
    if (latched.isValid()) {
        dialog->setProperty(latchedProperty, QVariant());
        dialog->setResult(latched.toInt());
        return latched.toInt();
    }
    // A dialog already shown modeless would run exec() without blocking the other windows.
    if (dialog->isVisible() && !dialog->isModal()) {
        dialog->hide();
    }
    const QPointer<QDialog> guard(dialog);
    dialog->setProperty(inExecProperty, true);
    const int result = dialog->exec();
    if (guard) {
        dialog->setProperty(inExecProperty, QVariant());
    }
    return result;
}

void resetModal(QDialog* dialog) {
    if (dialog != nullptr) {
        call([dialog] { dialog->setProperty(latchedProperty, QVariant()); });
    }
}

bool inModal(const QDialog* dialog) {
    return dialog != nullptr && dialog->property(inExecProperty).toBool();
}

} // namespace gui
