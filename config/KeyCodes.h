#pragma once

// Virtual key codes of the keyboard maps and of the start and terminator keys: the
// toolkit-neutral key numbers the keystroke output presses and releases.
namespace tarovex::config::KeyCodes {

inline constexpr int VK_BACK_SPACE = 8;
inline constexpr int VK_TAB = 9;
inline constexpr int VK_ENTER = 10;
inline constexpr int VK_SHIFT = 16;
inline constexpr int VK_CONTROL = 17;
inline constexpr int VK_ALT = 18;
inline constexpr int VK_ESCAPE = 27;
inline constexpr int VK_SPACE = 32;
inline constexpr int VK_PAGE_UP = 33;
inline constexpr int VK_PAGE_DOWN = 34;
inline constexpr int VK_END = 35;
inline constexpr int VK_HOME = 36;
inline constexpr int VK_LEFT = 37;
inline constexpr int VK_UP = 38;
inline constexpr int VK_RIGHT = 39;
inline constexpr int VK_DOWN = 40;
inline constexpr int VK_COMMA = 44;
inline constexpr int VK_MINUS = 45;
inline constexpr int VK_PERIOD = 46;
inline constexpr int VK_SLASH = 47;
inline constexpr int VK_0 = 48; // VK_0 .. VK_9 are 48 .. 57
inline constexpr int VK_SEMICOLON = 59;
inline constexpr int VK_EQUALS = 61;
inline constexpr int VK_A = 65; // VK_A .. VK_Z are 65 .. 90
inline constexpr int VK_OPEN_BRACKET = 91;
inline constexpr int VK_BACK_SLASH = 92;
inline constexpr int VK_CLOSE_BRACKET = 93;
inline constexpr int VK_NUMPAD0 = 96; // keypad 0 .. 9 are 96 .. 105
inline constexpr int VK_MULTIPLY = 106;
inline constexpr int VK_ADD = 107;
inline constexpr int VK_DIVIDE = 111;
inline constexpr int VK_F1 = 112; // F1 .. F12 are 112 .. 123
inline constexpr int VK_DELETE = 127;
inline constexpr int VK_DEAD_GRAVE = 128;
inline constexpr int VK_DEAD_ACUTE = 129;
inline constexpr int VK_DEAD_CIRCUMFLEX = 130;
inline constexpr int VK_LESS = 153;
inline constexpr int VK_INSERT = 155;
inline constexpr int VK_BACK_QUOTE = 192;
inline constexpr int VK_QUOTE = 222;
inline constexpr int VK_COLON = 513;
inline constexpr int VK_DOLLAR = 515;
inline constexpr int VK_EXCLAMATION_MARK = 517;
inline constexpr int VK_NUMBER_SIGN = 520;
inline constexpr int VK_PLUS = 521;
inline constexpr int VK_RIGHT_PARENTHESIS = 522;

// The key of a digit '0'..'9' on the main block.
constexpr int digitKey(char digit) noexcept {
    return VK_0 + (digit - '0');
}
// The key of a letter, either case.
constexpr int letterKey(char letter) noexcept {
    return VK_A + ((letter >= 'a' && letter <= 'z') ? letter - 'a' : letter - 'A');
}
// The numeric keypad key of a digit 0..9.
constexpr int numpadKey(int digit) noexcept {
    return VK_NUMPAD0 + digit;
}
// The function key F1..F12.
constexpr int functionKey(int n) noexcept {
    return VK_F1 + n - 1;
}

} // namespace tarovex::config::KeyCodes
