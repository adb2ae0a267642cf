#include "typing/KeySequenceInterpreter.h"

#include "config/KeyCodes.h"
#include "typing/DeadKeys.h"

#include <stdexcept>
#include <string>
#include <utility>

namespace tarovex::typing {
namespace {

using namespace config::KeyCodes;
using config::ConfigHelper::KeyboardType;

// The keys named by the symbol they type unshifted. Letters and digits are added in code.
struct LabelledKey {
    int code;
    const char* keysym;
};
constexpr LabelledKey kLabelledKeys[] = {
    {VK_SPACE, "space"},
    {VK_COMMA, "comma"},
    {VK_MINUS, "minus"},
    {VK_PERIOD, "period"},
    {VK_SLASH, "slash"},
    {VK_SEMICOLON, "semicolon"},
    {VK_EQUALS, "equal"},
    {VK_OPEN_BRACKET, "bracketleft"},
    {VK_BACK_SLASH, "backslash"},
    {VK_CLOSE_BRACKET, "bracketright"},
    {VK_DEAD_GRAVE, "dead_grave"},
    {VK_DEAD_ACUTE, "dead_acute"},
    {VK_DEAD_CIRCUMFLEX, "dead_circumflex"},
    {VK_LESS, "less"},
    {VK_BACK_QUOTE, "grave"},
    {VK_QUOTE, "apostrophe"},
    {VK_COLON, "colon"},
    {VK_DOLLAR, "dollar"},
    {VK_EXCLAMATION_MARK, "exclam"},
    {VK_NUMBER_SIGN, "numbersign"},
    {VK_PLUS, "plus"},
    {VK_RIGHT_PARENTHESIS, "parenright"},
};

struct NamedCode {
    int code;
    NamedKey key;
};
constexpr NamedCode kNamedCodes[] = {
    {VK_ENTER, NamedKey::Enter},    {VK_TAB, NamedKey::Tab},
    {VK_ESCAPE, NamedKey::Escape},  {VK_BACK_SPACE, NamedKey::Backspace},
    {VK_DELETE, NamedKey::Delete},  {VK_INSERT, NamedKey::Insert},
    {VK_LEFT, NamedKey::Left},      {VK_RIGHT, NamedKey::Right},
    {VK_UP, NamedKey::Up},          {VK_DOWN, NamedKey::Down},
    {VK_HOME, NamedKey::Home},      {VK_END, NamedKey::End},
    {VK_PAGE_UP, NamedKey::PageUp}, {VK_PAGE_DOWN, NamedKey::PageDown},
};

std::optional<NamedKey> namedKey(int code) {
    if (code >= VK_F1 && code < VK_F1 + 12)
        return NamedKey(int(NamedKey::F1) + code - VK_F1);
    for (const NamedCode& n : kNamedCodes)
        if (n.code == code)
            return n.key;
    return std::nullopt;
}

// The keypad types the same on every layout (Num Lock on).
char32_t keypadCharacter(int code) {
    if (code >= VK_NUMPAD0 && code <= VK_NUMPAD0 + 9)
        return U'0' + char32_t(code - VK_NUMPAD0);
    switch (code) {
    case VK_MULTIPLY:
        return U'*';
    case VK_ADD:
        return U'+';
    case VK_DIVIDE:
        return U'/';
    default:
        return 0;
    }
}

bool isLayoutKeyCode(int code) {
    if ((code >= VK_A && code <= VK_A + 25) || (code >= VK_0 && code <= VK_0 + 9))
        return true;
    for (const LabelledKey& k : kLabelledKeys)
        if (k.code == code)
            return true;
    return false;
}

bool isModifier(int code) {
    return code == VK_SHIFT || code == VK_CONTROL || code == VK_ALT;
}

// The layout key whose keysym at those modifiers is `sym`; the lowest keycode wins.
std::optional<Keycode> findKey(const XkbLayout& layout, Keysym sym, ModMask mods) {
    for (const XkbKey& key : layout.keys())
        if (layout.keysym(key.keycode, 0, mods) == sym)
            return key.keycode;
    return std::nullopt;
}

std::map<int, Keycode> labelledKeys(const XkbLayout& layout) {
    std::map<int, Keycode> keys;
    auto add = [&](int code, std::optional<Keycode> keycode) {
        if (keycode)
            keys.emplace(code, *keycode);
    };
    for (const LabelledKey& k : kLabelledKeys)
        add(k.code, findKey(layout, keysymFromName(k.keysym), 0));
    for (char c = 'a'; c <= 'z'; ++c)
        add(letterKey(c), findKey(layout, utf32ToKeysym(char32_t(c)), 0));
    for (char d = '0'; d <= '9'; ++d) {
        // AZERTY carries its digits on the second level.
        const Keysym sym = utf32ToKeysym(char32_t(d));
        auto key = findKey(layout, sym, 0);
        add(digitKey(d), key ? key : findKey(layout, sym, layout.shiftMask()));
    }
    return keys;
}

} // namespace

std::optional<XkbRuleNames> KeySequenceInterpreter::xkbNames(KeyboardType keyboard) {
    switch (keyboard.ordinal()) {
    case KeyboardType::QUERTY.ordinal():
        return XkbRuleNames("us");
    case KeyboardType::US_INTERNATIONAL.ordinal():
        return XkbRuleNames("us", "intl");
    case KeyboardType::GERMAN.ordinal():
        return XkbRuleNames("de");
    case KeyboardType::AZERTY.ordinal():
        return XkbRuleNames("fr");
    default:
        return std::nullopt;
    }
}

KeySequenceInterpreter::KeySequenceInterpreter(KeyboardType keyboard) : keyboard_(keyboard) {
    if (const auto names = xkbNames(keyboard)) {
        layout_.emplace(XkbLayout::fromNames(*names));
        keycodes_ = labelledKeys(*layout_);
    }
}

std::string KeySequenceInterpreter::name() const {
    return keyboard_.name().toStdString();
}

void KeySequenceInterpreter::requireKey(int code) const {
    if (isModifier(code) || namedKey(code) || keypadCharacter(code) || keycodes_.count(code))
        return;
    if (isLayoutKeyCode(code))
        throw std::invalid_argument("Key code " + std::to_string(code) + " names no key of the " + name() +
                                    " keyboard");
    throw std::invalid_argument("Unknown key code " + std::to_string(code));
}

std::vector<TypedKey> KeySequenceInterpreter::press(int code) {
    held_.insert(code);
    if (isModifier(code))
        return {};
    const bool shift = held(VK_SHIFT), control = held(VK_CONTROL), alt = held(VK_ALT);
    const char32_t keypad = keypadCharacter(code);
    if (alt && !control && !shift && keypad >= U'0' && keypad <= U'9') {
        altCode_ = (altCode_.value_or(0) * 10 + int(keypad - U'0')) % 100000;
        return {};
    }
    requireKey(code);
    const auto named = namedKey(code);
    const auto key = keycodes_.find(code);
    if (control != alt)
        throw std::invalid_argument(std::string(control ? "Control" : "Alt") + " with key code " +
                                    std::to_string(code) + " types nothing");
    std::vector<TypedKey> typed;
    if (named || keypad) {
        if (pendingDeadKey_)
            if (const char32_t mark = spacingMark(std::exchange(pendingDeadKey_, 0)))
                typed.push_back({mark});
        typed.push_back(named ? TypedKey{*named} : TypedKey{keypad});
        return typed;
    }
    const ModMask mods =
        (shift ? layout_->shiftMask() : 0) | (control && alt ? layout_->levelThreeMask() : 0);
    const Keysym sym = layout_->keysym(key->second, 0, mods);
    if (!sym)
        throw std::invalid_argument("Key code " + std::to_string(code) +
                                    " types nothing at that level of the " + name() + " keyboard");
    return typeKeysym(sym);
}

std::vector<TypedKey> KeySequenceInterpreter::typeKeysym(Keysym sym) {
    std::vector<TypedKey> typed;
    const Keysym dead = std::exchange(pendingDeadKey_, 0);
    if (dead) {
        if (const char32_t composed = composeDeadKey(dead, sym))
            return {TypedKey{composed}};
        // Nothing to compose: the bare mark, then the key itself, as Windows does.
        if (const char32_t mark = spacingMark(dead))
            typed.push_back({mark});
    }
    if (isDeadKeysym(sym)) {
        pendingDeadKey_ = sym;
        return typed;
    }
    const char32_t c = keysymToUtf32(sym);
    if (!c)
        throw std::invalid_argument("The key types no character on the " + name() + " keyboard");
    typed.push_back({c});
    return typed;
}

std::vector<TypedKey> KeySequenceInterpreter::release(int code) {
    if (const auto it = held_.find(code); it != held_.end())
        held_.erase(it);
    requireKey(code);
    if (code != VK_ALT || held(VK_ALT) || !altCode_)
        return {};
    const int value = *std::exchange(altCode_, std::nullopt) % 256;
    if (value < 0x20 || value == 0x7F)
        throw std::invalid_argument("Alt code " + std::to_string(value) + " is no character");
    return {TypedKey{char32_t(value)}};
}

} // namespace tarovex::typing
