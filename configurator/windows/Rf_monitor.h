#pragma once
// The signal monitor window: operator, registration and signal level while the user watches.

#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <memory>

namespace Ui {
class TFrf_monitor;
}

class TFrf_monitor : public QWidget {
    Q_OBJECT
public:
    explicit TFrf_monitor(QWidget* parent = nullptr);
    ~TFrf_monitor() override;

    // The form's controls, each also found by its name with findChild.
    std::unique_ptr<Ui::TFrf_monitor> ui;
    // The poll timer: off until the monitor worker has finished its start.
    QTimer* RF_Timer1;

    std::int32_t NoSignalCount = 0;
    std::int32_t EscapeResult = 0;
    std::int32_t EchoProbeResult = 0;
    std::int32_t DcdAtStart = 0;
    std::int32_t SmsTunnelWasOn = 0;
    std::int32_t SimState = 0;

private:
    // One handler for the three interval buttons.
    void IntervalClick(bool ticked);
};

extern TFrf_monitor* Frf_monitor;
