// Pattern jobs on a pty, set up through the real dialogs: the far end counts the bytes.
#include "halvic_fixture.h"

#include "ControlIds.h"
#include "PatternSender.h"
#include "PatternSettings.h"
#include "SendPatternDlg.h"
#include "TransmitPatternDlg.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTimer>

#include <algorithm>
#include <fcntl.h>

namespace {

using namespace halvictest;
using Clock = std::chrono::steady_clock;

class PatternSendTest : public HalvicTest {
protected:
    void SetUp() override {
        HalvicTest::SetUp();
        halvic::resetPatternSettings();
        ASSERT_EQ(SerialOpen(kPort), 0);
        ASSERT_EQ(SerialSetWriteTimeout(kPort, 100), 0);
    }

    // Answers the Send Pattern dialog once it is up: a range, and a repeat count or none.
    void answerDialog(const char* start, const char* end, const char* repeat) {
        QTimer::singleShot(0, [=] {
            auto* dlg = qobject_cast<halvic::CSendPatternDlg*>(QApplication::activeModalWidget());
            ASSERT_TRUE(dlg);
            auto field = [dlg](const char* name) { return dlg->findChild<QLineEdit*>(QLatin1String(name)); };
            auto click = [dlg](const char* name) {
                QAbstractButton* button = dlg->findChild<QAbstractButton*>(QLatin1String(name));
                QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
            };
            click(halvic::kIdcRangeRadio);
            QTest::keyClicks(field(halvic::kIdcRangeStartEdit), QLatin1String(start));
            field(halvic::kIdcRangeEndEdit)->setFocus();
            QTest::keyClicks(field(halvic::kIdcRangeEndEdit), QLatin1String(end));
            if (repeat) {
                click(halvic::kIdcRepeatRadio);
                field(halvic::kIdcRepeatCountEdit)->clear();
                QTest::keyClicks(field(halvic::kIdcRepeatCountEdit), QLatin1String(repeat));
            } else {
                click(halvic::kIdcUntilBreakRadio);
            }
            click("startSend");
        });
    }

    QString shown(const char* name) const {
        return sender.progressDialog()->findChild<QLabel*>(QLatin1String(name))->text();
    }

    halvic::PatternSender sender;
    QSignalSpy busy{&sender, &halvic::PatternSender::busyChanged};
};

std::string rangePass(int start, int end) {
    std::string pass;
    for (int b = start; b <= end; ++b)
        pass.push_back(char(b));
    return pass;
}

TEST_F(PatternSendTest, RangeRepeatedThreeTimesReachesTheFarEndByteForByte) {
    answerDialog("0", "ff", "3");
    ASSERT_TRUE(sender.SendPattern(kPort, QStringLiteral("COM5"), nullptr));
    ASSERT_TRUE(sender.progressDialog());
    EXPECT_EQ(sender.progressDialog()->windowTitle(), QStringLiteral("Transmit Pattern"));
    EXPECT_EQ(shown(halvic::kIdcTransmitPort), QStringLiteral("COM5"));
    EXPECT_EQ(shown(halvic::kIdcTransmitPattern), QStringLiteral("0..ff"));
    EXPECT_EQ(shown(halvic::kIdcTransmitRepeatCount), QStringLiteral("3"));
    ASSERT_EQ(busy.size(), 1);
    EXPECT_TRUE(busy[0][0].toBool());

    const std::string pass = rangePass(0, 255);
    std::string got = takeFrom(pty.master(), 3 * pass.size(), 3000);
    QTRY_COMPARE(busy.size(), 2);
    EXPECT_FALSE(busy[1][0].toBool());
    got += takeFrom(pty.master(), 1, 100); // the job is over: whatever else it wrote is on the line now
    EXPECT_EQ(got, pass + pass + pass);
    QTRY_VERIFY(!sender.progressDialog());
    int timeout = -1;
    ASSERT_EQ(SerialGetWriteTimeout(kPort, &timeout), 0);
    EXPECT_EQ(timeout, 100) << "the port's write time-out is back";
}

TEST_F(PatternSendTest, StopEndsAnEndlessJobAtOnceWithWholePatternsOnly) {
    answerDialog("41", "5a", nullptr);
    ASSERT_TRUE(sender.SendPattern(kPort, QStringLiteral("COM5"), nullptr));
    EXPECT_EQ(shown(halvic::kIdcTransmitRepeatCount), QStringLiteral("Until user break"));
    EXPECT_EQ(shown(halvic::kIdcTransmitCount), QString());
    const std::string pass = rangePass(0x41, 0x5a);
    std::string got;
    // The count is shown while it runs.
    for (const auto end = Clock::now() + std::chrono::seconds(3);
         shown(halvic::kIdcTransmitCount).isEmpty() && Clock::now() < end;)
        got += takeFrom(pty.master(), 1u << 20, 20);
    const long counted = shown(halvic::kIdcTransmitCount).toLong();
    EXPECT_GT(counted, 10);
    EXPECT_GE(long(got.size()) / long(pass.size()), counted - 1);

    const auto stopAt = Clock::now();
    QTest::mouseClick(sender.progressDialog()->findChild<QPushButton*>(QStringLiteral("stop")),
                      Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(busy.size(), 2, 1000);
    EXPECT_LT(Clock::now() - stopAt, std::chrono::milliseconds(100));
    got += takeFrom(pty.master(), 1u << 20, 200);
    // Every pass whole and in order: the line carries a prefix of the endless pattern.
    ASSERT_GT(got.size(), pass.size());
    for (size_t at = 0; at < got.size(); ++at)
        ASSERT_EQ(got[at], pass[at % pass.size()]) << "at " << at;
}

TEST_F(PatternSendTest, StopEndsAWriteTheFarEndDoesNotTake) {
    // The line is full before the job starts: its first write waits.
    ASSERT_EQ(::fcntl(pty.slave(), F_SETFL, ::fcntl(pty.slave(), F_GETFL) | O_NONBLOCK), 0);
    const std::string filler(4096, 'f');
    while (::write(pty.slave(), filler.data(), filler.size()) > 0) {
    }
    answerDialog("0", "5f", nullptr); // no byte of the pattern is an 'f'
    ASSERT_TRUE(sender.SendPattern(kPort, QStringLiteral("COM5"), nullptr));
    QTest::qWait(300);
    EXPECT_EQ(busy.size(), 1) << "still writing";
    const auto stopAt = Clock::now();
    QTest::mouseClick(sender.progressDialog()->findChild<QPushButton*>(QStringLiteral("stop")),
                      Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(busy.size(), 2, 1000);
    EXPECT_LT(Clock::now() - stopAt, std::chrono::milliseconds(100));
    const std::string after = takeFrom(pty.master(), 1u << 20, 200);
    // The far end's own input buffer keeps what it had taken; of the pattern, one pass at most follows.
    EXPECT_LE(after.size() - size_t(std::count(after.begin(), after.end(), 'f')), 0x60u);
}

TEST_F(PatternSendTest, CancelSendsNothing) {
    QTimer::singleShot(0, [] {
        auto* dlg = QApplication::activeModalWidget();
        ASSERT_TRUE(dlg);
        QTest::mouseClick(dlg->findChild<QAbstractButton*>(QStringLiteral("cancel")), Qt::LeftButton);
    });
    EXPECT_FALSE(sender.SendPattern(kPort, QStringLiteral("COM5"), nullptr));
    EXPECT_FALSE(sender.progressDialog());
    EXPECT_TRUE(busy.isEmpty());
    EXPECT_EQ(takeFrom(pty.master(), 1, 150), "");
}

} // namespace
