// An ordinary Wayland application for the keystroke tests, the twin of the X recorder: a
// window that takes the keyboard focus and prints what it receives, read with the keymap the
// compositor sends. It prints "ready" once it has the focus, then one line per key pressed:
// "T <text>" for text, "K <keysym name>" for a key that gives none or a control character;
// and a modifier as "D <keysym name>" when it goes down, "U <keysym name>" when it goes up.
#include "xdg-shell-client-protocol.h"

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr int width = 200, height = 100;

struct App {
    wl_compositor* compositor = nullptr;
    wl_shm* shm = nullptr;
    xdg_wm_base* wm = nullptr;
    wl_seat* seat = nullptr;
    wl_keyboard* keyboard = nullptr;
    wl_surface* surface = nullptr;
    wl_buffer* buffer = nullptr;
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    xkb_keymap* keymap = nullptr;
    xkb_state* state = nullptr;
    bool ready = false;
};

void line(const char* kind, const char* text) {
    std::printf("%s %s\n", kind, text);
    std::fflush(stdout);
}

void onKeymap(void* data, wl_keyboard*, uint32_t format, int32_t fd, uint32_t size) {
    auto* app = static_cast<App*>(data);
    void* map = format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1
                    ? mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0)
                    : MAP_FAILED;
    close(fd);
    if (map == MAP_FAILED)
        return;
    xkb_keymap* keymap = xkb_keymap_new_from_buffer(app->context, static_cast<const char*>(map),
                                                    strnlen(static_cast<const char*>(map), size),
                                                    XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
    munmap(map, size);
    if (!keymap) {
        std::fprintf(stderr, "keymap does not compile\n");
        return;
    }
    xkb_state_unref(app->state);
    xkb_keymap_unref(app->keymap);
    app->keymap = keymap;
    app->state = xkb_state_new(keymap);
}

void onEnter(void* data, wl_keyboard*, uint32_t, wl_surface*, wl_array*) {
    auto* app = static_cast<App*>(data);
    if (!app->ready) {
        app->ready = true;
        std::printf("ready\n");
        std::fflush(stdout);
    }
}

void onLeave(void*, wl_keyboard*, uint32_t, wl_surface*) {}

void onKey(void* data, wl_keyboard*, uint32_t, uint32_t, uint32_t key, uint32_t state) {
    auto* app = static_cast<App*>(data);
    if (!app->state)
        return;
    const bool pressed = state == WL_KEYBOARD_KEY_STATE_PRESSED;
    const xkb_keycode_t keycode = key + 8;
    const xkb_keysym_t sym = xkb_state_key_get_one_sym(app->state, keycode);
    if ((sym >= XKB_KEY_Shift_L && sym <= XKB_KEY_Hyper_R) ||
        (sym >= XKB_KEY_ISO_Lock && sym <= XKB_KEY_ISO_Last_Group_Lock)) {
        char name[64];
        if (xkb_keysym_get_name(sym, name, sizeof name) >= 0)
            line(pressed ? "D" : "U", name);
        return;
    }
    if (!pressed)
        return;
    char text[64];
    const int n = xkb_state_key_get_utf8(app->state, keycode, text, sizeof text);
    if (n > 0 && static_cast<unsigned char>(text[0]) >= 0x20 && text[0] != 0x7f) {
        line("T", text);
    } else {
        char name[64];
        if (xkb_keysym_get_name(sym, name, sizeof name) < 0)
            std::strcpy(name, "?");
        line("K", name);
    }
}

void onModifiers(void* data, wl_keyboard*, uint32_t, uint32_t depressed, uint32_t latched, uint32_t locked,
                 uint32_t group) {
    auto* app = static_cast<App*>(data);
    if (app->state)
        xkb_state_update_mask(app->state, depressed, latched, locked, 0, 0, group);
}

void onRepeatInfo(void*, wl_keyboard*, int32_t, int32_t) {}

constexpr wl_keyboard_listener keyboardListener = {onKeymap, onEnter,     onLeave,
                                                   onKey,    onModifiers, onRepeatInfo};

void onCapabilities(void* data, wl_seat* seat, uint32_t caps) {
    auto* app = static_cast<App*>(data);
    if ((caps & WL_SEAT_CAPABILITY_KEYBOARD) && !app->keyboard) {
        app->keyboard = wl_seat_get_keyboard(seat);
        wl_keyboard_add_listener(app->keyboard, &keyboardListener, app);
    }
}

void onSeatName(void*, wl_seat*, const char*) {}

constexpr wl_seat_listener seatListener = {onCapabilities, onSeatName};

void onPing(void*, xdg_wm_base* wm, uint32_t serial) {
    xdg_wm_base_pong(wm, serial);
}

constexpr xdg_wm_base_listener wmListener = {onPing};

void onGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
    auto* app = static_cast<App*>(data);
    if (std::strcmp(interface, wl_compositor_interface.name) == 0) {
        app->compositor =
            static_cast<wl_compositor*>(wl_registry_bind(registry, name, &wl_compositor_interface, 4));
    } else if (std::strcmp(interface, wl_shm_interface.name) == 0) {
        app->shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
    } else if (std::strcmp(interface, xdg_wm_base_interface.name) == 0) {
        app->wm = static_cast<xdg_wm_base*>(wl_registry_bind(registry, name, &xdg_wm_base_interface, 1));
        xdg_wm_base_add_listener(app->wm, &wmListener, app);
    } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && !app->seat) {
        app->seat = static_cast<wl_seat*>(
            wl_registry_bind(registry, name, &wl_seat_interface, version < 5 ? version : 5));
        wl_seat_add_listener(app->seat, &seatListener, app);
    }
}

void onGlobalRemove(void*, wl_registry*, uint32_t) {}

constexpr wl_registry_listener registryListener = {onGlobal, onGlobalRemove};

void onSurfaceConfigure(void* data, xdg_surface* surface, uint32_t serial) {
    auto* app = static_cast<App*>(data);
    xdg_surface_ack_configure(surface, serial);
    wl_surface_attach(app->surface, app->buffer, 0, 0);
    wl_surface_commit(app->surface);
}

constexpr xdg_surface_listener surfaceListener = {onSurfaceConfigure};

void onToplevelConfigure(void*, xdg_toplevel*, int32_t, int32_t, wl_array*) {}
void onToplevelClose(void*, xdg_toplevel*) {}

constexpr xdg_toplevel_listener toplevelListener = {onToplevelConfigure, onToplevelClose, nullptr, nullptr};

wl_buffer* whiteBuffer(wl_shm* shm) {
    const int stride = width * 4, size = stride * height;
    const int fd = memfd_create("wrecorder", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, size) != 0)
        return nullptr;
    void* pixels = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (pixels == MAP_FAILED)
        return nullptr;
    std::memset(pixels, 0xff, size);
    munmap(pixels, size);
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, size);
    wl_buffer* buffer = wl_shm_pool_create_buffer(pool, 0, width, height, stride, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);
    return buffer;
}

} // namespace

int main() {
    wl_display* display = wl_display_connect(nullptr);
    if (!display)
        return 3;
    App app;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, &app);
    wl_display_roundtrip(display);
    if (!app.compositor || !app.shm || !app.wm || !app.seat || !app.context)
        return 4;
    app.buffer = whiteBuffer(app.shm);
    if (!app.buffer)
        return 5;
    app.surface = wl_compositor_create_surface(app.compositor);
    xdg_surface* surface = xdg_wm_base_get_xdg_surface(app.wm, app.surface);
    xdg_surface_add_listener(surface, &surfaceListener, &app);
    xdg_toplevel* toplevel = xdg_surface_get_toplevel(surface);
    xdg_toplevel_add_listener(toplevel, &toplevelListener, &app);
    xdg_toplevel_set_title(toplevel, "recorder");
    wl_surface_commit(app.surface);
    while (wl_display_dispatch(display) >= 0) {
    }
    return 0;
}
