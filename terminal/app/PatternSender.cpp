#include "PatternSender.h"

#include "gui.h"
#include "PatternSendThread.h"
#include "PatternSettings.h"
#include "SendPatternDlg.h"
#include "seriallib.h"
#include "TransmitPatternDlg.h"

namespace halvic {

PatternSender::PatternSender(QObject* parent) : QObject(parent) {}

PatternSender::~PatternSender() {
    if (!thread_)
        return;
    SerialAbortTransmit(port_);
    stop_->set();
    thread_->wait();
    delete thread_;
    delete dialog_;
}

CTransmitPatternDlg* PatternSender::progressDialog() const {
    return dialog_;
}

bool PatternSender::SendPattern(int port, const QString& portName, QWidget* frame) {
    if (thread_)
        return false;
    CSendPatternDlg dlg;
    if (gui::execModal(&dlg) != QDialog::Accepted)
        return false;
    const PatternSettings& settings = patternSettings();
    const bool repeat = settings.entries.countMode == terminal::PatternCountMode::RepeatCount;
    const QString repeatText =
        repeat ? QString::number(settings.repeatCount) : QStringLiteral("Until user break");
    port_ = port;
    stop_ = std::make_shared<StopSignal>();
    dialog_ = new CTransmitPatternDlg(port, stop_, portName, dlg.patternText(), repeatText, frame);
    dialog_->show();

    PatternJob job;
    job.port = port;
    job.pass = dlg.pass();
    job.countMode = settings.entries.countMode;
    job.repeatCount = settings.repeatCount;
    job.stop = stop_;
    thread_ = new PatternSendThread(std::move(job));
    connect(thread_, &PatternSendThread::progress, dialog_, &CTransmitPatternDlg::OnPatternProgress);
    connect(thread_, &PatternSendThread::patternDone, this, &PatternSender::OnPatternDone,
            Qt::QueuedConnection);
    // Busy before the start: the done message can then never come first.
    emit busyChanged(true);
    thread_->start();
    if (!thread_->isRunning() && !thread_->isFinished()) {
        delete thread_;
        thread_ = nullptr;
        stop_.reset();
        delete dialog_;
        emit busyChanged(false);
        return false;
    }
    return true;
}

void PatternSender::OnPatternDone() {
    if (!thread_)
        return;
    thread_->wait();
    delete thread_;
    thread_ = nullptr;
    stop_.reset();
    if (dialog_) {
        dialog_->hide();
        dialog_->deleteLater();
    }
    emit busyChanged(false);
}

} // namespace halvic
