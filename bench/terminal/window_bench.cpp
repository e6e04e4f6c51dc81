// A real port window (reader, receive pipeline, screen model, painting) under the offscreen platform,
// measured on a pty:
//   window_bench flood ansi|vt100|dumb FILE [SCREEN-FILE]   the file, CR LF and an end mark through the
//       window, unthrottled; prints "seconds S paints P gui-held-ms G" once the mark is painted, and
//       writes the screen's rows (trailing blanks cut) and "cursor ROW COLUMN" to SCREEN-FILE, as
//       termreplay prints them.
//   window_bench pty - FILE   the same flood through a pty read by a bare loop, no window: the floor
//       under the flood's figure; prints "seconds S".
//   window_bench capture ansi|vt100|dumb FILE   the same flood with the window capturing to a file;
//       prints as flood does, and "captured N" (the bytes in the capture file).
//   window_bench cpu ansi|vt100|dumb PORT-PATH SECONDS   a window on a line someone else feeds; from the
//       first bytes on, prints "cpu-seconds C wall-seconds W".
//   window_bench download ansi|vt100|dumb PORT-PATH FOLDER   a window with automatic download into
//       FOLDER on a line someone else feeds; prints "ready" once it reads, then ends after the first
//       transfer the detector started has ended.
//   window_bench echo ansi|vt100|dumb KEYS   keys typed into the window, echoed back by the far end;
//       prints "median-ms M p99-ms P" from each key event to the paint that shows its glyph.
//   window_bench show ansi|vt100|dumb   a window on a loopback far end, shown until its standard input
//       ends; prints "window ID" (its X window) once the reader reads, for x_key_echo.
#include "ChildFrame.h"
#include "HalvicApp.h"
#include "HalvicDoc.h"
#include "HalvicView.h"
#include "MainFrame.h"
#include "pty_pair.h"
#include "ReaderThread.h"
#include "scripted_messenger.h"
#include "seriallib.h"
#include "test_application.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QSettings>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <memory>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kPort = 5;
constexpr char kEndMark[] = "<<window-bench-end>>";

int typeCode(const std::string& name) {
    return name == "ansi" ? 0 : name == "vt100" ? 1 : name == "dumb" ? 2 : -1;
}

double cpuSeconds() {
    rusage use{};
    ::getrusage(RUSAGE_SELF, &use);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(use.ru_utime) + seconds(use.ru_stime);
}

// The longest time the GUI thread went without turning its event loop: a 1 ms timer that should fire
// every millisecond, less that millisecond.
class GuiHeldMeter {
public:
    GuiHeldMeter() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(1);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            longest_ = std::max(longest_, clock_.nsecsElapsed() / 1000000.0 - 1.0);
            clock_.restart();
        });
    }
    void start() {
        clock_.start();
        timer_.start();
    }
    double longestMs() const { return std::max(0.0, longest_); }

private:
    QElapsedTimer clock_;
    QTimer timer_;
    double longest_ = 0;
};

// Counts the view's paints and, for each, whether the model it drew from held a wanted glyph.
class PaintWatch : public QObject {
public:
    explicit PaintWatch(halvic::CHalvicView& view) { view.viewport()->installEventFilter(this); }
    int paints() const { return paints_; }
    // Looked at just before each paint, which draws from the model as it then stands.
    std::function<bool()> wanted;
    QElapsedTimer lastWantedPaint;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Paint)
            return false;
        const bool shows = wanted && wanted();
        // The paint runs here so that its end can be timed.
        watched->event(event);
        ++paints_;
        if (shows)
            lastWantedPaint.start();
        return true;
    }

private:
    int paints_ = 0;
};

bool waitFor(const std::function<bool()>& condition, int ms);
std::thread loopback(int master, const std::atomic<bool>& stop);

class Bench {
public:
    // downloadFolder: automatic download into it.
    Bench(int type, const std::string& portPath, const std::string& downloadFolder = {}) {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir_.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir_.path());
        const std::string map = dir_.filePath(QStringLiteral("ports.conf")).toStdString();
        std::ofstream(map) << "COM" << kPort << "=" << portPath << "\n";
        ::setenv("BREL_PORT_MAP", map.c_str(), 1);
        messages_ = gui::ScriptedMessenger::install();
        app_ = std::make_unique<halvic::CHalvicApp>(QCoreApplication::applicationDirPath());
        halvic::SetPort(port_, kPort);
        port_.baudIndex = port_.baudCode = 19; // 921600
        terminal_.terminalType = type;
        terminal_.crCode = terminal_.lfCode = halvic::CodeUnchanged;
        terminal_.localEcho = 0; // the glyph comes back through the line
        if (!downloadFolder.empty()) {
            std::snprintf(transfer_.receiveDirectory.data(), transfer_.receiveDirectory.size(), "%s",
                          downloadFolder.c_str());
            transfer_.zmodemAutoDownload = 1;
        }
        app_->setSettingsSheet([this](halvic::CHalvicDoc& doc, bool) {
            doc.portSettings = port_;
            doc.terminalSettings = terminal_;
            doc.transferSettings = transfer_;
            return true;
        });
        frame_ = std::make_unique<halvic::CMainFrame>(*app_);
        frame_->resize(1000, 700);
        frame_->show();
        child_ = frame_->OnNewPortWindow();
    }
    ~Bench() {
        frame_.reset();
        app_.reset();
        SerialClose(kPort);
    }
    bool ok() const { return child_ != nullptr; }
    // Measuring starts once the reader reads (the dumb reader waits a second before its first read).
    bool readerReads(int master) {
        halvic::ReaderThread* reader = view().reader();
        if (::write(master, "\r", 1) == 1 && waitFor([&] { return reader->blocksRead() > 0; }, 10000))
            return true;
        std::fprintf(stderr, "window_bench: the reader never read\n");
        return false;
    }
    halvic::CHalvicView& view() { return child_->view(); }
    halvic::CHalvicDoc& doc() { return child_->document(); }

    // Whether the cursor's line (or the one above it, after a line end) holds the end mark.
    bool endMarkShown() {
        auto state = doc().screen->lock();
        for (int row : {state->cursorRow(), state->cursorRow() - 1}) {
            if (row < 0)
                continue;
            const auto chars = state->rowChars(row);
            if (std::search(chars.begin(), chars.end(), std::begin(kEndMark), std::end(kEndMark) - 1) !=
                chars.end())
                return true;
        }
        return false;
    }

    // The screen's rows and cursor, as termreplay prints them.
    std::string screenText() {
        auto state = doc().screen->lock();
        std::string out;
        for (int row = 0; row < state->screenLines(); ++row) {
            const auto chars = state->rowChars(row);
            size_t end = chars.size();
            while (end > 0 && chars[end - 1] == ' ')
                --end;
            out.append(reinterpret_cast<const char*>(chars.data()), end);
            out.push_back('\n');
        }
        return out + "cursor " + std::to_string(state->cursorRow()) + " " +
               std::to_string(state->cursorColumn()) + "\n";
    }

private:
    QTemporaryDir dir_;
    std::shared_ptr<gui::ScriptedMessenger> messages_;
    std::unique_ptr<halvic::CHalvicApp> app_;
    std::unique_ptr<halvic::CMainFrame> frame_;
    halvic::CChildFrame* child_ = nullptr;
    halvic::PortSettings port_;
    halvic::TerminalSettings terminal_;
    halvic::TransferSettings transfer_;
};

// Runs the event loop as the program would (QTest's waits sleep between turns) until the condition
// holds, looked at every millisecond, or the time is up.
bool waitFor(const std::function<bool()>& condition, int ms) {
    if (condition())
        return true;
    QEventLoop loop;
    QTimer poll;
    poll.setTimerType(Qt::PreciseTimer);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (condition())
            loop.quit();
    });
    poll.start(1);
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    return condition();
}

void runFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// The file, CR LF and the end mark.
std::string floodBytes(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return bytes + "\r\n" + kEndMark;
}

// The far end of a flood: writes the bytes to the pty's master as fast as it takes them.
std::thread floodPeer(int master, const std::string& bytes, const std::atomic<bool>& stop) {
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    return std::thread([master, &bytes, &stop] {
        size_t sent = 0;
        while (sent < bytes.size() && !stop) {
            pollfd p{master, POLLOUT, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            const ssize_t n =
                ::write(master, bytes.data() + sent, std::min<size_t>(65536, bytes.size() - sent));
            if (n > 0)
                sent += size_t(n);
        }
    });
}

// The floor under the window's figure: the same flood through the same pty, read by a bare loop.
int ptyAlone(const std::string& file) {
    const std::string bytes = floodBytes(file);
    comm::PtyPair pty;
    const int fd = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios raw{};
    if (fd < 0 || ::tcgetattr(fd, &raw) != 0)
        return 1;
    ::cfmakeraw(&raw);
    ::tcsetattr(fd, TCSANOW, &raw);
    std::atomic<bool> stop{false};
    QElapsedTimer clock;
    clock.start();
    std::thread peer = floodPeer(pty.master(), bytes, stop);
    std::vector<char> buffer(65536);
    size_t got = 0;
    while (got < bytes.size() && clock.elapsed() < 600000) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n > 0) {
            got += size_t(n);
            continue;
        }
        pollfd p{fd, POLLIN, 0};
        ::poll(&p, 1, 50);
    }
    const double seconds = clock.nsecsElapsed() / 1e9;
    stop = true;
    peer.join();
    ::close(fd);
    if (got < bytes.size())
        return 1;
    std::printf("seconds %.3f\n", seconds);
    return 0;
}

int flood(int type, const std::string& file, const char* screenFile, const char* captureFile) {
    const std::string bytes = floodBytes(file);
    comm::PtyPair pty;
    Bench bench(type, pty.slavePath());
    if (!bench.ok())
        return 1;
    PaintWatch watch(bench.view());
    watch.wanted = [&] { return bench.endMarkShown(); };
    if (!bench.readerReads(pty.master()))
        return 1;
    if (captureFile) {
        auto& name = bench.doc().transferSettings.captureFileName;
        std::snprintf(name.data(), name.size(), "%s", captureFile);
        bench.view().OnCapture();
        if (!bench.view().capturing()) {
            std::fprintf(stderr, "window_bench: no capture to %s\n", captureFile);
            return 1;
        }
    }
    GuiHeldMeter meter;
    QElapsedTimer clock;
    std::atomic<bool> stop{false};
    meter.start();
    clock.start();
    std::thread peer = floodPeer(pty.master(), bytes, stop);
    const bool done = waitFor([&] { return watch.lastWantedPaint.isValid(); }, 600000);
    const double seconds = clock.nsecsElapsed() / 1e9;
    stop = true;
    peer.join();
    if (!done) {
        std::fprintf(stderr, "window_bench: the end mark never showed\n");
        return 1;
    }
    std::printf("seconds %.3f paints %d gui-held-ms %.1f\n", seconds, watch.paints(), meter.longestMs());
    if (screenFile)
        std::ofstream(screenFile, std::ios::binary) << bench.screenText();
    if (captureFile) {
        bench.view().OnCapture();
        std::printf("captured %lld\n", static_cast<long long>(QFileInfo(captureFile).size()));
    }
    return 0;
}

int cpu(int type, const std::string& portPath, double seconds) {
    Bench bench(type, portPath);
    if (!bench.ok())
        return 1;
    halvic::ReaderThread* reader = bench.view().reader();
    if (!waitFor([&] { return reader->blocksRead() > 0; }, 30000)) {
        std::fprintf(stderr, "window_bench: nothing came\n");
        return 1;
    }
    const double cpuStart = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    runFor(int(seconds * 1000));
    const double wall = clock.nsecsElapsed() / 1e9;
    std::printf("cpu-seconds %.3f wall-seconds %.3f\n", cpuSeconds() - cpuStart, wall);
    return 0;
}

int download(int type, const std::string& portPath, const std::string& folder) {
    Bench bench(type, portPath, folder);
    if (!bench.ok() || !bench.view().readerRunning())
        return 1;
    std::printf("ready\n");
    std::fflush(stdout);
    if (!waitFor([&] { return bench.view().IsBusy(); }, 60000)) {
        std::fprintf(stderr, "window_bench: no download started\n");
        return 1;
    }
    if (!waitFor([&] { return !bench.view().IsBusy(); }, 600000)) {
        std::fprintf(stderr, "window_bench: the download never ended\n");
        return 1;
    }
    std::printf("done\n");
    return 0;
}

int echo(int type, int keys) {
    comm::PtyPair pty;
    Bench bench(type, pty.slavePath());
    if (!bench.ok() || !bench.readerReads(pty.master()))
        return 1;
    std::atomic<bool> stop{false};
    std::thread peer = loopback(pty.master(), stop);
    halvic::CHalvicView& view = bench.view();
    view.setFocus();
    PaintWatch watch(view);
    std::vector<double> ms;
    int row = 0, column = 0;
    char glyph = 'a';
    watch.wanted = [&] {
        auto state = bench.doc().screen->lock();
        const auto chars = state->rowChars(row);
        return size_t(column) < chars.size() && chars[size_t(column)] == uint8_t(glyph);
    };
    for (int k = 0; k < keys; ++k) {
        bool fresh = false;
        {
            auto state = bench.doc().screen->lock();
            // A fresh screen keeps the wanted cell simple.
            fresh = state->cursorColumn() > 70 || state->cursorRow() > 20;
        }
        if (fresh) {
            view.OnClearScreen();
            runFor(20);
        }
        {
            auto state = bench.doc().screen->lock();
            row = state->cursorRow();
            column = state->cursorColumn();
        }
        glyph = char('a' + k % 26);
        watch.lastWantedPaint.invalidate();
        QElapsedTimer clock;
        clock.start();
        QTest::keyClick(&view, glyph);
        if (!waitFor([&] { return watch.lastWantedPaint.isValid(); }, 2000)) {
            std::fprintf(stderr, "window_bench: key %d never showed\n", k);
            break;
        }
        ms.push_back((clock.nsecsElapsed() - watch.lastWantedPaint.nsecsElapsed()) / 1e6);
        runFor(20 + k * 7 % 31); // a fast typist: 20 to 50 ms between keys
    }
    stop = true;
    peer.join();
    if (ms.empty())
        return 1;
    std::sort(ms.begin(), ms.end());
    const auto at = [&](double q) { return ms[std::min(ms.size() - 1, size_t(q * double(ms.size())))]; };
    std::printf("median-ms %.2f p99-ms %.2f keys %zu\n", at(0.5), at(0.99), ms.size());
    return 0;
}

// The far end of a key: a loopback that sends every byte straight back.
std::thread loopback(int master, const std::atomic<bool>& stop) {
    return std::thread([master, &stop] {
        char buf[256];
        while (!stop) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n > 0 && ::write(master, buf, size_t(n)) != n)
                break;
        }
    });
}

int show(int type) {
    comm::PtyPair pty;
    Bench bench(type, pty.slavePath());
    if (!bench.ok() || !bench.readerReads(pty.master()))
        return 1;
    std::atomic<bool> stop{false};
    std::thread peer = loopback(pty.master(), stop);
    bench.view().setFocus();
    bench.view().OnClearScreen();
    std::printf("window %llu\n", static_cast<unsigned long long>(bench.view().window()->winId()));
    std::fflush(stdout);
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QEventLoop loop;
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char c;
        if (::read(STDIN_FILENO, &c, 1) <= 0)
            loop.quit();
    });
    loop.exec();
    stop = true;
    peer.join();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "pty" && argc == 4)
        return ptyAlone(argv[3]);
    const int type = argc > 2 ? typeCode(argv[2]) : -1;
    if (type < 0 || !((mode == "flood" && (argc == 4 || argc == 5)) || (mode == "capture" && argc == 4) ||
                      (mode == "download" && argc == 5) || (mode == "cpu" && argc == 5) ||
                      (mode == "echo" && argc == 4) || (mode == "show" && argc == 3))) {
        std::fprintf(stderr, "usage: window_bench flood ansi|vt100|dumb FILE [SCREEN-FILE]\n"
                             "       window_bench pty - FILE\n"
                             "       window_bench capture ansi|vt100|dumb FILE\n"
                             "       window_bench cpu ansi|vt100|dumb PORT-PATH SECONDS\n"
                             "       window_bench download ansi|vt100|dumb PORT-PATH FOLDER\n"
                             "       window_bench echo ansi|vt100|dumb KEYS\n"
                             "       window_bench show ansi|vt100|dumb\n");
        return 2;
    }
    QApplication& qapp = gui::testApplication();
    (void)qapp;
    if (mode == "flood")
        return flood(type, argv[3], argc == 5 ? argv[4] : nullptr, nullptr);
    if (mode == "capture") {
        QTemporaryDir dir;
        const std::string file = dir.filePath(QStringLiteral("capture.txt")).toStdString();
        return flood(type, argv[3], nullptr, file.c_str());
    }
    if (mode == "download")
        return download(type, argv[3], argv[4]);
    if (mode == "cpu")
        return cpu(type, argv[3], std::atof(argv[4]));
    if (mode == "show")
        return show(type);
    return echo(type, std::atoi(argv[3]));
}
