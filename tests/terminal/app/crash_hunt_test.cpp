// A seeded random walk through every command of the main window and the port windows: menu items,
// toolbar buttons, accelerators, keys typed into terminals, window close buttons, the far end talking
// and a ZMODEM sender on the line. Whatever modal dialog or popup comes up is answered by a timer.
// The suite runs a short walk; BREL_CRASH_HUNT_STEPS and BREL_CRASH_HUNT_SEED make a long one.

#include "file_dialogs.h"
#include "halvic_fixture.h"
#include "recording_launcher.h"
#include "scripted_file_dialogs.h"
#include "TransferDialogs.h"

#include <QDialog>
#include <QFile>
#include <QMdiArea>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QToolBar>

#include <csignal>
#include <map>
#include <random>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace halvictest {
namespace {

using namespace halvic;

// File dialogs that answer what a user would pick, or cancel now and then.
class WalkDialogs : public gui::FileDialogs {
public:
    WalkDialogs(QString folder, std::mt19937& random) : folder_(std::move(folder)), random_(random) {}

    QString openFile(const QString&, const QString&, const QString& filter) override {
        if (cancel())
            return {};
        if (filter.contains(QStringLiteral("hlv")))
            return QFile::exists(profile()) ? profile() : QString();
        return folder_ + QStringLiteral("/send.bin");
    }
    QString saveFile(const QString&, const QString&, const QString& filter, bool) override {
        if (cancel())
            return {};
        if (filter.contains(QStringLiteral("hlv")))
            return profile();
        return folder_ + QStringLiteral("/saved") + QString::number(++saves_) + QStringLiteral(".bin");
    }
    QString chooseFolder(const QString&, const QString&) override { return cancel() ? QString() : folder_; }

    QString profile() const { return folder_ + QStringLiteral("/walk.hlv"); }

private:
    bool cancel() { return random_() % 5 == 0; }

    QString folder_;
    std::mt19937& random_;
    int saves_ = 0;
};

class CrashHuntTest : public HalvicTest {
protected:
    void SetUp() override {
        HalvicTest::SetUp();
        const char* seedText = std::getenv("BREL_CRASH_HUNT_SEED");
        // The suite walks the same road every time; a long hunt names its own seed.
        seed = seedText ? static_cast<unsigned>(std::strtoul(seedText, nullptr, 10)) : 101u;
        random.seed(seed);
        std::printf("crash hunt seed %u\n", seed);
        std::fflush(stdout);
        // Eight lines, each its own pty, behind COM10..COM17.
        std::ofstream map(dir.filePath(QStringLiteral("ports.conf")).toStdString(), std::ios::app);
        for (size_t i = 0; i < lines.size(); ++i)
            map << "COM" << (10 + i) << "=" << lines[i].slavePath() << "\n";
        map.close();
        QFile send(dir.filePath(QStringLiteral("send.bin")));
        ASSERT_TRUE(send.open(QIODevice::WriteOnly));
        send.write(QByteArray(3000, 'x'));
        send.close();
        dialogs = std::make_shared<WalkDialogs>(dir.path(), random);
        gui::setFileDialogs(dialogs);
        launches = shell::RecordingLauncher::install();
        app->setSettingsSheet([this](CHalvicDoc& doc, bool fromProperties) {
            if (random() % 6 == 0)
                return false;
            if (!fromProperties)
                SetPort(doc.portSettings, 10 + static_cast<int>(nextLine++ % lines.size()));
            doc.portSettings.baudIndex = doc.portSettings.baudCode = 12;
            doc.portSettings.dtr = static_cast<int>(random() % 2);
            doc.terminalSettings.terminalType = static_cast<int>(random() % 3);
            return true;
        });
        // Whatever is modal or popped up is answered after a few ticks, as a user would.
        QObject::connect(&closer, &QTimer::timeout, &closer, [this] {
            serveLines();
            if (QWidget* popup = QApplication::activePopupWidget()) {
                popup->close();
                return;
            }
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dialog || random() % 3 != 0)
                return;
            ++done[QStringLiteral("dialog: ") + QString::fromLatin1(dialog->metaObject()->className())];
            if (random() % 2)
                dialog->accept();
            else
                dialog->reject();
            ++dialogsAnswered;
        });
        closer.start(15);
        messages->onBox([this](const gui::Box& box) { ++done[QStringLiteral("box: ") + box.text.left(40)]; });
    }

    void TearDown() override {
        closer.stop();
        stopSender();
        HalvicTest::TearDown();
    }

    template <class T>
    T pick(const std::vector<T>& from) {
        return from[random() % from.size()];
    }

    // The far ends: read what the windows send, so no line fills; sometimes talk back.
    void serveLines() {
        std::vector<int> fds{pty.master(), other.master()};
        for (auto& line : lines)
            fds.push_back(line.master());
        for (int fd : fds) {
            if (fd == senderFd)
                continue;
            char buf[4096];
            pollfd p{fd, POLLIN, 0};
            while (::poll(&p, 1, 0) > 0 && (p.revents & POLLIN) && ::read(fd, buf, sizeof buf) > 0) {
            }
        }
    }

    void talk() {
        static const std::vector<std::string> texts{
            "hello\r\n",          "\033[2J\033[H", "\033[1;31mred\033[0m", "\033[10;20H*",
            "\033[1234;5H",       "\033[K",        "\x0e\xb3\xc4\x0f",     std::string(300, 'y'),
            "\033[?25l\033[?25h", "\033[6n",       "\r\n\r\n\r\n\b\t\a"};
        std::vector<int> fds{pty.master()};
        for (auto& line : lines)
            fds.push_back(line.master());
        const int fd = pick(fds);
        if (fd == senderFd)
            return;
        const std::string text = pick(texts);
        (void)!::write(fd, text.data(), text.size());
    }

    // An sz on the far side of one line: a ZMODEM upload the window may take automatically.
    void startSender() {
        if (senderPid > 0)
            return;
        auto& line = lines[random() % lines.size()];
        senderFd = line.master();
        const std::string file = dir.filePath(QStringLiteral("send.bin")).toStdString();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, senderFd, 0);
        posix_spawn_file_actions_adddup2(&actions, senderFd, 1);
        const char* argv[] = {"sz", "-q", file.c_str(), nullptr};
        if (posix_spawnp(&senderPid, "sz", &actions, nullptr, const_cast<char**>(argv), environ) != 0)
            senderPid = -1;
        posix_spawn_file_actions_destroy(&actions);
        if (senderPid <= 0)
            senderFd = -1;
    }

    void reapSender() {
        if (senderPid > 0 && ::waitpid(senderPid, nullptr, WNOHANG) == senderPid) {
            senderPid = -1;
            senderFd = -1;
        }
    }

    void stopSender() {
        if (senderPid <= 0)
            return;
        ::kill(senderPid, SIGTERM);
        ::waitpid(senderPid, nullptr, 0);
        senderPid = -1;
        senderFd = -1;
    }

    CChildFrame* randomChild() {
        const auto children = mainFrame().childFrames();
        return children.isEmpty() ? nullptr : children[static_cast<qsizetype>(random()) % children.size()];
    }

    // Exit from the menu: with unsaved settings it must ask; Cancel keeps everything.
    void tryExit(bool leave) {
        const bool unsaved = app->SettingsChanged();
        // An Exit still waiting for its readers was asked already: the user's answer stands.
        const bool answeredBefore = exitPending;
        const size_t before = messages->boxes().size();
        messages->answer({leave ? gui::Answer::No : gui::Answer::Cancel});
        QAction* exit = mainFrame().action(QStringLiteral("profileExit"));
        ASSERT_TRUE(exit);
        exit->trigger();
        // The queued close runs, and any wait for the readers ends one way or the other.
        QCoreApplication::processEvents();
        waitFor([&] {
            serveLines();
            return !frame->isVisible() || !frame->exitWaiting();
        });
        QCoreApplication::processEvents(); // the close the wait's end queued
        const auto boxes = messages->boxes();
        bool asked = false;
        for (size_t i = before; i < boxes.size(); ++i)
            asked = asked || boxes[i].text == QStringLiteral("Do you want to save setting to file?");
        messages->clear();
        const bool gone = !frame->isVisible();
        exitPending = !gone && frame->exitWaiting();
        ++done[gone ? QStringLiteral("exit: left") : QStringLiteral("exit: stayed")];
        if (unsaved && gone && !answeredBefore) {
            ASSERT_TRUE(asked) << "the program ended with unsaved settings and did not ask";
        }
        if (asked && !leave) {
            ASSERT_FALSE(gone) << "Cancel did not keep the program";
        }
        if (gone) {
            // The user starts the program again.
            frame.reset();
            mainFrame();
        }
    }

    void step(size_t windowLimit) {
        static const std::vector<QString> commands{
            "profileOpen",      "profileSave",    "profileSaveAs", "editCopy",    "setFont",
            "portOpen",         "portClose",      "portCloseAll",  "portEnable",  "portDisable",
            "properties",       "clearScreen",    "fileTransfer",  "sendPattern", "sendBreak",
            "capture",          "doubleByte",     "toggleDtr",     "toggleRts",   "cascade",
            "tileHorizontally", "tileVertically", "help",          "about",       "toolBar"};
        static const std::vector<int> accelerators{Qt::Key_S, Qt::Key_C, Qt::Key_O,     Qt::Key_L, Qt::Key_A,
                                                   Qt::Key_E, Qt::Key_Q, Qt::Key_Pause, Qt::Key_D, Qt::Key_R};
        static const std::vector<int> keys{Qt::Key_A,   Qt::Key_Return, Qt::Key_F1,
                                           Qt::Key_F10, Qt::Key_Up,     Qt::Key_F4,
                                           Qt::Key_Tab, Qt::Key_Home,   Qt::Key_Escape};
        if (!frame->isVisible()) {
            // An Exit still waiting (for a reader, a transfer begun meanwhile, a dialog) may end later.
            EXPECT_TRUE(exitPending) << "the program ended without Exit";
            exitPending = false;
            frame.reset();
            mainFrame();
            return;
        }
        CMainFrame& main = mainFrame();
        const unsigned what = random() % 100;
        ++steps;
        if (what < 35) {
            const QString name = pick(commands);
            if (name == QStringLiteral("portOpen") &&
                static_cast<size_t>(main.childFrames().size()) >= windowLimit)
                return;
            if (QAction* a = main.action(name); a && a->isEnabled()) {
                ++done[name];
                a->trigger();
            }
        } else if (what < 45) {
            QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : &main;
            QTest::keyClick(target, static_cast<Qt::Key>(pick(accelerators)),
                            Qt::ControlModifier | Qt::AltModifier);
        } else if (what < 65) {
            QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : &main;
            const Qt::KeyboardModifiers mods = random() % 4 == 0 ? Qt::ControlModifier : Qt::NoModifier;
            QTest::keyClick(target, static_cast<Qt::Key>(pick(keys)), mods);
        } else if (what < 72) {
            if (CChildFrame* child = randomChild())
                main.mdiArea()->setActiveSubWindow(child);
        } else if (what < 78) {
            if (CChildFrame* child = randomChild()) {
                const auto buttons = child->findChild<QToolBar*>(QStringLiteral("portToolBar"))->actions();
                if (QAction* a = buttons[static_cast<qsizetype>(random()) % buttons.size()]; a->isEnabled())
                    a->trigger();
            }
        } else if (what < 81) {
            if (CChildFrame* child = randomChild())
                child->close(); // its close button
        } else if (what < 84) {
            if (CChildFrame* child = randomChild())
                random() % 2 ? child->showMaximized() : child->showNormal();
        } else if (what < 91) {
            talk();
        } else if (what < 93) {
            startSender();
        } else if (what < 95) {
            if (CChildFrame* child = randomChild()) {
                const QPoint at = child->widget()->geometry().center();
                QContextMenuEvent menu(QContextMenuEvent::Mouse, at, child->mapToGlobal(at));
                QApplication::sendEvent(child, &menu);
            }
        } else if (what < 97) {
            main.resize(600 + static_cast<int>(random() % 600), 400 + static_cast<int>(random() % 400));
        } else {
            tryExit(random() % 3 == 0);
        }
    }

    void walk(size_t windowLimit) {
        size_t total = 400;
        if (const char* text = std::getenv("BREL_CRASH_HUNT_STEPS"))
            total = std::strtoul(text, nullptr, 10);
        mainFrame();
        for (size_t i = 0; i < windowLimit; ++i)
            mainFrame().OnNewPortWindow();
        for (size_t i = 0; i < total && !HasFatalFailure(); ++i) {
            step(windowLimit);
            serveLines();
            reapSender();
            QCoreApplication::processEvents();
            // As the program's own event loop does before the next input: closed windows go.
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        stopSender();
        // Whatever ran ends: nothing is left busy or modal.
        ASSERT_TRUE(waitFor(
            [&] {
                serveLines();
                return !app->AnyViewBusy() && !QApplication::activeModalWidget();
            },
            60000));
        for (const auto& [name, count] : done)
            std::printf("  %5d  %s\n", count, qPrintable(name));
        std::printf("crash hunt: %zu steps, %d dialogs answered, seed %u\n", steps, dialogsAnswered, seed);
    }

    std::array<comm::PtyPair, 8> lines;
    unsigned seed = 0;
    std::mt19937 random;
    std::shared_ptr<WalkDialogs> dialogs;
    std::shared_ptr<shell::RecordingLauncher> launches;
    QTimer closer;
    size_t nextLine = 0;
    size_t steps = 0;
    int dialogsAnswered = 0;
    bool exitPending = false;
    std::map<QString, int> done; // what the walk did, printed at its end
    pid_t senderPid = -1;
    int senderFd = -1;
};

TEST_F(CrashHuntTest, TwoWindowsThroughEveryCommand) {
    walk(2);
}

TEST_F(CrashHuntTest, EightWindowsThroughEveryCommand) {
    walk(8);
}

} // namespace
} // namespace halvictest

namespace halvictest {
namespace {

// A close that comes from a timer (the reader's stop wait, the exit wait) while File Transfer's dialog
// runs inside the window's command: the window and the dialog stay until the dialog ends.
class CloseUnderDialogTest : public HalvicTest, public ::testing::WithParamInterface<bool> {};

TEST_P(CloseUnderDialogTest, WaitsForTheDialogToEnd) {
    const bool exitProgram = GetParam();
    halvic::CChildFrame* child = openWindow();
    ASSERT_TRUE(child && child->document().IsPortOpen());
    QPointer<halvic::CChildFrame> window(child);
    bool dialogKept = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_TRUE(dialog);
        if (exitProgram)
            frame->close();
        else
            child->close();
        // Long enough for the stop wait's timer to come round a few times.
        (void)QTest::qWaitFor([&] { return !window || !frame->isVisible(); }, 600);
        dialogKept = window && QApplication::activeModalWidget() == dialog && frame->isVisible();
        dialog->reject();
    });
    mainFrame().action(QStringLiteral("fileTransfer"))->trigger();
    EXPECT_TRUE(dialogKept);
    // Once the dialog has ended the close goes ahead.
    if (exitProgram)
        EXPECT_TRUE(waitFor([&] { return !frame->isVisible(); }));
    else
        EXPECT_TRUE(waitFor([&] { return window.isNull(); }));
}

INSTANTIATE_TEST_SUITE_P(Close, CloseUnderDialogTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Exit" : "PortWindow"; });

} // namespace
} // namespace halvictest

namespace halvictest {
namespace {

// The waits of Exit, Close All and Profile Open ask every reader to stop on each tick: a transfer that
// started meanwhile keeps its window's reader, which it pauses and resumes, until it ends.
TEST_F(HalvicTest, AWaitToCloseLeavesTheReaderOfARunningTransfer) {
    const QString file = dir.filePath(QStringLiteral("data.bin"));
    {
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(QByteArray(2000, 'd'));
    }
    auto dialogs = gui::ScriptedFileDialogs::install();
    dialogs->answerAlways(file);
    halvic::CChildFrame* child = openWindow();
    ASSERT_TRUE(child && child->document().IsPortOpen());
    halvic::CHalvicView& view = child->view();
    QTimer::singleShot(0, [] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            dialog->accept();
    });
    mainFrame().action(QStringLiteral("fileTransfer"))->trigger();
    ASSERT_TRUE(waitFor([&] { return view.IsBusy() && view.transferDialog(); }));
    // The transfer owns the line, then the wait's first tick asked the reader to stop, and it has ended
    // since.
    ASSERT_TRUE(view.reader()->control().waitPausedAck(std::chrono::seconds(2)));
    view.reader()->control().stop();
    ASSERT_TRUE(waitFor([&] { return view.reader()->isFinished(); }));
    if (!view.IsBusy())
        GTEST_SKIP() << "the transfer ended with its reader before the wait's tick (a loaded machine)";
    EXPECT_FALSE(mainFrame().StopAllReaders());
    EXPECT_NE(view.reader(), nullptr);
    // Cancelled, the transfer ends with the reader it paused still there.
    QTest::mouseClick(view.transferDialog()->button(), Qt::LeftButton);
    EXPECT_TRUE(waitFor([&] { return !view.IsBusy(); }, 20000));
}

} // namespace
} // namespace halvictest

namespace halvictest {
namespace {

// The same for the window's context menu: a close that comes while it is up waits for it.
TEST_F(HalvicTest, AWindowClosedUnderItsContextMenuWaitsForTheMenu) {
    halvic::CChildFrame* child = openWindow();
    ASSERT_TRUE(child && child->document().IsPortOpen());
    QPointer<halvic::CChildFrame> window(child);
    bool menuKept = false;
    QTimer::singleShot(0, [&] {
        QWidget* menu = QApplication::activePopupWidget();
        ASSERT_TRUE(menu);
        child->close();
        (void)QTest::qWaitFor([&] { return !window; }, 600);
        menuKept = window && QApplication::activePopupWidget() == menu;
        menu->close();
    });
    const QPoint at = child->widget()->geometry().center();
    QContextMenuEvent click(QContextMenuEvent::Mouse, at, child->mapToGlobal(at));
    QApplication::sendEvent(child, &click);
    EXPECT_TRUE(menuKept);
    EXPECT_TRUE(waitFor([&] { return window.isNull(); }));
}

} // namespace
} // namespace halvictest
