// The dumb terminal stores runs of plain bytes at once; these random streams check it against the
// byte-at-a-time rule it replaced, kept here as the reference: the same cells, attributes, history,
// cursor and damage, however the stream is cut into reads.
#include "test_support.h"

#include <gtest/gtest.h>

#include <deque>
#include <ostream>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using terminal::AttrNormal;
using terminal::Damage;
using terminal::HistoryLines;
using terminal::LineEndTranslation;
using terminal::ScreenState;
using terminal::TerminalType;

// The dumb screen one byte at a time: every line ever shown, the last screenLines of them on the screen.
class ByteAtATimeDumb {
public:
    ByteAtATimeDumb(int columns, int screenLines, LineEndTranslation cr, LineEndTranslation lf)
        : columns_(columns), screenLines_(screenLines), cr_(cr), lf_(lf) {
        for (int r = 0; r < screenLines; ++r)
            lines_.push_back(
                {std::string(static_cast<size_t>(columns), ' '), std::vector<uint16_t>(columns, 0)});
    }

    void feed(const std::string& bytes) {
        for (const char c : bytes) {
            const auto b = static_cast<uint8_t>(c);
            if (b == '\r')
                translated(cr_, b);
            else if (b == '\n')
                translated(lf_, b);
            else
                store(b);
        }
        damage_.cursorMoved = true;
    }

    struct Line {
        std::string chars;
        std::vector<uint16_t> attrs;
    };
    const std::deque<Line>& lines() const { return lines_; }
    int historyCount() const { return static_cast<int>(lines_.size()) - screenLines_; }
    int column() const { return column_; }
    int row() const { return row_; }
    Damage takeDamage() { return std::exchange(damage_, Damage{}); }

private:
    void lineFeed() {
        if (row_ == screenLines_ - 1) {
            lines_.push_back({std::string(static_cast<size_t>(columns_), ' '),
                              std::vector<uint16_t>(columns_, AttrNormal)});
            if (historyCount() > HistoryLines)
                lines_.pop_front();
            ++damage_.scrolled;
            damage_.rows |= (1u << screenLines_) - 1;
        } else {
            ++row_;
        }
        damage_.cursorMoved = true;
    }
    void store(uint8_t b) {
        if (b == '\r') {
            column_ = 0;
        } else if (b == '\n') {
            lineFeed();
        } else {
            Line& line =
                lines_[lines_.size() - static_cast<size_t>(screenLines_) + static_cast<size_t>(row_)];
            line.chars[static_cast<size_t>(column_)] = static_cast<char>(b);
            line.attrs[static_cast<size_t>(column_)] = AttrNormal;
            damage_.rows |= 1u << row_;
            if (++column_ == columns_) {
                column_ = 0;
                lineFeed();
            }
        }
    }
    void translated(LineEndTranslation t, uint8_t original) {
        switch (t) {
        case LineEndTranslation::CrLf:
            store('\r');
            store('\n');
            break;
        case LineEndTranslation::Cr:
            store('\r');
            break;
        case LineEndTranslation::Lf:
            store('\n');
            break;
        case LineEndTranslation::Unchanged:
            store(original);
            break;
        }
    }

    int columns_;
    int screenLines_;
    LineEndTranslation cr_;
    LineEndTranslation lf_;
    std::deque<Line> lines_;
    int column_ = 0;
    int row_ = 0;
    Damage damage_;
};

// A stream a dumb window meets: words, spaces, line ends alone and in pairs, long lines that wrap and
// now and then any byte at all.
std::string randomStream(std::mt19937& random, size_t size) {
    std::string out;
    std::uniform_int_distribution<int> pick(0, 99);
    std::uniform_int_distribution<int> anyByte(0, 255);
    std::uniform_int_distribution<int> letter('a', 'z');
    std::uniform_int_distribution<int> runLength(1, 120);
    while (out.size() < size) {
        const int p = pick(random);
        if (p < 40)
            out.append(static_cast<size_t>(runLength(random)) % 12 + 1, static_cast<char>(letter(random)));
        else if (p < 50)
            out += ' ';
        else if (p < 60)
            out += '\r';
        else if (p < 70)
            out += '\n';
        else if (p < 78)
            out += "\r\n";
        else if (p < 82)
            out.append(static_cast<size_t>(runLength(random)), static_cast<char>(letter(random)));
        else
            out += static_cast<char>(anyByte(random));
    }
    return out;
}

struct DifferentialCase {
    const char* name;
    LineEndTranslation cr;
    LineEndTranslation lf;
    int columns;
    int screenLines;
};

constexpr LineEndTranslation CrLf = LineEndTranslation::CrLf;
constexpr LineEndTranslation Cr = LineEndTranslation::Cr;
constexpr LineEndTranslation Lf = LineEndTranslation::Lf;
constexpr LineEndTranslation Same = LineEndTranslation::Unchanged;

const DifferentialCase DifferentialCases[] = {
    {"CrUnchanged_LfUnchanged", Same, Same, 80, 25},
    {"CrCrLf_LfUnchanged", CrLf, Same, 80, 25},
    {"CrUnchanged_LfCrLf", Same, CrLf, 80, 25},
    {"CrCrLf_LfLf", CrLf, Lf, 80, 25},
    {"CrLf_LfCr", Lf, Cr, 80, 25},
    {"CrCr_LfCrLf", Cr, CrLf, 80, 25},
    {"CrCrLf_LfCrLf", CrLf, CrLf, 80, 25},
    {"CrLf_LfLf", Lf, Lf, 80, 25},
    {"Narrow_CrUnchanged_LfUnchanged", Same, Same, 7, 4},
    {"Narrow_CrCrLf_LfCrLf", CrLf, CrLf, 7, 4},
    {"OneColumn_CrCrLf_LfUnchanged", CrLf, Same, 1, 3},
};

void PrintTo(const DifferentialCase& c, std::ostream* os) {
    *os << c.name;
}

class DumbScreenDifferential : public testing::TestWithParam<DifferentialCase> {};

TEST_P(DumbScreenDifferential, RunsGiveTheScreenOfByteAtATime) {
    const DifferentialCase& c = GetParam();
    for (unsigned seed = 1; seed <= 20; ++seed) {
        std::mt19937 random(seed);
        ScreenState screen;
        ASSERT_TRUE(screen.AllocScreenBuffer(c.columns, c.screenLines, HistoryLines, TerminalType::Dumb));
        screen.setTranslations(c.cr, c.lf);
        screen.takeDamage();
        ByteAtATimeDumb reference(c.columns, c.screenLines, c.cr, c.lf);
        const std::string stream = randomStream(random, 4000);
        std::uniform_int_distribution<size_t> readSize(1, 300);
        for (size_t at = 0; at < stream.size();) {
            const std::string read = stream.substr(at, readSize(random));
            at += read.size();
            screen.PutDumbChars(termtest::bytes(read), read.size());
            reference.feed(read);
            const Damage got = screen.takeDamage();
            const Damage want = reference.takeDamage();
            ASSERT_EQ(got.rows, want.rows) << "seed " << seed << " after byte " << at;
            ASSERT_EQ(got.scrolled, want.scrolled) << "seed " << seed << " after byte " << at;
            ASSERT_EQ(got.cursorMoved, want.cursorMoved) << "seed " << seed << " after byte " << at;
            ASSERT_EQ(screen.cursorColumn(), reference.column()) << "seed " << seed << " after byte " << at;
            ASSERT_EQ(screen.cursorRow(), reference.row()) << "seed " << seed << " after byte " << at;
        }
        ASSERT_EQ(screen.historyCount(), reference.historyCount()) << "seed " << seed;
        const auto& lines = reference.lines();
        for (int line = 0; line < static_cast<int>(lines.size()); ++line) {
            const auto chars = screen.lineChars(line);
            const auto attrs = screen.lineAttrs(line);
            ASSERT_EQ(std::string(reinterpret_cast<const char*>(chars.data()), chars.size()),
                      lines[static_cast<size_t>(line)].chars)
                << "seed " << seed << " line " << line;
            ASSERT_EQ(std::vector<uint16_t>(attrs.begin(), attrs.end()),
                      lines[static_cast<size_t>(line)].attrs)
                << "seed " << seed << " line " << line;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(ScreenModel, DumbScreenDifferential, testing::ValuesIn(DifferentialCases),
                         [](const testing::TestParamInfo<DifferentialCase>& i) { return i.param.name; });

} // namespace
