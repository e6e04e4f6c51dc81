#pragma once
// The serial-port library: every port is known by its number (COM n is n, 1..256).
// Each function returns 0 or a count on success and a negative code on failure.

#include <functional>

// Port function codes.
enum SerialError : int {
    SerialErrNotOpen = -1,  // no such port, or not opened first
    SerialErrNotBoard = -2, // the device is not a serial port
    SerialErrUnknown = -3,
    SerialErrNoData = -4,   // nothing to read, or no buffer to write
    SerialErrOccupied = -5, // no such port, or held by another program
    SerialErrHwFlow = -6,   // hardware flow control cannot be set
    SerialErrBadParam = -7,
    SerialErrSystem = -8, // errno holds the cause
};

// Transfer function codes.
enum TransferError : int {
    TransferErrNotOpen = -1,
    TransferErrTimeout = -2,
    TransferErrUserAbort = -3,   // the progress callback returned -1
    TransferErrAborted = -4,     // SerialAbortTransmit / SerialAbortReceive
    TransferErrFile = -5,        // the file cannot be opened or written
    TransferErrRemoteAbort = -6, // the peer cancelled
    TransferErrProtocol = -7,    // retries used up, or the peer broke the protocol
    TransferErrZmodemBuffer = -9,
    TransferErrSystem = -10, // errno holds the cause
};

// Mode bits of SerialSetLine.
enum SerialModeBits : int {
    SerialData5 = 0,
    SerialData6 = 1,
    SerialData7 = 2,
    SerialData8 = 3,
    SerialStop2 = 0x04,
    SerialParityOdd = 0x08,
    SerialParityEven = 0x18,
    SerialParityMark = 0x28,
    SerialParitySpace = 0x38,
};
// Flow bits of SerialSetFlowControl.
enum SerialFlowBits : int { SerialFlowRtsCts = 0x03, SerialFlowXonXoff = 0x0C };
// SerialGetLineStatus bits 0-3.
enum SerialLineBits : int {
    SerialLineCts = 0x1,
    SerialLineDsr = 0x2,
    SerialLineRing = 0x4,
    SerialLineDcd = 0x8
};

// Called on the port's monitor thread, never after SerialClose of the port has returned. It must not
// wait for the thread that closes the port (post to the GUI, never a blocking call into it).
using SerialNotify = std::function<void(int port)>;
// (done, reserved, reserved, total); return -1 to abort, 0 to go on. Called on the transfer's thread.
using TransferProgressCallback = std::function<int(int done, int, int, int total)>;

// Opens COM port (resolved through the port map) as its only holder, DTR and RTS raised, read
// time-outs (50, 100) and a write time-out of 1000 ms. -1 for a number outside 1..256, -5 when the
// device is missing or held (by another program, or already open here under any number), -2 when
// it is no serial device, -8 otherwise.
int SerialOpen(int port);
// Wakes the port's blocked calls, stops its notices and waits for its calls to leave; the device
// is free again when it returns (unless called from inside a call on the same port).
int SerialClose(int port);
// Baud codes 0-19: 50, 75, 110, 134.5, 150, 300, 600, 1200, 1800, 2400, 4800, 7200, 9600, 19200,
// 38400, 57600, 115200, 230400, 460800, 921600. Mode bits as SerialModeBits (1.5 stop bits: 5 data
// bits with SerialStop2). -7 for a code or mode outside these, or a setting the device did not take
// (then the previous settings stay).
int SerialSetLine(int port, int baudCode, int modeBits);
// Flow bits as SerialFlowBits (0 none). -6 when the device refuses hardware flow control.
int SerialSetFlowControl(int port, int flowBits);
// on: nonzero raises the line. A device without modem lines (a pty) accepts and ignores it.
int SerialSetDtr(int port, int on);
// -6 under hardware flow control, where the driver owns RTS.
int SerialSetRts(int port, int on);
// A break of length * 100 ms (1..50).
int SerialSendBreak(int port, int length);
// SerialLineBits. Never negative: 0 for a port that is not open. A device without modem lines
// reports CTS and DSR on.
int SerialGetLineStatus(int port);
// An empty callback stops the notices. Line changes are seen within about 10 ms; breaks where the
// driver counts them.
int SerialOnLineStatusChange(int port, SerialNotify callback);
int SerialOnBreak(int port, SerialNotify callback);
// The bytes stored (0: none came within the read time-outs); -1 when the port is closed under the
// read, -8 on an I/O error (a hang-up). Only one read runs at a time per port.
int SerialRead(int port, void* buffer, int size);
// The bytes accepted within the write time-out. Time-out 0 is none: the write returns when all is
// written, the port closes or SerialAbortTransmit is called (then with what was written so far).
int SerialWrite(int port, const void* buffer, int length);
// which: 0 discards received input; 1 lets queued output leave (bounded by the write time-out),
// never discarding it; 2 does both, output first.
int SerialFlush(int port, int which);
// firstByteMs: the longest wait for the first byte, -1 (or 0) returns at once with what is there;
// collectMs: the longest time a read keeps collecting once its first byte is in, 0 returns with
// the first bytes. A read that has bytes also returns when its buffer is full or after 20 ms of
// quiet.
int SerialSetReadTimeouts(int port, int firstByteMs, int collectMs);
int SerialSetWriteTimeout(int port, int ms);
int SerialGetWriteTimeout(int port, int* ms);
// Ask the transfer running on the port to end (PortAbort in port_channel.h). Abort transmit also
// drops queued output and ends a write that waits without a time-out.
int SerialAbortTransmit(int port);
int SerialAbortReceive(int port);

int FileSendAscii(int port, const char* path, TransferProgressCallback callback, int abortKey);
int FileSendKermit(int port, const char* path, TransferProgressCallback callback, int abortKey);
int FileSendXmodemChecksum(int port, const char* path, TransferProgressCallback callback, int abortKey);
int FileSendXmodemCrc(int port, const char* path, TransferProgressCallback callback, int abortKey);
int FileSendXmodem1KCrc(int port, const char* path, TransferProgressCallback callback, int abortKey);
int FileSendYmodem(int port, const char* path, TransferProgressCallback callback, int abortKey);
int FileSendZmodem(int port, const char* path, TransferProgressCallback callback, int abortKey);

int FileReceiveXmodemChecksum(int port, const char* path, TransferProgressCallback callback, int abortKey);
int FileReceiveXmodemCrc(int port, const char* path, TransferProgressCallback callback, int abortKey);
int FileReceiveXmodem1KCrc(int port, const char* path, TransferProgressCallback callback, int abortKey);
int FileReceiveAscii(int port, const char* path, TransferProgressCallback callback, int abortKey,
                     int idleSeconds);
// Batch receivers: *folder is the receive folder; names come from the sender.
int FileReceiveKermit(int port, const char** folder, int flags, TransferProgressCallback callback,
                      int abortKey);
int FileReceiveYmodem(int port, const char** folder, int flags, TransferProgressCallback callback,
                      int abortKey);
int FileReceiveZmodem(int port, const char** folder, int flags, TransferProgressCallback callback,
                      int abortKey);
// As FileReceiveZmodem, for a sender whose ZRQINIT the caller has already consumed.
int FileReceiveZmodemAuto(int port, const char** folder, int flags, TransferProgressCallback callback,
                          int abortKey);
