#pragma once
// The worker that runs the line-settings scan while the connect dialog waits in its modal loop.

#include <QThread>

#include <atomic>

class AutoDetectThread : public QThread {
    Q_OBJECT
public:
    explicit AutoDetectThread(QObject* parent = nullptr);

    // Asks a running scan to stop before its next try (any thread; the Cancel button and the close
    // box). The result is then 0.
    void cancel() { cancel_.store(true); }
    bool cancelRequested() const { return cancel_.load(); }
    // 1: the modem was found and the boxes show its settings; 0: not found, cancelled, or no scan
    // (automatic detection not chosen). Final once the thread has finished.
    int result() const { return result_.load(); }

protected:
    // With automatic detection chosen in the link settings: scans, keeps the result, marks itself
    // interrupted and ends the connect dialog's modal loop. Otherwise ends at once and touches
    // nothing.
    void run() override;

private:
    std::atomic<bool> cancel_{false};
    std::atomic<int> result_{0};
};
