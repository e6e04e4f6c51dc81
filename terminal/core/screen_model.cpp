#include "screen_model.h"

#include "alt_charset.h"

#include <algorithm>
#include <new>

namespace terminal {

bool ScreenState::AllocScreenBuffer(int columns, int screenLines, int historyLines, TerminalType type) {
    FreeScreenBuffer();
    if (columns <= 0 || screenLines <= 0 || screenLines > MaxScreenLines || historyLines < 0)
        return false;
    const size_t cells = static_cast<size_t>(columns) * static_cast<size_t>(screenLines + historyLines);
    try {
        chars_.assign(cells, ' ');
        attrs_.assign(cells, 0);
    } catch (const std::bad_alloc&) {
        FreeScreenBuffer();
        return false;
    }
    columns_ = columns;
    screenLines_ = screenLines;
    bufferLines_ = screenLines + historyLines;
    type_ = type;
    scrollTop_ = 0;
    scrollBottom_ = screenLines - 1;
    cursorVisible_ = true;
    ClearBuffer();
    return true;
}

void ScreenState::FreeScreenBuffer() {
    chars_ = {};
    attrs_ = {};
    columns_ = screenLines_ = bufferLines_ = 0;
    cursorColumn_ = cursorRow_ = 0;
    oldestLine_ = screenTop_ = historyCount_ = 0;
    scrollTop_ = scrollBottom_ = 0;
    ++textMoves_;
    damage_.full = true;
}

void ScreenState::ClearBuffer() {
    std::fill(chars_.begin(), chars_.end(), ' ');
    std::fill(attrs_.begin(), attrs_.end(), 0);
    const int history = type_ == TerminalType::Dumb ? 0 : bufferLines_ - screenLines_;
    screenTop_ = historyCount_ = history;
    oldestLine_ = 0;
    ++textMoves_;
    cursorColumn_ = cursorRow_ = 0;
    savedColumn_ = savedRow_ = 0;
    attribute_ = AttrNormal;
    altCharset_ = false;
    damage_.full = true;
    damage_.cursorMoved = true;
}

void ScreenState::setTranslations(LineEndTranslation cr, LineEndTranslation lf) {
    crTranslation_ = cr;
    lfTranslation_ = lf;
}

int ScreenState::absoluteLine(int row) const {
    int line = row + screenTop_ - oldestLine_;
    if (screenTop_ < oldestLine_)
        line += bufferLines_;
    return line;
}

std::span<const uint8_t> ScreenState::lineChars(int line) const {
    if (line < 0 || line >= bufferLines_)
        return {};
    const size_t at = static_cast<size_t>((oldestLine_ + line) % bufferLines_) * columns_;
    return {chars_.data() + at, static_cast<size_t>(columns_)};
}

std::span<const uint16_t> ScreenState::lineAttrs(int line) const {
    if (line < 0 || line >= bufferLines_)
        return {};
    const size_t at = static_cast<size_t>((oldestLine_ + line) % bufferLines_) * columns_;
    return {attrs_.data() + at, static_cast<size_t>(columns_)};
}

std::span<const uint8_t> ScreenState::rowChars(int row) const {
    if (row < 0 || row >= screenLines_)
        return {};
    return lineChars(absoluteLine(row));
}

std::span<const uint16_t> ScreenState::rowAttrs(int row) const {
    if (row < 0 || row >= screenLines_)
        return {};
    return lineAttrs(absoluteLine(row));
}

void ScreenState::snapshot(int firstLine, int lastLine, ScreenSnapshot& out) const {
    out.firstLine = std::max(firstLine, 0);
    out.lineCount = std::max(0, std::min(lastLine + 1, bufferLines_) - out.firstLine);
    out.columns = columns_;
    out.bufferLines = bufferLines_;
    out.screenStart = bufferLines_ > 0 ? screenStartLine() : 0;
    out.cursorColumn = cursorColumn_;
    out.cursorLine = bufferLines_ > 0 ? cursorLine() : 0;
    out.cursorVisible = cursorVisible_;
    const size_t cells = static_cast<size_t>(out.lineCount) * static_cast<size_t>(columns_);
    out.chars.resize(cells);
    out.attrs.resize(cells);
    for (int i = 0; i < out.lineCount; ++i) {
        const auto chars = lineChars(out.firstLine + i);
        const auto attrs = lineAttrs(out.firstLine + i);
        std::copy(chars.begin(), chars.end(), out.chars.begin() + static_cast<ptrdiff_t>(i) * columns_);
        std::copy(attrs.begin(), attrs.end(), out.attrs.begin() + static_cast<ptrdiff_t>(i) * columns_);
    }
}

std::span<const uint8_t> ScreenSnapshot::lineChars(int line) const {
    if (line < firstLine || line >= firstLine + lineCount)
        return {};
    return {chars.data() + static_cast<size_t>(line - firstLine) * columns, static_cast<size_t>(columns)};
}

std::span<const uint16_t> ScreenSnapshot::lineAttrs(int line) const {
    if (line < firstLine || line >= firstLine + lineCount)
        return {};
    return {attrs.data() + static_cast<size_t>(line - firstLine) * columns, static_cast<size_t>(columns)};
}

void ScreenState::markRows(int first, int last) {
    for (int r = std::max(first, 0); r <= last && r < screenLines_; ++r)
        damage_.rows |= 1u << r;
}

void ScreenState::moveCursor(int column, int row) {
    cursorColumn_ = std::clamp(column, 0, std::max(columns_ - 1, 0));
    cursorRow_ = std::clamp(row, 0, std::max(screenLines_ - 1, 0));
    damage_.cursorMoved = true;
}

void ScreenState::blankRow(int row, int from, int to, uint16_t attribute) {
    from = std::max(from, 0);
    to = std::min(to, columns_);
    if (from >= to)
        return;
    const int line = bufferRow(row);
    std::fill(charsOf(line) + from, charsOf(line) + to, ' ');
    std::fill(attrsOf(line) + from, attrsOf(line) + to, attribute);
    damage_.rows |= 1u << row;
}

void ScreenState::copyRow(int fromRow, int toRow) {
    const int from = bufferRow(fromRow);
    const int to = bufferRow(toRow);
    ++textMoves_;
    std::copy_n(charsOf(from), columns_, charsOf(to));
    std::copy_n(attrsOf(from), columns_, attrsOf(to));
}

void ScreenState::scrollWithHistory() {
    screenTop_ = (screenTop_ + 1) % bufferLines_;
    const int bottom = bufferRow(screenLines_ - 1);
    if (bottom == oldestLine_) {
        oldestLine_ = (oldestLine_ + 1) % bufferLines_;
        ++discardedLines_;
    } else
        ++historyCount_;
    std::fill(charsOf(bottom), charsOf(bottom) + columns_, ' ');
    std::fill(attrsOf(bottom), attrsOf(bottom) + columns_, AttrNormal);
    ++damage_.scrolled;
    markRows(0, screenLines_ - 1);
}

void ScreenState::scrollRegionUp(int top, int bottom) {
    for (int r = top; r < bottom; ++r)
        copyRow(r + 1, r);
    blankRow(bottom, 0, columns_, 0);
    markRows(top, bottom);
}

void ScreenState::lineFeed() {
    if (cursorRow_ == scrollBottom_) {
        if (scrollTop_ == 0 && scrollBottom_ == screenLines_ - 1)
            scrollWithHistory();
        else
            scrollRegionUp(scrollTop_, scrollBottom_);
    } else if (cursorRow_ < screenLines_ - 1) {
        // Below the region the cursor moves down without scrolling it, and stops at the last line.
        ++cursorRow_;
    }
    damage_.cursorMoved = true;
}

void ScreenState::PutTerminalChars(const uint8_t* run, size_t length) {
    if (chars_.empty() || length == 0)
        return;
    const std::array<uint8_t, 256>& alt = altCharsetTable();
    const int last = columns_ - 1;
    int line = bufferRow(cursorRow_);
    uint8_t* chars = charsOf(line);
    uint16_t* attrs = attrsOf(line);
    int column = cursorColumn_;
    bool stored = false;
    for (size_t i = 0; i < length; ++i) {
        const uint8_t b = run[i];
        if (b >= 0x20) {
            chars[column] = altCharset_ ? alt[b] : b;
            attrs[column] = attribute_;
            stored = true;
            if (column < last)
                ++column;
        } else if (b == '\r') {
            column = 0;
        } else if (b == '\n') {
            if (stored)
                damage_.rows |= 1u << cursorRow_;
            stored = false;
            cursorColumn_ = column;
            lineFeed();
            line = bufferRow(cursorRow_);
            chars = charsOf(line);
            attrs = attrsOf(line);
        }
    }
    if (stored)
        damage_.rows |= 1u << cursorRow_;
    cursorColumn_ = column;
    damage_.cursorMoved = true;
}

void ScreenState::dumbLineEnd(LineEndTranslation translation, uint8_t original) {
    if (translation == LineEndTranslation::Unchanged)
        translation = original == '\r' ? LineEndTranslation::Cr : LineEndTranslation::Lf;
    if (translation != LineEndTranslation::Lf)
        cursorColumn_ = 0;
    if (translation != LineEndTranslation::Cr)
        lineFeed();
}

void ScreenState::PutDumbChars(const uint8_t* run, size_t length) {
    if (chars_.empty())
        return;
    size_t i = 0;
    while (i < length) {
        const uint8_t b = run[i];
        if (b == '\r' || b == '\n') {
            dumbLineEnd(b == '\r' ? crTranslation_ : lfTranslation_, b);
            ++i;
            continue;
        }
        // Every other byte is stored as it is: the run of them up to the next line end, or up to the
        // end of the row, goes in at once.
        const size_t room = std::min(static_cast<size_t>(columns_ - cursorColumn_), length - i);
        size_t n = 1;
        while (n < room && run[i + n] != '\r' && run[i + n] != '\n')
            ++n;
        const int line = bufferRow(cursorRow_);
        std::copy_n(run + i, n, charsOf(line) + cursorColumn_);
        std::fill_n(attrsOf(line) + cursorColumn_, n, attribute_);
        damage_.rows |= 1u << cursorRow_;
        cursorColumn_ += static_cast<int>(n);
        i += n;
        if (cursorColumn_ == columns_) {
            cursorColumn_ = 0;
            lineFeed();
        }
    }
    damage_.cursorMoved = true;
}

void ScreenState::MarkSelection(int startColumn, int endColumn, int firstLine, int lastLine, bool on) {
    if (chars_.empty())
        return;
    if (std::pair(lastLine, endColumn) < std::pair(firstLine, startColumn)) {
        std::swap(firstLine, lastLine);
        std::swap(startColumn, endColumn);
    }
    firstLine = std::clamp(firstLine, 0, bufferLines_ - 1);
    lastLine = std::clamp(lastLine, 0, bufferLines_ - 1);
    startColumn = std::clamp(startColumn, 0, columns_);
    endColumn = std::clamp(endColumn, 0, columns_);
    for (int line = firstLine; line <= lastLine; ++line) {
        const int from = line == firstLine ? startColumn : 0;
        const int to = line == lastLine ? endColumn : columns_;
        uint16_t* attrs = attrsOf((oldestLine_ + line) % bufferLines_);
        for (int c = from; c < to; ++c)
            attrs[c] = on ? static_cast<uint16_t>(attrs[c] | AttrSelected)
                          : static_cast<uint16_t>(attrs[c] & ~AttrSelected);
    }
    damage_.full = true;
}

std::string ScreenState::CopyText(int startColumn, int firstLine, int endColumn, int lastLine) const {
    std::string text;
    if (chars_.empty())
        return text;
    if (std::pair(lastLine, endColumn) < std::pair(firstLine, startColumn)) {
        std::swap(firstLine, lastLine);
        std::swap(startColumn, endColumn);
    }
    firstLine = std::clamp(firstLine, 0, bufferLines_ - 1);
    lastLine = std::clamp(lastLine, 0, bufferLines_ - 1);
    startColumn = std::clamp(startColumn, 0, columns_);
    endColumn = std::clamp(endColumn, 0, columns_);
    for (int line = firstLine; line <= lastLine; ++line) {
        const int from = line == firstLine ? startColumn : 0;
        const int to = line == lastLine ? endColumn : columns_;
        const std::span<const uint8_t> chars = lineChars(line);
        if (from < to)
            text.append(reinterpret_cast<const char*>(chars.data()) + from, static_cast<size_t>(to - from));
        if (line != lastLine)
            text.append("\r\n");
    }
    return text;
}

Damage ScreenState::takeDamage() {
    Damage d = damage_;
    damage_ = {};
    return d;
}

std::string ScreenState::takeReplies() {
    std::string r;
    r.swap(replies_);
    return r;
}

} // namespace terminal
