#include "ChildFrame.h"

#include "HalvicApp.h"
#include "HalvicDoc.h"
#include "HalvicView.h"
#include "MainFrame.h"
#include "seriallib.h"

#include <QAction>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMainWindow>
#include <QMdiArea>
#include <QMenu>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QTimerEvent>
#include <QToolBar>

#include <algorithm>
#include <array>

namespace halvic {

namespace {

constexpr std::array<const char*, 4> LineNames = {"CTS", "DSR", "RI", "DCD"};

} // namespace

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

    QStatusBar* bar = inner_->statusBar();
    bar->setSizeGripEnabled(false);
    messagePane_ = new QLabel(bar);
    messagePane_->setAutoFillBackground(true);
    bar->addWidget(messagePane_, 1);
    statePane_ = new QLabel(QStringLiteral("State:CLOSE"), bar);
    bar->addPermanentWidget(statePane_);
    for (const char* name : LineNames) {
        auto* lamp = new QLabel(QString::fromLatin1(name), bar);
        lamp->setObjectName(QString::fromLatin1(name));
        lamp->setEnabled(false);
        bar->addPermanentWidget(lamp);
    }
    setWidget(inner_);
    if (QMenu* menu = systemMenu()) {
        menu->addSeparator();
        menu->addAction(toolBar_->toggleViewAction());
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
    connect(view_, &CHalvicView::titleChanged, this, [this](const QString& title) {
        setWindowTitle(title);
        toolBar_->setWindowTitle(title);
    });
    connect(
        view_, &CHalvicView::closeRequested, this, [this] { close(); }, Qt::QueuedConnection);
    updateButtons();
}

CChildFrame::~CChildFrame() {
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
    if (!view_->StopReader()) {
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
        if (view_->StopReader()) {
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
    statePane_->setText(open ? QStringLiteral("State:OPEN") : QStringLiteral("State:CLOSE"));
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
    rtsAction_->setEnabled(open && idle && !doc_->portSettings.hardwareFlow());
    rtsAction_->setChecked(doc_->portSettings.rts != 0);
}

void CChildFrame::ShowLineStatus(int port) {
    // A negative answer lights nothing.
    lines_ = std::max(0, SerialGetLineStatus(port));
    showLamps();
}

void CChildFrame::showLamps() {
    const bool open = doc_->IsPortOpen();
    for (size_t i = 0; i < LineNames.size(); ++i)
        if (auto* lamp = findChild<QLabel*>(QString::fromLatin1(LineNames[i])))
            lamp->setEnabled(open && (lines_ & (1 << i)) != 0);
}

void CChildFrame::RepaintStatusBar() {
    inner_->statusBar()->update();
}

void CChildFrame::SetStatusPane(const QString& text) {
    QPalette palette = messagePane_->palette();
    palette.setColor(QPalette::Window, palette.color(QPalette::Highlight));
    palette.setColor(QPalette::WindowText, palette.color(QPalette::HighlightedText));
    messagePane_->setPalette(palette);
    messagePane_->setText(text);
}

QString CChildFrame::statusPaneText() const {
    return messagePane_->text();
}

QString CChildFrame::stateText() const {
    return statePane_->text();
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
    for (const char* name : {"editCopy", "portEnable", "portDisable", "clearScreen", "doubleByte"})
        if (QAction* a = main->action(QString::fromLatin1(name)))
            menu.addAction(a);
    menu.addSeparator();
    menu.addAction(toolBar_->toggleViewAction());
    menu.exec(event->globalPos());
}

ChildPlacement CChildFrame::GetPlacement() const {
    ChildPlacement p;
    const QRect g = geometry();
    p.frame = {g.left(), g.top(), g.right() + 1, g.bottom() + 1};
    p.ownMaximised = ownMaximised_ ? 1 : 0;
    p.normal = normal_;
    return p;
}

void CChildFrame::SetPlacement(const ChildPlacement& placement) {
    normal_ = placement.normal;
    setGeometry(QRect(QPoint(placement.frame.left, placement.frame.top),
                      QPoint(placement.frame.right - 1, placement.frame.bottom - 1)));
    ownMaximised_ = placement.ownMaximised != 0;
}

void CChildFrame::SetTerminalSize(int width, int height) {
    terminal_ = QSize(width, height);
    applySizeLimits();
}

void CChildFrame::applySizeLimits() {
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
            limit.rwidth() = client.width();
        if (limit.height() > client.height())
            limit.rheight() = std::max(client.height(), 1);
    }
    setMaximumSize(limit);
    resize(limit);
}

} // namespace halvic
