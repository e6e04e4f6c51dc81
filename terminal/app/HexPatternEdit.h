// The pattern line of the Send Pattern dialog: up to 20 characters, each kept as a (blank, byte) pair
// of cells, shown as code page 437 glyphs so control characters are visible. The caret moves by pairs.
#pragma once

#include <QFont>
#include <QWidget>

#include <array>
#include <cstdint>

namespace halvic {

class CHexPatternEdit : public QWidget {
    Q_OBJECT
public:
    static constexpr int CellCount = 40;
    static constexpr uint8_t Blank = ' ';

    explicit CHexPatternEdit(QWidget* parent = nullptr);

    // Copies count cells, fills the rest with blanks; the caret stays.
    void SetContent(const uint8_t* cells, int count);
    // Copies all 40 cells; returns the cell count.
    int GetContent(uint8_t* cells) const;
    int cellCount() const { return count_; }
    int caret() const { return caret_; }
    // An inactive line is drawn greyed and does not take the focus on a click.
    void setActive(bool active);
    bool active() const { return active_; }
    int charWidth() const { return charWidth_; }
    int charHeight() const { return charHeight_; }

    QSize sizeHint() const override;

signals:
    // After every change of the cells made by the user.
    void patternChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void typeChar(uint8_t c);
    void backspace();
    void removePairAt(int cell);
    void changed();

    std::array<uint8_t, CellCount> cells_;
    int count_ = 0;
    int caret_ = 0;
    bool active_ = false;
    QFont font_;
    int charWidth_ = 8;
    int charHeight_ = 16;
};

} // namespace halvic
