#include "configurator_app.h"
#include "file_dialogs.h"
#include "launcher.h"
#include "messenger.h"
#include "qt_file_dialogs.h"
#include "qt_launcher.h"
#include "qt_messenger.h"
#include "window_texts.h"

#include <QIcon>

#include <memory>

int main(int argc, char* argv[]) {
    ConfiguratorApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/vantro-configurator.png")));
    // Boxes without a caption of their own carry the program's title. No display name is set: on X11
    // it would be appended to every window's caption.
    gui::setMessenger(std::make_shared<gui::QtMessenger>(texts::ProgramTitle));
    gui::setFileDialogs(std::make_shared<gui::QtFileDialogs>());
    shell::setLauncher(std::make_shared<shell::QtLauncher>());
    return runConfigurator(app);
}
