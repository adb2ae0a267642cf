#include "typing/XkbLayout.h"
#include "typing/DeadKeys.h"
#include "typing/KeyResolver.h"

#include <gtest/gtest.h>
#include <xkbcommon/xkbcommon.h>

#include <memory>

using namespace tarovex::typing;

namespace {

using Kind = KeyResolution::Kind;

// The snapshot's lookup agrees with libxkbcommon's own state machine for every key and every
// combination of Shift and the third-level modifier.
TEST(XkbLayoutTest, SnapshotAgreesWithXkbState) {
    for (const auto& [layout, variant] : {std::pair{"us", ""}, {"us", "intl"}, {"de", ""}, {"fr", ""}}) {
        xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
        const xkb_rule_names names{"evdev", "pc105", layout, variant, ""};
        xkb_keymap* keymap = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
        ASSERT_NE(keymap, nullptr);
        const XkbLayout snapshot(keymap);
        ASSERT_NE(snapshot.levelThreeMask(), 0u) << layout;
        xkb_state* state = xkb_state_new(keymap);
        for (ModMask mods : {0u, snapshot.shiftMask(), snapshot.levelThreeMask(),
                             snapshot.shiftMask() | snapshot.levelThreeMask()}) {
            xkb_state_update_mask(state, mods, 0, 0, 0, 0, 0);
            for (const XkbKey& key : snapshot.keys())
                EXPECT_EQ(snapshot.keysym(key.keycode, 0, mods),
                          xkb_state_key_get_one_sym(state, key.keycode))
                    << layout << "(" << variant << ") " << key.name << " mods " << mods;
        }
        xkb_state_unref(state);
        xkb_keymap_unref(keymap);
        xkb_context_unref(context);
    }
}

TEST(XkbLayoutTest, UnknownLayoutIsRefusedByName) {
    try {
        XkbLayout::fromNames({"xx", "nothing"});
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "The XKB keyboard layout \"xx(nothing)\" could not be compiled");
    }
}

TEST(XkbLayoutTest, DeadKeysComposeByTheComposeTable) {
    ASSERT_TRUE(hasComposeData());
    EXPECT_EQ(spacingMark(keysymFromName("dead_acute")), U'\'');
    EXPECT_EQ(spacingMark(keysymFromName("dead_diaeresis")), U'"');
    EXPECT_EQ(spacingMark(keysymFromName("dead_circumflex")), U'^');
    EXPECT_EQ(composeDeadKey(keysymFromName("dead_grave"), keysymFromName("e")), U'è');
    EXPECT_EQ(composeDeadKey(keysymFromName("dead_grave"), keysymFromName("q")), 0u);
}

struct ResolveRow {
    const char* layout;
    char32_t c;
    Kind kind;
    const char* keyName; // of the first stroke
    bool shift, levelThree;
};

TEST(XkbLayoutTest, ResolvesCharactersOnRealLayouts) {
    const ResolveRow rows[] = {
        {"us", U'a', Kind::Direct, "AC01", false, false},
        {"us", U'@', Kind::Direct, "AE02", true, false},
        {"us", U'*', Kind::Direct, "AE08", true, false}, // main block before the keypad
        {"de", U'@', Kind::Direct, "AD01", false, true},
        {"de", U'^', Kind::DeadKeyThenSpace, "TLDE", false, false},
        {"fr", U'1', Kind::Direct, "AE01", true, false},
        {"fr", U'é', Kind::Direct, "AE02", false, false},
        {"fr", U'#', Kind::Direct, "AE03", false, true},
        {"us", U'ф', Kind::SpareKeycode, nullptr, false, false},
    };
    for (const ResolveRow& row : rows) {
        const XkbLayout layout = XkbLayout::fromNames({row.layout});
        const KeyResolution r = resolveCharacter(layout, row.c, 0);
        EXPECT_EQ(r.kind, row.kind) << row.layout << " U+" << std::hex << unsigned(row.c);
        ASSERT_FALSE(r.strokes.empty());
        if (!row.keyName)
            continue;
        EXPECT_EQ(layout.key(r.strokes[0].keycode)->name, row.keyName) << unsigned(row.c);
        EXPECT_EQ((r.strokes[0].mods & layout.shiftMask()) != 0, row.shift) << unsigned(row.c);
        EXPECT_EQ((r.strokes[0].mods & layout.levelThreeMask()) != 0, row.levelThree) << unsigned(row.c);
    }
}

// A hand-made layout: the other group is used, then a dead key, then the highest free keycode.
TEST(XkbLayoutTest, ResolverFallsBackInOrder) {
    auto level = [](const char* sym, ModMask mask) { return XkbLevel{{keysymFromName(sym)}, {mask}}; };
    std::vector<XkbKey> keys = {
        {10, "AC01", {{level("a", 0)}, {level("Cyrillic_ef", 0)}}},
        {11, "TLDE", {{level("dead_circumflex", 0)}}},
        {12, "SPCE", {{level("space", 0)}}},
        {13, "", {}},
        {14, "", {}},
    };
    const XkbLayout layout(keys, {"English", "Russian"}, 1, 0x80);
    const KeyResolution ef = resolveCharacter(layout, U'ф', 0);
    EXPECT_EQ(ef.kind, Kind::Direct);
    EXPECT_EQ(ef.strokes, (std::vector<KeyStroke>{{10, 1, 0, keysymFromName("Cyrillic_ef")}}));
    const KeyResolution caret = resolveCharacter(layout, U'^', 0);
    EXPECT_EQ(caret.kind, Kind::DeadKeyThenSpace);
    EXPECT_EQ(caret.strokes.size(), 2u);
    EXPECT_EQ(caret.strokes[1].keycode, 12u);
    const KeyResolution euro = resolveCharacter(layout, U'€', 0);
    EXPECT_EQ(euro.kind, Kind::SpareKeycode);
    EXPECT_EQ(euro.strokes[0].keycode, 14u); // the last keycode counts too
    EXPECT_EQ(euro.keysym, keysymFromName("EuroSign"));
    EXPECT_EQ(resolveKey(layout, TypedKey{NamedKey::Enter}, 0).kind, Kind::SpareKeycode);
}

} // namespace
