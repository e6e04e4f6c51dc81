#include "Progressivebar.h"

#include "ui_TFprogressbar.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>

TFprogressbar* Fprogressbar = nullptr;

TFprogressbar::TFprogressbar(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::TFprogressbar>()) {
    ui_->setupUi(this);
    StatusTitle = ui_->StatusTitle;
    StatusContent = ui_->StatusContent;
    ProgressBar1 = ui_->ProgressBar1;

    // No close box and no system menu.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    // The texts come and go; keep each line's height so the window does not jump.
    StatusTitle->setMinimumHeight(StatusTitle->fontMetrics().height());
    StatusContent->setMinimumHeight(StatusContent->fontMetrics().height());
    adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
    }
    Fprogressbar = this;
}

TFprogressbar::~TFprogressbar() {
    if (Fprogressbar == this) {
        Fprogressbar = nullptr;
    }
}

void TFprogressbar::reject() {}

void TFprogressbar::closeEvent(QCloseEvent* event) {
    event->ignore();
}
