#pragma once
// The tty work shared by the comm port and the serial library: naming, exclusive open, line
// settings through termios (and termios2 for rates without a B constant).

#include "line_control.h"

#include <cstdint>
#include <string>

namespace comm::tty {

// "COMn" or "\\.\COMn" (any number of prefixes) through the port map, or an absolute device path
// as it stands. Empty with errno ENOENT when the name is neither.
std::string devicePathFor(const std::string& name);

// "<path>: permission denied: the user is not in the device's group ..." for an open refused with
// EACCES (printed on stderr by openExclusive).
std::string permissionHint(const std::string& path);

// Opens a device as the only holder: its UUCP lock file first (uucp_lock.h), then
// O_RDWR|O_NOCTTY|O_NONBLOCK|O_CLOEXEC, flock(LOCK_EX|LOCK_NB), TIOCEXCL, raw mode with
// CLOCAL|CREAD. Returns the descriptor, or -1 with errno (EBUSY when the device is held elsewhere,
// ENOTTY when it is no terminal: anything but a character device is refused before it is opened).
int openExclusive(const std::string& path);
// Clears TIOCEXCL (another holder of the tty would otherwise keep later opens out) and closes, then
// removes the lock file; a pty with shared lines drops its DTR and RTS first.
void closeExclusive(int fd);

// A pseudo-terminal slave: it forces 8 data bits and no parity.
bool isPseudoTerminal(int fd);

// The numeric speed of fd, also for rates set through termios2.
bool getSpeed(int fd, uint32_t* baud);
// Sets a rate that has no B constant through termios2 (BOTHER), after output has drained.
bool setCustomSpeed(int fd, uint32_t baud);

enum class ApplyResult { Ok, NotTaken, Failed };

// Maps the settings to termios (CSIZE, PARENB/PARODD/CMSPAR, CSTOPB, CRTSCTS, IXON|IXOFF, INPCK when
// parityCheck) with TCSADRAIN and re-reads them. NotTaken when the speed or, on a real tty, the
// framing or CRTSCTS did not stick (on a pty only the speed and CSTOPB are checked); Failed with
// errno when the device refused the call. Settings out of range (data bits, parity, stop bits,
// rate 0) are NotTaken with errno EINVAL and nothing is changed.
ApplyResult applyLineSettings(int fd, const TtyLineSettings& settings, bool parityCheck = false);

// The settings fd has now (parityCheck: INPCK).
bool readLineSettings(int fd, TtyLineSettings* settings, bool* parityCheck = nullptr);

} // namespace comm::tty
