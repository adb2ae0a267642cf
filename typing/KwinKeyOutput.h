#pragma once

#include "typing/EvdevKeyOutput.h"

#include <chrono>
#include <functional>
#include <string>

struct wl_display;
struct wl_registry;
struct org_kde_kwin_fake_input;

namespace tarovex::typing {

// Types through KWin's fake input (org_kde_kwin_fake_input), on KDE Plasma's Wayland session,
// without /dev/uinput. Like uinput it sends evdev key codes that KWin translates with the
// layout it applies, so the codes come from that layout's keymap.
// KWin offers the interface only to a program whose desktop file, found by the path of its
// executable, lists it in X-KDE-Wayland-Interfaces: the installed package's.
class KwinKeyOutput : public EvdevKeyOutput {
public:
    struct Options {
        // $WAYLAND_DISPLAY's form: a socket name under $XDG_RUNTIME_DIR or an absolute path;
        // empty for the environment's.
        std::string display;
        XkbRuleNames layout;
        // Whether Caps Lock is on when a key is typed; unknown counts as off.
        std::function<bool()> capsLockOn;
    };
    // How long KWin may take to answer before a key counts as failed.
    static constexpr std::chrono::milliseconds answerTimeout{5000};

    // Connects and authenticates. Throws std::runtime_error when there is no compositor or it
    // does not grant the interface to this program.
    explicit KwinKeyOutput(Options options);
    ~KwinKeyOutput() override;
    KwinKeyOutput(const KwinKeyOutput&) = delete;
    KwinKeyOutput& operator=(const KwinKeyOutput&) = delete;

    QString description() const override;
    // Held modifiers stay unknown: the interface only sends.

private:
    void writeKey(Keycode keycode, bool down) override;
    // Waits until KWin has handled every key sent, so that a failure is the key's.
    void keyDone() override;
    void disconnect() noexcept;
    // A roundtrip that gives up after answerTimeout.
    void sync();
    std::string failure() const;
    std::string displayName() const;

    Options options_;
    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    org_kde_kwin_fake_input* fakeInput_ = nullptr;
};

} // namespace tarovex::typing
