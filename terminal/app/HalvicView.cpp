#include "HalvicView.h"

#include "CaptureSink.h"
#include "HalvicApp.h"
#include "HalvicDoc.h"
#include "PatternSender.h"
#include "PortErrors.h"
#include "ReaderThread.h"
#include "receive_pipeline.h"
#include "seriallib.h"
#include "TransferWorker.h"
#include "WaitDlg.h"

#include <QScrollBar>
#include <QThread>
#include <QTimerEvent>

#include <array>

namespace halvic {

CHalvicView::CHalvicView(CHalvicDoc& doc, const TerminalFont& font, QWidget* parent)
    : QAbstractScrollArea(parent), doc_(doc), capture_(std::make_shared<CaptureSink>()),
      patterns_(new PatternSender(this)), pipeline_(std::make_shared<terminal::ReceivePipeline>(doc.screen)) {
    doc_.setView(this);
    connect(capture_.get(), &CaptureSink::statusMessage, this, &CHalvicView::SetStatusMessage);
    connect(capture_.get(), &CaptureSink::capturingChanged, this, &CHalvicView::captureChanged);
    connect(patterns_, &PatternSender::busyChanged, this, &CHalvicView::setBusy);
    pipeline_->setCapture(capture_);
    // Found on the reader's thread (or in the local echo): the start is the GUI thread's.
    pipeline_->setOnZmodemHeader([this] {
        QMetaObject::invokeMethod(this, &CHalvicView::OnZmodemAutoDownload, Qt::QueuedConnection);
    });
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    viewport()->setAutoFillBackground(true);
    QPalette palette = viewport()->palette();
    palette.setColor(QPalette::Window, background_);
    viewport()->setPalette(palette);
    viewport()->setCursor(Qt::IBeamCursor);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    SetViewFont(font);
}

CHalvicView::~CHalvicView() {
    // The frame closes only once the reader has ended; anything else still running is ended here.
    if (worker_) {
        TransferStopEvent->set();
        SerialAbortTransmit(doc_.portSettings.portNumber);
        SerialAbortReceive(doc_.portSettings.portNumber);
        worker_->wait();
        UnregisterTransfer(TransferSlot);
    }
    if (reader_) {
        reader_->control().stop();
        reader_->wait();
    }
    if (doc_.view() == this)
        doc_.setView(nullptr);
}

void CHalvicView::setBusy(bool busy) {
    if (busy_ == busy)
        return;
    busy_ = busy;
    emit busyChanged(busy);
}

bool CHalvicView::readerRunning() const {
    return reader_ && !reader_->isFinished();
}

void CHalvicView::forgetReader() {
    reader_.reset();
}

bool CHalvicView::OpenPortAndStartReader() {
    const QString caption = doc_.caption();
    std::shared_ptr<const terminal::TermcapTable> table = doc_.binding.table;
    pipeline_->setAutoDownload(doc_.transferSettings.zmodemAutoDownload != 0);
    reader_ = std::make_unique<ReaderThread>(doc_.activePort(), doc_.terminalType(), table, pipeline_);
    reader_->setDoubleByte(doubleByte_);
    ReaderThread* reader = reader_.get();
    connect(reader, &ReaderThread::screenChanged, this, &CHalvicView::takeScreenChanges,
            Qt::QueuedConnection);
    connect(
        reader, &ReaderThread::repaintAll, this, [this] { viewport()->update(); }, Qt::QueuedConnection);
    reader_->start();
    if (!reader_->isRunning() && !reader_->isFinished()) {
        ShowSystemError(caption);
        reader_.reset();
        return false;
    }
    const int start = doc_.screen->lock()->screenStartLine();
    RecalcScrollBars(clientWidth_, clientHeight_);
    verticalScrollBar()->setValue(start);
    viewport()->update();
    return true;
}

bool CHalvicView::StopReader() {
    if (!reader_)
        return true;
    reader_->control().stop();
    if (!reader_->wait(QDeadlineTimer(10)))
        return false;
    forgetReader();
    return true;
}

void CHalvicView::OnRawData(const uint8_t* data, size_t length) {
    pipeline_->rawData(data, length);
    takeScreenChanges();
}

void CHalvicView::OnInitialUpdate() {
    terminalType_ = doc_.terminalSettings.terminalType;
    emit titleChanged(BuildPortTitle());
    if (!doc_.IsPortOpen()) {
        emit portStateChanged(false);
        ResizeFrameToTerminal();
        return;
    }
    if (!startReaderOrClose())
        return;
    ResizeFrameToTerminal();
    RecalcScrollBars(clientWidth_, clientHeight_);
    verticalScrollBar()->setValue(doc_.screen->lock()->screenStartLine());
}

void CHalvicView::OnOpenPort() {
    if (!doc_.IsPortOpen()) {
        // A type chosen while the port was disabled needs a screen of its own, as a reopen builds it.
        const bool typeChanged = doc_.screen->lock()->type() != doc_.terminalType();
        const bool opened = typeChanged ? doc_.PreparePort() : doc_.OpenPort();
        if (!opened || !doc_.IsPortOpen() || !startReaderOrClose())
            return;
        if (typeChanged) {
            OnClearScreen();
            ResizeFrameToTerminal();
        }
    }
    setFocus();
    emit portStateChanged(true);
}

bool CHalvicView::startReaderOrClose() {
    if (!OpenPortAndStartReader()) {
        emit closeRequested();
        return false;
    }
    emit portStateChanged(true);
    emit lineStatusWanted();
    return true;
}

void CHalvicView::OnClosePort() {
    StopReaderThen(TimerClosePortWait);
    setFocus();
    emit portStateChanged(false);
}

void CHalvicView::StopReaderThen(int timerId) {
    if (reader_) {
        reader_->control().stop();
        if (!reader_->wait(QDeadlineTimer(100))) {
            if (!closeWait_) {
                afterStop_ = timerId;
                closePortTimer_.start(100, this);
                closeWait_ = true;
            }
            return;
        }
    }
    forgetReader();
    finishAfterStop(timerId);
}

void CHalvicView::finishAfterStop(int timerId) {
    if (timerId == TimerReopenWait)
        ReopenPort();
    else
        FinishClosePort();
}

void CHalvicView::timerEvent(QTimerEvent* event) {
    if (event->timerId() != closePortTimer_.timerId()) {
        QAbstractScrollArea::timerEvent(event);
        return;
    }
    if (reader_ && !reader_->wait(QDeadlineTimer(10)))
        return;
    forgetReader();
    closePortTimer_.stop();
    closeWait_ = false;
    finishAfterStop(afterStop_);
}

void CHalvicView::ReleaseReaderEvents() {
    // The reader's events go with it; it has ended before this runs.
    forgetReader();
    capture_->stop();
}

void CHalvicView::FinishClosePort() {
    ReleaseReaderEvents();
    doc_.ClosePort();
    emit portStateChanged(doc_.IsPortOpen());
    emit statusBarRepaint();
}

void CHalvicView::OnProperties() {
    doc_.SaveSettingsCopy();
    const int oldType = doc_.terminalSettings.terminalType;
    if (!doc_.RunSettingsSheet(true))
        return;
    doc_.app().SetModified();
    terminalType_ = doc_.terminalSettings.terminalType;
    if (doc_.IsPortOpen()) {
        if (terminalType_ != oldType) {
            StopReaderThen(TimerReopenWait);
        } else if (!doc_.ConfigurePort()) {
            doc_.RestoreSettingsCopy();
            // The line goes back to what the window shows again.
            doc_.ConfigurePort();
            return;
        } else {
            doc_.KeepSettings();
        }
    } else {
        doc_.KeepSettings();
    }
    pipeline_->setAutoDownload(doc_.transferSettings.zmodemAutoDownload != 0);
    emit titleChanged(BuildPortTitle());
    emit statusBarRepaint();
}

void CHalvicView::ReopenPort() {
    ReleaseReaderEvents();
    doc_.ClosePort();
    emit portStateChanged(false);
    QThread::msleep(100);
    if (!doc_.PreparePort() || !doc_.IsPortOpen()) {
        doc_.RestoreSettingsCopy();
        terminalType_ = doc_.terminalSettings.terminalType;
        return;
    }
    doc_.KeepSettings();
    if (!startReaderOrClose())
        return;
    OnClearScreen();
    emit titleChanged(BuildPortTitle());
    emit statusBarRepaint();
    ResizeFrameToTerminal();
}

void CHalvicView::OnSendBreak() {
    auto* wait = new CWaitDlg(QStringLiteral("Sending Break ..."), window());
    wait->Create(window());
    SerialSendBreak(doc_.portSettings.portNumber, 2);
    QThread::msleep(500);
    wait->DestroyWindow();
}

void CHalvicView::SetStatusMessage(const QString& text) {
    emit statusMessage(text);
}

void CHalvicView::OnToggleDtr() {
    doc_.portSettings.dtr = doc_.portSettings.dtr == 0 ? 1 : 0;
    SerialSetDtr(doc_.portSettings.portNumber, doc_.portSettings.dtr);
}

void CHalvicView::OnToggleRts() {
    doc_.portSettings.rts = doc_.portSettings.rts == 0 ? 1 : 0;
    SerialSetRts(doc_.portSettings.portNumber, doc_.portSettings.rts);
}

void CHalvicView::OnClearScreen() {
    int start = 0;
    {
        auto state = doc_.screen->lock();
        state->ClearBuffer();
        start = state->screenStartLine();
    }
    verticalScrollBar()->setValue(start);
    horizontalScrollBar()->setValue(0);
    viewport()->update();
}

void CHalvicView::ResizeFrameToTerminal() {
    emit terminalSizeChanged(terminalPixelSize());
}

QString CHalvicView::BuildPortTitle() const {
    static const std::array<const char*, 20> bauds = {
        "50",   "75",   "110",  "134.5", "150",   "300",   "600",    "1200",   "1800",   "2400",
        "4800", "7200", "9600", "19200", "38400", "57600", "115200", "230400", "460800", "921600"};
    static const std::array<const char*, 5> parities = {"None", "Even", "Odd", "Mark", "Space"};
    static const std::array<const char*, 4> dataBits = {"5", "6", "7", "8"};
    static const std::array<const char*, 2> stopBits = {"1", "2"};
    static const std::array<const char*, 3> types = {"ANSI", "VT100", "Dumb Terminal"};
    auto pick = [](const auto& table, int index) -> QString {
        return index >= 0 && static_cast<size_t>(index) < table.size() ? QString::fromLatin1(table[index])
                                                                       : QString();
    };
    const PortSettings& p = doc_.portSettings;
    QString title = QStringLiteral("COM%1,").arg(p.portNumber);
    title += pick(bauds, p.baudIndex) + QLatin1Char(',');
    title += pick(parities, p.parityIndex) + QLatin1Char(',');
    title += pick(dataBits, p.dataBitsIndex) + QLatin1Char(',');
    title += pick(stopBits, p.stopBitsIndex) + QLatin1Char(',');
    if (HardwareFlow(p))
        title += QStringLiteral("RTS/CTS,");
    if (SoftwareFlow(p))
        title += QStringLiteral("XON/XOFF,");
    title += pick(types, doc_.terminalSettings.terminalType);
    return title.left(71);
}

void CHalvicView::OnDoubleByte() {
    doubleByte_ = !doubleByte_;
    if (reader_)
        reader_->setDoubleByte(doubleByte_);
    viewport()->update();
}

} // namespace halvic
