// The program's main window: the area of port windows, the menus and toolbar, the terminal font, the
// routing of the serial library's notices to the window of the port concerned, and the waits that
// let every reader stop before windows close.
#pragma once

#include "TerminalFont.h"

#include <QBasicTimer>
#include <QMainWindow>

class QAction;
class QMdiArea;
class QMenu;
class QToolBar;

namespace halvic {

class CChildFrame;
class CHalvicApp;
class CHalvicView;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(CHalvicApp& app, QWidget* parent = nullptr);
    ~CMainFrame() override;

    TerminalFont GetTerminalFont() const { return font_; }
    void setTerminalFont(const TerminalFont& font);
    // The font dialog: fixed-pitch fonts of 8 to 14 points.
    void OnSetFont();
    void OnAppAbout();
    void OnHelp();
    QMdiArea* mdiArea() const { return area_; }

    // A new port window (Port Manager Open); null when the document was not made.
    CChildFrame* OnNewPortWindow();
    QList<CChildFrame*> childFrames() const;
    CChildFrame* activeChild() const;

    // Asks every view's reader to stop: true when all have ended.
    bool StopAllReaders();
    void OnCloseAll();
    void CloseAll();

    // Profile commands.
    bool OnProfileSave(bool saveAs);
    void OnProfileOpen();
    void BeginOpenProfiles();
    void LoadProfiles();
    // Start-up with an option file named: one port window per profile. False when the file was refused.
    bool OpenProfilesOf(const QString& path);

    void routePortStatus(int port);
    void routePortBreak(int port);

    void updateActions();
    bool exitWaiting() const { return exitTimer_.isActive(); }

    QAction* action(const QString& name) const;

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createMenus();
    static void setPrompt(QAction* command, const QString& prompt);
    void showMenus(const QList<QAction*>& wanted, const QList<QAction*>& unwanted);
    void tile(Qt::Orientation orientation);
    CHalvicView* activeView() const;
    QAction* addCommand(QMenu* menu, const QString& name, const QString& text, const QKeySequence& keys = {});

    CHalvicApp& app_;
    QMdiArea* area_ = nullptr;
    QToolBar* toolBar_ = nullptr;
    QList<QAction*> noWindowMenus_; // the menus without a port window
    QList<QAction*> windowMenus_;
    QAction* helpMenu_ = nullptr;
    TerminalFont font_;
    bool asked_ = false;
    // The save question before windows close: false when the user cancelled or the save failed.
    bool askToSave();
    QBasicTimer exitTimer_;
    QBasicTimer closeAllTimer_;
    QBasicTimer openProfileTimer_;
    QString pendingProfile_;
    bool saveOnExit_ = false;
};

} // namespace halvic
