#pragma once
// The signal monitor: the worker that prepares the modem and fills the monitor window once, and the
// queries the window's poll timer repeats on the GUI thread afterwards.
//
// Window updates go through the installed MonitorView (monitor_view.h). The worker and the poll
// timer never use the port together: the timer is enabled only as the worker's last step, and the
// window's close sequence asks the worker to stop and waits for it before it uses the port.

#include <QThread>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

class MonitorView;

class Rf_MonitorThread : public QThread {
public:
    // opMonitor: the main settings window's monitor flag as it stood when the operation started.
    explicit Rf_MonitorThread(bool opMonitor, QObject* parent = nullptr);

    // The start-up sequence (what run() does).
    void Execute();

    // Each returns int as below and talks to the open port directly.
    int QuerySmsTunnel();     // sets SmsTunnelWasOn; result not used
    int CheckSimPin();        // 1 the SIM is ready (after a PIN: and registered)
    int QueryRegistration();  // 1 registered, home or roaming
    int QueryOperator();      // 1 an operator name was shown
    int QuerySignalQuality(); // 1 a signal reading was found
    int CheckApModel();       // 1 a known model answered

protected:
    void run() override;

private:
    // True when the window's close sequence asked the worker to stop (only on the worker thread).
    bool stopping() const;
    // A pause that ends early when the worker is asked to stop.
    void Wait(int ms);

    bool opMonitor_;
    // The view installed when the worker was made; the queries of the poll timer use it too.
    std::shared_ptr<MonitorView> view_;
};

// Reply parsers of the queries, on the bytes of one read.
namespace monitorreply {

// The character of "+CREG: <n>,<stat>" that names the state, or none. The marker counts only when
// it starts at one of the positions 0 to 24; without it the search starts at 0.
std::optional<char> RegistrationState(std::string_view read);
// The value after "+CSQ: " (starting at one of the positions 0 to 24): "99", or the leading one or
// two digits. None when the marker is missing or no digit follows it.
std::optional<std::string> SignalValue(std::string_view read);
// Bars lit for a reading: 0 for 0 or below, 1 up to 12, 2 up to 20, 3 from 21.
int BarsForRssi(int rssi);
// The operator's numeric code: the digits of the field after the second comma of "+COPS:".
std::string OperatorCode(std::string_view reply);
// The text between the first double quote and the next one, when that one lies within the first
// 52 characters.
std::optional<std::string> QuotedName(std::string_view reply);
// SIM state of the two reads of "at+cpin?": 0 ready, 1 PIN, 2 PUK, 3 error or nothing known.
int SimPinState(std::string_view a, std::string_view b);
// A PIN the modem may be sent: exactly four digits.
bool IsValidPin(std::string_view pin);

} // namespace monitorreply
