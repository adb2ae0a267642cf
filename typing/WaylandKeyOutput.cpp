#include "typing/WaylandKeyOutput.h"

#include "typing/KeyResolver.h"
#include "virtual-keyboard-unstable-v1-client-protocol.h"

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace tarovex::typing {
namespace {

constexpr Keycode evdevOffset = 8;

// What the registry offers: the first seat and the virtual keyboard manager.
struct Offer {
    wl_registry* registry = nullptr;
    wl_seat* seat = nullptr;
    zwp_virtual_keyboard_manager_v1* manager = nullptr;
    bool bind = true; // false: only note that they are there
    bool hasSeat = false, hasManager = false;
};

void onGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
    auto* offer = static_cast<Offer*>(data);
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && !offer->hasSeat) {
        offer->hasSeat = true;
        if (offer->bind)
            offer->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    } else if (std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0 &&
               !offer->hasManager) {
        offer->hasManager = true;
        if (offer->bind)
            offer->manager = static_cast<zwp_virtual_keyboard_manager_v1*>(
                wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
    }
}

void onGlobalRemove(void*, wl_registry*, uint32_t) {}

constexpr wl_registry_listener registryListener = {onGlobal, onGlobalRemove};

const char* displayArgument(const std::string& display) {
    return display.empty() ? nullptr : display.c_str();
}

} // namespace

WaylandKeyOutput::WaylandKeyOutput(Options options)
    : options_(std::move(options)), keymap_(options_.preload) {
    display_ = wl_display_connect(displayArgument(options_.display));
    if (!display_)
        throw std::runtime_error("Cannot connect to the Wayland display \"" + displayName() + "\"");
    try {
        Offer offer;
        registry_ = wl_display_get_registry(display_);
        wl_registry_add_listener(registry_, &registryListener, &offer);
        sync();
        seat_ = offer.seat;
        manager_ = offer.manager;
        if (!manager_)
            throw std::runtime_error("The Wayland compositor offers no virtual keyboard");
        if (!seat_)
            throw std::runtime_error("The Wayland compositor has no seat");
        keyboard_ = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(manager_, seat_);
        uploadKeymap();
    } catch (...) {
        disconnect();
        throw;
    }
}

WaylandKeyOutput::~WaylandKeyOutput() {
    disconnect();
}

void WaylandKeyOutput::disconnect() noexcept {
    if (!display_)
        return;
    if (keyboard_)
        zwp_virtual_keyboard_v1_destroy(keyboard_);
    if (manager_)
        zwp_virtual_keyboard_manager_v1_destroy(manager_);
    if (seat_)
        wl_seat_destroy(seat_);
    if (registry_)
        wl_registry_destroy(registry_);
    wl_display_roundtrip(display_);
    wl_display_disconnect(display_);
    display_ = nullptr;
}

bool WaylandKeyOutput::offeredBy(const std::string& display) {
    wl_display* d = wl_display_connect(displayArgument(display));
    if (!d)
        return false;
    Offer offer;
    offer.bind = false;
    wl_registry* registry = wl_display_get_registry(d);
    wl_registry_add_listener(registry, &registryListener, &offer);
    const bool answered = wl_display_roundtrip(d) >= 0;
    wl_registry_destroy(registry);
    wl_display_disconnect(d);
    return answered && offer.hasManager && offer.hasSeat;
}

void WaylandKeyOutput::uploadKeymap() {
    const std::string text = keymap_.text();
    const int fd = memfd_create("tarovex-keymap", MFD_CLOEXEC);
    if (fd < 0)
        throw std::runtime_error(std::string("The keymap cannot be handed over: ") + std::strerror(errno));
    // The compositor maps the file and reads it as a string: the terminating zero goes along.
    const std::size_t size = text.size() + 1;
    std::size_t written = 0;
    while (written < size) {
        const ssize_t n = ::write(fd, text.c_str() + written, size - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = errno;
            ::close(fd);
            throw std::runtime_error(std::string("The keymap cannot be handed over: ") +
                                     std::strerror(error));
        }
        written += std::size_t(n);
    }
    zwp_virtual_keyboard_v1_keymap(keyboard_, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd, uint32_t(size));
    ::close(fd);
    ++uploads_;
    // The compositor compiles the keymap and passes it on to the focused application before
    // it handles our next request; a key sent before that would be read with the old keymap.
    sync();
}

void WaylandKeyOutput::sendKey(Keycode keycode, bool down) {
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_);
    zwp_virtual_keyboard_v1_key(keyboard_, uint32_t(ms.count()), keycode - evdevOffset,
                                down ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
}

void WaylandKeyOutput::sync() {
    if (wl_display_roundtrip(display_) < 0)
        throw std::runtime_error(failure());
}

std::string WaylandKeyOutput::failure() const {
    const int error = wl_display_get_error(display_);
    if (error != EPROTO)
        return std::string("The Wayland connection failed: ") + std::strerror(error);
    const wl_interface* interface = nullptr;
    const uint32_t code = wl_display_get_protocol_error(display_, &interface, nullptr);
    if (interface == &zwp_virtual_keyboard_manager_v1_interface &&
        code == ZWP_VIRTUAL_KEYBOARD_MANAGER_V1_ERROR_UNAUTHORIZED)
        return "The Wayland compositor does not allow this program a virtual keyboard";
    return std::string("The Wayland compositor ended the connection (") +
           (interface ? interface->name : "display") + " error " + std::to_string(code) + ")";
}

void WaylandKeyOutput::type(const TypedKey& key) {
    Keysym keysym = 0;
    if (key.isCharacter()) {
        const char32_t c = key.character();
        // Control characters have keysyms of their own (Return, Tab) that mean another key.
        if (c >= 0x20 && !(c >= 0x7f && c < 0xa0))
            keysym = utf32ToKeysym(c);
        if (keysym == 0)
            throw CannotTypeError(c, "No key types this character");
    } else {
        keysym = keyKeysym(key);
    }
    const Keycode keycode = keymap_.keycodeFor(keysym);
    if (keymap_.changed())
        uploadKeymap();
    sendKey(keycode, true);
    sendKey(keycode, false);
    sync();
}

void WaylandKeyOutput::pressShortcut(const Shortcut& shortcut) {
    // Our keymap has no modifier keys: the modifiers go as the keyboard's state around the key
    // (Shift and Control have fixed bits in every XKB keymap).
    constexpr uint32_t shiftMask = 1u << 0, controlMask = 1u << 2;
    const Keycode keycode = keymap_.keycodeFor(shortcut.keysym);
    if (keymap_.changed())
        uploadKeymap();
    zwp_virtual_keyboard_v1_modifiers(
        keyboard_, (shortcut.control ? controlMask : 0) | (shortcut.shift ? shiftMask : 0), 0, 0, 0);
    sendKey(keycode, true);
    sendKey(keycode, false);
    zwp_virtual_keyboard_v1_modifiers(keyboard_, 0, 0, 0, 0);
    sync();
}

std::string WaylandKeyOutput::displayName() const {
    const char* env = std::getenv("WAYLAND_DISPLAY");
    return !options_.display.empty() ? options_.display : env && *env ? env : "wayland-0";
}

QString WaylandKeyOutput::description() const {
    return QStringLiteral("Wayland virtual keyboard on %1, own keymap")
        .arg(QString::fromStdString(displayName()));
}

} // namespace tarovex::typing
