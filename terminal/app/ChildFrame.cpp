#include "ChildFrame.h"

#include "HalvicApp.h"
#include "HalvicDoc.h"
#include "HalvicView.h"
#include "MainFrame.h"
#include "PortStatusBar.h"
#include "seriallib.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMainWindow>
#include <QMdiArea>
#include <QMenu>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QTimerEvent>
#include <QToolBar>

#include <algorithm>
#include <array>

namespace halvic {

CChildFrame::CChildFrame(std::unique_ptr<CHalvicDoc> doc, const TerminalFont& font, QWidget* parent)
    : QMdiSubWindow(parent), doc_(std::move(doc)) {
    setAttribute(Qt::WA_DeleteOnClose);
    inner_ = new QMainWindow;
    inner_->setWindowFlags(Qt::Widget);
    view_ = new CHalvicView(*doc_, font, inner_);
    inner_->setCentralWidget(view_);

    toolBar_ = new QToolBar(QStringLiteral("ToolBar"), inner_);
    toolBar_->setObjectName(QStringLiteral("portToolBar"));
    toolBar_->setToolButtonStyle(Qt::ToolButtonTextOnly);
    portAction_ = toolBar_->addAction(QStringLiteral("Close port"));
    portAction_->setCheckable(true);
    toolBar_->addSeparator();
    dtrAction_ = toolBar_->addAction(QStringLiteral("DTR"));
    dtrAction_->setCheckable(true);
    rtsAction_ = toolBar_->addAction(QStringLiteral("RTS"));
    rtsAction_->setCheckable(true);
    toolBar_->addSeparator();
    inner_->addToolBar(Qt::TopToolBarArea, toolBar_);

    statusBar_ = new PortStatusBar(inner_);
    statusBar_->setPaneText(PortStatusBar::StatePane, QStringLiteral("State:CLOSE"));
    inner_->setStatusBar(statusBar_);
    setWidget(inner_);
    // Named as itself: the toolbar's own title is the port's title.
    toolBarAction_ = new QAction(QStringLiteral("ToolBar"), this);
    toolBarAction_->setObjectName(QStringLiteral("portToolBarToggle"));
    toolBarAction_->setCheckable(true);
    toolBarAction_->setChecked(true);
    connect(toolBarAction_, &QAction::toggled, toolBar_, &QToolBar::setVisible);
    connect(toolBar_, &QToolBar::visibilityChanged, toolBarAction_, &QAction::setChecked);
    if (QMenu* menu = systemMenu()) {
        menu->addSeparator();
        menu->addAction(toolBarAction_);
    }

    connect(portAction_, &QAction::triggered, this, [this] {
        if (doc_->IsPortOpen())
            view_->OnClosePort();
        else
            view_->OnOpenPort();
        updateButtons();
    });
    connect(dtrAction_, &QAction::triggered, this, [this] {
        view_->OnToggleDtr();
        updateButtons();
    });
    connect(rtsAction_, &QAction::triggered, this, [this] {
        view_->OnToggleRts();
        updateButtons();
    });
    connect(view_, &CHalvicView::portStateChanged, this, &CChildFrame::showPortState);
    connect(view_, &CHalvicView::busyChanged, this, &CChildFrame::updateButtons);
    connect(view_, &CHalvicView::lineStatusWanted, this, [this] { ShowLineStatus(doc_->activePort()); });
    connect(view_, &CHalvicView::terminalSizeChanged, this,
            [this](QSize size) { SetTerminalSize(size.width(), size.height()); });
    connect(view_, &CHalvicView::statusMessage, this, &CChildFrame::SetStatusPane);
    connect(view_, &CHalvicView::statusBarRepaint, this, &CChildFrame::RepaintStatusBar);
    connect(this, &QMdiSubWindow::windowStateChanged, this, &CChildFrame::OnWindowStateChanged);
    connect(view_, &CHalvicView::titleChanged, this, [this](const QString& title) {
        setWindowTitle(title);
        toolBar_->setWindowTitle(title);
    });
    connect(
        view_, &CHalvicView::closeRequested, this, [this] { close(); }, Qt::QueuedConnection);
    updateButtons();
}

CChildFrame::~CChildFrame() {
    // The area's frame still reports state changes while it goes; this part is gone by then.
    disconnect(this, &QMdiSubWindow::windowStateChanged, this, nullptr);
    // The view (and its reader) go before the document they show.
    setWidget(nullptr);
    delete inner_;
    emit closed(this);
}

void CChildFrame::closeEvent(QCloseEvent* event) {
    if (view_->IsBusy()) {
        event->ignore();
        return;
    }
    // A close from a timer or a failed reader can come while a dialog's or a popup menu's own loop runs
    // inside a command of this window (File Transfer, Send Pattern, Properties, the context menu): the
    // window waits for it to end, or the command would return into a deleted view.
    if (!view_->StopReader() || QApplication::activeModalWidget() || QApplication::activePopupWidget()) {
        if (!closeWaitTimer_.isActive())
            closeWaitTimer_.start(100, this);
        event->ignore();
        return;
    }
    doc_->OnCloseDocument();
    QMdiSubWindow::closeEvent(event);
}

void CChildFrame::timerEvent(QTimerEvent* event) {
    if (event->timerId() == closeWaitTimer_.timerId()) {
        // A transfer that started meanwhile keeps the reader it uses until it ends.
        if (!view_->IsBusy() && view_->StopReader() && !QApplication::activeModalWidget() &&
            !QApplication::activePopupWidget()) {
            closeWaitTimer_.stop();
            QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        }
        return;
    }
    if (event->timerId() == blinkTimer_.timerId()) {
        if (blinkCount_ == 0) {
            SetStatusPane(QString());
        } else if (blinkCount_ == 1) {
            SetStatusPane(QStringLiteral("Got Break Signal"));
        } else {
            blinkTimer_.stop();
            blinkCount_ = 0;
            return;
        }
        ++blinkCount_;
        return;
    }
    QMdiSubWindow::timerEvent(event);
}

void CChildFrame::showPortState(bool open) {
    statusBar_->setPaneText(PortStatusBar::StatePane,
                            open ? QStringLiteral("State:OPEN") : QStringLiteral("State:CLOSE"));
    showLamps();
    updateButtons();
    emit stateChanged();
}

void CChildFrame::updateButtons() {
    const bool open = doc_->IsPortOpen();
    const bool idle = !view_->IsBusy();
    portAction_->setText(open ? QStringLiteral("Close port") : QStringLiteral("Open port"));
    portAction_->setChecked(open);
    portAction_->setEnabled(open ? idle : true);
    dtrAction_->setEnabled(open && idle);
    dtrAction_->setChecked(doc_->portSettings.dtr != 0);
    rtsAction_->setEnabled(open && idle && !HardwareFlow(doc_->portSettings));
    rtsAction_->setChecked(doc_->portSettings.rts != 0);
}

void CChildFrame::ShowLineStatus(int port) {
    // A negative answer lights nothing.
    lines_ = std::max(0, SerialGetLineStatus(port));
    showLamps();
}

void CChildFrame::showLamps() {
    const bool open = doc_->IsPortOpen();
    for (int pane = PortStatusBar::CtsPane; pane <= PortStatusBar::DcdPane; ++pane)
        statusBar_->setPaneEnabled(pane, open);
    statusBar_->SetLineIndicators(lines_);
}

void CChildFrame::RepaintStatusBar() {
    statusBar_->update();
}

void CChildFrame::SetStatusPane(const QString& text) {
    statusBar_->SetStatusPane(text);
}

QString CChildFrame::statusPaneText() const {
    return statusBar_->paneText(PortStatusBar::MessagePane);
}

void CChildFrame::ShowPrompt(const QString& text) {
    if (!text.isEmpty()) {
        if (!prompting_) {
            promptSaved_ = statusBar_->paneText(PortStatusBar::MessagePane);
            promptSavedHighlight_ = statusBar_->highlighted();
            prompting_ = true;
        }
        statusBar_->setPaneText(PortStatusBar::MessagePane, text);
        return;
    }
    if (!prompting_)
        return;
    prompting_ = false;
    if (promptSavedHighlight_)
        statusBar_->SetStatusPane(promptSaved_);
    else
        statusBar_->setPaneText(PortStatusBar::MessagePane, promptSaved_);
}

QString CChildFrame::stateText() const {
    return statusBar_->paneText(PortStatusBar::StatePane);
}

void CChildFrame::OnFramePortStatus(int port) {
    if (doc_->IsPortOpen())
        ShowLineStatus(port);
}

void CChildFrame::OnFramePortBreak(int) {
    if (!doc_->IsPortOpen())
        return;
    blinkCount_ = 0;
    blinkTimer_.start(100, this);
}

void CChildFrame::contextMenuEvent(QContextMenuEvent* event) {
    CMainFrame* main = CHalvicApp::instance() ? CHalvicApp::instance()->mainFrame() : nullptr;
    if (!main || !widget() || !widget()->geometry().contains(event->pos())) {
        QMdiSubWindow::contextMenuEvent(event);
        return;
    }
    main->updateActions();
    QMenu menu(this);
    for (const char* name : {"editCopy", "portEnable", "portDisable", "properties", "clearScreen",
                             "fileTransfer", "sendPattern", "sendBreak", "capture", "doubleByte"})
        if (QAction* a = main->action(QString::fromLatin1(name)))
            menu.addAction(a);
    menu.addSeparator();
    menu.addAction(toolBarAction_);
    menu.exec(event->globalPos());
}

ChildPlacement CChildFrame::GetPlacement() const {
    ChildPlacement p;
    const QRect g = geometry();
    p.left = g.left();
    p.top = g.top();
    p.right = g.right() + 1;
    p.bottom = g.bottom() + 1;
    p.ownMaximised = ownMaximised_ ? 1 : 0;
    p.normalLeft = normal_.normalLeft;
    p.normalTop = normal_.normalTop;
    p.normalRight = normal_.normalRight;
    p.normalBottom = normal_.normalBottom;
    return p;
}

void CChildFrame::SetPlacement(const ChildPlacement& placement) {
    const OwnGeometry own(ownGeometry_);
    normal_ = placement;
    setGeometry(
        QRect(QPoint(placement.left, placement.top), QPoint(placement.right - 1, placement.bottom - 1)));
    ownMaximised_ = placement.ownMaximised != 0;
}

void CChildFrame::SetTerminalSize(int width, int height) {
    const bool first = terminal_.isEmpty();
    terminal_ = QSize(width, height);
    if (terminal_.isEmpty())
        return;
    // The first size fits the window to its terminal; later ones (a font, a terminal type) keep the
    // size the user gave it, only clipped by the new limit.
    const OwnGeometry own(ownGeometry_);
    RecalcSizeLimits();
    if (first)
        resize(maximumSize());
}

void CChildFrame::resizeEvent(QResizeEvent* event) {
    // A size given by the user, not by the frame itself, ends its own maximise.
    if (ownGeometry_ == 0 && !(windowState() & Qt::WindowMaximized))
        ownMaximised_ = false;
    QMdiSubWindow::resizeEvent(event);
}

void CChildFrame::RecalcSizeLimits() {
    if (terminal_.isEmpty())
        return;
    // The frame around the view (title, borders, toolbar, status line) stays as it is; the view may
    // grow to the terminal plus its vertical scroll bar, which the history always needs.
    const QSize chrome =
        size() - view_->viewport()->size() -
        QSize(view_->verticalScrollBar()->isVisible() ? view_->verticalScrollBar()->width() : 0,
              view_->horizontalScrollBar()->isVisible() ? view_->horizontalScrollBar()->height() : 0);
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, view_);
    QSize limit = terminal_ + chrome + QSize(scrollBar, 0);
    if (QMdiArea* area = mdiArea()) {
        const QSize client = area->viewport()->size();
        if (limit.width() > client.width())
            limit.rwidth() = std::max(client.width(), 1);
        if (limit.height() > client.height())
            limit.rheight() = std::max(client.height(), 1);
    }
    const OwnGeometry own(ownGeometry_);
    setMaximumSize(limit);
    if (ownMaximised_)
        setGeometry(QRect(QPoint(0, 0), limit));
}

// The area's maximise would hide the frame's bars and ignore the terminal's size: this one fills the
// area as far as the size limits let it, and the next maximise goes back.
void CChildFrame::OnWindowStateChanged(Qt::WindowStates, Qt::WindowStates now) {
    if (now & Qt::WindowMaximized)
        QMetaObject::invokeMethod(this, &CChildFrame::OnOwnMaximise, Qt::QueuedConnection);
}

void CChildFrame::OnOwnMaximise() {
    const OwnGeometry own(ownGeometry_);
    setWindowState(windowState() & ~Qt::WindowMaximized);
    if (ownMaximised_) {
        ownMaximised_ = false;
        setGeometry(QRect(QPoint(normal_.normalLeft, normal_.normalTop),
                          QPoint(normal_.normalRight - 1, normal_.normalBottom - 1)));
        return;
    }
    const QRect g = geometry();
    normal_.normalLeft = g.left();
    normal_.normalTop = g.top();
    normal_.normalRight = g.right() + 1;
    normal_.normalBottom = g.bottom() + 1;
    ownMaximised_ = true;
    RecalcSizeLimits();
}

} // namespace halvic
