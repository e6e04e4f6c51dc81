// The view paints the screen, scrolls over its history and copies the mouse selection.
#include "CellGlyphs.h"
#include "Cp437.h"
#include "halvic_fixture.h"
#include "LineGlyphs.h"
#include "TerminalFont.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QScrollBar>

#include <atomic>
#include <thread>

using namespace halvictest;

namespace {

// A view on a document whose screen is filled directly, without a port.
class ViewTest : public HalvicTest {
protected:
    void SetUp() override {
        HalvicTest::SetUp();
        doc = std::make_unique<halvic::CHalvicDoc>(*app);
        doc->screen->lock()->AllocScreenBuffer(80, 24, terminal::HistoryLines, terminal::TerminalType::Ansi);
        view = std::make_unique<halvic::CHalvicView>(*doc, halvic::TerminalFont{});
        resizeToLines(24);
        view->show();
        view->verticalScrollBar()->setValue(doc->screen->lock()->screenStartLine());
    }
    void TearDown() override {
        view.reset();
        doc.reset();
        HalvicTest::TearDown();
    }
    void resizeToLines(int lines) {
        const QSize cell = view->cellSize();
        view->resize(82 * cell.width() + view->verticalScrollBar()->sizeHint().width(),
                     lines * cell.height() + 2 * view->frameWidth());
        QCoreApplication::processEvents();
    }
    void put(const std::string& bytes) {
        doc->screen->lock()->PutTerminalChars(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        view->viewport()->update();
    }
    void run(int capability, std::initializer_list<int> parameters = {}) {
        terminal::CapabilityEvent event;
        event.capability = capability;
        for (int p : parameters)
            event.parameters[static_cast<size_t>(event.parameterCount++)] = p;
        doc->screen->lock()->carryOut(event);
    }
    QPoint cellCentre(int column, int line) const { return view->cellRect(column, line).center(); }
    QImage picture() const { return view->viewport()->grab().toImage(); }
    // The colour behind a cell's glyph: its top-left pixel.
    QRgb backgroundOf(const QImage& image, int column, int line) const {
        return image.pixel(view->cellRect(column, line).topLeft());
    }
    int screenStart() const { return doc->screen->lock()->screenStartLine(); }

    std::unique_ptr<halvic::CHalvicDoc> doc;
    std::unique_ptr<halvic::CHalvicView> view;
};

TEST_F(ViewTest, DragBackwardsSelectsAndCopiesAcrossLines) {
    const int top = screenStart();
    for (int row = 0; row < 6; ++row)
        put("line" + std::to_string(row) + " abcdefghij\r\n");
    QTest::mousePress(view->viewport(), Qt::LeftButton, {}, cellCentre(10, top + 5));
    QTest::mouseMove(view->viewport(), cellCentre(5, top + 4));
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, cellCentre(2, top + 3));
    ASSERT_TRUE(view->hasSelection());
    view->OnEditCopy();
    const QString expected = QStringLiteral("ne3 abcdefghij") + QString(80 - 16, QLatin1Char(' ')) +
                             QStringLiteral("\r\nline4 abcdefghij") + QString(80 - 16, QLatin1Char(' ')) +
                             QStringLiteral("\r\nline5 abcd");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), expected);
}

// Output goes on after a selection was made: Copy gives the text that was selected (the ends follow
// the text as the oldest lines drop off), or nothing once that text has gone or other text was moved
// under it.
struct ScrollAfterSelection {
    const char* name;
    terminal::TerminalType type;
    int linesAfter;  // lines of output after the selection
    bool insertLine; // a line inserted above the selection (a region scroll)
    bool keepsText;
};

class SelectionAfterOutput : public ViewTest, public testing::WithParamInterface<ScrollAfterSelection> {};

TEST_P(SelectionAfterOutput, CopyGivesTheSelectedTextOrNothing) {
    const ScrollAfterSelection& c = GetParam();
    doc->screen->lock()->AllocScreenBuffer(80, c.type == terminal::TerminalType::Dumb ? 25 : 24,
                                           terminal::HistoryLines, c.type);
    auto output = [&](const std::string& text) {
        auto state = doc->screen->lock();
        const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
        if (c.type == terminal::TerminalType::Dumb)
            state->PutDumbChars(bytes, text.size());
        else
            state->PutTerminalChars(bytes, text.size());
    };
    // Enough lines that the buffer is full and every further line drops the oldest one.
    for (int i = 0; i < 60; ++i)
        output("line" + std::to_string(i) + "\r\n");
    QCoreApplication::processEvents();
    view->verticalScrollBar()->setValue(screenStart());
    const int selected = screenStart() + 10;
    std::string selectedText;
    {
        const auto chars = doc->screen->lock()->lineChars(selected);
        selectedText.assign(chars.begin(), chars.begin() + 6);
    }
    QTest::mousePress(view->viewport(), Qt::LeftButton, {}, cellCentre(0, selected));
    QTest::mouseMove(view->viewport(), cellCentre(3, selected));
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, cellCentre(6, selected));
    ASSERT_TRUE(view->hasSelection());
    for (int i = 0; i < c.linesAfter; ++i)
        output("more" + std::to_string(i) + "\r\n");
    if (c.insertLine) {
        run(terminal::CapCursorHome);
        run(terminal::CapInsertLine);
    }
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    view->OnEditCopy();
    EXPECT_EQ(view->hasSelection(), c.keepsText);
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), c.keepsText ? selectedText : "before");
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SelectionAfterOutput,
    testing::Values(
        ScrollAfterSelection{"HistoryKeepsScrolling", terminal::TerminalType::Vt100, 2, false, true},
        ScrollAfterSelection{"DumbScreenScrolls", terminal::TerminalType::Dumb, 2, false, true},
        ScrollAfterSelection{"TextScrolledOutOfTheBuffer", terminal::TerminalType::Dumb, 30, false, false},
        ScrollAfterSelection{"LineInsertedAboveIt", terminal::TerminalType::Vt100, 0, true, false}),
    [](const testing::TestParamInfo<ScrollAfterSelection>& i) { return std::string(i.param.name); });

TEST_F(ViewTest, AClickWithoutADragSelectsNothing) {
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cellCentre(4, screenStart()));
    EXPECT_FALSE(view->hasSelection());
}

TEST_F(ViewTest, ClicksOutsideTheBufferStayInsideIt) {
    resizeToLines(60); // taller than the buffer
    EXPECT_EQ(view->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(view->firstVisibleLine(), 0);
    const QPoint below(view->viewport()->width() - 2, view->viewport()->height() - 2);
    QTest::mousePress(view->viewport(), Qt::LeftButton, {}, below);
    QTest::mouseMove(view->viewport(), QPoint(3, 3));
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, QPoint(3, 3));
    view->OnEditCopy();
    EXPECT_FALSE(QGuiApplication::clipboard()->text().isEmpty());
}

TEST_F(ViewTest, ScrollRangeCoversTheHistory) {
    resizeToLines(10);
    const int buffer = doc->screen->lock()->bufferLines();
    EXPECT_EQ(view->verticalScrollBar()->maximum(), buffer - view->visibleLines());
    // New output brings the cursor back into sight.
    view->verticalScrollBar()->setValue(0);
    doc->screen->lock()->takeDamage();
    put("x");
    view->EnsureVisible(0, doc->screen->lock()->cursorLine());
    EXPECT_GE(doc->screen->lock()->cursorLine(), view->firstVisibleLine());
    EXPECT_LT(doc->screen->lock()->cursorLine(), view->firstVisibleLine() + view->visibleLines());
}

TEST_F(ViewTest, ReverseAndSelectionInvertEachOther) {
    const int top = screenStart();
    run(terminal::CapEnterReverseMode);
    put("RRRR");
    run(terminal::CapExitAttributeMode);
    put("nnnn");
    // Select the cells 2..5: two reversed, two normal.
    QTest::mousePress(view->viewport(), Qt::LeftButton, {}, view->cellRect(2, top).topLeft() + QPoint(1, 1));
    QTest::mouseMove(view->viewport(), view->cellRect(6, top).topLeft() + QPoint(1, 1));
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, {},
                        view->cellRect(6, top).topLeft() + QPoint(1, 1));
    const QImage image = picture();
    const QRgb white = qRgb(255, 255, 255), black = qRgb(0, 0, 0);
    EXPECT_EQ(backgroundOf(image, 0, top), black); // reverse
    EXPECT_EQ(backgroundOf(image, 2, top), white); // reverse and selected
    EXPECT_EQ(backgroundOf(image, 4, top), black); // selected
    EXPECT_EQ(backgroundOf(image, 6, top), white); // neither
    EXPECT_EQ(backgroundOf(image, 9, top), white);
}

TEST_F(ViewTest, UnderlineAndHistoryAreDrawnTheirWay) {
    const int top = screenStart();
    run(terminal::CapSetAttribute, {4});
    put("    ");
    run(terminal::CapExitAttributeMode);
    const QImage image = picture();
    const QRect cell = view->cellRect(1, top);
    bool line = false;
    for (int y = cell.top() + cell.height() / 2; y <= cell.bottom(); ++y) {
        int dark = 0;
        for (int x = cell.left(); x <= cell.right(); ++x)
            dark += qGray(image.pixel(x, y)) < 100;
        line = line || dark == cell.width();
    }
    EXPECT_TRUE(line);

    // Lines scrolled into the history are grey.
    for (int i = 0; i < 30; ++i)
        put("HISTORY\r\n");
    view->verticalScrollBar()->setValue(0);
    view->viewport()->update();
    const QImage history = picture();
    int grey = 0, black = 0;
    for (int y = 0; y < view->cellSize().height() * (top - 1); ++y)
        for (int x = 0; x < 7 * view->cellSize().width(); ++x) {
            const QRgb p = history.pixel(x, y);
            grey += p == qRgb(0x7D, 0x7D, 0x7D);
            black += p == qRgb(0, 0, 0);
        }
    EXPECT_GT(grey, 20);
    EXPECT_EQ(black, 0);
}

// Boxes and bars join from cell to cell whatever the font's line spacing: drawn into cells taller and
// wider than the font's glyphs, a vertical line reaches the top and bottom edge, a horizontal one the
// left and right edge, a block fills its cell, and a double corner's outer lines meet.
TEST(CellGlyphs, LinesAndBlocksReachTheirCellsEdges) {
    gui::testApplication();
    const QFont font = halvic::TerminalFont{}.toQFont();
    const QFontMetrics metrics(font);
    halvic::CellGlyphs glyphs;
    glyphs.setFont(font);
    const QRect cell(0, 0, metrics.horizontalAdvance(QLatin1Char('M')) + 4, metrics.height() + 6);
    auto drawn = [&](uint8_t byte) {
        QImage image(cell.size(), QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setFont(font);
        painter.setPen(Qt::black);
        glyphs.drawRun(painter, &byte, 1, cell, metrics.ascent() + 3);
        return image;
    };
    auto dark = [](const QImage& image, int x, int y) { return qGray(image.pixel(x, y)) < 100; };
    auto anyDark = [&](const QImage& image, bool row, int at) {
        const int length = row ? image.width() : image.height();
        for (int i = 0; i < length; ++i)
            if (row ? dark(image, i, at) : dark(image, at, i))
                return true;
        return false;
    };
    const QImage vertical = drawn(0xB3);
    EXPECT_TRUE(anyDark(vertical, true, 0) && anyDark(vertical, true, cell.height() - 1)) << "\\xB3";
    const QImage horizontal = drawn(0xC4);
    EXPECT_TRUE(anyDark(horizontal, false, 0) && anyDark(horizontal, false, cell.width() - 1)) << "\\xC4";
    const QImage block = drawn(0xDB);
    int light = 0;
    for (int y = 0; y < cell.height(); ++y)
        for (int x = 0; x < cell.width(); ++x)
            light += !dark(block, x, y);
    EXPECT_EQ(light, 0) << "\\xDB";
    const QImage corner = drawn(0xC9); // double, down and right
    EXPECT_TRUE(anyDark(corner, false, cell.width() - 1) && anyDark(corner, true, cell.height() - 1));
    EXPECT_FALSE(dark(corner, 0, 0));
    EXPECT_FALSE(anyDark(corner, false, 0)) << "nothing reaches the left edge";
}

// The screen drawn cell by cell, each glyph on its own at its cell: what runs must look like.
QImage cellByCell(const halvic::CHalvicView& view, terminal::ScreenModel& model, QSize size, int lines) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    const QFont font = halvic::TerminalFont{}.toQFont();
    const QFontMetrics metrics(font);
    QPainter painter(&image);
    painter.setFont(font);
    auto state = model.lock();
    for (int row = 0; row < lines; ++row) {
        const int line = view.firstVisibleLine() + row;
        for (int column = 0; column < state->columns(); ++column) {
            const uint8_t byte = state->lineChars(line)[static_cast<size_t>(column)];
            const uint16_t attribute = state->lineAttrs(line)[static_cast<size_t>(column)];
            const bool inverted =
                ((attribute & terminal::AttrReverse) != 0) != ((attribute & terminal::AttrSelected) != 0);
            const QRect cell = view.cellRect(column, line);
            painter.fillRect(cell, inverted ? Qt::black : Qt::white);
            painter.setPen(inverted ? Qt::white : Qt::black);
            if (halvic::IsLineGlyph(byte))
                halvic::drawLineGlyph(painter, byte, cell, inverted ? Qt::white : Qt::black);
            else if (byte > 0x20)
                painter.drawText(cell.left(), cell.top() + metrics.ascent(),
                                 QString(halvic::cp437Char(byte)));
            if (attribute & terminal::AttrUnderline) {
                const int y = cell.bottom() + 1 - std::max(1, metrics.descent() - 1);
                painter.drawLine(cell.left(), y, cell.right(), y);
            }
        }
    }
    return image;
}

TEST_F(ViewTest, RunsOfCellsLookAsCellsDrawnOneByOne) {
    const int top = screenStart();
    put("plain text, then ");
    run(terminal::CapEnterReverseMode);
    put("reversed");
    run(terminal::CapExitAttributeMode);
    put(" and ");
    run(terminal::CapSetAttribute, {4});
    put("underlined words");
    run(terminal::CapExitAttributeMode);
    put("\r\n\xDA\xC4\xC4\xBF box \xB3\xDB\xB1\xB0\xFE iii WWW mmm ,.;:!|\r\n");
    run(terminal::CapSetAttribute, {7});
    put("all reversed across the selection");
    run(terminal::CapExitAttributeMode);
    put(" then normal again");
    // Select from the middle of the reversed run into the normal text.
    const QPoint from = view->cellRect(10, top + 2).topLeft() + QPoint(1, 1);
    const QPoint to = view->cellRect(45, top + 2).topLeft() + QPoint(1, 1);
    QTest::mousePress(view->viewport(), Qt::LeftButton, {}, from);
    QTest::mouseMove(view->viewport(), to);
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, to);
    run(terminal::CapCursorInvisible); // no caret over the compared lines
    ASSERT_TRUE(view->hasSelection());

    const QImage painted = picture().convertToFormat(QImage::Format_RGB32);
    const QImage expected = cellByCell(*view, *doc->screen, painted.size(), 4);
    const QRect compared(0, 0, 80 * view->cellSize().width(), 4 * view->cellSize().height());
    int differing = 0;
    for (int y = compared.top(); y <= compared.bottom(); ++y)
        for (int x = compared.left(); x <= compared.right(); ++x)
            differing += painted.pixel(x, y) != expected.pixel(x, y);
    EXPECT_EQ(differing, 0);
    // Not a blank comparison: the selection turned reversed cells white and normal ones black.
    EXPECT_EQ(backgroundOf(painted, 5, top + 2), qRgb(0, 0, 0));
    EXPECT_EQ(backgroundOf(painted, 12, top + 2), qRgb(255, 255, 255));
    EXPECT_EQ(backgroundOf(painted, 40, top + 2), qRgb(0, 0, 0));
}

// The paint copies its lines under the model's lock and draws without it: a thread taking the lock
// all along waits only a small part of the painting time.
TEST_F(ViewTest, PaintingHoldsTheModelLockBriefly) {
    for (int i = 0; i < 24 * 40; ++i) {
        run(terminal::CapSetAttribute, {i % 2 ? 7 : 4});
        put(i % 2 ? "W" : "#");
        run(terminal::CapExitAttributeMode);
    }
    std::atomic<bool> painting{true};
    std::atomic<long long> waitedNs{0};
    std::thread writer([&] {
        while (painting) {
            const auto before = std::chrono::steady_clock::now();
            {
                auto state = doc->screen->lock();
                waitedNs += std::chrono::duration_cast<std::chrono::nanoseconds>(
                                std::chrono::steady_clock::now() - before)
                                .count();
            }
            std::this_thread::sleep_for(std::chrono::microseconds(50)); // a reader between reads
        }
    });
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 40; ++i)
        picture();
    const auto paintNs =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start)
            .count();
    painting = false;
    writer.join();
    EXPECT_LT(waitedNs.load(), paintNs / 10)
        << "waited " << waitedNs / 1000 << " us of " << paintNs / 1000 << " us painting";
}

// Changes arriving faster than the screen refreshes are painted once a frame, and the last of them
// is painted once the flood ends.
TEST_F(ViewTest, AFloodIsPaintedOnceAFrame) {
    struct PaintCounter : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* event) override {
            paints += event->type() == QEvent::Paint;
            return false;
        }
    } counter;
    view->viewport()->installEventFilter(&counter);
    const qreal rate = view->screen()->refreshRate();
    QElapsedTimer flood;
    flood.start();
    int blocks = 0;
    while (flood.elapsed() < 300) {
        const std::string block = "block " + std::to_string(++blocks) + "\r\n";
        view->OnRawData(reinterpret_cast<const uint8_t*>(block.data()), block.size());
        QCoreApplication::processEvents();
    }
    const qint64 ms = flood.elapsed();
    EXPECT_GT(blocks, 100) << "not a flood";
    EXPECT_LE(counter.paints, rate * double(ms) / 1000.0 + 3) << blocks << " blocks in " << ms << " ms";
    EXPECT_GE(counter.paints, 2);
    // A change within the frame after the flood is painted when the frame ends, not dropped.
    const int paints = counter.paints;
    view->OnRawData(reinterpret_cast<const uint8_t*>("end"), 3);
    EXPECT_TRUE(QTest::qWaitFor([&] { return counter.paints > paints; }, 1000));
}

TEST(Cp437Text, EightBitCellsShowAsCodePage437) {
    EXPECT_EQ(halvic::cp437Char(0xC4), QChar(0x2500));
    EXPECT_EQ(halvic::cp437Char(0xB3), QChar(0x2502));
    EXPECT_EQ(halvic::cp437Char('A'), QChar('A'));
    EXPECT_EQ(halvic::cp437Text("a\r\n\xDA", 4), QString::fromUtf8("a\r\n\u250C"));
}

} // namespace
