// Every configurator window's caption as the window manager receives it: whole, nothing appended.
#include "About.h"
#include "Input_data.h"
#include "Progressivebar.h"
#include "window_fixture.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

// On X11 a display name, once set, is appended to every title that does not end with it.
QString titleOnX11(const QWidget* w) {
    const QString title = w->windowTitle();
    const QString name = QGuiApplication::applicationDisplayName();
    const bool nameSet = name != QCoreApplication::applicationName();
    return nameSet && !title.endsWith(name) ? title + QStringLiteral(" \u2014 ") + name : title;
}

struct CaptionCase {
    const char* name;
    // The window, made or found; owned shows whether the test deletes it.
    std::function<QWidget*()> window;
    bool owned;
    QString caption;
};

class Caption : public WindowSetTest, public testing::WithParamInterface<CaptionCase> {};

TEST_P(Caption, IsThePlainTextWhole) {
    const CaptionCase& c = GetParam();
    QWidget* w = c.window();
    std::unique_ptr<QWidget> owner(c.owned ? w : nullptr);
    w->show();
    EXPECT_EQ(w->windowTitle(), c.caption);
    EXPECT_EQ(titleOnX11(w), c.caption);
    w->hide();
}

const QString kProgram = QStringLiteral("Vantro Configurator");

INSTANTIATE_TEST_SUITE_P(
    ConfiguratorWindows, Caption,
    testing::Values(CaptionCase{"Wizard", [] { return static_cast<QWidget*>(Fwizard); }, false, kProgram},
                    CaptionCase{"MainSettings", [] { return static_cast<QWidget*>(Fmainset); }, false,
                                kProgram},
                    CaptionCase{"ConnectSetup", [] { return static_cast<QWidget*>(Fconnect); }, false,
                                QStringLiteral("Connect Setup")},
                    CaptionCase{"Monitor", [] { return static_cast<QWidget*>(Frf_monitor); }, false,
                                QStringLiteral("Monitor Signal Strength")},
                    CaptionCase{"Status", [] { return static_cast<QWidget*>(new TFprogressbar); }, true,
                                QStringLiteral("Status")},
                    CaptionCase{"About", [] { return static_cast<QWidget*>(new TFabout); }, true,
                                QStringLiteral("About")},
                    CaptionCase{"InputPin", [] { return static_cast<QWidget*>(new TFinput_data); }, true,
                                QStringLiteral("Input PIN")}),
    [](const testing::TestParamInfo<CaptionCase>& info) { return std::string(info.param.name); });

} // namespace
