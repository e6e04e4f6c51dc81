#include "test_application.h"
#include "WaitDlg.h"

#include <QLabel>
#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>

namespace {

TEST(WaitDlg, EnterEscapeAndCloseLeaveItOpenUntilItsOwnerEndsIt) {
    gui::testApplication();
    QWidget owner;
    owner.resize(600, 400);
    owner.show();
    QPointer<CWaitDlg> dlg = new CWaitDlg(QStringLiteral("Sending Break ..."), &owner);
    ASSERT_TRUE(dlg->Create(&owner));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg));
    EXPECT_FALSE(dlg->isModal());
    EXPECT_EQ(dlg->windowTitle(), "Wating....");
    EXPECT_EQ(dlg->findChild<QLabel*>("text")->text(), "Sending Break ...");

    QTest::keyClick(dlg, Qt::Key_Return);
    QTest::keyClick(dlg, Qt::Key_Escape);
    EXPECT_FALSE(dlg->close());
    QCoreApplication::processEvents();
    ASSERT_FALSE(dlg.isNull());
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(dlg->result(), 0);

    dlg->DestroyWindow();
    EXPECT_FALSE(dlg->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(dlg.isNull()) << "it deletes itself";
}

TEST(WaitDlg, ShownWithoutAnOwner) {
    gui::testApplication();
    auto* dlg = new CWaitDlg(QStringLiteral("Initializing..."));
    QPointer<CWaitDlg> guard = dlg;
    ASSERT_TRUE(dlg->Create());
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(dlg->text(), "Initializing...");
    gui::saveScreenshot(*dlg, QStringLiteral("halvic_wait_dialog"));
    dlg->DestroyWindow();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(guard.isNull());
}

} // namespace
