#include "typing/VirtualKeymap.h"

#include <gtest/gtest.h>

#include <xkbcommon/xkbcommon-keysyms.h>
#include <xkbcommon/xkbcommon.h>

#include <map>

using namespace tarovex::typing;

namespace {

// What a client of the compositor reads from the keymap: every keycode's keysym with no
// modifier, and with Shift and Caps Lock too (they must change nothing).
std::map<Keycode, Keysym> readBack(const std::string& text) {
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_DEFAULT_INCLUDES);
    xkb_keymap* keymap = xkb_keymap_new_from_string(context, text.c_str(), XKB_KEYMAP_FORMAT_TEXT_V1,
                                                    XKB_KEYMAP_COMPILE_NO_FLAGS);
    std::map<Keycode, Keysym> keys;
    if (keymap) {
        xkb_state* plain = xkb_state_new(keymap);
        xkb_state* shifted = xkb_state_new(keymap);
        const xkb_mod_mask_t mods = (1u << xkb_keymap_mod_get_index(keymap, XKB_MOD_NAME_SHIFT)) |
                                    (1u << xkb_keymap_mod_get_index(keymap, XKB_MOD_NAME_CAPS));
        xkb_state_update_mask(shifted, mods, 0, mods, 0, 0, 0);
        for (Keycode k = xkb_keymap_min_keycode(keymap); k <= xkb_keymap_max_keycode(keymap); ++k)
            if (const Keysym s = xkb_state_key_get_one_sym(plain, k); s != 0)
                keys[k] = xkb_state_key_get_one_sym(shifted, k) == s ? s : 0;
        xkb_state_unref(shifted);
        xkb_state_unref(plain);
    }
    xkb_keymap_unref(keymap);
    xkb_context_unref(context);
    return keys;
}

TEST(VirtualKeymapTest, NamedKeysOnTheirUsualKeysCharactersOnTheRest) {
    VirtualKeymap keymap(U"a€a");
    const struct {
        Keysym keysym;
        Keycode keycode;
    } fixed[] = {{XKB_KEY_Return, 36}, {XKB_KEY_Tab, 23}, {XKB_KEY_Left, 113}, {XKB_KEY_F12, 96}};
    for (const auto& f : fixed)
        EXPECT_EQ(keymap.keycodeFor(f.keysym), f.keycode);
    const Keycode a = keymap.keycodeFor(XKB_KEY_a), euro = keymap.keycodeFor(XKB_KEY_EuroSign);
    EXPECT_EQ(a, 10u); // preloaded, in order, from the first keycode after Escape's
    EXPECT_EQ(euro, 11u);
    EXPECT_TRUE(keymap.changed()); // nothing sent yet
    const auto keys = readBack(keymap.text());
    EXPECT_FALSE(keymap.changed());
    EXPECT_EQ(keys.size(), 26u + 2u);
    EXPECT_EQ(keys.at(a), Keysym(XKB_KEY_a));
    EXPECT_EQ(keys.at(euro), Keysym(XKB_KEY_EuroSign));
    EXPECT_EQ(keys.at(36), Keysym(XKB_KEY_Return));
    EXPECT_EQ(keymap.keycodeFor(XKB_KEY_a), a);
    EXPECT_FALSE(keymap.changed());
}

// A full keymap gives the least recently used character's key to the new one; named keys
// keep theirs; every keycode stays within what an X client can see.
TEST(VirtualKeymapTest, AFullKeymapReusesTheLeastRecentlyUsedKey) {
    VirtualKeymap keymap;
    const std::size_t free = VirtualKeymap::capacity() - 26;
    std::map<Keysym, Keycode> given;
    for (Keysym s = 0x1004e00; s < 0x1004e00 + free; ++s)
        given[s] = keymap.keycodeFor(s);
    keymap.text();
    EXPECT_EQ(keymap.keycodeFor(0x1004e00), given[0x1004e00]); // now the most recent
    const Keycode reused = keymap.keycodeFor(0x1005000);
    EXPECT_EQ(reused, given[0x1004e01]);
    EXPECT_TRUE(keymap.changed());
    const auto keys = readBack(keymap.text());
    EXPECT_EQ(keys.size(), VirtualKeymap::capacity());
    EXPECT_EQ(keys.at(reused), Keysym(0x1005000));
    EXPECT_EQ(keys.at(given[0x1004e00]), Keysym(0x1004e00));
    EXPECT_EQ(keys.rbegin()->first, 255u);
    for (Keysym s = 0x1006000; s < 0x1006000 + 2 * free; ++s)
        EXPECT_NE(keymap.keycodeFor(s), 36u);
}

} // namespace
