// The view's file transfers: the File Transfer command, the file and folder choice, the worker with
// its progress dialog, the done handler and the automatic ZMODEM download.
#include "BrowseForFolder.h"
#include "file_dialogs.h"
#include "FileTransferDlg.h"
#include "gui.h"
#include "HalvicDoc.h"
#include "HalvicView.h"
#include "LatestProgress.h"
#include "messenger.h"
#include "PortErrors.h"
#include "ReaderThread.h"
#include "receive_pipeline.h"
#include "seriallib.h"
#include "TransferDialogs.h"
#include "TransferReport.h"
#include "TransferWorker.h"

#include <QApplication>
#include <QFileInfo>

namespace halvic {

namespace {

template <size_t N>
QString fieldPath(const std::array<char, N>& field) {
    return QString::fromLocal8Bit(terminal::fieldText(field));
}

template <size_t N>
void setFieldPath(std::array<char, N>& field, const QString& path) {
    // A path too long for the record leaves the one it had.
    terminal::setFieldText(field, path.toLocal8Bit().toStdString());
}

QString folderOf(const QString& path) {
    return QFileInfo(path).absolutePath() + QLatin1Char('/');
}

const QString AllFiles = QStringLiteral("*.*|*.*");

} // namespace

void CHalvicView::OnFileTransfer() {
    if (IsBusy() || !doc_.IsPortOpen())
        return;
    CFileTransferDlg dialog(this);
    if (gui::execModal(&dialog) != QDialog::Accepted)
        return;
    TransferProtocol = dialog.protocol();
    if (dialog.direction() == CFileTransferDlg::Transmit)
        TransmitFile(TransferProtocol);
    else
        ReceiveFile(TransferProtocol);
}

void CHalvicView::TransmitFile(int protocol) {
    TransferSettings& settings = doc_.transferSettings;
    const QString path = gui::fileDialogs().openFile(
        QStringLiteral("Transmit File"), fieldPath(settings.transmitFolder), gui::qtFilter(AllFiles));
    if (path.isEmpty())
        return;
    setFieldPath(settings.transmitFolder, folderOf(path));
    TransferPath = path.toLocal8Bit().toStdString();
    TransferStopEvent = std::make_shared<TransferStop>();
    auto* dialog = new CTransmitFileDlg(doc_.caption(), doc_.activePort(), QFileInfo(path).fileName(),
                                        protocol, TransferStopEvent, this);
    startTransfer(dialog, protocol, false, QString());
}

void CHalvicView::ReceiveFile(int protocol) {
    TransferSettings& settings = doc_.transferSettings;
    const QString receiveDirectory = fieldPath(settings.receiveDirectory);
    QString folder;
    if (IsBatchReceive(protocol)) {
        if (!BrowseForFolder(this, folder, receiveDirectory))
            return;
        TransferPath.clear();
    } else {
        const QString path = gui::fileDialogs().saveFile(QStringLiteral("Receive File"), receiveDirectory,
                                                         gui::qtFilter(AllFiles), true);
        if (path.isEmpty())
            return;
        TransferPath = path.toLocal8Bit().toStdString();
        folder = folderOf(path);
    }
    setFieldPath(settings.receiveDirectory, folder);
    StartReceiveThread(ReceiveCodeBase + protocol, folder);
}

bool CHalvicView::StartReceiveThread(int receiveCode, const QString& folder) {
    const int protocol = receiveCode - ReceiveCodeBase;
    const int shown = protocol == AutoDownloadProtocol ? 6 : protocol;
    TransferStopEvent = std::make_shared<TransferStop>();
    TransferProgressDlg* dialog = nullptr;
    if (IsBatchReceive(protocol))
        dialog =
            new CReceiveFileDlg(doc_.caption(), doc_.activePort(), folder, shown, TransferStopEvent, this);
    else
        dialog = new CReceiveStatusDlg(doc_.caption(), doc_.activePort(),
                                       QString::fromLocal8Bit(TransferPath), shown, TransferStopEvent, this);
    return startTransfer(dialog, protocol, true, folder);
}

bool CHalvicView::startTransfer(TransferProgressDlg* dialog, int protocol, bool receive,
                                const QString& folder) {
    transferDlg_ = dialog;
    dialog->Create();
    ReaderControl* reader = reader_ ? &reader_->control() : nullptr;
    // A transmit takes over a request the receiver made while the reader still had the line.
    if (reader)
        reader->pause(!receive);
    TransferJob job{doc_.activePort(), protocol, receive, TransferPath, folder.toLocal8Bit().toStdString()};
    worker_ = std::make_unique<TransferWorker>(std::move(job), reader, TransferStopEvent);
    // Progress comes on the worker's thread; the dialog takes it on the GUI thread. Only the latest
    // block waits there: a fast line makes thousands a second, and one repaint each held the GUI
    // thread behind a queue that everything else (keys, the end of the transfer) waited for.
    auto latest = std::make_shared<LatestProgress>();
    ProgressTarget toDialog = [dialog, latest](const TransferProgress& progress) {
        if (!latest->put(progress))
            return;
        QMetaObject::invokeMethod(
            dialog,
            [dialog, latest] {
                if (const auto block = latest->take())
                    dialog->showProgress(*block);
            },
            Qt::QueuedConnection);
    };
    TransferSlot = RegisterTransfer(worker_.get(), std::move(toDialog), TransferStopEvent, TransferPath);
    if (TransferSlot < 0)
        TransferStopEvent->set();
    connect(worker_.get(), &QThread::finished, this, &CHalvicView::OnTransferDone, Qt::QueuedConnection);
    worker_->start();
    if (!worker_->isRunning() && !worker_->isFinished()) {
        worker_.reset();
        endTransfer();
        ShowSystemError(doc_.caption());
        return false;
    }
    setBusy(true);
    return true;
}

void CHalvicView::endTransfer() {
    TransferStopEvent.reset();
    if (transferDlg_)
        transferDlg_->DestroyWindow();
    transferDlg_ = nullptr;
    pipeline_->ResetZmodemDetect();
    if (reader_)
        reader_->control().resume();
    UnregisterTransfer(TransferSlot);
    TransferSlot = -1;
    setBusy(false);
}

void CHalvicView::OnTransferDone() {
    if (!worker_ || !worker_->isFinished())
        return;
    const TransferJob job = worker_->job();
    const int result = worker_->result();
    const int systemError = worker_->systemError();
    worker_.reset();
    endTransfer();
    // Shown here, on the GUI thread, once the window is usable again.
    const int direction = job.receive ? DirectionReceive : DirectionTransmit;
    if (result < 0) {
        ReportTransferError(job.port, result, ReceiveCodeBase + job.protocol, direction, systemError);
        return;
    }
    const TransferMessage ok = TransferResultMessage(job.port, result, 0, direction, 0);
    gui::messenger().show(ok.caption, ok.text, gui::Icon::Information);
}

void CHalvicView::OnZmodemAutoDownload() {
    // Only an idle, open port with its reader running starts a download; anything else (a second
    // header, a transfer or pattern under way, a modal window, a closing port) is ignored.
    if (!doc_.transferSettings.zmodemAutoDownload || !doc_.IsPortOpen() || !readerRunning() || closeWait_ ||
        IsBusy() || QApplication::activeModalWidget())
        return;
    TransferProtocol = AutoDownloadProtocol;
    TransferPath.clear();
    StartReceiveThread(ReceiveCodeBase + AutoDownloadProtocol,
                       fieldPath(doc_.transferSettings.receiveDirectory));
}

} // namespace halvic
