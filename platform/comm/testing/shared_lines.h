#pragma once
// Modem-control lines of a pty shared across processes.
//
// A pty carries no modem lines, so a simulated modem program on the master side and a program on
// the slave side meet in a small file that the port map names for the device ("COM1=/dev/pts/3;
// lines=/tmp/q86sim-x/lines"). The modem writes the lines it drives (CTS, DSR, DCD, RI), the
// program the ones it drives (DTR, RTS). Each side writes only its own byte, so no lock is needed.
//
// Layout, 8 bytes: "MLN1", the modem's byte (1 CTS, 2 DSR, 4 DCD, 8 RI), the program's byte
// (1 DTR, 2 RTS), two bytes 0. A file of any other shape is not read.

#include "line_control.h"

#include <memory>
#include <string>

namespace comm {

// Creates the file (or resets it) with the modem's lines given as TIOCM_* bits and DTR/RTS off.
// False with errno.
bool createSharedLines(const std::string& path, int modemLines);
// The modem's lines and the program's lines, as TIOCM_* bits. False when the file is missing or
// not of this shape.
bool readSharedLines(const std::string& path, int* modemLines, int* programLines);
bool writeModemLines(const std::string& path, int modemLines);
bool writeProgramLines(const std::string& path, int programLines);

// The control for a pty whose lines live in the file; any other device goes through the ioctls.
std::shared_ptr<LineControl> sharedLineControl(const std::string& path);

// Closing a pty with shared lines drops DTR and RTS there, as the hang-up on a real tty's last close
// does. Nothing for any other device.
void dropSharedLinesOnClose(int fd);

// The shared-lines file the port map names for a device (symlinks resolved), or empty. The map is
// read again only when it has changed.
std::string sharedLinesFileFor(const std::string& devicePath);

} // namespace comm
