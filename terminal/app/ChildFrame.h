// The frame of one port window inside the main window: the port toolbar (Close/Open port, DTR, RTS),
// the terminal view and the status line with the port state and the window's notices. It keeps its
// size within the terminal's and closes only once the view's reader has stopped.
#pragma once

#include "PortRecords.h"

#include <QBasicTimer>
#include <QMdiSubWindow>
#include <QPointer>

#include <memory>

class PortStatusBar;
class QAction;
class QLabel;
class QMainWindow;
class QToolBar;

namespace halvic {

class CHalvicDoc;
class CHalvicView;
struct TerminalFont;

class CChildFrame : public QMdiSubWindow {
    Q_OBJECT
public:
    // Takes the document; makes its view.
    CChildFrame(std::unique_ptr<CHalvicDoc> doc, const TerminalFont& font, QWidget* parent = nullptr);
    ~CChildFrame() override;

    CHalvicDoc& document() const { return *doc_; }
    CHalvicView& view() const { return *view_; }

    ChildPlacement GetPlacement() const;
    void SetPlacement(const ChildPlacement& placement);
    void SetTerminalSize(int width, int height);
    QSize terminalSize() const { return terminal_; }
    void ShowLineStatus(int port);
    void RepaintStatusBar();
    // Shows a notice highlighted in the message pane.
    void SetStatusPane(const QString& text);
    QString statusPaneText() const;
    // A command's status text in the message pane while it is pointed at; an empty text puts back the
    // notice that was there.
    void ShowPrompt(const QString& text);
    QString stateText() const;
    int lineIndicators() const { return lines_; }

    // Notices routed from the main window.
    void OnFramePortStatus(int port);
    void OnFramePortBreak(int port);

    QToolBar* portToolBar() const { return toolBar_; }
    QAction* portButton() const { return portAction_; }
    QAction* dtrButton() const { return dtrAction_; }
    QAction* rtsButton() const { return rtsAction_; }
    bool closeWaiting() const { return closeWaitTimer_.isActive(); }
    // "ToolBar": the port toolbar on or off, from the system and context menus.
    QAction* toolBarToggle() const { return toolBarAction_; }

    // The largest size, from the terminal's size and the area's; called again when the area changes.
    void RecalcSizeLimits();
    bool ownMaximised() const { return ownMaximised_; }

signals:
    void closed(CChildFrame* frame);
    void stateChanged();

protected:
    void closeEvent(QCloseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Marks the frame's own moves and resizes while it lives; only other resizes end the own maximise.
    struct OwnGeometry {
        explicit OwnGeometry(int& depth) : depth_(depth) { ++depth_; }
        ~OwnGeometry() { --depth_; }
        OwnGeometry(const OwnGeometry&) = delete;
        OwnGeometry& operator=(const OwnGeometry&) = delete;
        int& depth_;
    };

    void showPortState(bool open);
    void updateButtons();
    void showLamps();
    void OnWindowStateChanged(Qt::WindowStates before, Qt::WindowStates now);
    void OnOwnMaximise();

    std::unique_ptr<CHalvicDoc> doc_;
    QMainWindow* inner_ = nullptr;
    CHalvicView* view_ = nullptr;
    QToolBar* toolBar_ = nullptr;
    QAction* portAction_ = nullptr;
    QAction* dtrAction_ = nullptr;
    QAction* rtsAction_ = nullptr;
    QAction* toolBarAction_ = nullptr;
    PortStatusBar* statusBar_ = nullptr;
    QSize terminal_;
    int lines_ = 0;
    int blinkCount_ = 0;
    bool ownMaximised_ = false;
    int ownGeometry_ = 0;
    bool prompting_ = false;
    QString promptSaved_;
    bool promptSavedHighlight_ = false;
    ChildPlacement normal_; // its saved normal rectangle
    QBasicTimer closeWaitTimer_;
    QBasicTimer blinkTimer_;
};

} // namespace halvic
