#include "typing/X11KeyOutput.h"

#include "typing/X11ErrorTrap.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib-xcb.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include <unistd.h>

namespace tarovex::typing {
namespace {

// How many spare keycodes are remapped in turn, the least recently used first. Xlib notes a
// mapping change when it reads the notification off the wire and fetches the new mapping at
// the next lookup, so a client that lags translates older key events with newer mappings: a
// keycode keeps its keysym as long as there are others to take, and is restored only at the
// end.
constexpr std::size_t sparePoolSize = 100;
// How long a remapped keycode keeps its keysym after its last stroke before it is restored.
constexpr auto spareHold = std::chrono::milliseconds(200);
// How long the keyboard mapping stays unchanged after our last key event. An Xlib client
// fetches its keymap when it translates its first key event and only then asks to be told
// of changes; a remapping that falls between the two never reaches it, so it would look the
// spare keycode up as giving nothing.
constexpr auto remapSettle = std::chrono::milliseconds(30);

template <auto Free> struct Deleter {
    template <typename T> void operator()(T* p) const noexcept { Free(p); }
};
using ContextPtr = std::unique_ptr<xkb_context, Deleter<xkb_context_unref>>;
using KeymapPtr = std::unique_ptr<xkb_keymap, Deleter<xkb_keymap_unref>>;

void freeX(void* p) {
    XFree(p);
}
using XMemory = std::unique_ptr<void, Deleter<freeX>>;

bool inPool(const std::vector<Keycode>& pool, int first, int count) {
    for (int k = first; k < first + count; ++k)
        if (std::find(pool.begin(), pool.end(), Keycode(k)) == pool.end())
            return false;
    return true;
}

std::vector<std::string> split(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const auto comma = text.find(',', start);
        parts.push_back(text.substr(start, comma - start));
        if (comma == std::string::npos)
            return parts;
        start = comma + 1;
    }
}

// Holds the server from the focus check to the last event of a key: no other client (a
// click's window manager, a window that pops up) can move the focus in between, so the key
// goes where the check found the value's window. Released on every way out.
class FocusHold {
public:
    FocusHold(Display* d, const std::optional<KeyTarget>& expected) : d_(expected ? d : nullptr) {
        if (!d_)
            return; // nobody asked where keys go: nothing to hold to
        XGrabServer(d_);
        Window focus = None;
        int revert = 0;
        XGetInputFocus(d_, &focus, &revert);
        if (focus != expected->window) {
            release();
            throw FocusMovedError();
        }
    }
    ~FocusHold() { release(); }
    FocusHold(const FocusHold&) = delete;
    FocusHold& operator=(const FocusHold&) = delete;

private:
    void release() {
        if (!d_)
            return;
        XUngrabServer(d_);
        XFlush(d_);
        d_ = nullptr;
    }
    Display* d_;
};

} // namespace

class X11KeyOutput::Sender : public StrokeSender {
public:
    explicit Sender(Display* d) : d_(d) {}
    // Paced: each press alone is held to the value's window (a viewer reads no events while
    // the server is held, and would forward them in a burst), each event waits out `gap`.
    Sender(Display* d, std::chrono::milliseconds gap, const std::optional<KeyTarget>& expected)
        : d_(d), gap_(gap), expected_(&expected) {}
    void key(Keycode keycode, bool down) override {
        // A release goes wherever the focus is: nothing may stay down.
        std::optional<FocusHold> hold;
        if (expected_ && down)
            hold.emplace(d_, *expected_);
        if (!XTestFakeKeyEvent(d_, keycode, down ? True : False, CurrentTime))
            throw std::runtime_error("XTest refused the key event");
        hold.reset();
        settle();
    }
    void lockModifiers(ModMask mask, bool on) override {
        if (!XkbLockModifiers(d_, XkbUseCoreKbd, mask, on ? mask : 0))
            throw std::runtime_error("The X server refused to change the locked modifiers");
        settle();
    }
    void lockGroup(std::size_t group) override {
        if (!XkbLockGroup(d_, XkbUseCoreKbd, unsigned(group)))
            throw std::runtime_error("The X server refused to change the keyboard group");
        settle();
    }

private:
    void settle() {
        if (gap_.count() <= 0)
            return;
        XSync(d_, False);
        std::this_thread::sleep_for(gap_);
    }
    Display* d_;
    std::chrono::milliseconds gap_{0};
    const std::optional<KeyTarget>* expected_ = nullptr;
};

void X11KeyOutput::DisplayCloser::operator()(Display* d) const noexcept {
    XCloseDisplay(d);
}

X11KeyOutput::X11KeyOutput(const std::string& displayName, std::optional<std::chrono::milliseconds> remoteGap)
    : remoteGap_(remoteGap) {
    display_.reset(XOpenDisplay(displayName.empty() ? nullptr : displayName.c_str()));
    if (!display_) {
        const char* env = displayName.empty() ? std::getenv("DISPLAY") : displayName.c_str();
        throw std::runtime_error("Cannot open the X display \"" + std::string(env ? env : "") + "\"");
    }
    int event = 0, error = 0, major = 0, minor = 0, opcode = 0;
    if (!XTestQueryExtension(display_.get(), &event, &error, &major, &minor))
        throw std::runtime_error("The X server has no XTest extension");
    major = XkbMajorVersion;
    minor = XkbMinorVersion;
    if (!XkbQueryExtension(display_.get(), &opcode, &xkbEventBase_, &error, &major, &minor))
        throw std::runtime_error("The X server has no XKB extension");
    if (!xkb_x11_setup_xkb_extension(XGetXCBConnection(display_.get()), XKB_X11_MIN_MAJOR_XKB_VERSION,
                                     XKB_X11_MIN_MINOR_XKB_VERSION, XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS,
                                     nullptr, nullptr, nullptr, nullptr))
        throw std::runtime_error("The X server's XKB extension cannot be used");
    XkbSelectEvents(display_.get(), XkbUseCoreKbd, XkbNewKeyboardNotifyMask | XkbMapNotifyMask,
                    XkbNewKeyboardNotifyMask | XkbMapNotifyMask);
    takeSnapshot();
}

X11KeyOutput::~X11KeyOutput() {
    try {
        const auto now = std::chrono::steady_clock::now();
        auto last = std::chrono::steady_clock::time_point{};
        for (const SpareSlot& s : spare_)
            if (s.keysym)
                last = std::max(last, s.lastUse);
        if (last + spareHold > now)
            std::this_thread::sleep_for(last + spareHold - now);
        X11ErrorTrap trap(display_.get());
        for (SpareSlot& s : spare_)
            if (s.keysym) {
                KeySym none = NoSymbol;
                XChangeKeyboardMapping(display_.get(), int(s.keycode), 1, &none, 1);
            }
        trap.sync();
    } catch (...) {
    }
}

void X11KeyOutput::takeSnapshot() {
    xcb_connection_t* xcb = XGetXCBConnection(display_.get());
    XSync(display_.get(), False);
    ContextPtr context(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
    if (!context)
        throw std::runtime_error("The XKB library could not be initialised");
    const int32_t device = xkb_x11_get_core_keyboard_device_id(xcb);
    KeymapPtr keymap(
        device < 0 ? nullptr
                   : xkb_x11_keymap_new_from_device(context.get(), xcb, device, XKB_KEYMAP_COMPILE_NO_FLAGS));
    if (!keymap)
        throw std::runtime_error("The keyboard mapping of the X server cannot be read");
    const XkbLayout full(keymap.get());

    // Keep the spare keycodes that still give nothing or what we gave them; top up the pool.
    std::vector<SpareSlot> kept;
    for (SpareSlot s : spare_) {
        const Keysym now = full.keysym(s.keycode, 0, 0);
        if (now == 0 || now == s.keysym) {
            s.keysym = now;
            kept.push_back(s);
        }
    }
    for (Keycode k : spareKeycodes(full, sparePoolSize + kept.size())) {
        if (kept.size() >= sparePoolSize)
            break;
        if (std::none_of(kept.begin(), kept.end(), [&](const SpareSlot& s) { return s.keycode == k; }))
            kept.push_back({k, 0, {}});
    }
    spare_ = std::move(kept);

    // The pool is ours: the resolver must not pick a keycode whose keysym changes under it.
    std::vector<XkbKey> keys;
    for (const XkbKey& key : full.keys())
        if (std::none_of(spare_.begin(), spare_.end(),
                         [&](const SpareSlot& s) { return s.keycode == key.keycode; }))
            keys.push_back(key);
    layout_.emplace(std::move(keys), full.groupNames(), full.shiftMask(), full.levelThreeMask());
    modifiers_ = modifierKeys(*layout_);
    layoutNames_ = readLayoutNames();
}

void X11KeyOutput::handleEvents() {
    std::vector<Keycode> pool;
    for (const SpareSlot& s : spare_)
        pool.push_back(s.keycode);
    bool stale = false;
    while (XPending(display_.get())) {
        XEvent event;
        XNextEvent(display_.get(), &event);
        if (event.type != xkbEventBase_)
            continue;
        const auto* xkb = reinterpret_cast<const XkbEvent*>(&event);
        if (xkb->any.xkb_type == XkbNewKeyboardNotify) {
            stale = true;
        } else if (xkb->any.xkb_type == XkbMapNotify) {
            // Our own remapping of a spare keycode changes nothing else.
            const XkbMapNotifyEvent& m = xkb->map;
            const bool ours = inPool(pool, m.first_key_sym, m.num_key_syms) &&
                              inPool(pool, m.first_key_act, m.num_key_acts) &&
                              inPool(pool, m.first_key_behavior, m.num_key_behaviors) &&
                              inPool(pool, m.first_key_explicit, m.num_key_explicit) &&
                              inPool(pool, m.first_modmap_key, m.num_modmap_keys) &&
                              inPool(pool, m.first_vmodmap_key, m.num_vmodmap_keys);
            const bool anyKeys = m.num_key_syms || m.num_key_acts || m.num_key_behaviors ||
                                 m.num_key_explicit || m.num_modmap_keys || m.num_vmodmap_keys;
            if (!ours || !anyKeys)
                stale = true;
        }
    }
    if (stale)
        takeSnapshot();
}

ModifierState X11KeyOutput::currentState() const {
    XkbStateRec st{};
    if (XkbGetState(display_.get(), XkbUseCoreKbd, &st) != Success)
        throw std::runtime_error("The keyboard state of the X server cannot be read");
    return {ModMask(st.base_mods | st.latched_mods), ModMask(st.locked_mods), std::size_t(st.group)};
}

std::optional<bool> X11KeyOutput::keysHeld() {
    char keys[32] = {};
    XQueryKeymap(display_.get(), keys);
    return std::any_of(std::begin(keys), std::end(keys), [](char c) { return c != 0; });
}

std::optional<KeyTarget> X11KeyOutput::target() {
    X11ErrorTrap trap(display_.get());
    Window focus = None;
    int revert = 0;
    XGetInputFocus(display_.get(), &focus, &revert);
    if (lastTarget_ && lastTarget_->window == focus)
        return lastTarget_;
    KeyTarget t{focus, focus != None && focus != PointerRoot && isOurs(focus)};
    if (trap.sync() != 0)
        return KeyTarget{focus, false}; // gone while we looked: not ours, and asked again next time
    lastTarget_ = t;
    return t;
}

// The window manager may give the focus to a frame or a child: the nearest window up the
// tree that names a process decides.
bool X11KeyOutput::isOurs(unsigned long window) {
    Display* d = display_.get();
    const Atom pidAtom = XInternAtom(d, "_NET_WM_PID", False);
    const Window rootWindow = DefaultRootWindow(d);
    for (Window w = window; w && w != rootWindow;) {
        Atom type = None;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(d, w, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &items, &after, &data) ==
                Success &&
            data) {
            const XMemory held(data);
            if (format == 32 && items == 1)
                return static_cast<unsigned long>(*reinterpret_cast<long*>(data)) ==
                       static_cast<unsigned long>(::getpid());
        }
        Window root = 0, parent = 0, *children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(d, w, &root, &parent, &children, &count))
            return false;
        if (children)
            XFree(children);
        w = parent;
    }
    return false;
}

void X11KeyOutput::type(const TypedKey& key) {
    X11ErrorTrap trap(display_.get());
    handleEvents();
    const ModifierState state = currentState();
    const KeyResolution r = resolveKey(*layout_, key, state.group);
    if (remoteGap_) {
        if (const auto why = remoteRefusal(r, state.group)) {
            if (key.isCharacter())
                throw CannotTypeError(key.character(), *why);
            throw std::runtime_error(*why);
        }
        Sender paced(display_.get(), *remoteGap_, lastTarget_);
        sendStrokes(paced, *layout_, r.strokes, state, modifiers_);
        if (const int code = trap.sync())
            throw std::runtime_error("The X server refused a key event (error " + std::to_string(code) + ")");
        lastKeyEvent_ = std::chrono::steady_clock::now();
        return;
    }
    Sender sender(display_.get());
    switch (r.kind) {
    case KeyResolution::Kind::Direct:
    case KeyResolution::Kind::DeadKeyThenSpace: {
        const FocusHold hold(display_.get(), lastTarget_);
        sendStrokes(sender, *layout_, r.strokes, state, modifiers_);
        break;
    }
    case KeyResolution::Kind::SpareKeycode:
    case KeyResolution::Kind::Unavailable: {
        if (r.keysym == 0 || spare_.empty()) {
            if (key.isCharacter())
                throw CannotTypeError(key.character(),
                                      "No key of the X keyboard layout types this character");
            throw std::runtime_error("No key of the X keyboard layout is that key");
        }
        // The remapping waits for clients to see the new mapping: not while the server is held.
        SpareSlot& slot = slotFor(r.keysym);
        const FocusHold hold(display_.get(), lastTarget_);
        typeOnSpare(slot, r.keysym, state);
        break;
    }
    }
    const int code = trap.sync();
    lastKeyEvent_ = std::chrono::steady_clock::now();
    if (code)
        throw std::runtime_error("The X server refused a key event (error " + std::to_string(code) + ")");
}

// A remote viewer or virtual machine sees the key codes of the layout and the keys pressed,
// not a keycode remapped on the fly nor a locked group.
std::optional<std::string> X11KeyOutput::remoteRefusal(const KeyResolution& r, std::size_t group) const {
    if (r.kind == KeyResolution::Kind::SpareKeycode || r.kind == KeyResolution::Kind::Unavailable)
        return "No key of the X keyboard layout types this character, and a remote session cannot follow a "
               "remapped keycode";
    for (const KeyStroke& stroke : r.strokes)
        if (stroke.group != group)
            return "This character is only on another group of the X keyboard layout, which a remote session "
                   "does not share";
    return unreachableStroke(*layout_, r.strokes, modifiers_);
}

std::optional<std::string> X11KeyOutput::cannotType(char32_t c) {
    if (!remoteGap_)
        return std::nullopt;
    try {
        handleEvents();
        const std::size_t group = currentState().group;
        return remoteRefusal(resolveCharacter(*layout_, c, group), group);
    } catch (const std::exception&) {
        return std::nullopt; // typing tells
    }
}

// The modifiers' and the key's own keycodes, whatever the layout's group: applications take a
// shortcut by its key.
void X11KeyOutput::pressShortcut(const Shortcut& shortcut) {
    X11ErrorTrap trap(display_.get());
    handleEvents();
    Display* d = display_.get();
    std::vector<Keycode> keys;
    if (shortcut.control)
        keys.push_back(XKeysymToKeycode(d, XK_Control_L));
    if (shortcut.shift)
        keys.push_back(XKeysymToKeycode(d, XK_Shift_L));
    keys.push_back(XKeysymToKeycode(d, shortcut.keysym));
    if (std::find(keys.begin(), keys.end(), Keycode(0)) != keys.end())
        throw std::runtime_error("No key of the X keyboard layout makes the paste keys");
    {
        Sender sender(d);
        UndoStack undo;
        const FocusHold hold(d, lastTarget_);
        for (const Keycode key : keys) {
            sender.key(key, true);
            undo.push([&sender, key] { sender.key(key, false); });
        }
        undo.run();
    }
    const int code = trap.sync();
    lastKeyEvent_ = std::chrono::steady_clock::now();
    if (code)
        throw std::runtime_error("The X server refused a key event (error " + std::to_string(code) + ")");
}

void X11KeyOutput::typeOnSpare(SpareSlot& slot, Keysym keysym, const ModifierState& state) {
    Sender sender(display_.get());
    UndoStack undo;
    // The spare key gives its keysym on both levels; only Caps Lock could change a letter.
    if ((state.locked & lockModMask) && isCased(keysym)) {
        sender.lockModifiers(lockModMask, false);
        undo.push([&] { sender.lockModifiers(lockModMask, true); });
    }
    sender.key(slot.keycode, true);
    undo.push([&] { sender.key(slot.keycode, false); });
    undo.run();
    slot.lastUse = std::chrono::steady_clock::now();
}

X11KeyOutput::SpareSlot& X11KeyOutput::slotFor(Keysym keysym) {
    for (SpareSlot& s : spare_)
        if (s.keysym == keysym)
            return s;
    SpareSlot& oldest =
        *std::min_element(spare_.begin(), spare_.end(),
                          [](const SpareSlot& a, const SpareSlot& b) { return a.lastUse < b.lastUse; });
    const auto reusable = oldest.lastUse + spareHold;
    if (oldest.keysym && reusable > std::chrono::steady_clock::now())
        std::this_thread::sleep_until(reusable);
    std::this_thread::sleep_until(lastKeyEvent_ + remapSettle);
    remap(oldest.keycode, keysym);
    oldest.keysym = keysym;
    return oldest;
}

void X11KeyOutput::remap(Keycode keycode, Keysym keysym) {
    KeySym syms[2] = {keysym, keysym};
    XChangeKeyboardMapping(display_.get(), int(keycode), 2, syms, 1);
    XSync(display_.get(), False);
    // The key is only pressed once the server answers with the new mapping.
    for (int attempt = 0; attempt < 100; ++attempt) {
        int perKeycode = 0;
        XMemory map(XGetKeyboardMapping(display_.get(), KeyCode(keycode), 1, &perKeycode));
        if (map && perKeycode > 0 && static_cast<KeySym*>(map.get())[0] == keysym)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    throw std::runtime_error("The X server did not apply the mapping of spare keycode " +
                             std::to_string(keycode));
}

std::string X11KeyOutput::readLayoutNames() const {
    Display* d = display_.get();
    const Atom names = XInternAtom(d, "_XKB_RULES_NAMES", True);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::vector<std::string> fields;
    if (names != None &&
        XGetWindowProperty(d, DefaultRootWindow(d), names, 0, 1024, False, XA_STRING, &type, &format, &count,
                           &after, &data) == Success &&
        data) {
        XMemory owner(data);
        const char* p = reinterpret_cast<const char*>(data);
        for (const char* end = p + count; p < end; p += fields.back().size() + 1)
            fields.emplace_back(p);
    }
    if (fields.size() < 3 || fields[2].empty()) {
        std::string joined;
        for (const std::string& g : layout_->groupNames())
            joined += (joined.empty() ? "" : ", ") + g;
        return joined;
    }
    const std::vector<std::string> layouts = split(fields[2]);
    const std::vector<std::string> variants = split(fields.size() > 3 ? fields[3] : "");
    std::string text;
    for (std::size_t i = 0; i < layouts.size(); ++i) {
        text += (i ? "," : "") + layouts[i];
        if (i < variants.size() && !variants[i].empty())
            text += "(" + variants[i] + ")";
    }
    return text;
}

QString X11KeyOutput::description() const {
    QString text = QStringLiteral("X11 (XTest), layout %1").arg(QString::fromStdString(layoutNames_));
    if (remoteGap_)
        text += QStringLiteral(", remote session mode: %1 ms after each key event, no remapped keycodes")
                    .arg(remoteGap_->count());
    return text;
}

} // namespace tarovex::typing
