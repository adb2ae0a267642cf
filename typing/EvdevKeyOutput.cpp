#include "typing/EvdevKeyOutput.h"

#include <linux/input-event-codes.h>

#include <stdexcept>

namespace tarovex::typing {
namespace {

constexpr auto toggleSettle = std::chrono::milliseconds(300);

} // namespace

class EvdevKeyOutput::Sender : public StrokeSender {
public:
    Sender(EvdevKeyOutput& out) : out_(out) {}
    void key(Keycode keycode, bool down) override { out_.writeKey(keycode, down); }
    // Caps Lock is the only lock a stroke lifts; its key toggles it either way.
    void lockModifiers(ModMask mask, bool) override {
        const auto caps = capsLockKey(out_.layout_);
        if (mask != lockModMask || !caps)
            throw std::runtime_error("The virtual keyboard cannot change that lock");
        out_.writeKey(*caps, true);
        out_.writeKey(*caps, false);
        out_.lastToggle_ = std::chrono::steady_clock::now();
    }
    void lockGroup(std::size_t) override {
        throw std::runtime_error("The virtual keyboard cannot switch the keyboard group");
    }

private:
    EvdevKeyOutput& out_;
};

EvdevKeyOutput::EvdevKeyOutput(const XkbRuleNames& layout, std::function<bool()> capsLockOn)
    : names_(layout), layout_(XkbLayout::fromNames(layout)), modifiers_(modifierKeys(layout_)),
      capsLockOn_(std::move(capsLockOn)) {}

std::optional<std::string> EvdevKeyOutput::whyNot(const KeyResolution& r) const {
    if (r.kind != KeyResolution::Kind::Direct && r.kind != KeyResolution::Kind::DeadKeyThenSpace)
        return "No key of the layout types this character";
    // Pressing the key without its level's modifier would type a different character.
    return unreachableStroke(layout_, r.strokes, modifiers_);
}

std::optional<std::string> EvdevKeyOutput::cannotType(char32_t c) {
    return whyNot(resolveCharacter(layout_, c, 0));
}

void EvdevKeyOutput::type(const TypedKey& key) {
    const KeyResolution r = resolveKey(layout_, key, 0);
    if (const auto why = whyNot(r)) {
        if (key.isCharacter())
            throw CannotTypeError(key.character(), *why);
        throw std::runtime_error(r.kind == KeyResolution::Kind::Direct ? *why : "The layout has no such key");
    }
    ModifierState state;
    if (capsLockOn_ && std::chrono::steady_clock::now() - lastToggle_ > toggleSettle)
        capsLock_ = capsLockOn_();
    if (capsLock_)
        state.locked = lockModMask;
    Sender sender(*this);
    try {
        sendStrokes(sender, layout_, r.strokes, state, modifiers_);
    } catch (...) {
        keyDone(); // the releases sendStrokes made on its way out
        throw;
    }
    keyDone();
}

void EvdevKeyOutput::pressShortcut(const Shortcut& shortcut) {
    // The key that gives the keysym in any group: applications match paste keys by the key too.
    const KeyResolution r = resolveKeysym(layout_, shortcut.keysym, 0);
    if (r.kind != KeyResolution::Kind::Direct)
        throw std::runtime_error("No key of the layout makes the paste keys");
    std::vector<Keycode> keys;
    if (shortcut.control)
        keys.push_back(KEY_LEFTCTRL + evdevOffset);
    if (shortcut.shift)
        keys.push_back(KEY_LEFTSHIFT + evdevOffset);
    keys.push_back(r.strokes.front().keycode);
    Sender sender(*this);
    try {
        UndoStack undo;
        for (const Keycode key : keys) {
            sender.key(key, true);
            undo.push([&sender, key] { sender.key(key, false); });
        }
        undo.run();
    } catch (...) {
        keyDone();
        throw;
    }
    keyDone();
}

void EvdevKeyOutput::setLayout(const XkbRuleNames& names) {
    XkbLayout layout = XkbLayout::fromNames(names);
    modifiers_ = modifierKeys(layout);
    layout_ = std::move(layout);
    names_ = names;
}

std::string EvdevKeyOutput::layoutName() const {
    std::string name = names_.layout;
    if (!names_.variant.empty())
        name += "(" + names_.variant + ")";
    return name;
}

} // namespace tarovex::typing
