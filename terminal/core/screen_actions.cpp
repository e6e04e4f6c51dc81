// The capability actions, one per capability index.
#include "screen_model.h"

#include "termcap_table.h"

#include <algorithm>

namespace terminal {

void ScreenState::carryOut(const CapabilityEvent& event) {
    parameters_ = event.parameters;
    parameterCount_ = event.parameterCount;
    anyCharacters_ = event.anyCharacters;
    anyCount_ = event.anyCount;
    flags_ = event.flags;
    RunCapability(event.capability);
}

void ScreenState::RunCapability(int index) {
    if (chars_.empty())
        return;
    const int p1 = parameters_[0];
    switch (index) {
    case CapBackTab:
        backTab();
        break;
    case CapBell:
        ++damage_.bells;
        break;
    case CapCarriageReturn:
        moveCursor(0, cursorRow_);
        break;
    case CapChangeScrollRegion:
        changeScrollRegion();
        break;
    case CapClearLine:
        parameterCount_ = 1;
        parameters_[0] = 2;
        clrEol();
        break;
    case CapClearScreen:
    case CapReset2String:
        clearScreen();
        break;
    case CapClrEol:
        clrEol();
        break;
    case CapClrEos:
        clrEos();
        break;
    case CapCursorAddress:
        cursorAddress();
        break;
    case CapCursorDown:
        moveCursor(cursorColumn_, cursorRow_ + 1);
        break;
    case CapCursorHome:
        moveCursor(0, 0);
        break;
    case CapCursorInvisible:
        cursorVisible_ = false;
        damage_.cursorVisibilityChanged = true;
        break;
    case CapCursorLeft:
        moveCursor(cursorColumn_ - 1, cursorRow_);
        break;
    case CapCursorNormal:
        cursorVisible_ = true;
        damage_.cursorVisibilityChanged = true;
        break;
    case CapCursorRight:
        moveCursor(cursorColumn_ + 1, cursorRow_);
        break;
    case CapCursorUp:
        moveCursor(cursorColumn_, cursorRow_ - 1);
        break;
    case CapDeleteCharacter:
        deleteCharacter();
        break;
    case CapDeleteLine:
        deleteLine();
        break;
    case CapEnterAltCharsetMode:
        altCharset_ = true;
        break;
    // Standout is shown as reverse video.
    case CapEnterReverseMode:
    case CapEnterStandoutMode:
        attribute_ |= AttrReverse;
        break;
    case CapExitAltCharsetMode:
        altCharset_ = false;
        break;
    case CapExitAttributeMode:
    case CapExitStandoutMode:
        attribute_ = AttrNormal;
        break;
    case CapInsertCharacter:
        insertCharacter();
        break;
    case CapInsertLine:
        insertLine();
        break;
    // Movements take their count as received: 0 moves nothing.
    case CapParmDownCursor:
        moveCursor(cursorColumn_, cursorRow_ + p1);
        break;
    case CapParmLeftCursor:
        moveCursor(cursorColumn_ - p1, cursorRow_);
        break;
    case CapParmRightCursor:
        moveCursor(cursorColumn_ + p1, cursorRow_);
        break;
    case CapParmUpCursor:
        moveCursor(cursorColumn_, cursorRow_ - p1);
        break;
    case CapRestoreCursor:
        moveCursor(savedColumn_, savedRow_);
        break;
    case CapSaveCursor:
        savedColumn_ = cursorColumn_;
        savedRow_ = cursorRow_;
        break;
    case CapScrollForward:
    case CapScrollReverse: {
        const int column = cursorColumn_;
        const int row = cursorRow_;
        cursorColumn_ = 0;
        cursorRow_ = scrollTop_;
        if (index == CapScrollForward)
            deleteLine();
        else
            insertLine();
        moveCursor(column, row);
        break;
    }
    case CapSetAttribute:
        setAttribute();
        break;
    case CapTab:
        moveCursor(std::min(cursorColumn_ / 8 * 8 + 8, columns_ - 1), cursorRow_);
        break;
    case CapReportCursorPosition:
        reportCursorPosition();
        break;
    default:
        break;
    }
}

void ScreenState::backTab() {
    const int column = cursorColumn_ % 8 == 0 ? cursorColumn_ - 8 : cursorColumn_ / 8 * 8;
    moveCursor(std::max(column, 0), cursorRow_);
}

void ScreenState::changeScrollRegion() {
    const int base = flags_ & FlagOneBased ? 1 : 0;
    const int top = std::clamp(parameters_[0] - base, 0, screenLines_ - 1);
    const int bottom = std::clamp(parameters_[1] - base, 0, screenLines_ - 1);
    scrollTop_ = top;
    scrollBottom_ = std::max(bottom, top);
    moveCursor(0, 0);
}

void ScreenState::clearScreen() {
    for (int r = 0; r < screenLines_; ++r)
        blankRow(r, 0, columns_, attribute_);
    moveCursor(0, 0);
    damage_.full = true;
}

void ScreenState::clrEol() {
    const int mode = parameterCount_ > 0 ? parameters_[0] : 0;
    switch (mode) {
    case 0:
        blankRow(cursorRow_, cursorColumn_, columns_, attribute_);
        break;
    case 1:
        blankRow(cursorRow_, 0, cursorColumn_ + 1, attribute_);
        break;
    case 2:
        blankRow(cursorRow_, 0, columns_, attribute_);
        break;
    default:
        break;
    }
}

void ScreenState::clrEos() {
    const int mode = parameterCount_ > 0 ? parameters_[0] : 0;
    switch (mode) {
    case 0:
        blankRow(cursorRow_, cursorColumn_, columns_, attribute_);
        for (int r = cursorRow_ + 1; r < screenLines_; ++r)
            blankRow(r, 0, columns_, attribute_);
        break;
    case 1:
        for (int r = 0; r < cursorRow_; ++r)
            blankRow(r, 0, columns_, attribute_);
        blankRow(cursorRow_, 0, cursorColumn_ + 1, attribute_);
        break;
    case 2:
        for (int r = 0; r < screenLines_; ++r)
            blankRow(r, 0, columns_, attribute_);
        break;
    default:
        break;
    }
}

void ScreenState::cursorAddress() {
    const int base = flags_ & FlagOneBased ? 1 : 0;
    const bool reversed = flags_ & FlagReversed;
    const int row = (reversed ? parameters_[1] : parameters_[0]) - base;
    const int column = (reversed ? parameters_[0] : parameters_[1]) - base;
    moveCursor(column, row);
}

void ScreenState::deleteCharacter() {
    const int line = bufferRow(cursorRow_);
    uint8_t* chars = charsOf(line);
    uint16_t* attrs = attrsOf(line);
    ++textMoves_;
    std::copy(chars + cursorColumn_ + 1, chars + columns_, chars + cursorColumn_);
    std::copy(attrs + cursorColumn_ + 1, attrs + columns_, attrs + cursorColumn_);
    blankRow(cursorRow_, columns_ - 1, columns_, AttrNormal);
}

void ScreenState::insertCharacter() {
    if (cursorColumn_ >= columns_ - 1)
        return;
    const int line = bufferRow(cursorRow_);
    uint8_t* chars = charsOf(line);
    uint16_t* attrs = attrsOf(line);
    ++textMoves_;
    std::copy_backward(chars + cursorColumn_, chars + columns_ - 1, chars + columns_);
    std::copy_backward(attrs + cursorColumn_, attrs + columns_ - 1, attrs + columns_);
    blankRow(cursorRow_, cursorColumn_, cursorColumn_ + 1, AttrNormal);
}

void ScreenState::deleteLine() {
    if (cursorRow_ < scrollTop_ || cursorRow_ > scrollBottom_)
        return;
    for (int r = cursorRow_; r < scrollBottom_; ++r)
        copyRow(r + 1, r);
    blankRow(scrollBottom_, 0, columns_, AttrNormal);
    markRows(cursorRow_, scrollBottom_);
}

void ScreenState::insertLine() {
    if (cursorRow_ < scrollTop_ || cursorRow_ > scrollBottom_)
        return;
    for (int r = scrollBottom_; r > cursorRow_; --r)
        copyRow(r - 1, r);
    blankRow(cursorRow_, 0, columns_, AttrNormal);
    markRows(cursorRow_, scrollBottom_);
}

void ScreenState::setAttribute() {
    for (int i = 0; i < parameterCount_; ++i) {
        switch (parameters_[i]) {
        case 0:
            attribute_ = AttrNormal;
            break;
        case 4:
            attribute_ |= AttrUnderline;
            break;
        case 7:
            attribute_ |= AttrReverse;
            break;
        default:
            break;
        }
    }
}

void ScreenState::reportCursorPosition() {
    replies_ += "\x1b[" + std::to_string(cursorRow_ + 1) + ";" + std::to_string(cursorColumn_ + 1) + "R";
}

} // namespace terminal
