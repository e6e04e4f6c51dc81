#include "Input_data.h"

#include "ui_TFinput_data.h"

#include <QGuiApplication>
#include <QScreen>
#include <QThread>

TFinput_data* Finput_data = nullptr;

TFinput_data::TFinput_data(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::TFinput_data>()) {
    ui_->setupUi(this);
    InputLabelEdit = ui_->InputLabelEdit;
    InputLabelEditLabel = ui_->InputLabelEditLabel;
    In_OK = ui_->In_OK;
    In_Cancel = ui_->In_Cancel;

    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    connect(In_OK, &QPushButton::clicked, this, &TFinput_data::In_OKClick);
    connect(In_Cancel, &QPushButton::clicked, this, &TFinput_data::In_CancelClick);
    adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
    }
    Finput_data = this;
    QThread::msleep(10);
}

TFinput_data::~TFinput_data() {
    if (Finput_data == this) {
        Finput_data = nullptr;
    }
}

void TFinput_data::In_OKClick() {
    PinAccepted = 1;
    done(1);
}

void TFinput_data::In_CancelClick() {
    InputLabelEdit->clear();
    done(1);
}

void TFinput_data::FormClose() {
    if (PinAccepted != 1) {
        InputLabelEdit->clear();
    }
}

void TFinput_data::done(int) {
    FormClose();
    QDialog::done(1);
}
