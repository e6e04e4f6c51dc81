// Key to echo as a user meets it, the same way for any terminal on the X server in DISPLAY: a key
// pressed through the XTEST extension, to the first change of the window's pixels (the far end echoes
// the key back). Prints each key's milliseconds, one a line.
//   x_key_echo halvic WINDOW_BENCH ansi|vt100|dumb KEYS   a halvic window (window_bench show)
//   x_key_echo xterm XTERM KEYS                           xterm with a loopback far end
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr char kTitle[] = "x-key-echo";
// The part of the window looked at: the same size for every terminal, so a look costs each the same.
constexpr unsigned kWidth = 480;
constexpr unsigned kHeight = 240;
// Between looks, so that looking leaves the X server and the terminal the machine.
constexpr std::chrono::microseconds kLookEvery{200};

pid_t child = -1;
int childInput = -1;

double msSince(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

// Starts argv with its standard input a pipe (closed to end it) and, when `out` is given, its
// standard output read into *out up to the first line.
bool start(std::vector<std::string> args, std::string* firstLine) {
    int in[2], out[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0)
        return false;
    child = ::fork();
    if (child == 0) {
        ::dup2(in[0], STDIN_FILENO);
        if (firstLine)
            ::dup2(out[1], STDOUT_FILENO);
        ::close(in[1]);
        ::close(out[0]);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        std::_Exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    childInput = in[1];
    if (firstLine) {
        char c;
        while (::read(out[0], &c, 1) == 1 && c != '\n')
            *firstLine += c;
    }
    ::close(out[0]);
    return child > 0;
}

// halvic's window ends with its standard input; xterm is told to.
void stop(bool terminate = false) {
    if (child <= 0)
        return;
    ::close(childInput);
    if (terminate)
        ::kill(child, SIGTERM);
    for (int i = 0; i < 300; ++i) {
        if (::waitpid(child, nullptr, WNOHANG) == child)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(child, SIGTERM);
    ::waitpid(child, nullptr, 0);
}

// xterm's window: a child of the root named kTitle (there is no window manager on the bench's Xvfb).
Window findTitled(Display* display) {
    Window root = DefaultRootWindow(display), parent = 0, *children = nullptr;
    unsigned count = 0;
    Window found = 0;
    if (!XQueryTree(display, root, &root, &parent, &children, &count))
        return 0;
    for (unsigned i = 0; i < count && !found; ++i) {
        char* name = nullptr;
        if (XFetchName(display, children[i], &name) && name) {
            if (std::strcmp(name, kTitle) == 0)
                found = children[i];
            XFree(name);
        }
    }
    if (children)
        XFree(children);
    return found;
}

struct Picture {
    std::vector<char> bytes;
    bool operator==(const Picture&) const = default;
};

Picture look(Display* display, Window window, unsigned width, unsigned height) {
    Picture p;
    XImage* image = XGetImage(display, window, 0, 0, width, height, AllPlanes, ZPixmap);
    if (image) {
        p.bytes.assign(image->data, image->data + static_cast<size_t>(image->bytes_per_line) * height);
        XDestroyImage(image);
    }
    return p;
}

} // namespace

int main(int argc, char** argv) {
    const std::string who = argc > 1 ? argv[1] : "";
    if (!((who == "halvic" && argc == 5) || (who == "xterm" && argc == 4))) {
        std::fprintf(stderr, "usage: x_key_echo halvic WINDOW_BENCH ansi|vt100|dumb KEYS\n"
                             "       x_key_echo xterm XTERM KEYS\n");
        return 2;
    }
    const int keys = std::atoi(argv[argc - 1]);
    Display* display = XOpenDisplay(nullptr);
    int event = 0, error = 0, major = 0, minor = 0;
    if (!display || !XTestQueryExtension(display, &event, &error, &major, &minor)) {
        std::fprintf(stderr, "x_key_echo: no X server with XTEST in DISPLAY\n");
        return 1;
    }
    Window window = 0;
    const auto began = Clock::now();
    if (who == "halvic") {
        std::string line;
        if (!start({argv[2], "show", argv[3]}, &line) || line.rfind("window ", 0) != 0) {
            std::fprintf(stderr, "x_key_echo: the window did not come (%s)\n", line.c_str());
            stop();
            return 1;
        }
        window = static_cast<Window>(std::strtoull(line.c_str() + 7, nullptr, 10));
    } else {
        start({argv[2], "-geometry", "80x24+0+0", "-T", kTitle, "-e", "sh", "-c", "stty raw -echo; exec cat"},
              nullptr);
        while (!(window = findTitled(display)) && msSince(began) < 20000)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    XWindowAttributes attributes{};
    while (window && msSince(began) < 20000 &&
           (!XGetWindowAttributes(display, window, &attributes) || attributes.map_state != IsViewable))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (!window || attributes.map_state != IsViewable) {
        std::fprintf(stderr, "x_key_echo: no window shown\n");
        stop();
        return 1;
    }
    const unsigned width = std::min<unsigned>(kWidth, static_cast<unsigned>(attributes.width));
    const unsigned height = std::min<unsigned>(kHeight, static_cast<unsigned>(attributes.height));
    XSetInputFocus(display, window, RevertToParent, CurrentTime);
    XSync(display, False);
    // Settled: the picture unchanged for 300 ms.
    Picture before = look(display, window, width, height);
    for (auto still = Clock::now(); msSince(still) < 300 && msSince(began) < 30000;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        Picture now = look(display, window, width, height);
        if (!(now == before)) {
            before = std::move(now);
            still = Clock::now();
        }
    }
    int shown = 0;
    for (int k = 0; k < keys; ++k) {
        const KeyCode code = XKeysymToKeycode(display, XK_a + k % 26);
        const auto pressed = Clock::now();
        XTestFakeKeyEvent(display, code, True, CurrentTime);
        XTestFakeKeyEvent(display, code, False, CurrentTime);
        XFlush(display);
        double ms = -1;
        while (msSince(pressed) < 2000) {
            Picture now = look(display, window, width, height);
            if (!(now == before)) {
                ms = msSince(pressed);
                break;
            }
            std::this_thread::sleep_for(kLookEvery);
        }
        if (ms < 0) {
            std::fprintf(stderr, "x_key_echo: key %d never showed\n", k);
            break;
        }
        std::printf("%.3f\n", ms);
        ++shown;
        // A fast typist: 20 to 50 ms between keys; the picture after it is the next key's before.
        std::this_thread::sleep_for(std::chrono::milliseconds(20 + k * 7 % 31));
        before = look(display, window, width, height);
    }
    stop(who == "xterm");
    XCloseDisplay(display);
    return shown == keys ? 0 : 1;
}
