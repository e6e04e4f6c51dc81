#pragma once
// A serial port in the manner of the Win32 communications API, over termios.
//
// The configurator's engine drives one of these through the same calls the Win32 API offers:
// device control block, COMMTIMEOUTS, receive purge, synchronous read and write, modem status.
// Tests install their own opener to put a scripted port in place of a device.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace comm {

constexpr uint32_t kMaxDword = 0xFFFFFFFFu;

enum Parity : uint8_t { NoParity = 0, OddParity = 1, EvenParity = 2, MarkParity = 3, SpaceParity = 4 };
enum StopBits : uint8_t { OneStopBit = 0, One5StopBits = 1, TwoStopBits = 2 };
// fDtrControl / fRtsControl values.
enum LineMode : uint8_t { LineDisable = 0, LineEnable = 1, LineHandshake = 2, LineToggle = 3 };

// The device control block. Every field a caller does not set keeps the value the port reported.
struct Dcb {
    uint32_t BaudRate = 9600;
    uint8_t ByteSize = 8;
    uint8_t Parity = NoParity;
    uint8_t StopBits = OneStopBit;
    bool fBinary = true;
    bool fParity = false;
    bool fOutxCtsFlow = false;
    bool fOutxDsrFlow = false;
    uint8_t fDtrControl = LineEnable;
    bool fDsrSensitivity = false;
    bool fTXContinueOnXoff = false;
    bool fOutX = false;
    bool fInX = false;
    bool fErrorChar = false;
    bool fNull = false;
    uint8_t fRtsControl = LineEnable;
    bool fAbortOnError = false;
    char XonChar = 0x11;
    char XoffChar = 0x13;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;
    bool operator==(const Dcb&) const = default;
};

// COMMTIMEOUTS, in milliseconds, with the Win32 meaning (kMaxDword included).
struct CommTimeouts {
    uint32_t ReadIntervalTimeout = 0;
    uint32_t ReadTotalTimeoutMultiplier = 0;
    uint32_t ReadTotalTimeoutConstant = 0;
    uint32_t WriteTotalTimeoutMultiplier = 0;
    uint32_t WriteTotalTimeoutConstant = 0;
    bool operator==(const CommTimeouts&) const = default;
};

// getModemStatus bits.
enum ModemStatusBits : uint32_t { MsCtsOn = 0x10, MsDsrOn = 0x20, MsRingOn = 0x40, MsRlsdOn = 0x80 };
// purge flags.
enum PurgeFlags : uint32_t { PurgeTxAbort = 0x1, PurgeRxAbort = 0x2, PurgeTxClear = 0x4, PurgeRxClear = 0x8 };

class Port {
public:
    virtual ~Port() = default;
    virtual bool getState(Dcb& dcb) = 0;
    // False when the device did not take the settings (re-read and compared); the port stays open.
    virtual bool setState(const Dcb& dcb) = 0;
    virtual bool getTimeouts(CommTimeouts& t) = 0;
    virtual bool setTimeouts(const CommTimeouts& t) = 0;
    virtual bool purge(uint32_t flags) = 0;
    // A time-out is success with fewer bytes; false only on an I/O error.
    virtual bool read(void* buffer, uint32_t size, uint32_t* got) = 0;
    virtual bool write(const void* buffer, uint32_t size, uint32_t* written) = 0;
    virtual bool getModemStatus(uint32_t* status) = 0;
};

using PortOpener = std::function<std::unique_ptr<Port>(const std::string& name)>;

// Opens "COMn", "\\.\COMn" (any number of "\\.\" prefixes) or a device path, exclusively.
// Returns null on failure with errno set. Goes through the installed opener when there is one.
std::unique_ptr<Port> openPort(const std::string& name);

// Tests put a scripted port behind every name; an empty function restores the device opener.
void setPortOpener(PortOpener opener);

} // namespace comm
