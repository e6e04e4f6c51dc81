// Halvic: the multi-window serial terminal.
#include "HalvicApp.h"
#include "MainFrame.h"
#include "messenger.h"
#include "qt_messenger.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Brel"));
    QApplication::setApplicationName(QStringLiteral("Halvic"));
    QApplication::setApplicationDisplayName(QStringLiteral("Zerip Terminal Emulator"));
    gui::setMessenger(std::make_shared<gui::QtMessenger>());
    halvic::CHalvicApp app(QApplication::applicationDirPath());
    halvic::CMainFrame frame(app);
    frame.resize(900, 650);
    frame.show();
    return QApplication::exec();
}
