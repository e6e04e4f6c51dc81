// The new-firmware job: the image goes whole to the modem after "at*upg", then the modem's words
// tell how its install went.
#include "Loadthread.h"

#include "engine_view.h"
#include "link_clock.h"
#include "seriallib.h"

namespace {

constexpr char kTitle[] = "Upgrade Firmware To Modem";
constexpr int kBaudCode115200 = 16;
constexpr int kReplyReads = 50;
constexpr int kReplySize = 50;

} // namespace

void LoadThread::runUpgrade() {
    const auto view = engineView();
    const int port = upgrade_.port;
    view->setProgressMax(100);
    view->setProgress(0);
    XmodemProgress progress;
    view->setStatusTitle(kTitle);
    view->setStatusText("Initial...");
    SleepMs(200);

    const int opened = SerialOpen(port);
    SleepMs(200);
    if (opened != 0) {
        xmodemResult_.store(-1);
    } else if (SerialSetLine(port, kBaudCode115200, SerialData8) != 0) {
        xmodemResult_.store(-2);
    } else {
        SerialSetFlowControl(port, upgrade_.flowBits);
        WriteLibCommand(port, "at+wind=0\r\n");
        SleepMs(400);
        // The flushes let each command leave before the echo and "OK" are dropped.
        SerialFlush(port, 2);
        WriteLibCommand(port, "at*upg\r\n");
        SerialFlush(port, 2);
        view->setStatusTitle(kTitle);
        view->setStatusText("Loading...");
        const int sent = FileSendXmodemChecksum(
            port, upgrade_.file.c_str(),
            [&progress](int done, int a, int b, int total) { return progress(done, a, b, total); }, 27);
        xmodemResult_.store(sent);
        if (sent >= 0)
            watchNewFirmwareInstall(port);
    }
    SerialClose(port);
    SleepMs(100);
}

void LoadThread::watchNewFirmwareInstall(int port) {
    const auto view = engineView();
    view->setStatusText("Finished loading.");
    enum Verdict { Failed, UpOk, MisMatch };
    enum Progress { Grading, Storing };
    ReplyWatch watch({"Failed", "up OK", "mis-match"}, {"grading", "storing"});
    FollowReplies(port, kReplyReads, kReplySize, watch, [&](const ReplyWatch::Found& f) {
        if (f.kind == ReplyWatch::Kind::Progress) {
            view->setStatusText(f.index == Grading ? "Upgrading..." : "Setting modem...");
            return false;
        }
        if (f.index == Failed) {
            view->setStatusText("Firmware upgrade failed!! Please try again.");
            upgradeResult_.store(-1);
        } else if (f.index == UpOk) {
            view->setStatusText("Firmware upgrade successful!!");
            upgradeResult_.store(1);
            SleepMs(500);
        } else {
            // The modem keeps its firmware and takes its factory profile back.
            upgradeResult_.store(1);
            WriteLibCommand(port, "at&f\r\n");
            WriteLibCommand(port, "atz\r\n");
        }
        return true;
    });
    SleepMs(1200);
    WriteLibCommand(port, "at+wind=0\r\n");
    SleepMs(100);
    WriteLibCommand(port, "at&w\r\n");
}
