#include "configurator_app.h"
#include "file_dialogs.h"
#include "launcher.h"
#include "messenger.h"
#include "qt_file_dialogs.h"
#include "qt_launcher.h"
#include "qt_messenger.h"

#include <QIcon>

#include <memory>

int main(int argc, char* argv[]) {
    ConfiguratorApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/vantro-configurator.png")));
    gui::setMessenger(std::make_shared<gui::QtMessenger>());
    gui::setFileDialogs(std::make_shared<gui::QtFileDialogs>());
    shell::setLauncher(std::make_shared<shell::QtLauncher>());
    return runConfigurator(app);
}
