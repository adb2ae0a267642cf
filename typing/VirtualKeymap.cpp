#include "typing/VirtualKeymap.h"

#include <linux/input-event-codes.h>
#include <xkbcommon/xkbcommon-keysyms.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <stdexcept>

namespace tarovex::typing {
namespace {

constexpr Keycode evdevOffset = 8;
constexpr Keycode firstKeycode = evdevOffset + 1; // evdev code 0 is no key
constexpr Keycode lastKeycode = 255;

struct NamedKeyCode {
    Keysym keysym;
    unsigned evdev;
};
constexpr NamedKeyCode namedKeyCodes[] = {
    {XKB_KEY_Return, KEY_ENTER},  {XKB_KEY_Tab, KEY_TAB},
    {XKB_KEY_Escape, KEY_ESC},    {XKB_KEY_BackSpace, KEY_BACKSPACE},
    {XKB_KEY_Delete, KEY_DELETE}, {XKB_KEY_Insert, KEY_INSERT},
    {XKB_KEY_Left, KEY_LEFT},     {XKB_KEY_Right, KEY_RIGHT},
    {XKB_KEY_Up, KEY_UP},         {XKB_KEY_Down, KEY_DOWN},
    {XKB_KEY_Home, KEY_HOME},     {XKB_KEY_End, KEY_END},
    {XKB_KEY_Prior, KEY_PAGEUP},  {XKB_KEY_Next, KEY_PAGEDOWN},
    {XKB_KEY_F1, KEY_F1},         {XKB_KEY_F2, KEY_F2},
    {XKB_KEY_F3, KEY_F3},         {XKB_KEY_F4, KEY_F4},
    {XKB_KEY_F5, KEY_F5},         {XKB_KEY_F6, KEY_F6},
    {XKB_KEY_F7, KEY_F7},         {XKB_KEY_F8, KEY_F8},
    {XKB_KEY_F9, KEY_F9},         {XKB_KEY_F10, KEY_F10},
    {XKB_KEY_F11, KEY_F11},       {XKB_KEY_F12, KEY_F12},
};

std::string keyName(Keycode keycode) {
    char name[8];
    std::snprintf(name, sizeof name, "I%03u", keycode); // X key names have at most 4 characters
    return name;
}

template <auto Free> struct Deleter {
    template <typename T> void operator()(T* p) const noexcept { Free(p); }
};

} // namespace

VirtualKeymap::VirtualKeymap(const std::u32string& preload) {
    for (Keycode k = firstKeycode; k <= lastKeycode; ++k)
        slots_.push_back({k, 0, 0, false});
    for (const NamedKeyCode& n : namedKeyCodes) {
        Slot& s = slots_[n.evdev + evdevOffset - firstKeycode];
        s.keysym = n.keysym;
        s.fixed = true;
    }
    // Preloaded characters count as used in reverse order, so the first are evicted last.
    clock_ = preload.size() + 1;
    for (std::size_t i = 0; i < preload.size(); ++i) {
        const Keysym keysym = xkb_utf32_to_keysym(preload[i]);
        if (keysym == 0 ||
            std::any_of(slots_.begin(), slots_.end(), [&](const Slot& s) { return s.keysym == keysym; }))
            continue;
        auto free = std::find_if(slots_.begin(), slots_.end(), [](const Slot& s) { return s.keysym == 0; });
        if (free == slots_.end())
            break;
        free->keysym = keysym;
        free->lastUse = preload.size() - i;
    }
}

std::size_t VirtualKeymap::capacity() noexcept {
    return lastKeycode - firstKeycode + 1;
}

Keycode VirtualKeymap::keycodeFor(Keysym keysym) {
    ++clock_;
    for (Slot& s : slots_)
        if (s.keysym == keysym) {
            s.lastUse = clock_;
            return s.keycode;
        }
    Slot* victim = nullptr;
    for (Slot& s : slots_)
        if (!s.fixed && (!victim || s.lastUse < victim->lastUse))
            victim = &s;
    victim->keysym = keysym;
    victim->lastUse = clock_;
    changed_ = true;
    return victim->keycode;
}

std::string VirtualKeymap::text() {
    std::string source = "xkb_keymap {\nxkb_keycodes \"tarovex\" {\n minimum = 8;\n maximum = 255;\n";
    for (const Slot& s : slots_)
        source += " <" + keyName(s.keycode) + "> = " + std::to_string(s.keycode) + ";\n";
    // The type looks at Shift and Caps Lock and maps both to the one level: so they count as
    // used up, and an application does not capitalise the letter when either is on. Shift is
    // kept for the application all the same, for paste keys such as Control+Shift+V.
    source +=
        "};\nxkb_types \"tarovex\" {\n type \"UNSHIFTABLE\" {\n"
        "  modifiers = Shift+Lock;\n  preserve[Shift] = Shift;\n  level_name[Level1] = \"Any\";\n };\n};\n"
        "xkb_compat \"tarovex\" {\n};\nxkb_symbols \"tarovex\" {\n";
    for (const Slot& s : slots_) {
        if (s.keysym == 0)
            continue;
        char name[64];
        xkb_keysym_get_name(s.keysym, name, sizeof name);
        source += " key <" + keyName(s.keycode) + "> { type = \"UNSHIFTABLE\", symbols[Group1] = [ " + name +
                  " ] };\n";
    }
    source += "};\n};\n";

    // Compiled here first, so that a keymap the compositor would refuse never leaves.
    std::unique_ptr<xkb_context, Deleter<xkb_context_unref>> context(
        xkb_context_new(XKB_CONTEXT_NO_DEFAULT_INCLUDES));
    if (!context)
        throw std::runtime_error("The XKB library could not be initialised");
    std::unique_ptr<xkb_keymap, Deleter<xkb_keymap_unref>> keymap(xkb_keymap_new_from_string(
        context.get(), source.c_str(), XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS));
    if (!keymap)
        throw std::runtime_error("The virtual keyboard's keymap does not compile");
    std::unique_ptr<char, Deleter<std::free>> text(
        xkb_keymap_get_as_string(keymap.get(), XKB_KEYMAP_FORMAT_TEXT_V1));
    if (!text)
        throw std::runtime_error("The virtual keyboard's keymap cannot be written");
    changed_ = false;
    return text.get();
}

} // namespace tarovex::typing
