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

} // namespace
