// Halvic: the multi-window serial terminal.
#include "HalvicApp.h"
#include "MainFrame.h"
#include "messenger.h"
#include "qt_file_dialogs.h"
#include "qt_messenger.h"
#include "WaitDlg.h"

#include <QApplication>
#include <QIcon>
#include <QStringList>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Brel"));
    QApplication::setApplicationName(QStringLiteral("Halvic"));
    QApplication::setApplicationDisplayName(QStringLiteral("Zerip Terminal Emulator"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/halvic.png")));
    gui::setMessenger(std::make_shared<gui::QtMessenger>());
    gui::setFileDialogs(std::make_shared<gui::QtFileDialogs>());
    halvic::CHalvicApp app(QApplication::applicationDirPath());
    halvic::CMainFrame frame(app);
    frame.resize(900, 650);
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() > 1) {
        // Reading the file places and shows the main window.
        auto* wait = new CWaitDlg(QStringLiteral("Initializing..."));
        wait->Create();
        const bool opened = frame.OpenProfilesOf(arguments.at(1));
        wait->DestroyWindow();
        if (!opened)
            frame.show();
    } else {
        frame.show();
    }
    return QApplication::exec();
}
