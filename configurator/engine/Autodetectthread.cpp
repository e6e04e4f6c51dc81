#include "Autodetectthread.h"

#include "engine_view.h"
#include "Rs232_setup.h"

AutoDetectThread::AutoDetectThread(QObject* parent) : QThread(parent) {}

void AutoDetectThread::run() {
    if (!GetLinkSettings().AutoDetect)
        return;
    result_.store(AutoDetectBaud(cancel_) == 1 ? 1 : 0);
    requestInterruption();
    engineView()->endDetectModal();
}
