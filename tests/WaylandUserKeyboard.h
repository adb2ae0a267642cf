#pragma once

#include "virtual-keyboard-unstable-v1-client-protocol.h"

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

namespace tarovex_test {

// The user's own keyboard on a compositor of the test (US layout), whose keys stay down until
// released, as a person holds a shortcut. A virtual keyboard reports its modifiers itself,
// after each key, as the compositor does for a real one; sway matches its bindings on them.
class WaylandUserKeyboard {
public:
    explicit WaylandUserKeyboard(const std::string& socket) {
        display_ = wl_display_connect(socket.c_str());
        if (!display_)
            throw std::runtime_error("cannot connect to the compositor at " + socket);
        registry_ = wl_display_get_registry(display_);
        wl_registry_add_listener(registry_, &listener_, this);
        wl_display_roundtrip(display_);
        if (!seat_ || !manager_)
            throw std::runtime_error("the compositor offers no seat or no virtual keyboard");
        keyboard_ = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(manager_, seat_);
        xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
        const xkb_rule_names us{"evdev", "pc105", "us", "", ""};
        keymap_ = context ? xkb_keymap_new_from_names(context, &us, XKB_KEYMAP_COMPILE_NO_FLAGS) : nullptr;
        xkb_context_unref(context);
        if (!keymap_)
            throw std::runtime_error("the US keymap does not compile");
        state_ = xkb_state_new(keymap_);
        char* text = xkb_keymap_get_as_string(keymap_, XKB_KEYMAP_FORMAT_TEXT_V1);
        const std::size_t size = std::strlen(text) + 1; // read as a string: the zero goes along
        const int fd = ::memfd_create("user-keymap", MFD_CLOEXEC);
        const bool written = fd >= 0 && ::write(fd, text, size) == ssize_t(size);
        std::free(text);
        if (!written)
            throw std::runtime_error("the keymap cannot be handed over");
        zwp_virtual_keyboard_v1_keymap(keyboard_, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd, uint32_t(size));
        ::close(fd);
        wl_display_roundtrip(display_);
    }
    ~WaylandUserKeyboard() {
        if (keyboard_)
            zwp_virtual_keyboard_v1_destroy(keyboard_);
        xkb_state_unref(state_);
        xkb_keymap_unref(keymap_);
        if (display_) {
            wl_display_roundtrip(display_);
            wl_display_disconnect(display_);
        }
    }
    WaylandUserKeyboard(const WaylandUserKeyboard&) = delete;
    WaylandUserKeyboard& operator=(const WaylandUserKeyboard&) = delete;

    // By evdev code (KEY_LEFTCTRL of <linux/input-event-codes.h>); the compositor has handled
    // the key when this returns.
    void press(uint32_t key) { send(key, true); }
    void release(uint32_t key) { send(key, false); }

private:
    void send(uint32_t key, bool down) {
        zwp_virtual_keyboard_v1_key(keyboard_, ++time_, key,
                                    down ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
        xkb_state_update_key(state_, key + 8, down ? XKB_KEY_DOWN : XKB_KEY_UP);
        zwp_virtual_keyboard_v1_modifiers(keyboard_,
                                          xkb_state_serialize_mods(state_, XKB_STATE_MODS_DEPRESSED),
                                          xkb_state_serialize_mods(state_, XKB_STATE_MODS_LATCHED),
                                          xkb_state_serialize_mods(state_, XKB_STATE_MODS_LOCKED),
                                          xkb_state_serialize_layout(state_, XKB_STATE_LAYOUT_EFFECTIVE));
        wl_display_roundtrip(display_);
    }

    static void onGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
        auto* self = static_cast<WaylandUserKeyboard*>(data);
        if (std::strcmp(interface, wl_seat_interface.name) == 0 && !self->seat_)
            self->seat_ = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
        else if (std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0)
            self->manager_ = static_cast<zwp_virtual_keyboard_manager_v1*>(
                wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
    }
    static void onGlobalRemove(void*, wl_registry*, uint32_t) {}
    static constexpr wl_registry_listener listener_ = {onGlobal, onGlobalRemove};

    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    wl_seat* seat_ = nullptr;
    zwp_virtual_keyboard_manager_v1* manager_ = nullptr;
    zwp_virtual_keyboard_v1* keyboard_ = nullptr;
    xkb_keymap* keymap_ = nullptr;
    xkb_state* state_ = nullptr;
    uint32_t time_ = 0;
};

} // namespace tarovex_test
