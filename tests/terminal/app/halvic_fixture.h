#pragma once
// Port windows on a pty: COM5 (and COM6, the same device) name the pty's slave through a temporary
// port map; the test holds the master, the far end of the line. Message boxes are scripted and the
// settings live in a temporary folder.

#include "ChildFrame.h"
#include "HalvicApp.h"
#include "HalvicDoc.h"
#include "HalvicView.h"
#include "MainFrame.h"
#include "pty_pair.h"
#include "ReaderThread.h"
#include "scripted_messenger.h"
#include "seriallib.h"
#include "test_application.h"

#include <QAction>
#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <poll.h>
#include <string>
#include <unistd.h>

namespace halvictest {

constexpr int kPort = 5;
constexpr int kSameDevice = 6;
constexpr int kOtherPort = 9;

// Everything the peer sent within the time, or once `want` bytes came.
inline std::string takeFrom(int fd, size_t want, int timeoutMs = 2000) {
    std::string got;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.size() < want && std::chrono::steady_clock::now() < end) {
        QCoreApplication::processEvents();
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 10) <= 0)
            continue;
        char buf[4096];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0)
            break;
        got.append(buf, static_cast<size_t>(n));
    }
    return got;
}

inline void putTo(int fd, const std::string& bytes) {
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

// The text of a screen row, trailing blanks cut.
inline std::string rowText(halvic::CHalvicDoc& doc, int row) {
    auto state = doc.screen->lock();
    const auto chars = state->rowChars(row);
    std::string text(chars.begin(), chars.end());
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0'))
        text.pop_back();
    return text;
}

class HalvicTest : public ::testing::Test {
protected:
    void SetUp() override {
        gui::testApplication();
        ASSERT_TRUE(dir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
        const std::string map = dir.filePath(QStringLiteral("ports.conf")).toStdString();
        std::ofstream(map) << "COM" << kPort << "=" << pty.slavePath() << "\nCOM" << kSameDevice << "="
                           << pty.slavePath() << "\nCOM" << kOtherPort << "=" << other.slavePath() << "\n";
        ::setenv("BREL_PORT_MAP", map.c_str(), 1);
        messages = gui::ScriptedMessenger::install();
        app = std::make_unique<halvic::CHalvicApp>(QCoreApplication::applicationDirPath());
        app->setSettingsSheet([this](halvic::CHalvicDoc& doc, bool) {
            ++sheetRuns;
            if (sheetRuns > sheetAccepts)
                return false;
            doc.portSettings = wantedPort;
            doc.terminalSettings = wantedTerminal;
            return true;
        });
        halvic::SetPort(wantedPort, kPort);
        wantedPort.baudIndex = wantedPort.baudCode = 12; // 9600
    }

    void TearDown() override {
        frame.reset();
        app.reset();
        for (int p : {kPort, kSameDevice, kOtherPort})
            SerialClose(p);
        ::unsetenv("BREL_PORT_MAP");
    }

    halvic::CMainFrame& mainFrame() {
        if (!frame) {
            frame = std::make_unique<halvic::CMainFrame>(*app);
            frame->resize(1000, 700);
            frame->show();
        }
        return *frame;
    }

    // A menu command as the user gives it: it must be there and enabled.
    void trigger(const char* name) {
        QAction* a = mainFrame().action(QString::fromLatin1(name));
        ASSERT_NE(a, nullptr) << name;
        ASSERT_TRUE(a->isEnabled()) << name;
        a->trigger();
    }

    // A port window on the wanted settings, its reader running.
    halvic::CChildFrame* openWindow() {
        halvic::CChildFrame* child = mainFrame().OnNewPortWindow();
        return child;
    }

    static bool waitFor(const std::function<bool()>& condition, int ms = 3000) {
        return QTest::qWaitFor(condition, ms);
    }

    QTemporaryDir dir;
    comm::PtyPair pty;
    comm::PtyPair other;
    std::shared_ptr<gui::ScriptedMessenger> messages;
    std::unique_ptr<halvic::CHalvicApp> app;
    std::unique_ptr<halvic::CMainFrame> frame;
    halvic::PortSettings wantedPort;
    halvic::TerminalSettings wantedTerminal;
    int sheetRuns = 0;
    int sheetAccepts = 1000;
};

} // namespace halvictest
