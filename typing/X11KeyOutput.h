#pragma once

#include "typing/KeyOutput.h"
#include "typing/StrokeTyping.h"
#include "typing/XkbLayout.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

typedef struct _XDisplay Display;

namespace tarovex::typing {

// Types on an X server through XTest, on the keyboard layout the server actually uses: a
// snapshot of its core keyboard's XKB keymap, taken again whenever the mapping changes.
// A character no key produces is typed on a spare keycode remapped to its keysym.
//
// For a remote desktop viewer or a virtual machine's window (`remoteGap` set), which forward
// key codes or keysyms on their own and cannot follow a remapped keycode nor keep up with a
// burst: each key event is followed by the gap, the server is held only for each press, and
// only keys of the active group type; any other character is refused before typing.
class X11KeyOutput : public KeyOutput {
public:
    // The least pause after each key event in a remote session.
    static constexpr std::chrono::milliseconds remoteKeyGap{20};

    // Connects to the display of that name (empty: $DISPLAY). Throws std::runtime_error when
    // the display cannot be opened or lacks XTest or XKB.
    explicit X11KeyOutput(const std::string& displayName = {},
                          std::optional<std::chrono::milliseconds> remoteGap = std::nullopt);
    // Gives every remapped keycode back its empty mapping.
    ~X11KeyOutput() override;

    void type(const TypedKey& key) override;
    // In a remote session, why the character has no key of the active group; else nothing.
    std::optional<std::string> cannotType(char32_t c) override;
    void pressShortcut(const Shortcut& shortcut) override;
    QString description() const override;
    // From the server's key map: any key down on any keyboard (XTest's too).
    std::optional<bool> keysHeld() override;
    // The focus window, ours when it or a window above it carries this process's id.
    std::optional<KeyTarget> target() override;

private:
    struct DisplayCloser {
        void operator()(Display* d) const noexcept;
    };
    // A spare keycode and the keysym we gave it, if any.
    struct SpareSlot {
        Keycode keycode = 0;
        Keysym keysym = 0;
        std::chrono::steady_clock::time_point lastUse{};
    };
    class Sender;

    void takeSnapshot();
    void handleEvents();
    ModifierState currentState() const;
    void typeOnSpare(SpareSlot& slot, Keysym keysym, const ModifierState& state);
    SpareSlot& slotFor(Keysym keysym);
    void remap(Keycode keycode, Keysym keysym);
    std::string readLayoutNames() const;
    bool isOurs(unsigned long window);
    std::optional<std::string> remoteRefusal(const KeyResolution& r, std::size_t group) const;

    std::unique_ptr<Display, DisplayCloser> display_;
    int xkbEventBase_ = 0;
    std::optional<XkbLayout> layout_;
    std::vector<ModifierKey> modifiers_;
    std::vector<SpareSlot> spare_;
    std::string layoutNames_;
    // When the server had processed our last key event.
    std::chrono::steady_clock::time_point lastKeyEvent_{};
    // The last window asked about; a window id keeps its owner while it lives.
    std::optional<KeyTarget> lastTarget_;
    std::optional<std::chrono::milliseconds> remoteGap_;
};

} // namespace tarovex::typing
