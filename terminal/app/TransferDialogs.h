// The modeless progress dialogs of a file transfer: Transmit File (with a bar), Receive File for batch
// receives (with a bar) and the Receive File status of single-file receives (with Stop). Their button,
// Enter, Escape and the close box all ask the transfer to stop; the dialog stays until the transfer's
// done handler destroys it.
#pragma once

#include "ActiveTransferTable.h"

#include <QDialog>

#include <memory>

class QFormLayout;
class QLabel;
class QProgressBar;
class QPushButton;

namespace halvic {

class TransferProgressDlg : public QDialog {
    Q_OBJECT
public:
    // Shows the dialog beside its owner and paints it at once.
    void Create();
    // Hides the dialog; it deletes itself once control is back in the event loop.
    void DestroyWindow();
    virtual void showProgress(const TransferProgress& progress) = 0;
    QPushButton* button() const { return button_; }
    // The text shown in the row of a control (objectName of the value label).
    QString field(const QString& name) const;

public slots:
    void accept() override { stopTransfer(); }
    void reject() override { stopTransfer(); }

protected:
    TransferProgressDlg(const QString& title, const QString& buttonText, bool transmit, int port,
                        std::shared_ptr<TransferStop> stop, QWidget* parent);
    QLabel* addRow(const QString& label, const QString& name, const QString& text);
    void addBar();
    void closeEvent(QCloseEvent* event) override;
    void setBar(int percent);

private:
    void stopTransfer();

    const bool transmit_;
    const int port_;
    std::shared_ptr<TransferStop> stop_;
    QFormLayout* rows_;
    QProgressBar* bar_ = nullptr;
    QPushButton* button_;
};

class CTransmitFileDlg : public TransferProgressDlg {
    Q_OBJECT
public:
    CTransmitFileDlg(const QString& portName, int port, const QString& fileName, int protocol,
                     std::shared_ptr<TransferStop> stop, QWidget* parent = nullptr);
    void showProgress(const TransferProgress& progress) override;

private:
    QLabel* size_;
    QLabel* length_;
};

class CReceiveFileDlg : public TransferProgressDlg {
    Q_OBJECT
public:
    CReceiveFileDlg(const QString& portName, int port, const QString& folder, int protocol,
                    std::shared_ptr<TransferStop> stop, QWidget* parent = nullptr);
    void showProgress(const TransferProgress& progress) override;

private:
    QString folder_;
    QLabel* name_;
    QLabel* size_;
    QLabel* length_;
};

class CReceiveStatusDlg : public TransferProgressDlg {
    Q_OBJECT
public:
    CReceiveStatusDlg(const QString& portName, int port, const QString& path, int protocol,
                      std::shared_ptr<TransferStop> stop, QWidget* parent = nullptr);
    void showProgress(const TransferProgress& progress) override;

private:
    QLabel* name_;
    QLabel* length_;
};

} // namespace halvic
