#pragma once
// Start-up and end of the configurator: the four long-lived windows and the event loop.

#include <QApplication>

#include <functional>

// Runs f; an exception that escapes it is shown in a message box (its message, or an empty text for
// anything that is no std::exception) and false is returned.
bool RunShowingExceptions(const std::function<bool()>& f);

// Shows an exception that escapes an event handler in a message box and goes on.
class ConfiguratorApplication : public QApplication {
    Q_OBJECT
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override;
};

// Creates the wizard, the main settings window, the connect dialog and the monitor window, in that
// order, each reachable through its global pointer. All start hidden.
void CreateConfiguratorWindows();
// Destroys them again (monitor first) and clears the globals.
void DestroyConfiguratorWindows();

// Creates the windows, shows the wizard and runs the event loop until the wizard closes. Returns 0.
int runConfigurator(QApplication& app);
