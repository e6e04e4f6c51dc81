// The Send Pattern dialog driven by keys and clicks: the pattern line and the HEX field in step, the
// field filters, the checks of Start Send and the entries kept for the next time.
#include "ControlIds.h"
#include "Cp437.h"
#include "HexPatternEdit.h"
#include "PatternSettings.h"
#include "scripted_messenger.h"
#include "SendPatternDlg.h"
#include "test_application.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using namespace halvic;

// Types keys into the focus widget: plain characters, and {Home} {End} {Left} {Right} {Del} {BS} {^A}.
void typeKeys(QWidget* target, const QString& keys) {
    for (qsizetype i = 0; i < keys.size(); ++i) {
        if (keys[i] != QLatin1Char('{')) {
            QTest::keyClicks(target, QString(keys[i]));
            continue;
        }
        const qsizetype close = keys.indexOf(QLatin1Char('}'), i);
        const QString name = keys.mid(i + 1, close - i - 1);
        i = close;
        if (name == QLatin1String("^A"))
            QTest::keyClick(target, Qt::Key_A, Qt::ControlModifier);
        else
            QTest::keyClick(target, name == QLatin1String("Home")    ? Qt::Key_Home
                                    : name == QLatin1String("End")   ? Qt::Key_End
                                    : name == QLatin1String("Left")  ? Qt::Key_Left
                                    : name == QLatin1String("Right") ? Qt::Key_Right
                                    : name == QLatin1String("Del")   ? Qt::Key_Delete
                                                                     : Qt::Key_Backspace);
    }
}

// The pattern line's bytes as hex digits.
QString lineBytes(const CHexPatternEdit* line) {
    uint8_t cells[CHexPatternEdit::CellCount];
    const int count = line->GetContent(cells);
    QString hex;
    for (int i = 1; i < count; i += 2)
        hex += QStringLiteral("%1").arg(cells[i], 2, 16, QLatin1Char('0')).toUpper();
    return hex;
}

class PatternDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        gui::testApplication();
        halvic::resetPatternSettings();
        messages = gui::ScriptedMessenger::install();
        open();
    }
    void open() {
        dlg = std::make_unique<CSendPatternDlg>();
        dlg->show();
        QApplication::setActiveWindow(dlg.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
    }
    template <typename W = QWidget>
    W* child(const char* name) {
        W* w = dlg->findChild<W*>(QLatin1String(name));
        EXPECT_TRUE(w) << name;
        return w;
    }
    void click(const char* name) {
        // On the radio's mark: a radio takes clicks only on its mark and text.
        QAbstractButton* button = child<QAbstractButton>(name);
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
    }
    QLineEdit* field(const char* name) { return child<QLineEdit>(name); }

    std::shared_ptr<gui::ScriptedMessenger> messages;
    std::unique_ptr<CSendPatternDlg> dlg;
};

TEST_F(PatternDialogTest, StartsWithTheRangeAndUntilUserBreak) {
    EXPECT_EQ(dlg->windowTitle(), QStringLiteral("Send Pattern"));
    EXPECT_TRUE(child<QRadioButton>(kIdcRangeRadio)->isChecked());
    EXPECT_TRUE(child<QRadioButton>(kIdcUntilBreakRadio)->isChecked());
    EXPECT_EQ(field(kIdcRepeatCountEdit)->text(), QStringLiteral("1"));
    EXPECT_FALSE(field(kIdcRepeatCountEdit)->isEnabled());
    EXPECT_FALSE(field(kIdcHexEdit)->isEnabled());
    EXPECT_FALSE(dlg->patternLine()->isEnabled());
    EXPECT_TRUE(field(kIdcRangeStartEdit)->hasFocus());
}

struct KeysRow {
    const char* name;
    const char* radio;
    const char* target; // object name of the widget typed into
    QString keys;
    QString hexField;
    QString line;
};

std::vector<KeysRow> keysRows() {
    const QString full = QStringLiteral("abcdefghijklmnopqrst");
    QString fullHex;
    for (QChar c : full)
        fullHex += QString::number(c.unicode(), 16).toUpper();
    const QString insertedHex = QStringLiteral("5A") + fullHex.left(38);
    return {
        {"AsciiText", kIdcAsciiRadio, "patternLine", QStringLiteral("hello"), "68656C6C6F", "68656C6C6F"},
        {"HexOneDigit", kIdcHexRadio, kIdcHexEdit, QStringLiteral("3"), "3", "03"},
        {"HexOddDigits", kIdcHexRadio, kIdcHexEdit, QStringLiteral("ABC"), "ABC", "AB0C"},
        {"HexOnlyDigitsTaken", kIdcHexRadio, kIdcHexEdit, QStringLiteral("x4g1-z"), "41", "41"},
        {"ControlCharacter", kIdcAsciiRadio, "patternLine", QStringLiteral("{^A}"), "01", "01"},
        // 21st character at the end: ignored
        {"TwentyFirstCharacterIgnored", kIdcAsciiRadio, "patternLine", full + QStringLiteral("u"), fullHex,
         fullHex},
        {"InsertIntoAFullLine", kIdcAsciiRadio, "patternLine", full + QStringLiteral("{Home}Z"), insertedHex,
         insertedHex},
        {"Backspace", kIdcAsciiRadio, "patternLine", QStringLiteral("abc{Left}{BS}"), "6163", "6163"},
        {"DeleteAtStart", kIdcAsciiRadio, "patternLine", QStringLiteral("abc{Home}{Del}"), "6263", "6263"},
        {"DeleteAtEnd", kIdcAsciiRadio, "patternLine", QStringLiteral("abc{End}{Del}"), "616263", "616263"},
        {"BackspaceAtStartThenInsert", kIdcAsciiRadio, "patternLine", QStringLiteral("abc{Home}{BS}{Right}x"),
         "61786263", "61786263"},
        {"LeftPastTheStart", kIdcAsciiRadio, "patternLine", QStringLiteral("ab{Left}{Left}{Left}x"), "786162",
         "786162"},
    };
}

class PatternDialogKeys : public PatternDialogTest, public testing::WithParamInterface<KeysRow> {};

TEST_P(PatternDialogKeys, KeysKeepThePatternLineAndTheHexFieldInStep) {
    const KeysRow& row = GetParam();
    click(row.radio);
    QWidget* target = child(row.target);
    ASSERT_TRUE(target->hasFocus());
    typeKeys(target, row.keys);
    EXPECT_EQ(field(kIdcHexEdit)->text(), row.hexField);
    EXPECT_EQ(lineBytes(dlg->patternLine()), row.line);
}

INSTANTIATE_TEST_SUITE_P(Keys, PatternDialogKeys, testing::ValuesIn(keysRows()),
                         [](const testing::TestParamInfo<KeysRow>& i) { return std::string(i.param.name); });

TEST(PatternLineGlyphs, ControlBytesShowAsTheirGlyphs) {
    const struct {
        uint8_t byte;
        char16_t shown;
    } rows[] = {{0x01, 0x263A}, {0x03, 0x2665}, {0x0D, 0x266A}, {0x1B, 0x2190},
                {0x7F, 0x2302}, {'A', 'A'},     {0xB3, 0x2502}};
    for (const auto& row : rows)
        EXPECT_EQ(halvic::cp437Glyph(row.byte), QChar(row.shown)) << int(row.byte);
}

struct DigitsRow {
    const char* name;
    const char* radio;
    const char* field;
    const char* keys;
    const char* text;
    bool cleared;
};

class PatternDialogDigits : public PatternDialogTest, public testing::WithParamInterface<DigitsRow> {};

TEST_P(PatternDialogDigits, TheSmallFieldsTakeOnlyTheirDigits) {
    const DigitsRow& row = GetParam();
    click(row.radio);
    QLineEdit* edit = field(row.field);
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_End);
    if (row.cleared)
        edit->clear();
    QTest::keyClicks(edit, QLatin1String(row.keys));
    EXPECT_EQ(edit->text(), QLatin1String(row.text));
}

INSTANTIATE_TEST_SUITE_P(
    Fields, PatternDialogDigits,
    testing::Values(DigitsRow{"RangeStartHexOnly", kIdcRangeRadio, kIdcRangeStartEdit, "g7z", "7", false},
                    DigitsRow{"RangeEndTwoDigitsAtMost", kIdcRangeRadio, kIdcRangeEndEdit, "fFf", "fF",
                              false},
                    DigitsRow{"RepeatDecimalAfterTheStoredOne", kIdcRepeatRadio, kIdcRepeatCountEdit, "12a3",
                              "1123", false},
                    DigitsRow{"RepeatEightDigitsAtMost", kIdcRepeatRadio, kIdcRepeatCountEdit, "123456789",
                              "12345678", true}),
    [](const testing::TestParamInfo<DigitsRow>& i) { return std::string(i.param.name); });

constexpr const char* kNoPattern = "No pattern defined !";

struct StartRow {
    const char* name;
    const char* radio;
    const char* hex;
    const char* start;
    const char* end;
    const char* repeat;  // nullptr: until user break
    const char* message; // nullptr: accepted
    const char* focus;   // refused: where the focus goes
    const char* text;    // accepted: what is shown while sending
    std::vector<uint8_t> pass;
};

class PatternDialogStart : public PatternDialogTest, public testing::WithParamInterface<StartRow> {};

TEST_P(PatternDialogStart, StartSendChecksThePattern) {
    const StartRow& row = GetParam();
    field(kIdcHexEdit)->setText(QLatin1String(row.hex));
    field(kIdcRangeStartEdit)->setText(QLatin1String(row.start));
    field(kIdcRangeEndEdit)->setText(QLatin1String(row.end));
    if (row.repeat) {
        click(kIdcRepeatRadio);
        field(kIdcRepeatCountEdit)->setText(QLatin1String(row.repeat));
    }
    click(row.radio);
    click("startSend");
    if (!row.message) {
        EXPECT_TRUE(messages->boxes().empty());
        EXPECT_EQ(dlg->result(), QDialog::Accepted);
        EXPECT_EQ(dlg->patternText(), QLatin1String(row.text));
        EXPECT_EQ(dlg->pass(), row.pass);
        return;
    }
    ASSERT_EQ(messages->boxes().size(), 1u);
    EXPECT_EQ(messages->last().kind, gui::BoxKind::Plain);
    EXPECT_EQ(messages->last().text, QLatin1String(row.message));
    EXPECT_TRUE(dlg->isVisible()) << "the dialog stays";
    EXPECT_EQ(dlg->result(), 0);
    if (*row.focus) {
        EXPECT_TRUE(child(row.focus)->hasFocus());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, PatternDialogStart,
    testing::Values(
        StartRow{
            "EmptyRange", kIdcRangeRadio, "", "", "", nullptr, kNoPattern, kIdcRangeStartEdit, nullptr, {}},
        StartRow{"Range00To00",
                 kIdcRangeRadio,
                 "",
                 "00",
                 "0",
                 nullptr,
                 kNoPattern,
                 kIdcRangeStartEdit,
                 nullptr,
                 {}},
        StartRow{"RangeBackwards",
                 kIdcRangeRadio,
                 "",
                 "41",
                 "40",
                 nullptr,
                 kNoPattern,
                 kIdcRangeStartEdit,
                 nullptr,
                 {}},
        StartRow{"EmptyAscii", kIdcAsciiRadio, "", "", "", nullptr, kNoPattern, "patternLine", nullptr, {}},
        StartRow{"EmptyHex", kIdcHexRadio, "", "", "", nullptr, kNoPattern, kIdcHexEdit, nullptr, {}},
        StartRow{"RepeatZero", kIdcHexRadio, "41", "", "", "0", "Repeat count error", "", nullptr, {}},
        StartRow{"Range41To41", kIdcRangeRadio, "", "41", "41", nullptr, nullptr, nullptr, "41..41", {0x41}},
        StartRow{
            "RangefeToFF", kIdcRangeRadio, "", "fe", "FF", "2", nullptr, nullptr, "fe..ff", {0xFE, 0xFF}},
        StartRow{"Hex", kIdcHexRadio, "0d0a", "", "", nullptr, nullptr, nullptr, "0d0a", {0x0D, 0x0A}}),
    [](const testing::TestParamInfo<StartRow>& i) { return std::string(i.param.name); });

TEST_F(PatternDialogTest, CancelKeepsTheEntriesForTheNextTime) {
    click(kIdcHexRadio);
    typeKeys(field(kIdcHexEdit), QStringLiteral("4142"));
    click(kIdcRepeatRadio);
    field(kIdcRepeatCountEdit)->setText(QStringLiteral("7"));
    field(kIdcRangeStartEdit)->setText(QStringLiteral("1"));
    click("cancel");
    EXPECT_EQ(dlg->result(), QDialog::Rejected);
    open();
    EXPECT_TRUE(child<QRadioButton>(kIdcHexRadio)->isChecked());
    EXPECT_EQ(field(kIdcHexEdit)->text(), QStringLiteral("4142"));
    EXPECT_EQ(lineBytes(dlg->patternLine()), QStringLiteral("4142"));
    EXPECT_TRUE(child<QRadioButton>(kIdcRepeatRadio)->isChecked());
    EXPECT_TRUE(field(kIdcRepeatCountEdit)->isEnabled());
    EXPECT_EQ(field(kIdcRepeatCountEdit)->text(), QStringLiteral("7"));
    EXPECT_EQ(field(kIdcRangeStartEdit)->text(), QStringLiteral("1"));
}

} // namespace
