// Typed keys reach the far end of the line as the description's key strings, with the dumb terminal's
// Enter translations and local echo.
#include "halvic_fixture.h"

#include <QKeyEvent>

using namespace halvictest;

namespace {

class KeyboardTest : public HalvicTest {
protected:
    // What the peer receives for the key, followed by a marker key that proves nothing else came.
    std::string sent(halvic::CChildFrame& child, Qt::Key key,
                     Qt::KeyboardModifiers modifiers = Qt::NoModifier, int count = 1) {
        QWidget* view = &child.view();
        if (count == 1) {
            QTest::keyClick(view, key, modifiers);
        } else {
            QKeyEvent press(QEvent::KeyPress, key, modifiers, QString(), false, static_cast<ushort>(count));
            QApplication::sendEvent(view, &press);
        }
        QTest::keyClick(view, Qt::Key_Z);
        std::string got = takeFrom(pty.master(), 1000, 300);
        for (int i = 0; i < 30 && (got.empty() || got.back() != 'z'); ++i)
            got += takeFrom(pty.master(), 1000, 100);
        EXPECT_FALSE(got.empty());
        if (!got.empty())
            got.pop_back();
        return got;
    }
};

struct KeyCase {
    int type;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    int count;
    const char* bytes;
};

TEST_F(KeyboardTest, KeysSendTheDescriptionStringsOfTheTerminalType) {
    const KeyCase cases[] = {
        {0, Qt::Key_Up, Qt::NoModifier, 1, "\x1b[A"},
        {0, Qt::Key_Up, Qt::NoModifier, 3, "\x1b[A\x1b[A\x1b[A"}, // a held key, three repeats
        {0, Qt::Key_F10, Qt::NoModifier, 3, "\x1b[V"},            // once per press
        {0, Qt::Key_Delete, Qt::NoModifier, 1, "\x1b[3~"},
        {0, Qt::Key_Backspace, Qt::NoModifier, 1, "\x7f"}, // what Linux line editing erases with
        {0, Qt::Key_Backspace, Qt::NoModifier, 2, "\x7f\x7f"},
        {0, Qt::Key_F11, Qt::NoModifier, 1, "\x1b[23~"},
        {0, Qt::Key_F12, Qt::NoModifier, 1, "\x1b[24~"},
        {0, Qt::Key_Backtab, Qt::ShiftModifier, 1, "\x1b[Z"},
        {0, Qt::Key_A, Qt::NoModifier, 1, "a"},
        {0, Qt::Key_C, Qt::ControlModifier, 1, "\x03"},
        {0, Qt::Key_Return, Qt::NoModifier, 1, "\r"}, // no Enter translation here
        {0, Qt::Key_Tab, Qt::NoModifier, 1, "\t"},
        {0, Qt::Key_Escape, Qt::NoModifier, 1, "\x1b"},
        {1, Qt::Key_Up, Qt::NoModifier, 1, "\x1bOA"},
        {1, Qt::Key_F1, Qt::NoModifier, 1, "\x1bOP"},
        {1, Qt::Key_PageDown, Qt::NoModifier, 1, "\x1b[6~"},
        {1, Qt::Key_Delete, Qt::NoModifier, 1, "\x1b[3~"},
        {1, Qt::Key_Backspace, Qt::NoModifier, 1, "\x7f"},
        {1, Qt::Key_F11, Qt::NoModifier, 1, "\x1b[23~"},
        {1, Qt::Key_F12, Qt::NoModifier, 1, "\x1b[24~"},
        {1, Qt::Key_Backtab, Qt::ShiftModifier, 1, "\x1b[Z"},
        {2, Qt::Key_Up, Qt::NoModifier, 1, ""}, // the dumb terminal has no key strings
        {2, Qt::Key_B, Qt::NoModifier, 1, "b"},
        {2, Qt::Key_Backspace, Qt::NoModifier, 1, "\b"}, // the dumb terminal sends the character
    };
    for (int type : {0, 1, 2}) {
        wantedTerminal.terminalType = type;
        halvic::CChildFrame* child = openWindow();
        ASSERT_NE(child, nullptr);
        for (const KeyCase& c : cases) {
            if (c.type != type)
                continue;
            EXPECT_EQ(sent(*child, c.key, c.modifiers, c.count), std::string(c.bytes))
                << "type " << type << " key " << c.key << " count " << c.count;
        }
        QPointer<halvic::CChildFrame> guard(child);
        child->close();
        ASSERT_TRUE(waitFor([&] { return guard.isNull(); }));
        EXPECT_TRUE(messages->boxes().empty()) << messages->last().text.toStdString();
    }
}

TEST_F(KeyboardTest, TypedCharactersGoAsTheirEightBitCodes) {
    halvic::CChildFrame* child = openWindow();
    ASSERT_NE(child, nullptr);
    const std::pair<const char*, const char*> cases[] = {{"A", "A"}, {"\u00e9", "\x82"}, {"\u2500", "\xC4"}};
    for (const auto& [typed, bytes] : cases) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString::fromUtf8(typed));
        QApplication::sendEvent(&child->view(), &press);
        EXPECT_EQ(takeFrom(pty.master(), 1, 1000), std::string(bytes)) << typed;
    }
}

TEST_F(KeyboardTest, DumbTerminalEnterFollowsTheEnterCode) {
    const std::pair<int, const char*> cases[] = {{halvic::CodeCrLf, "\r\n"},
                                                 {halvic::CodeCr, "\r"},
                                                 {halvic::CodeLf, "\n"},
                                                 {halvic::CodeUnchanged, ""}};
    wantedTerminal.terminalType = 2;
    halvic::CChildFrame* child = openWindow();
    ASSERT_NE(child, nullptr);
    for (const auto& [code, bytes] : cases) {
        child->document().terminalSettings.enterCode = code;
        EXPECT_EQ(sent(*child, Qt::Key_Return), std::string(bytes)) << "Enter code " << code;
    }
}

TEST_F(KeyboardTest, DumbTerminalLocalEchoShowsWhatWasSent) {
    wantedTerminal.terminalType = 2;
    wantedTerminal.localEcho = 1;
    wantedTerminal.enterCode = halvic::CodeCrLf;
    halvic::CChildFrame* child = openWindow();
    ASSERT_NE(child, nullptr);
    halvic::CHalvicDoc& doc = child->document();
    QTest::keyClicks(&child->view(), "hi");
    QTest::keyClick(&child->view(), Qt::Key_Return);
    QTest::keyClicks(&child->view(), "ok");
    EXPECT_EQ(takeFrom(pty.master(), 6), "hi\r\nok");
    EXPECT_EQ(rowText(doc, 0), "hi");
    EXPECT_EQ(rowText(doc, 1), "ok");
}

TEST_F(KeyboardTest, DumbTerminalArrowKeysDoNotScrollTheView) {
    wantedTerminal.terminalType = 2;
    halvic::CChildFrame* child = openWindow();
    ASSERT_NE(child, nullptr);
    halvic::CHalvicView& view = child->view();
    const int first = view.firstVisibleLine();
    QTest::keyClick(&view, Qt::Key_Down);
    QTest::keyClick(&view, Qt::Key_PageDown);
    EXPECT_EQ(view.firstVisibleLine(), first);
}

TEST_F(KeyboardTest, NothingIsTypedIntoTheLineWhileTheWindowIsBusy) {
    halvic::CChildFrame* child = openWindow();
    ASSERT_NE(child, nullptr);
    child->view().setBusy(true);
    QTest::keyClicks(&child->view(), "lost");
    child->view().setBusy(false);
    EXPECT_EQ(sent(*child, Qt::Key_A), "a");
}

} // namespace
