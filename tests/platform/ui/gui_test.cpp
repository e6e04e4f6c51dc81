#include "gui.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <memory>
#include <stdexcept>

namespace {

std::unique_ptr<QThread> worker(std::function<void()> body) {
    return std::unique_ptr<QThread>(QThread::create(std::move(body)));
}

TEST(GuiCall, OnTheGuiThreadRunsInlineEvenWhenNested) {
    int order = 0;
    int inner = -1;
    int outer = -1;
    gui::call([&] {
        gui::call([&] { inner = order++; });
        outer = order++;
    });
    EXPECT_EQ(inner, 0);
    EXPECT_EQ(outer, 1);
    EXPECT_EQ(gui::callFor<int>([] { return 42; }), 42);
}

TEST(GuiCall, WorkerCallsAreServedWhileTheGuiThreadWaitsPumping) {
    QLabel label;
    std::atomic<int> servedOnGui{0};
    QThread* const guiThread = QThread::currentThread();
    auto t = worker([&] {
        for (int i = 1; i <= 50; ++i) {
            gui::call([&, i] {
                if (QThread::currentThread() == guiThread) {
                    ++servedOnGui;
                }
                label.setText(QString::number(i));
            });
        }
        // The worker reads back through the bridge too.
        const QString shown = gui::callFor<QString>([&] { return label.text(); });
        if (shown != QLatin1String("50")) {
            servedOnGui = -1000;
        }
    });
    t->start();
    gui::waitPumping(t.get());
    EXPECT_TRUE(t->isFinished());
    EXPECT_EQ(servedOnGui.load(), 50);
    EXPECT_EQ(label.text(), QStringLiteral("50"));
}

TEST(GuiCall, ExceptionOnTheGuiThreadReachesTheWorker) {
    std::atomic<bool> caught{false};
    auto t = worker([&] {
        try {
            gui::call([] { throw std::runtime_error("no port"); });
        } catch (const std::runtime_error& e) {
            caught = std::string(e.what()) == "no port";
        }
    });
    t->start();
    gui::waitPumping(t.get());
    EXPECT_TRUE(caught.load());
}

TEST(GuiWaitPumping, ReturnsAtOnceForThreadsNotRunning) {
    gui::waitPumping(nullptr);
    auto never = worker([] {});
    gui::waitPumping(never.get()); // never started
    EXPECT_FALSE(never->isRunning());

    auto done = worker([] {});
    done->start();
    done->wait();
    gui::waitPumping(done.get());
    EXPECT_TRUE(done->isFinished());
}

TEST(GuiWaitPumping, OffTheGuiThreadIsAPlainWait) {
    std::atomic<bool> innerFinished{false};
    auto outer = worker([&] {
        auto inner = worker([] { QThread::msleep(20); });
        inner->start();
        gui::waitPumping(inner.get());
        innerFinished = inner->isFinished();
    });
    outer->start();
    gui::waitPumping(outer.get());
    EXPECT_TRUE(innerFinished.load());
}

TEST(GuiModal, EndBeforeExecIsLatchedAndExecReturnsAtOnce) {
    QDialog dialog;
    gui::endModal(&dialog, 5);
    EXPECT_FALSE(dialog.isVisible());
    bool shown = false;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] { shown = shown || dialog.isVisible(); });
    probe.start(0);
    EXPECT_EQ(gui::execModal(&dialog), 5);
    EXPECT_FALSE(shown);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), 5);
}

TEST(GuiModal, WorkerThatEndsBeforeExecStartsStillEndsIt) {
    QDialog dialog;
    auto t = worker([&] { gui::endModal(&dialog, 1); });
    t->start();
    gui::waitPumping(t.get()); // the end arrives while no exec runs
    EXPECT_EQ(gui::execModal(&dialog), 1);
}

// The worker's end reaches the dialog while its exec runs, whether the worker calls endModal
// directly or inside a call of its own.
TEST(GuiModal, WorkerEndsRunningExec) {
    for (const bool wrapped : {false, true}) {
        SCOPED_TRACE(wrapped ? "inside gui::call" : "direct");
        QDialog dialog;
        std::atomic<bool> wasInModal{false};
        auto t = worker([&] {
            wasInModal = gui::callFor<bool>([&] { return gui::inModal(&dialog); });
            if (wrapped) {
                gui::call([&] { gui::endModal(&dialog, 7); });
            } else {
                gui::endModal(&dialog, 7);
            }
        });
        t->start();
        EXPECT_EQ(gui::execModal(&dialog), 7);
        EXPECT_TRUE(wasInModal.load());
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_FALSE(gui::inModal(&dialog));
        gui::waitPumping(t.get());
    }
}

TEST(GuiModal, EndOutsideExecDoesNotHideAModelessDialog) {
    QDialog dialog;
    dialog.show();
    ASSERT_TRUE(dialog.isVisible());
    gui::endModal(&dialog, 3);
    QApplication::processEvents();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), 3);

    // The same from a worker.
    auto t = worker([&] { gui::endModal(&dialog, 4); });
    t->start();
    gui::waitPumping(t.get());
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), 4);
}

TEST(GuiModal, ResetDropsALateEndSoTheNextExecWaits) {
    QDialog dialog;
    // A first run ended normally, then a cancelled worker's late end arrives.
    QTimer::singleShot(0, &dialog, [&] { gui::endModal(&dialog, 1); });
    EXPECT_EQ(gui::execModal(&dialog), 1);
    gui::endModal(&dialog, 1);
    gui::resetModal(&dialog);

    bool ranInsideExec = false;
    QTimer::singleShot(10, &dialog, [&] {
        ranInsideExec = gui::inModal(&dialog) && dialog.isVisible();
        gui::endModal(&dialog, 2);
    });
    EXPECT_EQ(gui::execModal(&dialog), 2);
    EXPECT_TRUE(ranInsideExec);
}

TEST(GuiModal, LatchIsUsedOnce) {
    QDialog dialog;
    gui::endModal(&dialog, 9);
    EXPECT_EQ(gui::execModal(&dialog), 9);
    QTimer::singleShot(0, &dialog, [&] { gui::endModal(&dialog, 6); });
    EXPECT_EQ(gui::execModal(&dialog), 6);
}

} // namespace

namespace {

TEST(GuiModal, ModelessDialogComesBackModal) {
    QDialog dialog;
    QWidget other;
    other.show();
    dialog.show();
    bool modalInside = false;
    QTimer::singleShot(0, &dialog, [&] {
        modalInside = dialog.isVisible() && QApplication::activeModalWidget() == &dialog;
        gui::endModal(&dialog, 1);
    });
    EXPECT_EQ(gui::execModal(&dialog), 1);
    EXPECT_TRUE(modalInside);
}

} // namespace
