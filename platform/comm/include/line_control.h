#pragma once
// The modem-control lines of an open serial device, and the line settings last applied to it.
//
// Real ttys answer through TIOCMGET/TIOCMBIS/TIOCMBIC. A device that cannot report lines (a
// pseudo-terminal answers ENOTTY) shows CTS and DSR on, DCD and RI off, and ignores DTR/RTS.
// A test installs its own LineControl for a device path: the simulated modem drives DCD/CTS that
// way and sees the data bits and parity that a pty cannot carry. A pty whose port-map entry names a
// shared-lines file (the simulated modem program in another process) has its lines there
// (shared_lines.h).

#include <cstdint>
#include <memory>
#include <string>

namespace comm {

struct TtyLineSettings {
    uint32_t baud = 9600;
    uint8_t dataBits = 8; // 5..8
    uint8_t parity = 0;   // 0 none, 1 odd, 2 even, 3 mark, 4 space
    uint8_t stopBits = 1; // 1 or 2
    bool rtsCts = false;  // output held for CTS
    bool xonXoff = false;
    bool operator==(const TtyLineSettings&) const = default;
};

class LineControl {
public:
    virtual ~LineControl() = default;
    // TIOCM_* bits of the input lines (TIOCM_CTS, TIOCM_DSR, TIOCM_CAR, TIOCM_RNG).
    virtual bool getLines(int fd, int* bits) = 0;
    // Raise and drop output lines (TIOCM_DTR, TIOCM_RTS).
    virtual bool setLines(int fd, int raise, int drop) = 0;
    // Told after every successful change of the line settings of fd.
    virtual void settingsApplied(int fd, const TtyLineSettings& settings) {
        (void)fd;
        (void)settings;
    }
    virtual void breakSent(int fd) { (void)fd; }
};

// The ioctl control: TIOCMGET/TIOCMBIS/TIOCMBIC, CTS and DSR on for a device without lines.
std::shared_ptr<LineControl> ioctlLineControl();
// The control for a device path (resolved through symlinks): the installed one, else the shared
// lines the port map names for it, else the ioctl one.
std::shared_ptr<LineControl> lineControlFor(const std::string& devicePath);
// Installs a control for one device path; null removes it.
void setLineControl(const std::string& devicePath, std::shared_ptr<LineControl> control);

} // namespace comm
