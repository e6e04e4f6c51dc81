#include "picture_checks.h"
#include "Progressivebar.h"

#include "gui.h"
#include "test_application.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QProgressBar>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <memory>

namespace {

class StatusWindow : public ::testing::Test {
protected:
    void SetUp() override { gui::testApplication(); }
};

TEST_F(StatusWindow, StartsEmptyAtZeroOfHundred) {
    TFprogressbar status;
    EXPECT_EQ(Fprogressbar, &status);
    EXPECT_EQ(status.windowTitle(), QStringLiteral("Status"));
    for (const char* name : {"StatusTitle", "StatusContent"}) {
        SCOPED_TRACE(name);
        auto* label = status.findChild<QLabel*>(QString::fromLatin1(name));
        ASSERT_NE(label, nullptr);
        EXPECT_TRUE(label->text().isEmpty());
        EXPECT_EQ(label->width(), 220);
    }
    auto* bar = status.findChild<QProgressBar*>(QStringLiteral("ProgressBar1"));
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 100);
    EXPECT_EQ(bar->value(), 0);
    // No border icons at all.
    const Qt::WindowFlags flags = status.windowFlags();
    EXPECT_FALSE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowSystemMenuHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
}

// The user cannot end the window; the worker fills it and ends it.
TEST_F(StatusWindow, IgnoresEscapeAndTheCloseBoxUntilTheWorkerEndsIt) {
    auto status = std::make_unique<TFprogressbar>();
    std::unique_ptr<QThread> worker;
    std::atomic<bool> stillOpen{false};
    QTimer::singleShot(0, status.get(), [&] {
        QTest::keyClick(status.get(), Qt::Key_Escape);
        status->close();
        QApplication::processEvents();
        stillOpen = status->isVisible() && gui::inModal(status.get());
        worker.reset(QThread::create([] {
            gui::call([] {
                Fprogressbar->ProgressBar1->setMaximum(47);
                Fprogressbar->StatusTitle->setText(QStringLiteral("Apply Settings To Modem"));
            });
            for (int i = 1; i <= 47; ++i) {
                gui::call([i] {
                    Fprogressbar->ProgressBar1->setValue(i);
                    Fprogressbar->StatusContent->setText(QString::number(i));
                });
            }
            gui::call([] {
                gui::endModal(Fprogressbar, 1);
                Fprogressbar->repaint();
            });
        }));
        worker->start();
    });
    EXPECT_EQ(gui::execModal(status.get()), 1);
    gui::waitPumping(worker.get());
    EXPECT_TRUE(stillOpen.load());
    EXPECT_FALSE(status->isVisible());
    EXPECT_EQ(status->ProgressBar1->maximum(), 47);
    EXPECT_EQ(status->ProgressBar1->value(), 47);
    EXPECT_EQ(status->StatusTitle->text(), QStringLiteral("Apply Settings To Modem"));
    EXPECT_EQ(status->StatusContent->text(), QStringLiteral("47"));
}

// A worker that is done before the window's modal loop starts does not leave it hanging.
TEST_F(StatusWindow, WorkerThatEndsFirstLetsExecReturnAtOnce) {
    TFprogressbar status;
    std::unique_ptr<QThread> worker(QThread::create([] { gui::endModal(Fprogressbar, 1); }));
    worker->start();
    gui::waitPumping(worker.get());
    EXPECT_EQ(gui::execModal(&status), 1);
}

TEST_F(StatusWindow, PictureShowsEveryTextWhole) {
    TFprogressbar status;
    status.StatusTitle->setText(QStringLiteral("Upgrade Firmware To Modem"));
    status.StatusContent->setText(QStringLiteral("Checking version..."));
    status.ProgressBar1->setValue(35);
    status.show();
    expectWholeTextsShown(status);
}

} // namespace
