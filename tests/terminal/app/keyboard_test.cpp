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
        // Read until the marker arrives: the key's bytes come before it on the line.
        std::string got;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while ((got.empty() || got.back() != 'z') && std::chrono::steady_clock::now() < end)
            got += takeFrom(pty.master(), 1, 100);
        EXPECT_FALSE(got.empty());
        if (!got.empty())
            got.pop_back();
        return got;
    }
};

struct KeyCase {
    const char* name;
    int type;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    int count;
    const char* bytes;
};

const KeyCase KeyCases[] = {
    {"Ansi_Up", 0, Qt::Key_Up, Qt::NoModifier, 1, "\x1b[A"},
    {"Ansi_UpHeldThreeRepeats", 0, Qt::Key_Up, Qt::NoModifier, 3, "\x1b[A\x1b[A\x1b[A"},
    {"Ansi_F10HeldOncePerPress", 0, Qt::Key_F10, Qt::NoModifier, 3, "\x1b[V"},
    {"Ansi_Delete", 0, Qt::Key_Delete, Qt::NoModifier, 1, "\x1b[3~"},
    {"Ansi_Backspace", 0, Qt::Key_Backspace, Qt::NoModifier, 1,
     "\x7f"}, // what Linux line editing erases with
    {"Ansi_BackspaceHeldTwoRepeats", 0, Qt::Key_Backspace, Qt::NoModifier, 2, "\x7f\x7f"},
    {"Ansi_F11", 0, Qt::Key_F11, Qt::NoModifier, 1, "\x1b[23~"},
    {"Ansi_F12", 0, Qt::Key_F12, Qt::NoModifier, 1, "\x1b[24~"},
    {"Ansi_Backtab", 0, Qt::Key_Backtab, Qt::ShiftModifier, 1, "\x1b[Z"},
    {"Ansi_Letter", 0, Qt::Key_A, Qt::NoModifier, 1, "a"},
    {"Ansi_ControlC", 0, Qt::Key_C, Qt::ControlModifier, 1, "\x03"},
    {"Ansi_Return", 0, Qt::Key_Return, Qt::NoModifier, 1, "\r"}, // no Enter translation here
    {"Ansi_Tab", 0, Qt::Key_Tab, Qt::NoModifier, 1, "\t"},
    {"Ansi_Escape", 0, Qt::Key_Escape, Qt::NoModifier, 1, "\x1b"},
    {"Vt100_Up", 1, Qt::Key_Up, Qt::NoModifier, 1, "\x1bOA"},
    {"Vt100_F1", 1, Qt::Key_F1, Qt::NoModifier, 1, "\x1bOP"},
    {"Vt100_PageDown", 1, Qt::Key_PageDown, Qt::NoModifier, 1, "\x1b[6~"},
    {"Vt100_Delete", 1, Qt::Key_Delete, Qt::NoModifier, 1, "\x1b[3~"},
    {"Vt100_Backspace", 1, Qt::Key_Backspace, Qt::NoModifier, 1, "\x7f"},
    {"Vt100_F11", 1, Qt::Key_F11, Qt::NoModifier, 1, "\x1b[23~"},
    {"Vt100_F12", 1, Qt::Key_F12, Qt::NoModifier, 1, "\x1b[24~"},
    {"Vt100_Backtab", 1, Qt::Key_Backtab, Qt::ShiftModifier, 1, "\x1b[Z"},
    {"Dumb_UpSendsNothing", 2, Qt::Key_Up, Qt::NoModifier, 1, ""}, // the dumb terminal has no key strings
    {"Dumb_Letter", 2, Qt::Key_B, Qt::NoModifier, 1, "b"},
    {"Dumb_Backspace", 2, Qt::Key_Backspace, Qt::NoModifier, 1,
     "\b"}, // the dumb terminal sends the character
};

class KeyboardKeys : public KeyboardTest, public testing::WithParamInterface<KeyCase> {};

TEST_P(KeyboardKeys, KeysSendTheDescriptionStringsOfTheTerminalType) {
    const KeyCase& c = GetParam();
    wantedTerminal.terminalType = c.type;
    halvic::CChildFrame* child = openWindow();
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(sent(*child, c.key, c.modifiers, c.count), std::string(c.bytes));
    QPointer<halvic::CChildFrame> guard(child);
    child->close();
    ASSERT_TRUE(waitFor([&] { return guard.isNull(); }));
    EXPECT_TRUE(messages->boxes().empty()) << messages->last().text.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Types, KeyboardKeys, testing::ValuesIn(KeyCases),
                         [](const testing::TestParamInfo<KeyCase>& i) { return std::string(i.param.name); });

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
