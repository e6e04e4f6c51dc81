// The Send Pattern dialog driven by keys and clicks: the pattern line and the HEX field in step, the
// field filters, the checks of Start Send and the entries kept for the next time.
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

using halvic::CHexPatternEdit;
using halvic::CSendPatternDlg;

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
    EXPECT_TRUE(child<QRadioButton>("1034")->isChecked());
    EXPECT_TRUE(child<QRadioButton>("1041")->isChecked());
    EXPECT_EQ(field("1042")->text(), QStringLiteral("1"));
    EXPECT_FALSE(field("1042")->isEnabled());
    EXPECT_FALSE(field("1037")->isEnabled());
    EXPECT_FALSE(dlg->patternLine()->isEnabled());
    EXPECT_TRUE(field("1038")->hasFocus());
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
        {"AsciiText", "1032", "patternLine", QStringLiteral("hello"), "68656C6C6F", "68656C6C6F"},
        {"HexOneDigit", "1033", "1037", QStringLiteral("3"), "3", "03"},
        {"HexOddDigits", "1033", "1037", QStringLiteral("ABC"), "ABC", "AB0C"},
        {"HexOnlyDigitsTaken", "1033", "1037", QStringLiteral("x4g1-z"), "41", "41"},
        {"ControlCharacter", "1032", "patternLine", QStringLiteral("{^A}"), "01", "01"},
        // 21st character at the end: ignored
        {"TwentyFirstCharacterIgnored", "1032", "patternLine", full + QStringLiteral("u"), fullHex, fullHex},
        {"InsertIntoAFullLine", "1032", "patternLine", full + QStringLiteral("{Home}Z"), insertedHex,
         insertedHex},
        {"Backspace", "1032", "patternLine", QStringLiteral("abc{Left}{BS}"), "6163", "6163"},
        {"DeleteAtStart", "1032", "patternLine", QStringLiteral("abc{Home}{Del}"), "6263", "6263"},
        {"DeleteAtEnd", "1032", "patternLine", QStringLiteral("abc{End}{Del}"), "616263", "616263"},
        {"BackspaceAtStartThenInsert", "1032", "patternLine", QStringLiteral("abc{Home}{BS}{Right}x"),
         "61786263", "61786263"},
        {"LeftPastTheStart", "1032", "patternLine", QStringLiteral("ab{Left}{Left}{Left}x"), "786162",
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
    EXPECT_EQ(field("1037")->text(), row.hexField);
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
    testing::Values(DigitsRow{"RangeStartHexOnly", "1034", "1038", "g7z", "7", false},
                    DigitsRow{"RangeEndTwoDigitsAtMost", "1034", "1039", "fFf", "fF", false},
                    DigitsRow{"RepeatDecimalAfterTheStoredOne", "1040", "1042", "12a3", "1123", false},
                    DigitsRow{"RepeatEightDigitsAtMost", "1040", "1042", "123456789", "12345678", true}),
    [](const testing::TestParamInfo<DigitsRow>& i) { return std::string(i.param.name); });

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
    field("1037")->setText(QLatin1String(row.hex));
    field("1038")->setText(QLatin1String(row.start));
    field("1039")->setText(QLatin1String(row.end));
    if (row.repeat) {
        click("1040");
        field("1042")->setText(QLatin1String(row.repeat));
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
        StartRow{"EmptyRange", "1034", "", "", "", nullptr, "No pattern defined !", "1038", nullptr, {}},
        StartRow{"Range00To00", "1034", "", "00", "0", nullptr, "No pattern defined !", "1038", nullptr, {}},
        StartRow{
            "RangeBackwards", "1034", "", "41", "40", nullptr, "No pattern defined !", "1038", nullptr, {}},
        StartRow{
            "EmptyAscii", "1032", "", "", "", nullptr, "No pattern defined !", "patternLine", nullptr, {}},
        StartRow{"EmptyHex", "1033", "", "", "", nullptr, "No pattern defined !", "1037", nullptr, {}},
        StartRow{"RepeatZero", "1033", "41", "", "", "0", "Repeat count error", "", nullptr, {}},
        StartRow{"Range41To41", "1034", "", "41", "41", nullptr, nullptr, nullptr, "41..41", {0x41}},
        StartRow{"RangefeToFF", "1034", "", "fe", "FF", "2", nullptr, nullptr, "fe..ff", {0xFE, 0xFF}},
        StartRow{"Hex", "1033", "0d0a", "", "", nullptr, nullptr, nullptr, "0d0a", {0x0D, 0x0A}}),
    [](const testing::TestParamInfo<StartRow>& i) { return std::string(i.param.name); });

TEST_F(PatternDialogTest, CancelKeepsTheEntriesForTheNextTime) {
    click("1033");
    typeKeys(field("1037"), QStringLiteral("4142"));
    click("1040");
    field("1042")->setText(QStringLiteral("7"));
    field("1038")->setText(QStringLiteral("1"));
    click("cancel");
    EXPECT_EQ(dlg->result(), QDialog::Rejected);
    open();
    EXPECT_TRUE(child<QRadioButton>("1033")->isChecked());
    EXPECT_EQ(field("1037")->text(), QStringLiteral("4142"));
    EXPECT_EQ(lineBytes(dlg->patternLine()), QStringLiteral("4142"));
    EXPECT_TRUE(child<QRadioButton>("1040")->isChecked());
    EXPECT_TRUE(field("1042")->isEnabled());
    EXPECT_EQ(field("1042")->text(), QStringLiteral("7"));
    EXPECT_EQ(field("1038")->text(), QStringLiteral("1"));
}

} // namespace
