// The thread that reads one open port: ANSI and VT100 bytes go through the sequence recogniser into the
// screen, dumb-terminal blocks go to the screen as they are. It writes the screen under the model's lock
// and tells the view by one queued signal per batch of changes; it never waits for the GUI thread, so a
// stop always ends it within one read.
#pragma once

#include "capability_names.h"
#include "ReaderControl.h"
#include "screen_model.h"
#include "sequence_recogniser.h"
#include "termcap_table.h"

#include <QThread>

#include <atomic>
#include <cstdint>
#include <memory>

namespace halvic {

// Sees the received text (not the recognised sequences) before the screen does: for capture and the
// automatic download detection.
class ReceiveTap {
public:
    virtual ~ReceiveTap() = default;
    virtual void received(const uint8_t* data, size_t length) = 0;
};

class ReaderThread : public QThread {
    Q_OBJECT
public:
    static constexpr int TerminalReadSize = 1024;
    static constexpr int DumbReadSize = 128;

    ReaderThread(int port, terminal::TerminalType type, std::shared_ptr<const terminal::TermcapTable> table,
                 std::shared_ptr<terminal::ScreenModel> model, QObject* parent = nullptr);
    ~ReaderThread() override;

    ReaderControl& control() { return control_; }
    // Set before start().
    void setTap(std::shared_ptr<ReceiveTap> tap) { tap_ = std::move(tap); }
    void setDoubleByte(bool on) { doubleByte_ = on; }
    // Called by the view when it has taken the changes; the next change signals again.
    void changesTaken() { updatePending_ = false; }
    // Reads that brought bytes so far.
    int blocksRead() const { return blocksRead_; }

signals:
    // The screen changed; sent once until changesTaken().
    void screenChanged();
    // The dumb terminal in double-byte mode went quiet after a burst: repaint everything.
    void repaintAll();

protected:
    void run() override;

private:
    // Waits as the reader does before every read; false once stopped.
    bool waitBeforeRead();
    void runTerminal();
    void runDumb();
    void changed();
    void writeReplies(const std::string& replies);

    const int port_;
    const terminal::TerminalType type_;
    std::shared_ptr<const terminal::TermcapTable> table_;
    std::shared_ptr<terminal::ScreenModel> model_;
    std::shared_ptr<ReceiveTap> tap_;
    ReaderControl control_;
    bool paused_ = false;
    std::atomic<bool> doubleByte_{false};
    std::atomic<bool> updatePending_{false};
    std::atomic<int> blocksRead_{0};
};

} // namespace halvic
