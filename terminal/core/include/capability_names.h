// Names a terminal description may use: the capabilities (whose position is the action index of the
// recogniser and the screen model), the keys (whose position is the key-entry index) and the sizes.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace terminal {

inline constexpr int CapabilityCount = 38;
inline constexpr int KeyCount = 21;

enum Capability : int {
    CapBackTab = 0,
    CapBell,
    CapCarriageReturn,
    CapChangeScrollRegion,
    CapClearLine,
    CapClearScreen,
    CapClrEol,
    CapClrEos,
    CapCursorAddress,
    CapCursorDown,
    CapCursorHome,
    CapCursorInvisible,
    CapCursorLeft,
    CapCursorNormal,
    CapCursorRight,
    CapCursorUp,
    CapDeleteCharacter,
    CapDeleteLine,
    CapEnterAltCharsetMode,
    CapEnterReverseMode,
    CapEnterStandoutMode,
    CapExitAltCharsetMode,
    CapExitAttributeMode,
    CapExitStandoutMode,
    CapInsertCharacter,
    CapInsertLine,
    CapParmDownCursor,
    CapParmLeftCursor,
    CapParmRightCursor,
    CapParmUpCursor,
    CapRestoreCursor,
    CapReset2String,
    CapSaveCursor,
    CapScrollForward,
    CapScrollReverse,
    CapSetAttribute,
    CapTab,
    CapReportCursorPosition,
};

inline constexpr std::array<std::string_view, CapabilityCount> CapabilityNames = {
    "back_tab",
    "bell",
    "carriage_return",
    "change_scroll_region",
    "clear_line",
    "clear_screen",
    "clr_eol",
    "clr_eos",
    "cursor_address",
    "cursor_down",
    "cursor_home",
    "cursor_invisible",
    "cursor_left",
    "cursor_normal",
    "cursor_right",
    "cursor_up",
    "delete_character",
    "delete_line",
    "enter_alt_charset_mode",
    "enter_reverse_mode",
    "enter_standout_mode",
    "exit_alt_charset_mode",
    "exit_attribute_mode",
    "exit_standout_mode",
    "insert_character",
    "insert_line",
    "parm_down_cursor",
    "parm_left_cursor",
    "parm_right_cursor",
    "parm_up_cursor",
    "restore_cursor",
    "reset_2string",
    "save_cursor",
    "scroll_forward",
    "scroll_reverse",
    "set_attribute",
    "tab",
    "report_cursor_position",
};

inline constexpr std::array<std::string_view, KeyCount> KeyNames = {
    "key_up",    "key_down", "key_right", "key_left", "key_backspace", "key_dc", "key_ppage",
    "key_npage", "key_home", "key_end",   "key_ic",   "key_f1",        "key_f2", "key_f3",
    "key_f4",    "key_f5",   "key_f6",    "key_f7",   "key_f8",        "key_f9", "key_f10",
};

// Virtual-key codes of the keys, parallel to KeyNames.
inline constexpr std::array<uint8_t, KeyCount> KeyVkCodes = {
    0x26, 0x28, 0x27, 0x25, 0x08, 0x2E, 0x21, 0x22, 0x24, 0x23, 0x2D,
    0x70, 0x71, 0x72, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79,
};

// Keys that go by the character path rather than as their description string.
inline constexpr std::array<uint8_t, 1> CharacterPathKeys = {0x08};

// Index of a capability or key name, or -1.
int capabilityIndex(std::string_view name);
int keyIndex(std::string_view name);

// The terminal types of the terminal settings.
enum class TerminalType : int { Ansi = 0, Vt100 = 1, Dumb = 2 };

} // namespace terminal
