#include "configurator_app.h"

#include "Configstruct_form.h"
#include "Connectsetup.h"
#include "engine_view_qt.h"
#include "Mainsetup.h"
#include "Mainwizard1.h"
#include "messenger.h"
#include "Rf_monitor.h"
#include "window_texts.h"

#include <exception>

namespace {

void showException(const QString& message) {
    gui::messenger().show(texts::ProgramTitle, message, gui::Icon::Error);
}

} // namespace

bool RunShowingExceptions(const std::function<bool()>& f) {
    try {
        return f();
    } catch (const std::exception& e) {
        showException(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        showException(QString());
    }
    return false;
}

bool ConfiguratorApplication::notify(QObject* receiver, QEvent* event) {
    return RunShowingExceptions([&] { return QApplication::notify(receiver, event); });
}

void CreateConfiguratorWindows() {
    InstallConfigFormHook();
    InstallWindowsEngineView();
    new TFwizard;
    new TFmainset;
    new TFconnect;
    new TFrf_monitor;
}

void DestroyConfiguratorWindows() {
    delete Frf_monitor;
    delete Fconnect;
    delete Fmainset;
    delete Fwizard;
}

int runConfigurator(QApplication& app) {
    RunShowingExceptions([&] {
        app.setQuitOnLastWindowClosed(false);
        CreateConfiguratorWindows();
        // The wizard is the main window: closing it, and only it, ends the program.
        QObject::connect(Fwizard, &TFwizard::closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
        Fwizard->show();
        app.exec();
        return true;
    });
    DestroyConfiguratorWindows();
    return 0;
}
