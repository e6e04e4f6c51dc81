#include "Input_data.h"
#include "picture_checks.h"

#include "gui.h"
#include "test_application.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <functional>
#include <memory>

namespace {

class PinDialog : public ::testing::Test {
protected:
    void SetUp() override { gui::testApplication(); }
};

TEST_F(PinDialog, StartsEmptyWithItsTexts) {
    TFinput_data dialog;
    EXPECT_EQ(Finput_data, &dialog);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Input PIN"));
    EXPECT_EQ(dialog.PinAccepted, 0);
    auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("InputLabelEdit"));
    ASSERT_NE(edit, nullptr);
    EXPECT_TRUE(edit->text().isEmpty());
    EXPECT_EQ(edit->maxLength(), 4);
    EXPECT_EQ(dialog.InputLabelEditLabel->text(), QStringLiteral("Please enter PIN"));
    EXPECT_EQ(dialog.InputLabelEditLabel->buddy(), edit);
    EXPECT_LT(dialog.InputLabelEditLabel->geometry().bottom(), edit->geometry().top()); // label above
    EXPECT_EQ(dialog.findChild<QPushButton*>(QStringLiteral("In_OK"))->text(), QStringLiteral("OK"));
    EXPECT_EQ(dialog.findChild<QPushButton*>(QStringLiteral("In_Cancel"))->text(), QStringLiteral("Cancel"));
    EXPECT_TRUE(dialog.windowFlags().testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(dialog.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
}

// Only OK keeps what was typed; every other way out leaves the entry empty. All end with 1.
TEST_F(PinDialog, AnswerDependsOnlyOnOk) {
    struct Case {
        const char* name;
        const char* typed;
        std::function<void(TFinput_data&)> end;
        const char* answer;
        int accepted;
    };
    const Case cases[] = {
        {"OK", "1234", [](TFinput_data& d) { QTest::mouseClick(d.In_OK, Qt::LeftButton); }, "1234", 1},
        {"OK with nothing typed", "", [](TFinput_data& d) { QTest::mouseClick(d.In_OK, Qt::LeftButton); }, "",
         1},
        {"OK keeps any characters", "12a",
         [](TFinput_data& d) { QTest::mouseClick(d.In_OK, Qt::LeftButton); }, "12a", 1},
        {"Enter", "4321", [](TFinput_data& d) { QTest::keyClick(d.InputLabelEdit, Qt::Key_Return); }, "4321",
         1},
        {"Cancel", "1234", [](TFinput_data& d) { QTest::mouseClick(d.In_Cancel, Qt::LeftButton); }, "", 0},
        {"close box", "1234", [](TFinput_data& d) { d.close(); }, "", 0},
        {"Escape", "1234", [](TFinput_data& d) { QTest::keyClick(d.InputLabelEdit, Qt::Key_Escape); }, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TFinput_data dialog;
        QTimer::singleShot(0, &dialog, [&] {
            dialog.activateWindow();
            QTest::keyClicks(dialog.InputLabelEdit, QString::fromLatin1(c.typed));
            c.end(dialog);
        });
        EXPECT_EQ(gui::execModal(&dialog), 1);
        EXPECT_EQ(dialog.InputLabelEdit->text(), QString::fromLatin1(c.answer));
        EXPECT_EQ(dialog.PinAccepted, c.accepted);
        EXPECT_FALSE(dialog.isVisible());
    }
}

TEST_F(PinDialog, EntryHoldsAtMostFourCharactersTypedOrPasted) {
    TFinput_data dialog;
    dialog.show();
    QTest::keyClicks(dialog.InputLabelEdit, QStringLiteral("12345"));
    EXPECT_EQ(dialog.InputLabelEdit->text(), QStringLiteral("1234"));
    dialog.InputLabelEdit->clear();
    QApplication::clipboard()->setText(QStringLiteral("987654"));
    dialog.InputLabelEdit->paste();
    EXPECT_EQ(dialog.InputLabelEdit->text(), QStringLiteral("9876"));
}

// The SIM check on the monitor's worker creates, shows, reads and frees the dialog in one call.
TEST_F(PinDialog, AskedFromAWorkerThroughOneCall) {
    QTimer poke;
    QObject::connect(&poke, &QTimer::timeout, [] {
        if (Finput_data != nullptr && Finput_data->isVisible()) {
            QTest::keyClicks(Finput_data->InputLabelEdit, QStringLiteral("0000"));
            QTest::mouseClick(Finput_data->In_OK, Qt::LeftButton);
        }
    });
    poke.start(5);
    QString pin;
    std::unique_ptr<QThread> worker(QThread::create([&] {
        pin = gui::callFor<QString>([] {
            auto* dialog = new TFinput_data;
            gui::execModal(dialog);
            const QString text = dialog->InputLabelEdit->text();
            delete dialog;
            return text;
        });
    }));
    worker->start();
    gui::waitPumping(worker.get());
    EXPECT_EQ(pin, QStringLiteral("0000"));
    EXPECT_EQ(Finput_data, nullptr);
}

TEST_F(PinDialog, PictureShowsEveryTextWhole) {
    TFinput_data dialog;
    dialog.show();
    QTest::keyClicks(dialog.InputLabelEdit, QStringLiteral("12"));
    expectWholeTextsShown(dialog);
}

} // namespace
