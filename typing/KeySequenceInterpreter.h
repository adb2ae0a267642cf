#pragma once

#include "config/ConfigHelper.h"
#include "typing/TypedKey.h"
#include "typing/XkbLayout.h"

#include <map>
#include <optional>
#include <set>
#include <vector>

namespace tarovex::typing {

// What the key map's press/release stream means on the declared keyboard, the way Windows
// reads it: a key code names the key as labelled on that layout (the key whose unshifted
// symbol it is; for a digit, the key that carries it), Shift selects the second level and
// Ctrl+Alt the third (AltGr), a dead key composes with the next key (with Space: its bare
// mark), and Alt held while keypad digits are struck types the character of that decimal
// code when Alt is released.
//
// The layouts are modelled from the XKB data of the matching layout (QUERTY us,
// US_INTERNATIONAL us(intl), GERMAN de, AZERTY fr), never from the key map tables, so that a
// wrong table entry shows as a wrong character. ALL has no layout: Alt codes only, besides
// the keypad and the named keys.
//
// Alt codes: Windows reads codes below 256 without a leading zero in the OEM code page; here
// every code is taken modulo 256 as a Latin-1 code point, which agrees for 32-126, the only
// codes the key maps use.
class KeySequenceInterpreter {
public:
    explicit KeySequenceInterpreter(config::ConfigHelper::KeyboardType keyboard);

    // What the press types, often nothing yet. A code that names no key on the layout, or a
    // combination that types nothing (Alt or Control alone with a letter), throws
    // std::invalid_argument; the key counts as held all the same.
    std::vector<TypedKey> press(int code);
    // What the release completes (an Alt code); same errors.
    std::vector<TypedKey> release(int code);

    // The XKB layout that models a declared keyboard; none for ALL.
    static std::optional<XkbRuleNames> xkbNames(config::ConfigHelper::KeyboardType keyboard);

private:
    std::vector<TypedKey> typeKeysym(Keysym keysym);
    void requireKey(int code) const;
    bool held(int code) const { return held_.count(code) > 0; }
    std::string name() const;

    config::ConfigHelper::KeyboardType keyboard_;
    std::optional<XkbLayout> layout_;
    std::map<int, Keycode> keycodes_; // key code of the layout's keys -> XKB keycode
    std::multiset<int> held_;
    std::optional<int> altCode_; // digits struck while Alt alone is held
    Keysym pendingDeadKey_ = 0;
};

} // namespace tarovex::typing
