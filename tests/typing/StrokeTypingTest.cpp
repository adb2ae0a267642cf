// Strokes on hand-made layouts: what is changed on the keyboard around a stroke, and undone.
#include "typing/StrokeTyping.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tarovex::typing;

namespace {

constexpr ModMask kShift = 1;

XkbLevel level(const char* sym, ModMask mask) {
    return XkbLevel{{keysymFromName(sym)}, {mask}};
}

// The keyboard operations as a transcript.
class RecordingSender : public StrokeSender {
public:
    void key(Keycode keycode, bool down) override {
        steps.push_back((down ? "down " : "up ") + std::to_string(keycode));
    }
    void lockModifiers(ModMask mask, bool on) override {
        steps.push_back((on ? "lock " : "unlock ") + std::to_string(mask));
    }
    void lockGroup(std::size_t group) override { steps.push_back("group " + std::to_string(group)); }
    std::vector<std::string> steps;
};

TEST(StrokeTyping, ACharacterOfTheSecondGroupSwitchesTheKeyboardBack) {
    const XkbLayout layout({{10, "AC01", {{level("a", 0)}, {level("Cyrillic_ef", 0)}}}},
                           {"English", "Russian"}, kShift, 0);
    RecordingSender sender;
    sendStrokes(sender, layout, {{10, 1, 0, keysymFromName("Cyrillic_ef")}}, ModifierState{}, {});
    EXPECT_EQ(sender.steps, (std::vector<std::string>{"group 1", "down 10", "up 10", "group 0"}));
}

// An application capitalises a cased letter while Caps Lock is on, unless the key's type
// itself uses Lock: so on a type that ignores Lock, Caps Lock is lifted for the stroke.
TEST(StrokeTyping, CapsLockIsLiftedForACasedLetterOnAKeyTypeThatIgnoresIt) {
    const XkbLayout layout({{11, "AE02", {{level("eacute", 0), level("2", kShift)}}}}, {"French"}, kShift, 0);
    const KeyStroke eacute{11, 0, 0, keysymFromName("eacute")};
    EXPECT_EQ(planStroke(layout, eacute, ModifierState{0, lockModMask, 0}, kShift),
              (StrokePlan{0, lockModMask}));
    EXPECT_EQ(planStroke(layout, eacute, ModifierState{}, kShift), (StrokePlan{0, 0}));
}

// A level that only a modifier without a key reaches cannot be typed: pressing the key
// without it would give another character.
TEST(StrokeTyping, ALevelNoModifierKeyReachesIsRefusedWithItsReason) {
    constexpr ModMask kLevelThree = 1u << 7;
    const XkbKey rouble{
        17, "AE08", {{level("8", 0), level("asterisk", kShift), level("U20BD", kLevelThree)}}};
    const XkbKey shiftKey{50, "LFSH", {{level("Shift_L", 0)}}};
    const XkbKey levelThreeKey{92, "LVL3", {{level("ISO_Level3_Shift", 0)}}};
    const KeyStroke stroke{17, 0, kLevelThree, keysymFromName("U20BD")};
    const struct {
        std::vector<XkbKey> keys;
        std::optional<std::string> why;
    } rows[] = {
        {{rouble, shiftKey, levelThreeKey}, std::nullopt},
        {{rouble, shiftKey},
         "The keyboard layout has no key for the third level (AltGr), which this character is on"},
    };
    for (const auto& row : rows) {
        const XkbLayout layout(row.keys, {"Russian"}, kShift, kLevelThree);
        EXPECT_EQ(unreachableStroke(layout, {stroke}, modifierKeys(layout)), row.why) << row.keys.size();
    }
}

} // namespace
