#include "Upgoldverthread.h"

#include "engine_view.h"
#include "link_clock.h"
#include "Rs232_setup.h"
#include "seriallib.h"

namespace {

constexpr int kBaudCode115200 = 16;
constexpr int kReplyReads = 50;
constexpr int kReplySize = 50;

} // namespace

UpgOldVersion1Thread::UpgOldVersion1Thread(UpgradeJob job, QObject* parent)
    : QThread(parent), job_(std::move(job)) {}

void UpgOldVersion1Thread::run() {
    const auto view = engineView();
    SleepMs(10);
    static constexpr char kStopApplication[] = "at+wopen=0\r\n";
    SendAtExpectOkTries(kStopApplication, int(sizeof kStopApplication - 1), 15);
    SleepMs(3000);
    CloseComPort();

    view->setProgress(0);
    view->setProgressMax(100);
    view->setStatusTitle("Upgrade Firmware To Modem");
    view->setStatusText("Initial...");
    const int port = job_.port;
    if (SerialOpen(port) == 0 && SerialSetLine(port, kBaudCode115200, SerialData8) == 0)
        download(port);
    SerialClose(port);
    view->endStatusModal();
}

void UpgOldVersion1Thread::download(int port) {
    const auto view = engineView();
    XmodemProgress progress;
    SerialSetFlowControl(port, job_.flowBits);
    SerialFlush(port, 2);
    SleepMs(10);
    WriteLibCommand(port, "at+wdwl\r\n");
    // Lets the command leave, then drops its echo and "OK".
    SerialFlush(port, 2);
    view->setStatusTitle("Upgrade Firmware To Modem");
    view->setStatusText("Downloading...");
    if (job_.file.empty()) {
        xmodemResult_.store(-12);
        return;
    }
    const int sent = FileSendXmodemChecksum(
        port, job_.file.c_str(),
        [&progress](int done, int a, int b, int total) { return progress(done, a, b, total); }, 27);
    xmodemResult_.store(sent);
    if (sent < 0)
        return;
    restartModem(port);
    watchInstall(port);
}

void UpgOldVersion1Thread::restartModem(int port) {
    SleepMs(50);
    WriteLibCommand(port, "at+cfun=1\r\n");
    ReplyWatch watch({"OK"}, {});
    FollowReplies(port, kReplyReads, kReplySize, watch, [](const ReplyWatch::Found&) {
        SleepMs(10);
        return true;
    });
    // The application starts again whether or not the restart was answered.
    WriteLibCommand(port, "at+wopen=1\r\n");
    SleepMs(500);
}

void UpgOldVersion1Thread::watchInstall(int port) {
    const auto view = engineView();
    SleepMs(4500);
    WriteLibCommand(port, "at*default\r\n");
    enum Verdict { Failed, UpOk };
    enum Progress { Grading, Storing };
    ReplyWatch watch({"ad Failed", "up OK"}, {"grading", "storing"});
    FollowReplies(port, kReplyReads, kReplySize, watch, [&](const ReplyWatch::Found& f) {
        if (f.kind == ReplyWatch::Kind::Progress) {
            view->setStatusText(f.index == Grading ? "Upgrading..." : "Setting Modem...");
            return false;
        }
        if (f.index == Failed) {
            view->setStatusText("Upgrade Fail!!");
            upgradeResult_.store(-1);
        } else {
            view->setStatusText("Upgrade Success!!");
            upgradeResult_.store(1);
            SleepMs(500);
        }
        return true;
    });
    SleepMs(1200);
    WriteLibCommand(port, "at+wind=0\r\n");
    SleepMs(100);
    WriteLibCommand(port, "at&w\r\n");
}
