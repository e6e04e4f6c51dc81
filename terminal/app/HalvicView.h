// One port window's terminal: paints the document's screen in the terminal font, scrolls over the
// screen and its history, sends keys to the port, keeps the mouse selection and copies it, and runs
// the port's reader thread.
#pragma once

#include "CellGlyphs.h"
#include "TerminalFont.h"

#include "ActiveTransferTable.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QElapsedTimer>
#include <QPointer>

#include <cstdint>
#include <memory>
#include <string>

namespace terminal {
class ReceivePipeline;
}

namespace halvic {

class CaptureSink;
class CHalvicDoc;
class PatternSender;
class ReaderThread;
class TransferProgressDlg;
class TransferWorker;

class CHalvicView : public QAbstractScrollArea {
    Q_OBJECT
public:
    static constexpr int TimerClosePortWait = 100;
    static constexpr int TimerReopenWait = 101;

    CHalvicView(CHalvicDoc& doc, const TerminalFont& font, QWidget* parent = nullptr);
    ~CHalvicView() override;

    CHalvicDoc& GetDocument() const { return doc_; }

    // Receive path.
    bool OpenPortAndStartReader();
    // Asks the reader to stop and waits at most 10 ms: true once it has ended (or none runs).
    bool StopReader();
    bool readerRunning() const;
    ReaderThread* reader() const { return reader_.get(); }
    // Every received run and the local echo go this one way: detector, capture, screen.
    terminal::ReceivePipeline& pipeline() const { return *pipeline_; }
    // A dumb-terminal block shown as if received (local echo), on the GUI thread.
    void OnRawData(const uint8_t* data, size_t length);
    bool IsBusy() const { return busy_; }
    void setBusy(bool busy);

    // File transfer (HalvicViewTransfer.cpp).
    void OnFileTransfer();
    void TransmitFile(int protocol);
    void ReceiveFile(int protocol);
    // receiveCode: 100 + protocol, 107 the automatic download. False when nothing started.
    bool StartReceiveThread(int receiveCode, const QString& folder);
    // A sender's opening header was seen on the line.
    void OnZmodemAutoDownload();
    bool transferRunning() const { return worker_ != nullptr; }
    // The running transfer's progress dialog; null when none runs.
    TransferProgressDlg* transferDialog() const { return transferDlg_; }

    // Port commands.
    void OnInitialUpdate();
    void OnOpenPort();
    void OnClosePort();
    void OnToggleDtr();
    void OnToggleRts();
    void OnClearScreen();
    void StopReaderThen(int timerId);
    void FinishClosePort();
    void ResizeFrameToTerminal();
    QString BuildPortTitle() const;
    bool closeWaiting() const { return closeWait_; }

    // Settings and line commands.
    void OnProperties();
    void OnSendBreak();
    void ReopenPort();
    void ReleaseReaderEvents();
    void SetStatusMessage(const QString& text);
    bool capturing() const;
    // Capture switched on or off, by the command or by a failure.
    CaptureSink& captureSink() const { return *capture_; }
    void OnCapture();
    void OnSendPattern();
    PatternSender& patternSender() const { return *patterns_; }

    // Display.
    void SetViewFont(const TerminalFont& font);
    QSize cellSize() const { return {charWidth_, charHeight_}; }
    QSize terminalPixelSize() const;
    int firstVisibleLine() const;
    int firstVisibleColumn() const;
    int visibleLines() const { return visibleLines_; }
    void EnsureVisible(int column, int line);
    void RecalcScrollBars(int width, int height);
    // The pixel rectangle of a cell in the viewport.
    QRect cellRect(int column, int line) const;

    // Selection and Copy.
    bool hasSelection() const;
    void OnEditCopy();
    bool doubleByte() const { return doubleByte_; }
    void OnDoubleByte();

signals:
    void portStateChanged(bool open);
    void lineStatusWanted();
    void terminalSizeChanged(QSize pixels);
    void statusMessage(const QString& text);
    void titleChanged(const QString& title);
    void statusBarRepaint();
    void selectionChanged(bool notEmpty);
    void busyChanged(bool busy);
    void captureChanged(bool on);
    // The window is to close (the reader could not be started).
    void closeRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    bool event(QEvent* event) override;

private:
    void takeScreenChanges();
    void updateLines(int firstLine, int lastLine);
    void drawLine(QPainter& painter, int line, int row, int screenStart, const uint8_t* chars,
                  const uint16_t* attrs, int columns);
    void writeToPort(const QByteArray& bytes, int times);
    void MarkSelection(bool on);
    // Keeps the selection's ends on the text it was made on, or drops it when that text has gone.
    void keepSelectionOnItsText();
    QPoint cellAt(const QPoint& pos, bool endPoint) const;
    void forgetReader();
    void finishAfterStop(int timerId);
    // The reader for the open port, the line status asked for; on failure the window is to close.
    bool startReaderOrClose();
    bool startTransfer(TransferProgressDlg* dialog, int protocol, bool receive, const QString& folder);
    void OnTransferDone();
    void endTransfer();

    CHalvicDoc& doc_;
    QFont font_;
    int charWidth_ = 8;
    int charHeight_ = 16;
    int ascent_ = 12;
    int underlineOffset_ = 3;
    int visibleLines_ = 0;
    int visibleColumns_ = 0;
    bool partialLine_ = false;
    bool partialColumn_ = false;
    int clientWidth_ = 0;
    int clientHeight_ = 0;
    int anchorColumn_ = 0, anchorLine_ = 0, endColumn_ = 0, endLine_ = 0;
    // The model's counters when the ends were last known to be right.
    uint64_t selectionDiscarded_ = 0, selectionMoves_ = 0;
    bool selecting_ = false;
    QColor background_ = QColor(0xFF, 0xFF, 0xFF);
    QColor text_ = QColor(0, 0, 0);
    bool busy_ = false;
    int terminalType_ = 0;
    bool closeWait_ = false;
    QBasicTimer closePortTimer_;
    int afterStop_ = TimerClosePortWait; // what the close-wait timer finishes with
    std::shared_ptr<CaptureSink> capture_;
    PatternSender* patterns_;
    bool doubleByte_ = false;
    std::unique_ptr<ReaderThread> reader_;
    std::shared_ptr<terminal::ReceivePipeline> pipeline_;
    // The running transfer.
    int TransferSlot = -1;
    std::unique_ptr<TransferWorker> worker_;
    std::shared_ptr<TransferStop> TransferStopEvent;
    TransferProgressDlg* transferDlg_ = nullptr;
    int TransferProtocol = 0;
    std::string TransferPath;
    QRect caretRect_;

    // Painting: glyphs of the font, and changes taken at most once a frame while data floods.
    CellGlyphs glyphs_;
    QElapsedTimer changesTakenAt_;
    bool changesQueued_ = false;
};

} // namespace halvic
