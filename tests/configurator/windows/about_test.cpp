#include "About.h"
#include "picture_checks.h"

#include "gui.h"
#include "test_application.h"

#include <gtest/gtest.h>

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

namespace {

class AboutBox : public ::testing::Test {
protected:
    void SetUp() override { gui::testApplication(); }
};

TEST_F(AboutBox, ShowsTheProgramNameVersionAndControlsByTheirNames) {
    TFabout about;
    EXPECT_EQ(Fabout, &about);
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About"));
    struct Case {
        const char* name;
        const char* text;
    };
    const Case cases[] = {
        {"StaticText1", "Vantro Configurator"}, {"StaticText2", "Ver 1.1.0"}, {"Build", ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto* label = about.findChild<QLabel*>(QString::fromLatin1(c.name));
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), QString::fromLatin1(c.text));
        EXPECT_EQ(label->parentWidget(), about.Panel1);
    }
    for (const char* name : {"StaticText3", "StaticText4", "Image1"}) {
        SCOPED_TRACE(name);
        auto* label = about.findChild<QLabel*>(QString::fromLatin1(name));
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->parentWidget(), about.Panel1);
    }
    EXPECT_FALSE(about.StaticText3->text().isEmpty());
    EXPECT_FALSE(about.StaticText4->text().isEmpty());
    ASSERT_NE(about.findChild<QFrame*>(QStringLiteral("Panel1")), nullptr);
    EXPECT_EQ(about.findChild<QPushButton*>(QStringLiteral("AboutOK"))->text(), QStringLiteral("OK"));
    EXPECT_EQ(about.Image1->pixmap().size(), QSize(32, 32));
    EXPECT_EQ(about.Image1->size(), QSize(32, 32));
    // Only the system menu's close box: no minimise, maximise or help.
    const Qt::WindowFlags flags = about.windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowContextHelpButtonHint));
}

TEST_F(AboutBox, ShowsTheCallersBuildTextAndOkEndsItWithOne) {
    auto* about = new TFabout;
    about->Build->setText(BuildText("Nov  1 2007", "12:00:59"));
    QString shown;
    QTimer::singleShot(0, about, [&] {
        shown = about->Build->text();
        QTest::mouseClick(about->AboutOK, Qt::LeftButton);
    });
    EXPECT_EQ(gui::execModal(about), 1);
    EXPECT_EQ(shown, QStringLiteral("Build 07110112"));
    delete about;
    EXPECT_EQ(Fabout, nullptr);
}

TEST(BuildText, EightDigitsFromTheCompilerDateAndTime) {
    struct Case {
        const char* date;
        const char* time;
        const char* text;
    };
    const Case cases[] = {
        {"Nov  1 2007", "12:00:59", "Build 07110112"},
        {"Mar  5 2007", "09:10:00", "Build 07030509"},
        {"Jan 10 2000", "00:00:00", "Build 00011000"},
        {"Dec 31 1999", "23:59:59", "Build 99123123"},
        {"Sep 09 2026", "07:30:00", "Build 26090907"},
        {"Foo 12 2020", "05:00:00", "Build 20001205"}, // unknown month
        {"nov 12 2020", "05:00:00", "Build 20001205"}, // letter case counts
        {"", "", "Build 00000000"},
        {"Nov", "1", "Build 00110000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.date);
        EXPECT_EQ(BuildText(c.date, c.time), QString::fromLatin1(c.text));
    }
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Build \\d{8}$")).match(ProgramBuildText()).hasMatch());
}

TEST_F(AboutBox, PictureShowsEveryTextWhole) {
    TFabout about;
    about.Build->setText(BuildText("Nov  1 2007", "12:00:59"));
    about.show();
    expectWholeTextsShown(about);
}

} // namespace
