// Line settings, flow control, modem-control lines and break.
#include "serial_port_table.h"

#include "tty_device.h"

#include <cerrno>
#include <poll.h>
#include <sys/ioctl.h>

namespace seriallib::detail {

namespace {

// Baud codes 0-19.
constexpr uint32_t kBaudRates[] = {50,   75,   110,  134,   150,   300,   600,    1200,   1800,   2400,
                                   4800, 7200, 9600, 19200, 38400, 57600, 115200, 230400, 460800, 921600};

constexpr int kDataBitsMask = 0x03;
constexpr int kParityMask = 0x38;
constexpr int kModeMask = kDataBitsMask | SerialStop2 | kParityMask;
constexpr int kFlowMask = SerialFlowRtsCts | SerialFlowXonXoff;
constexpr int kMaxBreakUnits = 50; // 100 ms each

int parityOf(int modeBits) {
    switch (modeBits & kParityMask) {
    case 0:
        return 0;
    case SerialParityOdd:
        return 1;
    case SerialParityEven:
        return 2;
    case SerialParityMark:
        return 3;
    case SerialParitySpace:
        return 4;
    default:
        return -1;
    }
}

int setLine(int port, int lineBit, int on) {
    PortCall call(port);
    if (!call)
        return SerialErrNotOpen;
    std::lock_guard lock(call->stateMutex);
    if (lineBit == TIOCM_RTS && call->line.rtsCts)
        return SerialErrHwFlow; // the driver owns RTS under hardware flow control
    bool raise = on != 0;
    if (!call->lines()->setLines(call->fd, raise ? lineBit : 0, raise ? 0 : lineBit))
        return SerialErrSystem;
    (lineBit == TIOCM_DTR ? call->dtr : call->rts) = raise;
    return 0;
}

} // namespace

int applyLocked(OpenPort& port, const comm::TtyLineSettings& settings, int refusedCode) {
    switch (comm::tty::applyLineSettings(port.fd, settings)) {
    case comm::tty::ApplyResult::Ok:
        break;
    case comm::tty::ApplyResult::NotTaken:
        comm::tty::applyLineSettings(port.fd, port.line); // back to what held before, as far as it goes
        return refusedCode;
    case comm::tty::ApplyResult::Failed:
        return SerialErrSystem;
    }
    port.line = settings;
    port.lines()->settingsApplied(port.fd, settings);
    return 0;
}

} // namespace seriallib::detail

using namespace seriallib::detail;

int SerialSetLine(int port, int baudCode, int modeBits) {
    PortCall call(port);
    if (!call)
        return SerialErrNotOpen;
    if (baudCode < 0 || baudCode >= int(std::size(kBaudRates)) || (modeBits & ~kModeMask) ||
        parityOf(modeBits) < 0)
        return SerialErrBadParam;
    std::lock_guard lock(call->stateMutex);
    comm::TtyLineSettings s = call->line;
    s.baud = kBaudRates[baudCode];
    s.dataBits = static_cast<uint8_t>(5 + (modeBits & kDataBitsMask));
    s.parity = static_cast<uint8_t>(parityOf(modeBits));
    s.stopBits = (modeBits & SerialStop2) ? 2 : 1;
    return applyLocked(*call, s, SerialErrBadParam);
}

int SerialSetFlowControl(int port, int flowBits) {
    PortCall call(port);
    if (!call)
        return SerialErrNotOpen;
    if (flowBits & ~kFlowMask)
        return SerialErrBadParam;
    std::lock_guard lock(call->stateMutex);
    comm::TtyLineSettings s = call->line;
    s.rtsCts = (flowBits & SerialFlowRtsCts) != 0;
    s.xonXoff = (flowBits & SerialFlowXonXoff) != 0;
    return applyLocked(*call, s, s.rtsCts ? SerialErrHwFlow : SerialErrBadParam);
}

int SerialSetDtr(int port, int on) {
    return setLine(port, TIOCM_DTR, on);
}

int SerialSetRts(int port, int on) {
    return setLine(port, TIOCM_RTS, on);
}

int SerialSendBreak(int port, int length) {
    PortCall call(port);
    if (!call)
        return SerialErrNotOpen;
    if (length < 1 || length > kMaxBreakUnits)
        return SerialErrBadParam;
    std::lock_guard lock(call->writeMutex); // not in the middle of someone's bytes
    if (::ioctl(call->fd, TIOCSBRK) != 0 && errno != ENOTTY && errno != EINVAL)
        return SerialErrSystem;
    call->lines()->breakSent(call->fd);
    pollfd wake{call->closeEvent, POLLIN, 0};
    ::poll(&wake, 1, length * 100); // SerialClose cuts the break short
    ::ioctl(call->fd, TIOCCBRK);
    return 0;
}
