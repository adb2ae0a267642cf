#pragma once

#include "typing/KeyResolver.h"
#include "typing/XkbLayout.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tarovex::typing {

// The core modifiers have fixed indices in every XKB keymap.
inline constexpr ModMask lockModMask = 1u << 1;

// The keyboard state a stroke starts from.
struct ModifierState {
    ModMask held = 0;   // pressed or latched, by the user or by us
    ModMask locked = 0; // Caps Lock, Num Lock, ...
    std::size_t group = 0;
};

// What has to change around one stroke: modifiers pressed for it, locks lifted for it.
struct StrokePlan {
    ModMask press = 0;
    ModMask unlock = 0;
    friend bool operator==(const StrokePlan&, const StrokePlan&) = default;
};

// A key that sets one modifier while it is held.
struct ModifierKey {
    ModMask mask = 0;
    Keycode keycode = 0;
};

// The keys for Shift and for the third level (ISO_Level3_Shift), where the layout has them;
// for the third level a key of a real keyboard before XKB's virtual <LVL3>.
std::vector<ModifierKey> modifierKeys(const XkbLayout& layout);
// Why the strokes cannot be typed by pressing only these modifier keys (their level needs a
// modifier no key of the layout gives); nothing when they can.
std::optional<std::string> unreachableStroke(const XkbLayout& layout, const std::vector<KeyStroke>& strokes,
                                             const std::vector<ModifierKey>& modifiers);
// A key that toggles Caps Lock, if any.
std::optional<Keycode> capsLockKey(const XkbLayout& layout);
// Up to `count` keycodes that give nothing, from the top down.
std::vector<Keycode> spareKeycodes(const XkbLayout& layout, std::size_t count);

// The fewest locks to lift, then the fewest modifiers to press, that make `stroke` give its
// keysym in `stroke.group`, also as an application sees it: with Caps Lock in effect and not
// used by the key's type, an application capitalises a letter, so that counts as wrong.
// Nothing when no combination of the pressable modifiers gets there.
std::optional<StrokePlan> planStroke(const XkbLayout& layout, const KeyStroke& stroke, ModifierState state,
                                     ModMask pressable);

// True when Caps Lock would change the keysym's case.
bool isCased(Keysym keysym) noexcept;

// Changes to the keyboard to be undone, last first: run() undoes them all and throws the
// first failure; the destructor undoes what run() did not, swallowing failures, since it
// only runs so while another failure unwinds.
class UndoStack {
public:
    UndoStack() = default;
    UndoStack(const UndoStack&) = delete;
    UndoStack& operator=(const UndoStack&) = delete;
    ~UndoStack();

    void push(std::function<void()> undo) { steps_.push_back(std::move(undo)); }
    void run();

private:
    std::vector<std::function<void()>> steps_;
};

// The keyboard operations a backend offers for typing strokes.
class StrokeSender {
public:
    virtual ~StrokeSender() = default;
    virtual void key(Keycode keycode, bool down) = 0;
    // Sets the given locked modifiers on or off.
    virtual void lockModifiers(ModMask mask, bool on) = 0;
    // Makes `group` the locked group.
    virtual void lockGroup(std::size_t group) = 0;
};

// Types the strokes of a resolution one after the other (a dead key, then its Space), each
// with its plan: locks lifted, group switched, modifiers pressed, key pressed and released,
// and everything undone in reverse order, also when a step throws.
// Throws std::runtime_error when a stroke cannot be planned.
void sendStrokes(StrokeSender& sender, const XkbLayout& layout, const std::vector<KeyStroke>& strokes,
                 const ModifierState& state, const std::vector<ModifierKey>& modifiers);

} // namespace tarovex::typing
