#pragma once
// The status window shown while a worker runs: only gui::endModal ends it.

#include <QDialog>

#include <memory>

class QCloseEvent;
class QLabel;
class QProgressBar;

namespace Ui {
class TFprogressbar;
}

class TFprogressbar : public QDialog {
    Q_OBJECT
public:
    explicit TFprogressbar(QWidget* parent = nullptr);
    ~TFprogressbar() override;

    QLabel* StatusTitle;
    QLabel* StatusContent;
    QProgressBar* ProgressBar1;

    // Escape does nothing: the user cannot end the window.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    std::unique_ptr<Ui::TFprogressbar> ui_;
};

extern TFprogressbar* Fprogressbar;
