// Halvic: the multi-window serial terminal.
#include "command_line.h"
#include "HalvicApp.h"
#include "MainFrame.h"
#include "messenger.h"
#include "program_version.h"
#include "qt_file_dialogs.h"
#include "qt_messenger.h"
#include "WaitDlg.h"

#include <QApplication>
#include <QIcon>

namespace {

const char* kUsage = R"(Usage: halvic [options] [option-file]
A multi-window serial terminal: ANSI, VT100 and dumb emulation, file transfers, capture and test patterns.
With an option file (*.hlv), opens one port window for each profile in it.

  -h, --help     show this help and exit
  -v, --version  show the version and exit

Ports are named COM1 .. COM256; the port map (BREL_PORT_MAP, else $XDG_CONFIG_HOME/Brel/ports.conf) tells
which device each one is. See halvic(1).
)";

} // namespace

int main(int argc, char* argv[]) {
    const shell::CommandLineOutcome line = shell::parseCommandLine(
        {QStringLiteral("halvic"), QString::fromUtf8(kUsage), 1}, shell::argumentsOf(argc, argv));
    if (line.exitNow)
        return shell::printOutcome(line);
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Brel"));
    QApplication::setApplicationName(QStringLiteral("Halvic"));
    QApplication::setApplicationDisplayName(QStringLiteral("Zerip Terminal Emulator"));
    QApplication::setApplicationVersion(shell::programVersion());
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/halvic.png")));
    gui::setMessenger(std::make_shared<gui::QtMessenger>());
    gui::setFileDialogs(std::make_shared<gui::QtFileDialogs>());
    halvic::CHalvicApp app(QApplication::applicationDirPath());
    halvic::CMainFrame frame(app);
    frame.resize(900, 650);
    if (!line.positional.isEmpty()) {
        // Reading the file places and shows the main window.
        auto* wait = new CWaitDlg(QStringLiteral("Initializing..."));
        wait->Create();
        const bool opened = frame.OpenProfilesOf(line.positional.first());
        wait->DestroyWindow();
        if (!opened)
            frame.show();
    } else {
        frame.show();
    }
    return QApplication::exec();
}
