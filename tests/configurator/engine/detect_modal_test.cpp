// The scan's worker against a real modal dialog: its window updates run on the GUI thread while
// the dialog's modal loop waits, and its end (found, cancelled, or a late end after Cancel) ends
// that loop without hiding a dialog outside it.
#include "Autodetectthread.h"
#include "engine_view.h"
#include "gui.h"
#include "Rs232_setup.h"
#include "scripted_port.h"
#include "test_application.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <future>

using enginetest::PortScript;
using enginetest::ScriptedPortInstall;

namespace {

// What the connect dialog installs, reduced to a label and the baud box.
class DialogView : public EngineView {
public:
    explicit DialogView(QDialog* d) : dialog(d), label(new QLabel(d)), baud(new QComboBox(d)) {
        for (const char* t :
             {"300", "600", "1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"})
            baud->addItem(t);
    }
    void setDetectStatus(const std::string& text) override {
        gui::call([&] {
            EXPECT_TRUE(gui::onGuiThread());
            label->setText(QString::fromLatin1(text.c_str()));
            label->repaint();
        });
    }
    void selectBaudIndex(int index) override {
        gui::call([&] { baud->setCurrentIndex(index); });
    }
    void endDetectModal() override { gui::endModal(dialog, 1); }

    QDialog* dialog;
    QLabel* label;
    QComboBox* baud;
};

class ModalScan : public testing::Test {
protected:
    static void SetUpTestSuite() { gui::testApplication(); }
    void SetUp() override {
        LinkSettings l;
        l.AutoDetect = true;
        SetLinkSettings(l);
        ASSERT_EQ(OpenComPort(), 1);
        view = std::make_shared<DialogView>(&dialog);
        setEngineView(view);
        script->onWrite = [this](PortScript& s, std::string_view b) {
            if (b == "at\r\n" && onTry)
                onTry(++tries);
            if (b == "at\r\n" && s.dcb.BaudRate == modemBaud && s.dcb.ByteSize == 8 && s.dcb.Parity == 0 &&
                s.dcb.StopBits == comm::OneStopBit)
                s.reply("\r\nOK\r\n");
        };
    }
    void TearDown() override {
        setEngineView(nullptr);
        CloseComPort();
        SetLinkSettings({});
    }
    std::shared_ptr<PortScript> script = std::make_shared<PortScript>();
    ScriptedPortInstall install{script};
    QDialog dialog;
    std::shared_ptr<DialogView> view;
    uint32_t modemBaud = 0;
    std::function<void(int)> onTry;
    int tries = 0;
};

TEST_F(ModalScan, FoundModemEndsTheModalLoopWithTheBoxSet) {
    modemBaud = 19200;
    AutoDetectThread worker;
    worker.start(); // the dialog enters its modal loop right after; the worker's first calls wait for it
    EXPECT_EQ(gui::execModal(&dialog), 1);
    gui::waitPumping(&worker);
    EXPECT_EQ(worker.result(), 1);
    EXPECT_EQ(view->baud->currentIndex(), 6);
    EXPECT_EQ(view->label->text(), "Detecting....");
}

TEST_F(ModalScan, CancelEndsTheLoopAndTheWorkersLateEndLeavesTheDialogAlone) {
    std::atomic<bool> reached{false};
    std::promise<void> resume;
    auto resumed = resume.get_future().share();
    onTry = [&](int n) {
        if (n == 3) {
            reached = true;
            resumed.wait();
        }
    };
    AutoDetectThread worker;
    worker.start();
    // Cancel as the button does once the third try runs: stop request, then end of the modal loop.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!reached)
            return;
        poll.stop();
        worker.cancel();
        gui::endModal(&dialog, 1);
        resume.set_value();
    });
    poll.start(2);
    EXPECT_EQ(gui::execModal(&dialog), 1);
    // Waiting for the worker keeps serving its last calls (the label, its own end of the loop).
    gui::waitPumping(&worker);
    EXPECT_TRUE(worker.isFinished());
    EXPECT_EQ(worker.result(), 0);
    EXPECT_EQ(tries, 3);
    // Shown modeless again, the dialog is not hidden by the late end; the next scan waits anew.
    gui::resetModal(&dialog);
    dialog.show();
    EXPECT_TRUE(dialog.isVisible());
}

} // namespace
