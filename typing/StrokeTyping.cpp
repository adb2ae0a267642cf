#include "typing/StrokeTyping.h"

#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <bit>
#include <stdexcept>
#include <string>

namespace tarovex::typing {
namespace {

Keysym firstKeysym(const XkbKey& key) {
    if (key.groups.empty() || key.groups[0].empty() || key.groups[0][0].keysyms.empty())
        return 0;
    return key.groups[0][0].keysyms[0];
}

std::optional<Keycode> keyWithKeysym(const XkbLayout& layout, Keysym keysym) {
    for (const XkbKey& key : layout.keys())
        if (firstKeysym(key) == keysym)
            return key.keycode;
    return std::nullopt;
}

// The keys XKB's pc model adds for modifiers that no physical key carries; the text console
// maps none of them.
bool isVirtualKey(const XkbKey& key) {
    for (const char* name : {"LVL3", "MDSW", "ALT", "META", "SUPR", "HYPR"})
        if (key.name == name)
            return true;
    return false;
}

// The key the keymap binds ISO_Level3_Shift to: one a keyboard has (Right Alt, or whichever the
// layout or its options chose) before the virtual <LVL3>, which ru and other layouts without
// AltGr have only.
std::optional<Keycode> levelThreeKey(const XkbLayout& layout) {
    std::optional<Keycode> virtualKey;
    for (const XkbKey& key : layout.keys()) {
        if (firstKeysym(key) != XKB_KEY_ISO_Level3_Shift)
            continue;
        if (!isVirtualKey(key))
            return key.keycode;
        if (!virtualKey)
            virtualKey = key.keycode;
    }
    return virtualKey;
}

// Every subset of `mask`, the smaller ones first.
std::vector<ModMask> subsets(ModMask mask) {
    std::vector<ModMask> all;
    for (ModMask s = mask;; s = (s - 1) & mask) {
        all.push_back(s);
        if (s == 0)
            break;
    }
    std::stable_sort(all.begin(), all.end(),
                     [](ModMask a, ModMask b) { return std::popcount(a) < std::popcount(b); });
    return all;
}

void sendStroke(StrokeSender& sender, const XkbLayout& layout, const KeyStroke& stroke,
                const ModifierState& state, const std::vector<ModifierKey>& modifiers) {
    ModMask pressable = 0;
    for (const ModifierKey& m : modifiers)
        pressable |= m.mask;
    const auto plan = planStroke(layout, stroke, state, pressable);
    if (!plan)
        throw std::runtime_error("No combination of modifiers gives key " + std::to_string(stroke.keycode) +
                                 " its symbol with the modifiers now held");
    UndoStack undo;
    if (plan->unlock) {
        sender.lockModifiers(plan->unlock, false);
        undo.push([&] { sender.lockModifiers(plan->unlock, true); });
    }
    if (stroke.group != state.group) {
        sender.lockGroup(stroke.group);
        undo.push([&] { sender.lockGroup(state.group); });
    }
    for (const ModifierKey& m : modifiers)
        if (plan->press & m.mask) {
            sender.key(m.keycode, true);
            undo.push([&sender, kc = m.keycode] { sender.key(kc, false); });
        }
    sender.key(stroke.keycode, true);
    undo.push([&] { sender.key(stroke.keycode, false); });
    undo.run();
}

} // namespace

UndoStack::~UndoStack() {
    for (auto it = steps_.rbegin(); it != steps_.rend(); ++it) {
        try {
            (*it)();
        } catch (...) {
        }
    }
}

void UndoStack::run() {
    std::exception_ptr first;
    while (!steps_.empty()) {
        const std::function<void()> step = std::move(steps_.back());
        steps_.pop_back();
        try {
            step();
        } catch (...) {
            if (!first)
                first = std::current_exception();
        }
    }
    if (first)
        std::rethrow_exception(first);
}

bool isCased(Keysym keysym) noexcept {
    return xkb_keysym_to_upper(keysym) != xkb_keysym_to_lower(keysym);
}

std::vector<ModifierKey> modifierKeys(const XkbLayout& layout) {
    std::vector<ModifierKey> keys;
    if (const auto shift = keyWithKeysym(layout, XKB_KEY_Shift_L); shift && layout.shiftMask())
        keys.push_back({layout.shiftMask(), *shift});
    if (const auto three = levelThreeKey(layout); three && layout.levelThreeMask())
        keys.push_back({layout.levelThreeMask(), *three});
    return keys;
}

std::optional<std::string> unreachableStroke(const XkbLayout& layout, const std::vector<KeyStroke>& strokes,
                                             const std::vector<ModifierKey>& modifiers) {
    ModMask pressable = 0;
    for (const ModifierKey& m : modifiers)
        pressable |= m.mask;
    for (const KeyStroke& stroke : strokes) {
        if (planStroke(layout, stroke, ModifierState{}, pressable))
            continue;
        if (layout.levelThreeMask() && (stroke.mods & layout.levelThreeMask()) &&
            !(pressable & layout.levelThreeMask()))
            return "The keyboard layout has no key for the third level (AltGr), which this character is on";
        return "No key of the keyboard layout selects the level this character is on";
    }
    return std::nullopt;
}

std::optional<Keycode> capsLockKey(const XkbLayout& layout) {
    return keyWithKeysym(layout, XKB_KEY_Caps_Lock);
}

std::vector<Keycode> spareKeycodes(const XkbLayout& layout, std::size_t count) {
    std::vector<Keycode> spare;
    for (auto it = layout.keys().rbegin(); it != layout.keys().rend() && spare.size() < count; ++it) {
        const bool empty = std::all_of(it->groups.begin(), it->groups.end(), [](const auto& levels) {
            return std::all_of(levels.begin(), levels.end(),
                               [](const XkbLevel& l) { return l.keysyms.empty(); });
        });
        if (empty)
            spare.push_back(it->keycode);
    }
    return spare;
}

std::optional<StrokePlan> planStroke(const XkbLayout& layout, const KeyStroke& stroke, ModifierState state,
                                     ModMask pressable) {
    const XkbKey* key = layout.key(stroke.keycode);
    const ModMask typeMods = key ? key->relevantMods(stroke.group) : 0;
    for (ModMask unlock : subsets(state.locked)) {
        for (ModMask press : subsets(pressable & ~state.held)) {
            const ModMask effective = state.held | press | (state.locked & ~unlock);
            if (layout.keysym(stroke.keycode, stroke.group, effective) != stroke.keysym)
                continue;
            if ((effective & lockModMask) && !(typeMods & lockModMask) && isCased(stroke.keysym))
                continue;
            return StrokePlan{press, unlock};
        }
    }
    return std::nullopt;
}

void sendStrokes(StrokeSender& sender, const XkbLayout& layout, const std::vector<KeyStroke>& strokes,
                 const ModifierState& state, const std::vector<ModifierKey>& modifiers) {
    for (const KeyStroke& stroke : strokes)
        sendStroke(sender, layout, stroke, state, modifiers);
}

} // namespace tarovex::typing
