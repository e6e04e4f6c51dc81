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

using SerialNotify = std::function<void(int port)>;
// (done, reserved, reserved, total); return -1 to abort, 0 to go on. Called on the transfer's thread.
using TransferProgressCallback = std::function<int(int done, int, int, int total)>;

int SerialOpen(int port);
int SerialClose(int port);
int SerialSetLine(int port, int baudCode, int modeBits);
int SerialSetFlowControl(int port, int flowBits);
int SerialSetDtr(int port, int on);
int SerialSetRts(int port, int on);
int SerialSendBreak(int port, int length);
int SerialGetLineStatus(int port);
int SerialOnLineStatusChange(int port, SerialNotify callback);
int SerialOnBreak(int port, SerialNotify callback);
int SerialRead(int port, void* buffer, int size);
int SerialWrite(int port, const void* buffer, int length);
int SerialFlush(int port, int which);
int SerialSetReadTimeouts(int port, int firstByteMs, int collectMs);
int SerialSetWriteTimeout(int port, int ms);
int SerialGetWriteTimeout(int port, int* ms);
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
