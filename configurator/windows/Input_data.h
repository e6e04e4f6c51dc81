#pragma once
// The PIN entry dialog: after it ends, InputLabelEdit holds the PIN, or nothing when none was given.

#include <QDialog>

#include <memory>

class QCloseEvent;
class QLabel;
class QLineEdit;
class QPushButton;

namespace Ui {
class TFinput_data;
}

class TFinput_data : public QDialog {
    Q_OBJECT
public:
    explicit TFinput_data(QWidget* parent = nullptr);
    ~TFinput_data() override;

    QLineEdit* InputLabelEdit;
    QLabel* InputLabelEditLabel;
    QPushButton* In_OK;
    QPushButton* In_Cancel;
    // 1 once OK was pressed.
    int PinAccepted = 0;

    // Every way the dialog ends (OK, Cancel, Escape, the close box) comes here: only OK keeps the entry.
    void done(int result) override;

public slots:
    void In_OKClick();
    void In_CancelClick();

private:
    void FormClose();

    std::unique_ptr<Ui::TFinput_data> ui_;
};

extern TFinput_data* Finput_data;
