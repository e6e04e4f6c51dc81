// The File Transfer dialog: the protocol and the direction of the next transfer. The choice is kept
// for the rest of the run, so the dialog opens with the last one (ASCII, Transmit at first).
#pragma once

#include <QDialog>

class QButtonGroup;

namespace halvic {

class CFileTransferDlg : public QDialog {
    Q_OBJECT
public:
    enum Direction { Transmit = 0, Receive = 1 };

    explicit CFileTransferDlg(QWidget* parent = nullptr);

    int protocol() const;
    int direction() const;

    void accept() override;

private:
    QButtonGroup* protocols_;
    QButtonGroup* directions_;
};

} // namespace halvic
