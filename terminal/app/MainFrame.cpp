#include "MainFrame.h"

#include "ChildFrame.h"
#include "file_dialogs.h"
#include "HalvicApp.h"
#include "HalvicDoc.h"
#include "HalvicView.h"
#include "messenger.h"
#include "WaitDlg.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFontDialog>
#include <QMdiArea>
#include <QMenuBar>
#include <QScreen>
#include <QTimerEvent>
#include <QToolBar>

#include <algorithm>
#include <cmath>

namespace halvic {

CMainFrame::CMainFrame(CHalvicApp& app, QWidget* parent) : QMainWindow(parent), app_(app) {
    setWindowTitle(QStringLiteral("Zerip Terminal Emulator"));
    area_ = new QMdiArea(this);
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

QAction* CMainFrame::action(const QString& name) const {
    return findChild<QAction*>(name, Qt::FindDirectChildrenOnly);
}

void CMainFrame::createMenus() {
    const auto ctrlAlt = [](int key) { return QKeySequence(Qt::CTRL | Qt::ALT | key); };
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
    connect(copy, &QAction::triggered, this, [this] {
        if (CHalvicView* v = activeView())
            v->OnEditCopy();
    });

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
    QAction* enable =
        addCommand(port, QStringLiteral("portEnable"), QStringLiteral("Port &Enable"), ctrlAlt(Qt::Key_E));
    connect(enable, &QAction::triggered, this, [this] {
        if (CHalvicView* v = activeView())
            v->OnOpenPort();
        updateActions();
    });
    QAction* disable =
        addCommand(port, QStringLiteral("portDisable"), QStringLiteral("Port &Disable"), ctrlAlt(Qt::Key_Q));
    connect(disable, &QAction::triggered, this, [this] {
        if (CHalvicView* v = activeView())
            v->OnClosePort();
        updateActions();
    });
    QAction* clear = addCommand(port, QStringLiteral("clearScreen"), QStringLiteral("Clear &Screen"));
    connect(clear, &QAction::triggered, this, [this] {
        if (CHalvicView* v = activeView())
            v->OnClearScreen();
    });
    QAction* dtr =
        addCommand(port, QStringLiteral("toggleDtr"), QStringLiteral("DTR on/off"), ctrlAlt(Qt::Key_D));
    connect(dtr, &QAction::triggered, this, [this] {
        if (CChildFrame* f = activeChild())
            f->dtrButton()->trigger();
    });
    QAction* rts =
        addCommand(port, QStringLiteral("toggleRts"), QStringLiteral("RTS on/off"), ctrlAlt(Qt::Key_R));
    connect(rts, &QAction::triggered, this, [this] {
        if (CChildFrame* f = activeChild())
            f->rtsButton()->trigger();
    });
    QAction* doubleByte =
        addCommand(port, QStringLiteral("doubleByte"), QStringLiteral("Double Byte C&haracter"));
    doubleByte->setCheckable(true);
    connect(doubleByte, &QAction::triggered, this, [this] {
        if (CHalvicView* v = activeView())
            v->OnDoubleByte();
        updateActions();
    });
    QAction* transfer = addCommand(port, QStringLiteral("fileTransfer"), QStringLiteral("File &Transfer"));
    connect(transfer, &QAction::triggered, this, [this] {
        if (CHalvicView* v = activeView())
            v->OnFileTransfer();
    });

    QMenu* window = menuBar()->addMenu(QStringLiteral("&Window"));
    QAction* cascade = addCommand(window, QStringLiteral("cascade"), QStringLiteral("&Cascade"));
    connect(cascade, &QAction::triggered, area_, &QMdiArea::cascadeSubWindows);
    QAction* tile = addCommand(window, QStringLiteral("tile"), QStringLiteral("&Tile"));
    connect(tile, &QAction::triggered, area_, &QMdiArea::tileSubWindows);

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    QAction* about =
        addCommand(help, QStringLiteral("about"), QStringLiteral("&About Zerip Terminal Emulator..."));
    connect(about, &QAction::triggered, this, &CMainFrame::OnAppAbout);

    toolBar_ = addToolBar(QStringLiteral("ToolBar"));
    toolBar_->setObjectName(QStringLiteral("mainToolBar"));
    toolBar_->addAction(open);
    toolBar_->addSeparator();
    toolBar_->addAction(action(QStringLiteral("profileSave")));
    toolBar_->addAction(exit);
    toolBar_->addSeparator();
    toolBar_->addAction(clear);
    toolBar_->addSeparator();
    toolBar_->addAction(doubleByte);
    QAction* toolBarToggle = toolBar_->toggleViewAction();
    window->addSeparator();
    window->addAction(toolBarToggle);
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
    // The program's own version values; a value the program was not given keeps its name.
    auto value = [](const QString& v, const char* name) {
        return v.isEmpty() ? QString::fromLatin1(name) : v;
    };
    const QString product = value(QCoreApplication::applicationName(), "ProductName");
    const QString text = value(QCoreApplication::organizationName(), "CompanyName") + QLatin1Char('\n') +
                         value(QGuiApplication::applicationDisplayName(), "FileDescription") +
                         QLatin1Char('\n') + value(QCoreApplication::applicationVersion(), "ProductVersion");
    gui::messenger().show(QStringLiteral("About ") + product, text, gui::Icon::Information);
}

bool CMainFrame::askToSave() {
    if (!app_.SettingsChanged())
        return true;
    const gui::Answer answer = gui::messenger().ask(QStringLiteral("Halvic"),
                                                    QStringLiteral("Do you want to save setting to file?"));
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
    QFontDialog dialog(font_.toQFont(), this);
    dialog.setOption(QFontDialog::MonospacedFonts);
    dialog.setOption(QFontDialog::ScalableFonts, false);
    dialog.setOption(QFontDialog::NonScalableFonts, false);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QFont chosen = dialog.selectedFont();
    TerminalFont font = font_;
    font.lfFaceName = chosen.family();
    // 8 to 14 points, kept as the character height in pixels at the screen's resolution.
    const double points = std::clamp(chosen.pointSizeF() > 0 ? chosen.pointSizeF() : 8.0, 8.0, 14.0);
    const QScreen* screen = this->screen();
    const double dpi = screen ? screen->logicalDotsPerInchY() : 96.0;
    font.lfHeight = -static_cast<int>(std::lround(points * dpi / 72.0));
    font.lfWeight = chosen.weight();
    font.lfItalic = chosen.italic() ? 1 : 0;
    setTerminalFont(font);
}

void CMainFrame::setTerminalFont(const TerminalFont& font) {
    font_ = font;
    for (CChildFrame* frame : childFrames())
        frame->view().SetViewFont(font_);
}

void CMainFrame::updateActions() {
    CChildFrame* child = activeChild();
    const bool busy = app_.AnyViewBusy();
    const bool ports = app_.openPortCount() != 0;
    const bool hasChild = child != nullptr;
    const bool open = hasChild && child->document().IsPortOpen();
    const bool idle = hasChild && !child->view().IsBusy();
    action(QStringLiteral("profileOpen"))->setEnabled(!busy);
    action(QStringLiteral("profileSave"))->setEnabled(ports);
    action(QStringLiteral("profileSaveAs"))->setEnabled(ports);
    action(QStringLiteral("portCloseAll"))->setEnabled(!busy && ports);
    action(QStringLiteral("portClose"))->setEnabled(open ? idle : hasChild);
    action(QStringLiteral("portEnable"))->setEnabled(hasChild && !open);
    action(QStringLiteral("portDisable"))->setEnabled(open && idle);
    action(QStringLiteral("toggleDtr"))->setEnabled(open && idle);
    action(QStringLiteral("fileTransfer"))->setEnabled(open && idle);
    action(QStringLiteral("toggleRts"))
        ->setEnabled(open && idle && !HardwareFlow(child->document().portSettings));
    action(QStringLiteral("clearScreen"))->setEnabled(hasChild);
    action(QStringLiteral("setFont"))->setEnabled(!hasChild || (open && idle));
    action(QStringLiteral("editCopy"))->setEnabled(hasChild && child->view().hasSelection());
    QAction* doubleByte = action(QStringLiteral("doubleByte"));
    doubleByte->setEnabled(idle);
    doubleByte->setChecked(hasChild && child->view().doubleByte());
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (app_.AnyViewBusy()) {
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
    if (!StopAllReaders()) {
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

void CMainFrame::timerEvent(QTimerEvent* event) {
    if (event->timerId() == exitTimer_.timerId()) {
        if (StopAllReaders()) {
            exitTimer_.stop();
            QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        }
        return;
    }
    if (event->timerId() == openProfileTimer_.timerId()) {
        if (StopAllReaders()) {
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
