#pragma once
// The configurator's four long-lived windows built fresh for each test, with a scripted messenger.

#include "configurator_app.h"
#include "Connectsetup.h"
#include "form_controls.h"
#include "Mainsetup.h"
#include "Mainwizard1.h"
#include "Rf_monitor.h"
#include "scripted_messenger.h"
#include "test_application.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <memory>

// The one application object of the test program, made on first use.
inline QApplication& windowTestApplication() {
    return gui::testApplication();
}

class WindowSetTest : public ::testing::Test {
protected:
    void SetUp() override {
        windowTestApplication();
        boxes = gui::ScriptedMessenger::install();
        CreateConfiguratorWindows();
        main_ = std::make_unique<MainsetControls>(Fmainset);
        wizard_ = std::make_unique<WizardControls>(Fwizard);
        connect_ = std::make_unique<ConnectControls>(Fconnect);
        monitor_ = std::make_unique<MonitorControls>(Frf_monitor);
    }
    void TearDown() override { DestroyConfiguratorWindows(); }

    MainsetControls& main() { return *main_; }
    WizardControls& wizard() { return *wizard_; }
    ConnectControls& conn() { return *connect_; }
    MonitorControls& monitor() { return *monitor_; }

    std::shared_ptr<gui::ScriptedMessenger> boxes;

private:
    std::unique_ptr<MainsetControls> main_;
    std::unique_ptr<WizardControls> wizard_;
    std::unique_ptr<ConnectControls> connect_;
    std::unique_ptr<MonitorControls> monitor_;
};
