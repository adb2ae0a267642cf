#include "typing/KeysymPlan.h"

#include "typing/KeyResolver.h"

#include <algorithm>

namespace tarovex::typing {
namespace {

constexpr Keysym shiftKeysym = 0xffe1;      // Shift_L
constexpr Keysym levelThreeKeysym = 0xfe03; // ISO_Level3_Shift

bool hasKeysym(const XkbLayout& layout, Keysym keysym) {
    return std::any_of(layout.keys().begin(), layout.keys().end(), [&](const XkbKey& key) {
        return !key.groups.empty() && !key.groups[0].empty() &&
               std::find(key.groups[0][0].keysyms.begin(), key.groups[0][0].keysyms.end(), keysym) !=
                   key.groups[0][0].keysyms.end();
    });
}

// Why Mutter cannot type the keysym on that layout, empty when it can. Mutter takes the first
// key in keycode order that has the keysym at any level of the active group, and holds Shift
// for the second level and AltGr for the third; any other level it cannot reach.
std::string whyNotKeysym(const XkbLayout& layout, Keysym keysym) {
    for (const XkbKey& key : layout.keys()) {
        if (key.groups.empty())
            continue;
        const std::vector<XkbLevel>& levels = key.groups[0];
        for (std::size_t level = 0; level < levels.size(); ++level) {
            const auto& syms = levels[level].keysyms;
            if (std::find(syms.begin(), syms.end(), keysym) == syms.end())
                continue;
            const auto& masks = levels[level].masks;
            const auto reachedBy = [&](ModMask mask, Keysym modifier) {
                return mask != 0 && std::find(masks.begin(), masks.end(), mask) != masks.end() &&
                       hasKeysym(layout, modifier);
            };
            if (level == 0 || (level == 1 && reachedBy(layout.shiftMask(), shiftKeysym)) ||
                (level == 2 && reachedBy(layout.levelThreeMask(), levelThreeKeysym)))
                return {};
            return "The key of this character on the layout takes modifiers that GNOME's remote "
                   "desktop does not press";
        }
    }
    return "No key of the layout types this character";
}

} // namespace

std::vector<Keysym> keysymPlan(const XkbLayout& layout, const TypedKey& key, std::string& why) {
    if (!key.isCharacter())
        return {keyKeysym(key)};
    const char32_t c = key.character();
    // Control characters have keysyms of their own (Return, Tab) that mean another key.
    const Keysym keysym = c >= 0x20 && !(c >= 0x7f && c < 0xa0) ? utf32ToKeysym(c) : 0;
    if (keysym == 0) {
        why = "No key types this character";
        return {};
    }
    why = whyNotKeysym(layout, keysym);
    if (why.empty())
        return {keysym};
    // A mark that only a dead key gives: the dead key, then Space.
    const KeyResolution r = resolveCharacter(layout, c, 0);
    if (r.kind == KeyResolution::Kind::DeadKeyThenSpace &&
        whyNotKeysym(layout, r.strokes[0].keysym).empty() &&
        whyNotKeysym(layout, r.strokes[1].keysym).empty()) {
        why.clear();
        return {r.strokes[0].keysym, r.strokes[1].keysym};
    }
    return {};
}

} // namespace tarovex::typing
