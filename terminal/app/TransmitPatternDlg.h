// The window shown while a pattern is sent: port, pattern, repeat count, the passes sent so far and
// Stop. Stop (and Enter, Escape, the close box) only asks the job to end; the job's end removes it.
#pragma once

#include <QDialog>

#include <memory>

class QLabel;

namespace halvic {

class StopSignal;

class CTransmitPatternDlg : public QDialog {
    Q_OBJECT
public:
    CTransmitPatternDlg(int port, std::shared_ptr<StopSignal> stop, const QString& portName,
                        const QString& patternText, const QString& repeatText, QWidget* parent);

    QString transmitCountText() const;
    void OnPatternProgress(long count);

    void accept() override;
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void OnStop();

    const int port_;
    std::shared_ptr<StopSignal> stop_;
    QLabel* count_;
};

} // namespace halvic
