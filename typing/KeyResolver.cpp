#include "typing/KeyResolver.h"

#include "typing/DeadKeys.h"

#include <xkbcommon/xkbcommon-keysyms.h>

#include <bit>
#include <optional>

namespace tarovex::typing {
namespace {

bool isKeypadKeysym(Keysym s) {
    return s >= XKB_KEY_KP_Space && s <= XKB_KEY_KP_Equal;
}

struct Candidate {
    KeyStroke stroke;
    int rank = 0; // lower is better
};

// The best stroke in one group that gives a keysym for which `matches` holds.
template <typename Match>
std::optional<KeyStroke> bestInGroup(const XkbLayout& layout, std::size_t group, Match matches) {
    std::optional<Candidate> best;
    for (const XkbKey& key : layout.keys()) {
        if (group >= key.groups.size())
            continue;
        for (const XkbLevel& level : key.groups[group]) {
            if (level.keysyms.empty() || !matches(level.keysyms[0]) || level.masks.empty())
                continue;
            ModMask mods = level.masks[0];
            for (ModMask m : level.masks)
                if (std::popcount(m) < std::popcount(mods))
                    mods = m;
            const int rank = std::popcount(mods) * 2 + (isKeypadKeysym(level.keysyms[0]) ? 1 : 0);
            if (!best || rank < best->rank)
                best = Candidate{{key.keycode, group, mods, level.keysyms[0]}, rank};
        }
    }
    return best ? std::optional(best->stroke) : std::nullopt;
}

// The active group first, then the others in order.
std::vector<std::size_t> groupOrder(const XkbLayout& layout, std::size_t active) {
    std::vector<std::size_t> order;
    if (active < layout.groupCount())
        order.push_back(active);
    for (std::size_t g = 0; g < layout.groupCount(); ++g)
        if (g != active)
            order.push_back(g);
    return order;
}

template <typename Match>
std::optional<KeyStroke> bestInLayout(const XkbLayout& layout, std::size_t active, Match matches) {
    for (std::size_t g : groupOrder(layout, active))
        if (auto stroke = bestInGroup(layout, g, matches))
            return stroke;
    return std::nullopt;
}

KeyResolution direct(KeyStroke stroke, Keysym wanted) {
    return {KeyResolution::Kind::Direct, {stroke}, wanted};
}

KeyResolution spareOrNothing(const XkbLayout& layout, Keysym wanted) {
    if (const auto spare = layout.spareKeycode())
        return {KeyResolution::Kind::SpareKeycode, {{*spare, 0, 0, wanted}}, wanted};
    return {KeyResolution::Kind::Unavailable, {}, wanted};
}

} // namespace

Keysym namedKeysym(NamedKey key) noexcept {
    switch (key) {
    case NamedKey::Enter:
        return XKB_KEY_Return;
    case NamedKey::Tab:
        return XKB_KEY_Tab;
    case NamedKey::Escape:
        return XKB_KEY_Escape;
    case NamedKey::Backspace:
        return XKB_KEY_BackSpace;
    case NamedKey::Delete:
        return XKB_KEY_Delete;
    case NamedKey::Insert:
        return XKB_KEY_Insert;
    case NamedKey::Left:
        return XKB_KEY_Left;
    case NamedKey::Right:
        return XKB_KEY_Right;
    case NamedKey::Up:
        return XKB_KEY_Up;
    case NamedKey::Down:
        return XKB_KEY_Down;
    case NamedKey::Home:
        return XKB_KEY_Home;
    case NamedKey::End:
        return XKB_KEY_End;
    case NamedKey::PageUp:
        return XKB_KEY_Prior;
    case NamedKey::PageDown:
        return XKB_KEY_Next;
    default:
        return XKB_KEY_F1 + (int(key) - int(NamedKey::F1));
    }
}

KeyResolution resolveKeysym(const XkbLayout& layout, Keysym keysym, std::size_t activeGroup) {
    if (auto stroke = bestInLayout(layout, activeGroup, [&](Keysym s) { return s == keysym; }))
        return direct(*stroke, keysym);
    return spareOrNothing(layout, keysym);
}

KeyResolution resolveCharacter(const XkbLayout& layout, char32_t c, std::size_t activeGroup) {
    const Keysym wanted = utf32ToKeysym(c);
    if (auto stroke = bestInLayout(layout, activeGroup, [&](Keysym s) { return s == wanted; }))
        return direct(*stroke, wanted);
    // Another keysym of the same character, such as a keypad key.
    if (auto stroke = bestInLayout(layout, activeGroup, [&](Keysym s) { return keysymToUtf32(s) == c; }))
        return direct(*stroke, wanted);
    if (auto dead = bestInLayout(layout, activeGroup,
                                 [&](Keysym s) { return isDeadKeysym(s) && spacingMark(s) == c; })) {
        if (auto space = bestInGroup(layout, dead->group, [](Keysym s) { return s == XKB_KEY_space; }))
            return {KeyResolution::Kind::DeadKeyThenSpace, {*dead, *space}, wanted};
    }
    if (wanted == 0)
        return {KeyResolution::Kind::Unavailable, {}, 0};
    return spareOrNothing(layout, wanted);
}

KeyResolution resolveKey(const XkbLayout& layout, const TypedKey& key, std::size_t activeGroup) {
    if (key.isCharacter())
        return resolveCharacter(layout, key.character(), activeGroup);
    return resolveKeysym(layout, keyKeysym(key), activeGroup);
}

Keysym keyKeysym(const TypedKey& key) noexcept {
    if (const auto* k = std::get_if<KeysymKey>(&key.value))
        return k->keysym;
    if (const auto* n = std::get_if<NamedKey>(&key.value))
        return namedKeysym(*n);
    return 0;
}

} // namespace tarovex::typing
