#include "MainFrame.h"

#include "ChildFrame.h"
#include "file_dialogs.h"
#include "HalvicApp.h"
#include "HalvicDoc.h"
#include "HalvicView.h"
#include "install_layout.h"
#include "launcher.h"
#include "messenger.h"
#include "program_version.h"
#include "TerminalFontDlg.h"
#include "WaitDlg.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMenuBar>
#include <QScreen>
#include <QStatusTipEvent>
#include <QTimerEvent>
#include <QToolBar>

namespace halvic {

namespace {

// The window area without its own keys: Ctrl+Tab and Ctrl+Shift+Tab typed in a terminal go to the
// port, not to switching windows.
class PortArea : public QMdiArea {
public:
    using QMdiArea::QMdiArea;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if ((event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) && inTerminal(watched))
            return QAbstractScrollArea::eventFilter(watched, event);
        return QMdiArea::eventFilter(watched, event);
    }

private:
    static bool inTerminal(QObject* object) {
        for (; object; object = object->parent())
            if (qobject_cast<CHalvicView*>(object))
                return true;
        return false;
    }
};

} // namespace

CMainFrame::CMainFrame(CHalvicApp& app, QWidget* parent) : QMainWindow(parent), app_(app) {
    setWindowTitle(QStringLiteral("Zerip Terminal Emulator"));
    area_ = new PortArea(this);
    area_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    area_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(area_);
    font_ = TerminalFont::load();
    createMenus();
    app_.setMainFrame(this);
    app_.optionFile().setMainWindow(this);
    connect(&app_, &CHalvicApp::portStatusChanged, this, &CMainFrame::routePortStatus);
    connect(&app_, &CHalvicApp::portBreak, this, &CMainFrame::routePortBreak);
    connect(area_, &QMdiArea::subWindowActivated, this, &CMainFrame::updateActions);
    area_->viewport()->installEventFilter(this);
    updateActions();
}

CMainFrame::~CMainFrame() {
    // Port windows go first: their views stop their readers, their documents close their ports.
    for (CChildFrame* frame : childFrames())
        delete frame;
    if (app_.mainFrame() == this)
        app_.setMainFrame(nullptr);
}

QAction* CMainFrame::addCommand(QMenu* menu, const QString& name, const QString& text,
                                const QKeySequence& keys) {
    auto* a = new QAction(text, this);
    a->setObjectName(name);
    if (!keys.isEmpty())
        a->setShortcut(keys);
    menu->addAction(a);
    return a;
}

// A command's prompt: the status line's text, then after a line break the tooltip's.
void CMainFrame::setPrompt(QAction* command, const QString& prompt) {
    const qsizetype split = prompt.indexOf(QLatin1Char('\n'));
    command->setStatusTip(prompt.left(split));
    command->setToolTip(split < 0 ? prompt : prompt.mid(split + 1));
}

void CMainFrame::keyPressEvent(QKeyEvent* event) {
    // F10 that no port window took (no string for it in the description) opens the menus, as the
    // system's own key does.
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::NoModifier) {
        for (QAction* menu : menuBar()->actions())
            if (menu->isVisible() && menu->isEnabled()) {
                menuBar()->setActiveAction(menu);
                event->accept();
                return;
            }
    }
    QMainWindow::keyPressEvent(event);
}

bool CMainFrame::event(QEvent* event) {
    // The main window has no status line of its own: a command's status text goes to the active port
    // window's, and an empty one puts back what was there.
    if (event->type() == QEvent::StatusTip) {
        if (CChildFrame* child = activeChild())
            child->ShowPrompt(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    return QMainWindow::event(event);
}

QAction* CMainFrame::action(const QString& name) const {
    return findChild<QAction*>(name, Qt::FindDirectChildrenOnly);
}

void CMainFrame::createMenus() {
    const auto ctrlAlt = [](int key) { return QKeySequence(Qt::CTRL | Qt::ALT | key); };
    // A command of the active port window's view.
    const auto viewCommand = [this](QAction* a, void (CHalvicView::*command)()) {
        connect(a, &QAction::triggered, this, [this, command] {
            if (CHalvicView* v = activeView())
                (v->*command)();
            updateActions();
        });
    };
    QMenu* profile = menuBar()->addMenu(QStringLiteral("&Profile"));
    QAction* openProfile = addCommand(profile, QStringLiteral("profileOpen"), QStringLiteral("&Open..."));
    connect(openProfile, &QAction::triggered, this, &CMainFrame::OnProfileOpen);
    QAction* save =
        addCommand(profile, QStringLiteral("profileSave"), QStringLiteral("&Save"), ctrlAlt(Qt::Key_S));
    connect(save, &QAction::triggered, this, [this] { OnProfileSave(false); });
    QAction* saveAs = addCommand(profile, QStringLiteral("profileSaveAs"), QStringLiteral("Save &As..."));
    connect(saveAs, &QAction::triggered, this, [this] { OnProfileSave(true); });
    profile->addSeparator();
    QAction* exit = addCommand(profile, QStringLiteral("profileExit"), QStringLiteral("E&xit"));
    connect(exit, &QAction::triggered, this,
            [this] { QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection); });

    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    QAction* copy = addCommand(edit, QStringLiteral("editCopy"), QStringLiteral("&Copy"), ctrlAlt(Qt::Key_C));
    viewCommand(copy, &CHalvicView::OnEditCopy);
    edit->addSeparator();
    QAction* font = addCommand(edit, QStringLiteral("setFont"), QStringLiteral("&Font..."));
    connect(font, &QAction::triggered, this, &CMainFrame::OnSetFont);

    QMenu* port = menuBar()->addMenu(QStringLiteral("Port &Manager"));
    QAction* open = addCommand(port, QStringLiteral("portOpen"), QStringLiteral("&Open"), ctrlAlt(Qt::Key_O));
    connect(open, &QAction::triggered, this, [this] { OnNewPortWindow(); });
    QAction* close =
        addCommand(port, QStringLiteral("portClose"), QStringLiteral("C&lose"), ctrlAlt(Qt::Key_L));
    connect(close, &QAction::triggered, this, [this] {
        if (CChildFrame* f = activeChild())
            f->close();
    });
    QAction* closeAll =
        addCommand(port, QStringLiteral("portCloseAll"), QStringLiteral("Close &All"), ctrlAlt(Qt::Key_A));
    connect(closeAll, &QAction::triggered, this, &CMainFrame::OnCloseAll);
    port->addSeparator();
    viewCommand(
        addCommand(port, QStringLiteral("portEnable"), QStringLiteral("Port &Enable"), ctrlAlt(Qt::Key_E)),
        &CHalvicView::OnOpenPort);
    viewCommand(
        addCommand(port, QStringLiteral("portDisable"), QStringLiteral("Port &Disable"), ctrlAlt(Qt::Key_Q)),
        &CHalvicView::OnClosePort);
    port->addSeparator();
    QAction* properties = addCommand(port, QStringLiteral("properties"), QStringLiteral("P&roperties"));
    viewCommand(properties, &CHalvicView::OnProperties);
    QAction* clear = addCommand(port, QStringLiteral("clearScreen"), QStringLiteral("Clear &Screen"));
    viewCommand(clear, &CHalvicView::OnClearScreen);
    QAction* transfer = addCommand(port, QStringLiteral("fileTransfer"), QStringLiteral("File &Transfer"));
    viewCommand(transfer, &CHalvicView::OnFileTransfer);
    QAction* pattern = addCommand(port, QStringLiteral("sendPattern"), QStringLiteral("Send &Pattern"));
    setPrompt(pattern, QStringLiteral("Send special pattern\nSend pattern"));
    viewCommand(pattern, &CHalvicView::OnSendPattern);
    QAction* sendBreak =
        addCommand(port, QStringLiteral("sendBreak"), QStringLiteral("Send &Break"), ctrlAlt(Qt::Key_Pause));
    viewCommand(sendBreak, &CHalvicView::OnSendBreak);
    QAction* capture = addCommand(port, QStringLiteral("capture"), QStringLiteral("Capt&ure"));
    capture->setCheckable(true);
    viewCommand(capture, &CHalvicView::OnCapture);
    QAction* doubleByte =
        addCommand(port, QStringLiteral("doubleByte"), QStringLiteral("Double Byte C&haracter"));
    doubleByte->setCheckable(true);
    viewCommand(doubleByte, &CHalvicView::OnDoubleByte);

    // DTR and RTS are keys of the main window and buttons of the port window's toolbar.
    for (const auto& [name, key] : {std::pair{"toggleDtr", Qt::Key_D}, std::pair{"toggleRts", Qt::Key_R}}) {
        auto* a = new QAction(QString::fromLatin1(name), this);
        a->setObjectName(QString::fromLatin1(name));
        a->setShortcut(ctrlAlt(key));
        addAction(a);
        const bool dtr = key == Qt::Key_D;
        connect(a, &QAction::triggered, this, [this, dtr] {
            if (CChildFrame* f = activeChild())
                (dtr ? f->dtrButton() : f->rtsButton())->trigger();
        });
    }

    QMenu* window = menuBar()->addMenu(QStringLiteral("&Window"));
    QAction* cascade = addCommand(window, QStringLiteral("cascade"), QStringLiteral("&Cascade"));
    connect(cascade, &QAction::triggered, area_, &QMdiArea::cascadeSubWindows);
    QAction* tileH =
        addCommand(window, QStringLiteral("tileHorizontally"), QStringLiteral("Tile &Horizontally"));
    connect(tileH, &QAction::triggered, this, [this] { tile(Qt::Vertical); });
    QAction* tileV = addCommand(window, QStringLiteral("tileVertically"), QStringLiteral("Tile &Vertically"));
    connect(tileV, &QAction::triggered, this, [this] { tile(Qt::Horizontal); });

    // Without a port window the menus offer Profile Open and Exit, Port Manager Open, and Help.
    auto* shortProfile = new QMenu(QStringLiteral("&Profile"), this);
    shortProfile->addActions({openProfile, exit});
    menuBar()->insertMenu(profile->menuAction(), shortProfile);
    auto* shortPort = new QMenu(QStringLiteral("Port &Manager"), this);
    shortPort->addAction(open);
    menuBar()->insertMenu(port->menuAction(), shortPort);
    noWindowMenus_ = {shortProfile->menuAction(), shortPort->menuAction()};
    windowMenus_ = {profile->menuAction(), edit->menuAction(), port->menuAction(), window->menuAction()};

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    helpMenu_ = help->menuAction();
    QAction* helpItem = addCommand(help, QStringLiteral("help"), QStringLiteral("&Help"));
    connect(helpItem, &QAction::triggered, this, &CMainFrame::OnHelp);
    QAction* about =
        addCommand(help, QStringLiteral("about"), QStringLiteral("&About Zerip Terminal Emulator..."));
    connect(about, &QAction::triggered, this, &CMainFrame::OnAppAbout);

    toolBar_ = addToolBar(QStringLiteral("ToolBar"));
    toolBar_->setObjectName(QStringLiteral("mainToolBar"));
    for (QAction* a :
         {open, static_cast<QAction*>(nullptr), save, exit, static_cast<QAction*>(nullptr), properties, clear,
          transfer, pattern, sendBreak, static_cast<QAction*>(nullptr), capture, doubleByte})
        if (a)
            toolBar_->addAction(a);
        else
            toolBar_->addSeparator();
    window->addSeparator();
    QAction* toolBarToggle = addCommand(window, QStringLiteral("toolBar"), QStringLiteral("ToolBar"));
    toolBarToggle->setCheckable(true);
    toolBarToggle->setChecked(true);
    connect(toolBarToggle, &QAction::toggled, toolBar_, &QToolBar::setVisible);
    connect(toolBar_, &QToolBar::visibilityChanged, toolBarToggle, &QAction::setChecked);
}

// Port windows side by side (Qt::Horizontal) or one above another (Qt::Vertical), each within its own
// size limits.
void CMainFrame::tile(Qt::Orientation orientation) {
    QList<QMdiSubWindow*> windows;
    for (QMdiSubWindow* w : area_->subWindowList(QMdiArea::StackingOrder))
        if (w->isVisible() && !w->isMinimized())
            windows.append(w);
    if (windows.isEmpty())
        return;
    const QSize client = area_->viewport()->size();
    const int count = static_cast<int>(windows.size());
    for (int i = 0; i < count; ++i) {
        windows[i]->showNormal();
        if (orientation == Qt::Horizontal) {
            const int width = client.width() / count;
            windows[i]->setGeometry(i * width, 0, width, client.height());
        } else {
            const int height = client.height() / count;
            windows[i]->setGeometry(0, i * height, client.width(), height);
        }
    }
}

void CMainFrame::OnHelp() {
    const QString help = shell::installLayout().helpFile(QStringLiteral("halvic.html"));
    if (!QFileInfo(help).isFile() || !shell::launcher().openDocument(help))
        gui::messenger().show(QStringLiteral("Zerip Terminal Emulator"),
                              QStringLiteral("Help file not found"));
}

QList<CChildFrame*> CMainFrame::childFrames() const {
    QList<CChildFrame*> frames;
    for (QMdiSubWindow* w : area_->subWindowList(QMdiArea::CreationOrder))
        if (auto* f = qobject_cast<CChildFrame*>(w))
            frames.append(f);
    return frames;
}

CChildFrame* CMainFrame::activeChild() const {
    return qobject_cast<CChildFrame*>(area_->activeSubWindow());
}

CHalvicView* CMainFrame::activeView() const {
    CChildFrame* f = activeChild();
    return f ? &f->view() : nullptr;
}

CChildFrame* CMainFrame::OnNewPortWindow() {
    auto doc = std::make_unique<CHalvicDoc>(app_);
    if (!doc->OnNewDocument())
        return nullptr;
    auto* frame = new CChildFrame(std::move(doc), font_);
    area_->addSubWindow(frame);
    connect(frame, &CChildFrame::stateChanged, this, &CMainFrame::updateActions);
    connect(&frame->view(), &CHalvicView::selectionChanged, this, &CMainFrame::updateActions);
    connect(&frame->view(), &CHalvicView::busyChanged, this, &CMainFrame::updateActions);
    connect(&frame->view(), &CHalvicView::captureChanged, this, &CMainFrame::updateActions);
    connect(frame, &QObject::destroyed, this, &CMainFrame::updateActions, Qt::QueuedConnection);
    frame->show();
    frame->view().OnInitialUpdate();
    if (frame->document().fromProfile())
        frame->SetPlacement(frame->document().placement);
    frame->view().setFocus();
    updateActions();
    return frame;
}

bool CMainFrame::StopAllReaders() {
    // A running transfer owns its window's reader until it ends: the waits that call this (exit, Close
    // All, Profile Open) go on waiting instead of deleting the reader under it.
    if (app_.AnyViewBusy())
        return false;
    for (CChildFrame* frame : childFrames())
        if (!frame->view().StopReader())
            return false;
    return true;
}

void CMainFrame::OnCloseAll() {
    if (app_.openPortCount() == 0 || StopAllReaders()) {
        CloseAll();
        return;
    }
    if (!closeAllTimer_.isActive())
        closeAllTimer_.start(100, this);
}

void CMainFrame::CloseAll() {
    for (CChildFrame* frame : childFrames())
        frame->close();
}

void CMainFrame::OnAppAbout() {
    // The program's own version values; a value the program was not given keeps its name. The version is
    // the build's own, so it is always there.
    auto value = [](const QString& v, const char* name) {
        return v.isEmpty() ? QString::fromLatin1(name) : v;
    };
    const QString product = value(QCoreApplication::applicationName(), "ProductName");
    const QString text = value(QCoreApplication::organizationName(), "CompanyName") + QLatin1Char('\n') +
                         value(QGuiApplication::applicationDisplayName(), "FileDescription") +
                         QLatin1Char('\n') + shell::programVersion();
    gui::messenger().show(QStringLiteral("About ") + product, text, gui::Icon::Information);
}

bool CMainFrame::askToSave() {
    if (!app_.SettingsChanged())
        return true;
    const gui::Answer answer = gui::messenger().askYesNoCancel(
        QStringLiteral("Zerip Terminal Emulator"), QStringLiteral("Do you want to save setting to file?"));
    if (answer == gui::Answer::Cancel)
        return false;
    // A save that was cancelled or failed keeps the windows: nothing is lost without a word.
    if (answer == gui::Answer::Yes && !OnProfileSave(false))
        return false;
    app_.markSaved();
    return true;
}

bool CMainFrame::OnProfileSave(bool saveAs) {
    std::vector<terminal::Profile> profiles;
    for (CChildFrame* frame : childFrames()) {
        const CHalvicDoc& doc = frame->document();
        profiles.push_back(
            {doc.portSettings, doc.terminalSettings, doc.transferSettings, frame->GetPlacement()});
    }
    if (app_.optionFile().WriteOptionFile(saveAs, profiles) != 1)
        return false;
    app_.markSaved();
    gui::messenger().show(QStringLiteral("Halvic"), QStringLiteral("Option file save ok"),
                          gui::Icon::Information);
    return true;
}

void CMainFrame::OnProfileOpen() {
    if (app_.AnyViewBusy() || !askToSave())
        return;
    const QString path =
        gui::fileDialogs().openFile(QStringLiteral("Open"), app_.OptionFileFolder(),
                                    gui::qtFilter(QStringLiteral("Halvic file(*.hlv)|*.hlv")));
    if (path.isEmpty())
        return;
    pendingProfile_ = path;
    if (app_.openPortCount() == 0 || StopAllReaders()) {
        BeginOpenProfiles();
        return;
    }
    if (!openProfileTimer_.isActive())
        openProfileTimer_.start(100, this);
}

void CMainFrame::BeginOpenProfiles() {
    auto* wait = new CWaitDlg(QStringLiteral("Initializing..."), this);
    wait->Create(this);
    for (CChildFrame* frame : childFrames()) {
        frame->document().OnCloseDocument();
        delete frame;
    }
    wait->DestroyWindow();
    QMetaObject::invokeMethod(this, &CMainFrame::LoadProfiles, Qt::QueuedConnection);
}

void CMainFrame::LoadProfiles() {
    app_.resetForLoad();
    OpenProfilesOf(pendingProfile_);
}

bool CMainFrame::OpenProfilesOf(const QString& path) {
    if (app_.optionFile().ReadOptionFile(path) != 1)
        return false;
    for (int i = 0; i < app_.profileCount(); ++i)
        OnNewPortWindow();
    updateActions();
    return true;
}

void CMainFrame::routePortStatus(int port) {
    for (CChildFrame* frame : childFrames())
        if (frame->document().activePort() == port)
            frame->OnFramePortStatus(port);
}

void CMainFrame::routePortBreak(int port) {
    for (CChildFrame* frame : childFrames())
        if (frame->document().activePort() == port)
            frame->OnFramePortBreak(port);
}

void CMainFrame::OnSetFont() {
    const QScreen* screen = this->screen();
    CTerminalFontDlg dialog(font_, screen ? screen->logicalDotsPerInchY() : 96.0, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    setTerminalFont(dialog.selectedFont());
}

void CMainFrame::setTerminalFont(const TerminalFont& font) {
    font_ = font;
    for (CChildFrame* frame : childFrames())
        frame->view().SetViewFont(font_);
}

// The menus of the state are in the bar and the others are out of it: a hidden menu would still take
// its Alt+letter, and two menus on one letter open neither.
void CMainFrame::showMenus(const QList<QAction*>& wanted, const QList<QAction*>& unwanted) {
    QMenuBar* bar = menuBar();
    for (QAction* menu : unwanted)
        if (bar->actions().contains(menu))
            bar->removeAction(menu);
    if (!bar->actions().contains(wanted.first()))
        bar->insertActions(helpMenu_, wanted);
}

void CMainFrame::updateActions() {
    CChildFrame* child = activeChild();
    const bool busy = app_.AnyViewBusy();
    const bool ports = app_.openPortCount() != 0;
    const bool hasChild = child != nullptr;
    const bool open = hasChild && child->document().IsPortOpen();
    const bool idle = hasChild && !child->view().IsBusy();
    const bool anyWindow = !childFrames().isEmpty();
    showMenus(anyWindow ? windowMenus_ : noWindowMenus_, anyWindow ? noWindowMenus_ : windowMenus_);
    const auto enable = [this](const char* name, bool on) {
        action(QString::fromLatin1(name))->setEnabled(on);
    };
    enable("profileOpen", !busy);
    enable("profileSave", ports);
    enable("profileSaveAs", ports);
    enable("portCloseAll", !busy && ports);
    enable("portClose", open && idle);
    enable("portEnable", hasChild && !open);
    for (const char* name :
         {"portDisable", "toggleDtr", "sendBreak", "fileTransfer", "sendPattern", "capture"})
        enable(name, open && idle);
    enable("toggleRts", open && idle && !HardwareFlow(child->document().portSettings));
    enable("properties", idle);
    enable("clearScreen", hasChild);
    enable("setFont", !hasChild || (open && idle));
    enable("editCopy", hasChild && child->view().hasSelection());
    enable("doubleByte", idle);
    action(QStringLiteral("doubleByte"))->setChecked(hasChild && child->view().doubleByte());
    action(QStringLiteral("capture"))->setChecked(hasChild && child->view().capturing());
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (app_.AnyViewBusy()) {
        // An Exit already answered waits for the transfer to end (a download the far end started
        // meanwhile); dropping it would leave the answer standing for a later Exit, which would then
        // end the program without asking about what changed since.
        if (asked_ && !exitTimer_.isActive())
            exitTimer_.start(100, this);
        event->ignore();
        return;
    }
    if (!asked_) {
        if (!askToSave()) {
            event->ignore();
            return; // asked again next time
        }
        asked_ = true;
    }
    // The windows go only once no dialog's or popup menu's own loop runs inside one of their commands.
    if (!StopAllReaders() || QApplication::activeModalWidget() || QApplication::activePopupWidget()) {
        if (!exitTimer_.isActive())
            exitTimer_.start(100, this);
        event->ignore();
        return;
    }
    font_.save();
    // The windows close now, each with its reader already stopped.
    for (CChildFrame* frame : childFrames()) {
        frame->document().OnCloseDocument();
        delete frame;
    }
    QMainWindow::closeEvent(event);
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    // The port windows' largest sizes follow the area's.
    if (watched == area_->viewport() && event->type() == QEvent::Resize)
        for (CChildFrame* frame : childFrames())
            frame->RecalcSizeLimits();
    return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::timerEvent(QTimerEvent* event) {
    if (event->timerId() == exitTimer_.timerId()) {
        if (StopAllReaders() && !QApplication::activeModalWidget() && !QApplication::activePopupWidget()) {
            exitTimer_.stop();
            QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        }
        return;
    }
    if (event->timerId() == openProfileTimer_.timerId()) {
        if (StopAllReaders() && !QApplication::activeModalWidget() && !QApplication::activePopupWidget()) {
            openProfileTimer_.stop();
            BeginOpenProfiles();
        }
        return;
    }
    if (event->timerId() == closeAllTimer_.timerId()) {
        if (StopAllReaders()) {
            closeAllTimer_.stop();
            CloseAll();
        }
        return;
    }
    QMainWindow::timerEvent(event);
}

} // namespace halvic
