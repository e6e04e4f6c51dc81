// The thread that reads one open port: ANSI and VT100 bytes go through the sequence recogniser, dumb-
// terminal blocks as they are, into the view's receive pipeline. It writes the screen under the model's lock
// and tells the view by one queued signal per batch of changes; it never waits for the GUI thread, so a
// stop always ends it within one read.
#pragma once

#include "capability_names.h"
#include "ReaderControl.h"
#include "ReadPacing.h"
#include "receive_pipeline.h"
#include "ReceiverRequest.h"
#include "sequence_recogniser.h"
#include "termcap_table.h"

#include <QThread>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>

namespace halvic {

class ReaderThread : public QThread {
    Q_OBJECT
public:
    static constexpr int TerminalReadSize = 1024;
    static constexpr int DumbReadSize = 128;
    // How long an idle dumb reader's read waits for the line: the requests are looked at in between.
    static constexpr int DumbFirstByteMs = 10;

    ReaderThread(int port, terminal::TerminalType type, std::shared_ptr<const terminal::TermcapTable> table,
                 std::shared_ptr<terminal::ReceivePipeline> pipeline, QObject* parent = nullptr);
    ~ReaderThread() override;

    ReaderControl& control() { return control_; }
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
    // Looks at the requests before every read, waiting on them up to `gather` (for ever while
    // paused); false once stopped.
    bool waitBeforeRead(std::chrono::milliseconds gather);
    // One read of the port: one that waits for the line with the reader's time-outs, or one that
    // takes at once what has come.
    int read(bool waiting, int firstByteMs, int collectMs, int size, uint8_t* buffer);
    void runTerminal();
    void runDumb();
    void changed();
    // Bytes a read brought, before they go to the pipeline.
    void noteRead(const uint8_t* bytes, int size);
    // On taking a pause for a transmit: a receiver's request read last goes back to the port.
    void handBackRequest();
    void writeReplies(const std::string& replies);

    const int port_;
    const terminal::TerminalType type_;
    std::shared_ptr<const terminal::TermcapTable> table_;
    std::shared_ptr<terminal::ReceivePipeline> pipeline_;
    ReaderControl control_;
    bool paused_ = false;
    ReceiverRequest request_;
    std::atomic<bool> doubleByte_{false};
    std::atomic<bool> updatePending_{false};
    std::atomic<int> blocksRead_{0};
};

} // namespace halvic
