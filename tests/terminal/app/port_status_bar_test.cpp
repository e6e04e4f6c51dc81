#include "PortStatusBar.h"
#include "test_application.h"

#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPaintEvent>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// Records the regions the bar is asked to paint.
class PaintLog : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            painted += static_cast<QPaintEvent*>(event)->region();
        }
        return false;
    }
    QRegion painted;
};

bool hasRed(const QImage& image, const QRect& area) {
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() > 200 && c.green() < 60 && c.blue() < 60) {
                return true;
            }
        }
    }
    return false;
}

int darkest(const QImage& image, const QRect& area) {
    int value = 255;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            value = std::min(value, image.pixelColor(x, y).value());
        }
    }
    return value;
}

int countColour(const QImage& image, const QRect& area, QColor colour) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            n += image.pixelColor(x, y).rgb() == colour.rgb();
        }
    }
    return n;
}

class PortStatusBarTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.setStatusBar(bar);
        window.resize(480, 200);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        bar->installEventFilter(&log);
    }
    // Lets every pending repaint happen and returns what was painted since the last call.
    QRegion settle() {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        const QRegion r = log.painted;
        log.painted = QRegion();
        return r;
    }
    QImage shot() { return bar->grab().toImage(); }

    // The application must exist before the first widget member is made.
    struct App {
        App() { gui::testApplication(); }
    } app;
    QMainWindow window;
    PortStatusBar* bar = new PortStatusBar;
    PaintLog log;
};

struct LampCase {
    const char* name;
    int word;
    std::array<bool, 4> lit; // CTS, DSR, RI, DCD
};

class PortStatusBarLamps : public PortStatusBarTest, public testing::WithParamInterface<LampCase> {};

TEST_P(PortStatusBarLamps, EachBitLightsOnlyItsOwnLamp) {
    const LampCase& c = GetParam();
    // From every lamp the other way, so each one has to change.
    int opposite = 0;
    for (int lamp = 0; lamp < 4; ++lamp)
        opposite |= c.lit[lamp] ? 0 : 1 << lamp;
    bar->SetLineIndicators(opposite);
    settle();
    bar->SetLineIndicators(c.word);
    const QImage image = shot();
    for (int lamp = 0; lamp < 4; ++lamp) {
        const int pane = PortStatusBar::CtsPane + lamp;
        EXPECT_EQ(bar->lampOn(pane), c.lit[lamp]) << c.word << " lamp " << lamp;
        EXPECT_EQ(hasRed(image, bar->paneRect(pane)), c.lit[lamp]) << c.word << " lamp " << lamp;
    }
}

INSTANTIATE_TEST_SUITE_P(Words, PortStatusBarLamps,
                         testing::Values(LampCase{"None", 0x0, {false, false, false, false}},
                                         LampCase{"Dcd", 0x8, {false, false, false, true}},
                                         LampCase{"Cts", 0x1, {true, false, false, false}},
                                         LampCase{"Dsr", 0x2, {false, true, false, false}},
                                         LampCase{"Ri", 0x4, {false, false, true, false}},
                                         LampCase{"All", 0xF, {true, true, true, true}},
                                         // bits above 3 mean nothing here
                                         LampCase{"HighBitsMeanNothing", 0xF0, {false, false, false, false}}),
                         [](const testing::TestParamInfo<LampCase>& i) { return std::string(i.param.name); });

TEST_F(PortStatusBarTest, OnlyChangedLampsRepaint) {
    bar->SetLineIndicators(0x8);
    const QRegion first = settle();
    EXPECT_TRUE(first.intersects(bar->paneRect(PortStatusBar::DcdPane)));
    EXPECT_FALSE(first.intersects(bar->paneRect(PortStatusBar::CtsPane)));

    bar->SetLineIndicators(0x8);
    EXPECT_TRUE(settle().isEmpty()) << "the same word repaints nothing";

    bar->SetLineIndicators(0x9);
    const QRegion second = settle();
    EXPECT_TRUE(second.intersects(bar->paneRect(PortStatusBar::CtsPane)));
    for (int pane : {PortStatusBar::DsrPane, PortStatusBar::RiPane, PortStatusBar::DcdPane,
                     PortStatusBar::MessagePane}) {
        EXPECT_FALSE(second.intersects(bar->paneRect(pane))) << pane;
    }
}

TEST_F(PortStatusBarTest, DisabledPanesShowNoLampAndGreyText) {
    bar->SetLineIndicators(0xF);
    bar->setPaneText(PortStatusBar::StatePane, "State:CLOSE");
    for (int pane = PortStatusBar::CtsPane; pane <= PortStatusBar::DcdPane; ++pane) {
        bar->setPaneEnabled(pane, false);
    }
    bar->setPaneEnabled(PortStatusBar::StatePane, false);
    const QImage image = shot();
    for (int pane = PortStatusBar::CtsPane; pane <= PortStatusBar::DcdPane; ++pane) {
        EXPECT_FALSE(hasRed(image, bar->paneRect(pane))) << pane;
    }
    // Inside the border the darkest text pixel is the grey of a disabled pane, never the normal text colour.
    const QRect text = bar->paneRect(PortStatusBar::StatePane).adjusted(2, 2, -2, -2);
    EXPECT_GE(darkest(image, text), 0x70);
    EXPECT_LE(darkest(image, text), 0x98); // 0x80, give or take the smoothing of small text
    bar->setPaneEnabled(PortStatusBar::StatePane, true);
    EXPECT_LT(darkest(shot(), text), 0x40);
}

TEST_F(PortStatusBarTest, HighlightLastsUntilTheMessagePaneGetsAnotherText) {
    const QColor highlight = bar->palette().color(QPalette::Highlight);
    const QColor normalBack = bar->paneStyle(PortStatusBar::MessagePane).back;
    const QRect message = bar->paneRect(PortStatusBar::MessagePane);

    bar->SetStatusPane("");
    bar->SetStatusPane("Got Break Signal");
    EXPECT_TRUE(bar->highlighted());
    EXPECT_EQ(bar->paneText(PortStatusBar::MessagePane), "Got Break Signal");
    EXPECT_GT(countColour(shot(), message, highlight), 20);

    bar->setPaneText(PortStatusBar::MessagePane, "Got Break Signal");
    EXPECT_TRUE(bar->highlighted()) << "the same text keeps the highlight";

    bar->setPaneText(PortStatusBar::MessagePane, "Capturing...");
    EXPECT_FALSE(bar->highlighted());
    EXPECT_EQ(bar->paneStyle(PortStatusBar::MessagePane).back, normalBack)
        << "the normal colours come back, not those of the first notice";
    EXPECT_EQ(countColour(shot(), message, highlight), 0);
}

TEST_F(PortStatusBarTest, NoSizeGripWhileThePortWindowIsMaximised) {
    EXPECT_TRUE(bar->sizeGripShown());
    bar->setOwnMaximised(true);
    EXPECT_FALSE(bar->sizeGripShown());
    bar->setOwnMaximised(false);
    EXPECT_TRUE(bar->sizeGripShown());

    QMdiArea area;
    auto* frame = new QMainWindow;
    auto* inner = new PortStatusBar;
    frame->setStatusBar(inner);
    QMdiSubWindow* sub = area.addSubWindow(frame);
    area.resize(640, 480);
    area.show();
    sub->showNormal();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&area));
    EXPECT_TRUE(inner->sizeGripShown());
    sub->showMaximized();
    QCoreApplication::processEvents();
    EXPECT_FALSE(inner->sizeGripShown());
}

TEST_F(PortStatusBarTest, Screenshot) {
    bar->setPaneText(PortStatusBar::StatePane, "State:OPEN");
    bar->SetLineIndicators(0x1 | 0x8);
    bar->SetStatusPane("Got Break Signal");
    EXPECT_TRUE(gui::saveScreenshot(*bar, QStringLiteral("halvic_port_status_bar")));
}

} // namespace
