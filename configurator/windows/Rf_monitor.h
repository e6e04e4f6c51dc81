#pragma once
// The signal monitor window: operator, registration and signal level while the user watches.

#include "monitor_view.h"
#include "Rf_monitorthread.h"

#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <memory>

class QCloseEvent;

namespace Ui {
class TFrf_monitor;
}

// The fields NoSignalCount, EscapeResult, EchoProbeResult, DcdAtStart, SmsTunnelWasOn and SimState
// come from MonitorFields; the monitor worker and queries keep them.
class TFrf_monitor : public QWidget, public MonitorFields {
    Q_OBJECT
public:
    explicit TFrf_monitor(QWidget* parent = nullptr);
    ~TFrf_monitor() override;

    // The form's controls, each also found by its name with findChild.
    std::unique_ptr<Ui::TFrf_monitor> ui;
    // The poll timer: off until the monitor worker has finished its start.
    QTimer* RF_Timer1;
    // The worker of the last opening; it stays after its start-up so the poll timer can use its
    // queries.
    std::unique_ptr<Rf_MonitorThread> MonitorWorker;

    // Each tick: the registration while the modem is not registered, else the signal quality.
    void RF_Timer1Timer();
    // OK: the close sequence, the tunnel restored only when the carrier was off at the start.
    void BitBtn1Click();

    // Labels and bars as a new opening starts with.
    void ResetDisplay();
    // Makes and starts the worker for this opening; opMonitor is the main window's monitor flag.
    void StartWorker(bool opMonitor);
    // True while the close sequence runs (the worker then must not enable the timer).
    bool Closing() const { return closing_; }

protected:
    // The close box: the close sequence, the tunnel restored whenever it was on.
    void closeEvent(QCloseEvent* event) override;

private:
    // One handler for the three interval buttons.
    void IntervalClick(bool ticked);
    // Stops the timer, lets a worker still starting finish, restores the modem, closes the port the
    // monitor opened and shows the main settings window.
    void CloseSequence(bool restoreTunnelAlways);

    bool closing_ = false;
};

extern TFrf_monitor* Frf_monitor;

// For the connect dialog: before it opens the port, the labels and bars as a new opening starts.
void ResetMonitorWindow();
// For the connect dialog, once the port is open and a modem is seen on it: hides the dialog and the
// main settings window, starts the monitor worker with the current monitor flag and shows the
// monitor window without blocking. The port stays open; the monitor window closes it when it
// closes (when the dialog's MonitorOpenedPort is 1).
void StartMonitorOperation();
