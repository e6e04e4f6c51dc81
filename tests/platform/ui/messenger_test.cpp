#include "gui.h"
#include "qt_messenger.h"
#include "scripted_messenger.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFontMetrics>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <memory>

namespace {

TEST(ScriptedMessenger, BoxRaisedInsideACallFromAWorkerIsAnsweredAndRecorded) {
    auto scripted = gui::ScriptedMessenger::install();
    scripted->answer({gui::Answer::Yes});
    std::atomic<bool> hookOnGui{false};
    QThread* const guiThread = QThread::currentThread();
    scripted->onBox([&](const gui::Box&) { hookOnGui = QThread::currentThread() == guiThread; });

    std::atomic<int> answer{-1};
    std::unique_ptr<QThread> t(QThread::create([&] {
        gui::call([&] {
            answer = static_cast<int>(gui::messenger().ask(QStringLiteral("Vantro Configurator"),
                                                           QStringLiteral("Erase all SMS?")));
            gui::messenger().showPlain(QStringLiteral("Done."));
        });
    }));
    t->start();
    gui::waitPumping(t.get());

    EXPECT_EQ(answer.load(), static_cast<int>(gui::Answer::Yes));
    EXPECT_TRUE(hookOnGui.load());
    const auto boxes = scripted->boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].kind, gui::BoxKind::Ask);
    EXPECT_EQ(boxes[0].caption, QStringLiteral("Vantro Configurator"));
    EXPECT_EQ(boxes[0].text, QStringLiteral("Erase all SMS?"));
    EXPECT_EQ(boxes[0].icon, gui::Icon::Question);
    EXPECT_EQ(boxes[1].kind, gui::BoxKind::Plain);
    EXPECT_TRUE(boxes[1].caption.isEmpty());
    gui::setMessenger(nullptr);
}

TEST(ScriptedMessenger, UnscriptedQuestionsTakeTheirDefaultButton) {
    gui::ScriptedMessenger m;
    m.answer({gui::Answer::Yes, gui::Answer::No});
    EXPECT_EQ(m.confirm(QString(), QStringLiteral("a")), gui::Answer::Ok);
    EXPECT_EQ(m.confirm(QString(), QStringLiteral("b")), gui::Answer::Cancel);
    EXPECT_EQ(m.ask(QString(), QStringLiteral("c")), gui::Answer::No);
    EXPECT_EQ(m.confirm(QString(), QStringLiteral("d")), gui::Answer::Ok);
    EXPECT_EQ(m.pendingAnswers(), 0u);
    EXPECT_EQ(m.last().text, QStringLiteral("d"));
    // A three-way question takes Cancel as it is; unanswered it is No, which writes nothing.
    m.answer({gui::Answer::Cancel});
    EXPECT_EQ(m.askYesNoCancel(QString(), QStringLiteral("e")), gui::Answer::Cancel);
    EXPECT_EQ(m.askYesNoCancel(QString(), QStringLiteral("f")), gui::Answer::No);
}

// Presses a key on the first message box that comes up and reports its title and default button.
struct BoxPresser {
    QString title;
    QString defaultText;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int width = 0;
    bool seen = false;

    void arm(int key) {
        auto* timer = new QTimer(qApp);
        QObject::connect(timer, &QTimer::timeout, timer, [this, timer, key] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) {
                return;
            }
            timer->stop();
            timer->deleteLater();
            seen = true;
            title = box->windowTitle();
            icon = box->icon();
            width = box->width();
            if (box->defaultButton() != nullptr) {
                defaultText = box->defaultButton()->text().remove(QLatin1Char('&'));
            }
            QTest::keyClick(box, static_cast<Qt::Key>(key));
        });
        timer->start(5);
    }
};

enum class Question { Ask, Confirm, YesNoCancel };

struct DefaultCase {
    const char* name;
    Question question;
    gui::Answer expected;
    const char* defaultButton;
};

class QtMessengerDefaults : public testing::TestWithParam<DefaultCase> {};

TEST_P(QtMessengerDefaults, EnterTakesTheDefaultButton) {
    const DefaultCase& c = GetParam();
    gui::QtMessenger m;
    BoxPresser presser;
    presser.arm(Qt::Key_Return);
    const gui::Answer answer =
        c.question == Question::Ask       ? m.ask(QStringLiteral("Cap"), QStringLiteral("Sure?"))
        : c.question == Question::Confirm ? m.confirm(QStringLiteral("Cap"), QStringLiteral("Overwrite?"))
                                          : m.askYesNoCancel(QStringLiteral("Cap"), QStringLiteral("Save?"));
    EXPECT_EQ(answer, c.expected);
    EXPECT_TRUE(presser.seen);
    EXPECT_EQ(presser.title, QStringLiteral("Cap"));
    EXPECT_EQ(presser.defaultText, QString::fromLatin1(c.defaultButton));
}

INSTANTIATE_TEST_SUITE_P(
    QtMessenger, QtMessengerDefaults,
    testing::Values(DefaultCase{"AskDefaultsToNo", Question::Ask, gui::Answer::No, "No"},
                    DefaultCase{"ConfirmDefaultsToOk", Question::Confirm, gui::Answer::Ok, "OK"},
                    DefaultCase{"ThreeWayQuestionDefaultsToYes", Question::YesNoCancel, gui::Answer::Yes,
                                "Yes"}),
    [](const testing::TestParamInfo<DefaultCase>& i) { return std::string(i.param.name); });

TEST(QtMessenger, BoxIsWideEnoughForItsCaption) {
    gui::QtMessenger m;
    const QString caption = QStringLiteral("Vantro Configurator - a caption much longer than its text");
    BoxPresser presser;
    presser.arm(Qt::Key_Return);
    m.show(caption, QStringLiteral("Ok."));
    ASSERT_TRUE(presser.seen);
    EXPECT_GT(presser.width, QFontMetrics(QApplication::font()).horizontalAdvance(caption));
}

TEST(QtMessenger, EscapeOnAQuestionAnswersNo) {
    gui::QtMessenger m;
    BoxPresser presser;
    presser.arm(Qt::Key_Escape);
    EXPECT_EQ(m.ask(QStringLiteral("Cap"), QStringLiteral("Sure?")), gui::Answer::No);
    EXPECT_TRUE(presser.seen);
}

TEST(QtMessenger, EscapeOnAThreeWayQuestionAnswersCancel) {
    gui::QtMessenger m;
    BoxPresser presser;
    presser.arm(Qt::Key_Escape);
    EXPECT_EQ(m.askYesNoCancel(QStringLiteral("Cap"), QStringLiteral("Save?")), gui::Answer::Cancel);
    EXPECT_TRUE(presser.seen);
}

TEST(QtMessenger, CalledFromAWorkerShowsTheBoxOnTheGuiThread) {
    gui::QtMessenger m;
    BoxPresser presser;
    presser.arm(Qt::Key_Return);
    std::unique_ptr<QThread> t(QThread::create(
        [&] { m.show(QStringLiteral("File not found."), QStringLiteral("x.txt"), gui::Icon::Warning); }));
    t->start();
    gui::waitPumping(t.get());
    EXPECT_TRUE(presser.seen);
    EXPECT_EQ(presser.title, QStringLiteral("File not found."));
    EXPECT_EQ(presser.icon, QMessageBox::Warning);
}

TEST(QtMessenger, PlainBoxIsCaptionedWithTheProgramName) {
    gui::QtMessenger m;
    BoxPresser presser;
    presser.arm(Qt::Key_Return);
    m.showPlain(QStringLiteral("The file is empty."));
    EXPECT_TRUE(presser.seen);
    EXPECT_EQ(presser.title, QApplication::applicationDisplayName());
}

TEST(QtMessenger, PlainBoxTakesTheCaptionItWasGiven) {
    gui::QtMessenger m(QStringLiteral("Vantro Configurator"));
    BoxPresser presser;
    presser.arm(Qt::Key_Return);
    m.showPlain(QStringLiteral("The file is empty."));
    EXPECT_TRUE(presser.seen);
    EXPECT_EQ(presser.title, QStringLiteral("Vantro Configurator"));
}

} // namespace
