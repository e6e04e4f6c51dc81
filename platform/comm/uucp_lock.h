#pragma once
// The UUCP lock files every Linux serial program honours: "LCK..<name>" in the lock folder, where
// <name> is the last component of the device's real path (symlinks such as /dev/serial/by-id
// followed), holding the owner's PID right-aligned in 10 characters and a newline, mode 0444.
//
// The folder is $BREL_LOCK_DIR when set (tests), else /run/lock. A lock whose PID names no process
// is stale and is replaced; a lock with a live PID, whoever owns it, keeps the device out.

#include <string>
#include <string_view>
#include <sys/types.h>

namespace comm::tty {

// Where lock files are looked for now (environment read on every call).
std::string lockDirectory();

// The lock file of a device: <folder>/LCK..<last component of its real path>.
std::string lockFileFor(const std::string& devicePath);

// The PID a lock file's text names: HDB ASCII (spaces, digits, a newline) or the old 4-byte binary
// form; 0 when the text is neither.
pid_t lockOwner(std::string_view text);

// Takes the device's lock. True with *lockFile set to the file written, or left empty when the folder
// cannot be written (said once on stderr; flock and TIOCEXCL still keep others out). False with
// errno EBUSY when a live lock is there.
bool takeLock(const std::string& devicePath, std::string* lockFile);

// Removes a lock file taken by takeLock, only while it still names this process.
void releaseLock(const std::string& lockFile);

// Whether a live lock (not a stale one) is there for the device.
bool lockedByLiveProcess(const std::string& devicePath);

} // namespace comm::tty
