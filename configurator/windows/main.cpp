#include "command_line.h"
#include "configurator_app.h"
#include "file_dialogs.h"
#include "launcher.h"
#include "messenger.h"
#include "program_version.h"
#include "qt_file_dialogs.h"
#include "qt_launcher.h"
#include "qt_messenger.h"
#include "window_texts.h"

#include <QIcon>

#include <memory>

namespace {

const char* kUsage = R"(Usage: vantro-configurator [options]
Sets up, reads, restores, upgrades and monitors a Q86 cellular modem on a serial port.

  -h, --help     show this help and exit
  -v, --version  show the version and exit

Ports are named COM1 .. COM256; the port map (BREL_PORT_MAP, else $XDG_CONFIG_HOME/Brel/ports.conf)
tells which device each one is. BREL_FIRMWARE_DIR names the folder the firmware upgrade's file dialog
opens in. See vantro-configurator(1).
)";

} // namespace

int main(int argc, char* argv[]) {
    const shell::CommandLineOutcome line =
        shell::parseCommandLine({QStringLiteral("vantro-configurator"), QString::fromUtf8(kUsage), 0},
                                shell::argumentsOf(argc, argv));
    if (line.exitNow)
        return shell::printOutcome(line);
    ConfiguratorApplication app(argc, argv);
    QApplication::setApplicationVersion(shell::programVersion());
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/vantro-configurator.png")));
    // Boxes without a caption of their own carry the program's title. No display name is set: on X11
    // it would be appended to every window's caption.
    gui::setMessenger(std::make_shared<gui::QtMessenger>(texts::ProgramTitle));
    gui::setFileDialogs(std::make_shared<gui::QtFileDialogs>());
    shell::setLauncher(std::make_shared<shell::QtLauncher>());
    return runConfigurator(app);
}
