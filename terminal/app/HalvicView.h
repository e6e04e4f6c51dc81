// One port window's terminal: paints the document's screen in the terminal font, scrolls over the
// screen and its history, sends keys to the port, keeps the mouse selection and copies it, and runs
// the port's reader thread.
#pragma once

#include "TerminalFont.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QPointer>

#include <cstdint>
#include <memory>

namespace halvic {

class CaptureSink;
class CHalvicDoc;
class PatternSender;
class ReaderThread;
class ReceiveTap;

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
    // Given to readers started from now on.
    void setReceiveTap(std::shared_ptr<ReceiveTap> tap) { tap_ = std::move(tap); }
    // A dumb-terminal block shown as if received (local echo), on the GUI thread.
    void OnRawData(const uint8_t* data, size_t length);
    bool IsBusy() const { return busy_; }
    void setBusy(bool busy);

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

    // Commands whose windows are still to come (HalvicViewPending.cpp).
    void OnFileTransfer();

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
    QPoint cellAt(const QPoint& pos, bool endPoint) const;
    void forgetReader();
    void finishAfterStop(int timerId);
    // The reader for the open port, the line status asked for; on failure the window is to close.
    bool startReaderOrClose();

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
    std::shared_ptr<ReceiveTap> tap_;
    QRect caretRect_;
};

} // namespace halvic
