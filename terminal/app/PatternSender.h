// A port window's Send Pattern command: asks for the pattern, shows the Transmit Pattern window and
// runs the worker; the window is busy from the worker's start to its end.
#pragma once

#include <QObject>
#include <QPointer>

#include <memory>

class QWidget;

namespace halvic {

class CTransmitPatternDlg;
class PatternSendThread;
class StopSignal;

class PatternSender : public QObject {
    Q_OBJECT
public:
    explicit PatternSender(QObject* parent = nullptr);
    // A job still running is stopped and waited for.
    ~PatternSender() override;

    // False when the dialog was cancelled.
    bool SendPattern(int port, const QString& portName, QWidget* frame);
    bool running() const { return thread_ != nullptr; }
    CTransmitPatternDlg* progressDialog() const;

signals:
    void busyChanged(bool busy);

private:
    void OnPatternDone();

    int port_ = 0;
    QPointer<CTransmitPatternDlg> dialog_;
    PatternSendThread* thread_ = nullptr;
    std::shared_ptr<StopSignal> stop_;
};

} // namespace halvic
