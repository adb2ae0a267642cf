#include "typing/KwinKeyOutput.h"

#include "fake-input-client-protocol.h"

#include <poll.h>
#include <wayland-client.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace tarovex::typing {
namespace {

// keyboard_key came with version 4.
constexpr uint32_t keyboardVersion = 4;

struct Offer {
    uint32_t name = 0;
    uint32_t version = 0;
};

void onGlobal(void* data, wl_registry*, uint32_t name, const char* interface, uint32_t version) {
    auto* offer = static_cast<Offer*>(data);
    if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 && offer->name == 0)
        *offer = {name, version};
}

void onGlobalRemove(void*, wl_registry*, uint32_t) {}

constexpr wl_registry_listener registryListener = {onGlobal, onGlobalRemove};

void onDone(void* data, wl_callback*, uint32_t) {
    *static_cast<bool*>(data) = true;
}

constexpr wl_callback_listener callbackListener = {onDone};

} // namespace

KwinKeyOutput::KwinKeyOutput(Options options)
    : EvdevKeyOutput(options.layout, options.capsLockOn), options_(std::move(options)) {
    display_ = wl_display_connect(options_.display.empty() ? nullptr : options_.display.c_str());
    if (!display_)
        throw std::runtime_error("Cannot connect to the Wayland display \"" + displayName() + "\"");
    try {
        Offer offer;
        registry_ = wl_display_get_registry(display_);
        wl_registry_add_listener(registry_, &registryListener, &offer);
        sync();
        // KWin hides the interface from programs it does not grant it, so both look alike.
        if (offer.name == 0)
            throw std::runtime_error(
                "The Wayland compositor offers no fake input (org_kde_kwin_fake_input): KWin grants it "
                "only to a program installed with a desktop file that asks for it "
                "(X-KDE-Wayland-Interfaces), as the package does");
        if (offer.version < keyboardVersion)
            throw std::runtime_error("The compositor's fake input has no keyboard (version " +
                                     std::to_string(offer.version) + ")");
        fakeInput_ = static_cast<org_kde_kwin_fake_input*>(
            wl_registry_bind(registry_, offer.name, &org_kde_kwin_fake_input_interface, keyboardVersion));
        // KWin ignores the keys of a client that has not authenticated; it handles the
        // requests in order, so keys sent after this count.
        org_kde_kwin_fake_input_authenticate(fakeInput_, "Tarovex",
                                             "Types the readings of serial instruments");
        sync();
    } catch (...) {
        disconnect();
        throw;
    }
}

KwinKeyOutput::~KwinKeyOutput() {
    disconnect();
}

void KwinKeyOutput::disconnect() noexcept {
    if (!display_)
        return;
    if (fakeInput_)
        org_kde_kwin_fake_input_destroy(fakeInput_);
    if (registry_)
        wl_registry_destroy(registry_);
    wl_display_flush(display_);
    wl_display_disconnect(display_);
    display_ = nullptr;
}

void KwinKeyOutput::writeKey(Keycode keycode, bool down) {
    org_kde_kwin_fake_input_keyboard_key(fakeInput_, keycode - evdevOffset,
                                         down ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
}

void KwinKeyOutput::keyDone() {
    sync();
}

void KwinKeyOutput::sync() {
    bool done = false;
    wl_callback* callback = wl_display_sync(display_);
    wl_callback_add_listener(callback, &callbackListener, &done);
    const auto deadline = std::chrono::steady_clock::now() + answerTimeout;
    auto fail = [&](const std::string& why) {
        wl_callback_destroy(callback);
        throw std::runtime_error(why);
    };
    while (!done) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            fail("KWin did not answer within " + std::to_string(answerTimeout.count()) + " ms");
        if (wl_display_prepare_read(display_) != 0) {
            if (wl_display_dispatch_pending(display_) < 0)
                fail(failure());
            continue;
        }
        pollfd fd{wl_display_get_fd(display_), POLLIN, 0};
        // A full socket buffer waits for KWin to read, as a blocking write would.
        const bool flushed = wl_display_flush(display_) >= 0;
        const bool full = !flushed && errno == EAGAIN;
        if (!flushed && !full) {
            wl_display_cancel_read(display_);
            fail(failure());
        }
        if (full)
            fd.events |= POLLOUT;
        const int ready = ::poll(&fd, 1, int(left.count()));
        if (ready <= 0 || !(fd.revents & (POLLIN | POLLERR | POLLHUP))) {
            wl_display_cancel_read(display_);
            if (ready < 0 && errno != EINTR)
                fail(std::string("Waiting for KWin failed: ") + std::strerror(errno));
            continue;
        }
        if (wl_display_read_events(display_) < 0 || wl_display_dispatch_pending(display_) < 0)
            fail(failure());
    }
    // Answered: the proxy is still ours to free, one per key.
    wl_callback_destroy(callback);
}

std::string KwinKeyOutput::failure() const {
    const int error = wl_display_get_error(display_);
    if (error == EPROTO)
        return "KWin ended the connection (a protocol error)";
    return std::string("The connection to KWin failed: ") + std::strerror(error ? error : errno);
}

std::string KwinKeyOutput::displayName() const {
    const char* env = std::getenv("WAYLAND_DISPLAY");
    return !options_.display.empty() ? options_.display : env && *env ? env : "wayland-0";
}

QString KwinKeyOutput::description() const {
    return QStringLiteral("KWin fake input on %1, layout %2")
        .arg(QString::fromStdString(displayName()), QString::fromStdString(layoutName()));
}

} // namespace tarovex::typing
