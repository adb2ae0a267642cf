#pragma once

#include "typing/KeyOutput.h"
#include "typing/VirtualKeymap.h"

#include <chrono>
#include <string>

struct wl_display;
struct wl_registry;
struct wl_seat;
struct zwp_virtual_keyboard_manager_v1;
struct zwp_virtual_keyboard_v1;

namespace tarovex::typing {

// Types through a virtual keyboard of the Wayland compositor (zwp_virtual_keyboard_v1, offered
// by the wlroots family). The keyboard brings its own keymap, one key per character, so every
// character arrives as it is, whatever layout the user has, without /dev/uinput.
class WaylandKeyOutput : public KeyOutput {
public:
    struct Options {
        // $WAYLAND_DISPLAY's form: a socket name under $XDG_RUNTIME_DIR or an absolute path;
        // empty for the environment's.
        std::string display;
        // Characters that get a key from the start, so that typing them never changes the keymap.
        std::u32string preload;
    };

    // Connects, creates the keyboard on the first seat and uploads its keymap. Throws
    // std::runtime_error when there is no compositor, no seat, no such protocol, or a refusal.
    explicit WaylandKeyOutput(Options options);
    ~WaylandKeyOutput() override;
    WaylandKeyOutput(const WaylandKeyOutput&) = delete;
    WaylandKeyOutput& operator=(const WaylandKeyOutput&) = delete;

    void type(const TypedKey& key) override;
    void pressShortcut(const Shortcut& shortcut) override;
    QString description() const override;
    // Held modifiers stay unknown: the virtual keyboard protocol only sends, and the
    // compositor tells a client the modifiers only while one of its surfaces has the focus.

    // How often the keymap went to the compositor, the first time included.
    int keymapUploads() const noexcept { return uploads_; }

    // Whether the compositor of that display offers virtual keyboards; false when it cannot
    // be reached.
    static bool offeredBy(const std::string& display);

private:
    struct Globals;
    void disconnect() noexcept;
    void uploadKeymap();
    void sendKey(Keycode keycode, bool down);
    void sync();
    std::string failure() const;
    // The display connected to, as $WAYLAND_DISPLAY would name it.
    std::string displayName() const;

    Options options_;
    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    wl_seat* seat_ = nullptr;
    zwp_virtual_keyboard_manager_v1* manager_ = nullptr;
    zwp_virtual_keyboard_v1* keyboard_ = nullptr;
    VirtualKeymap keymap_;
    int uploads_ = 0;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

} // namespace tarovex::typing
