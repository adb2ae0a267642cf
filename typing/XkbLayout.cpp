#include "typing/XkbLayout.h"

#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <memory>
#include <stdexcept>

namespace tarovex::typing {
namespace {

struct ContextDeleter {
    void operator()(xkb_context* c) const noexcept { xkb_context_unref(c); }
};
struct KeymapDeleter {
    void operator()(xkb_keymap* k) const noexcept { xkb_keymap_unref(k); }
};
struct StateDeleter {
    void operator()(xkb_state* s) const noexcept { xkb_state_unref(s); }
};

XkbKey snapshotKey(xkb_keymap* keymap, xkb_keycode_t keycode) {
    XkbKey key;
    key.keycode = keycode;
    if (const char* name = xkb_keymap_key_get_name(keymap, keycode))
        key.name = name;
    const xkb_layout_index_t groups = xkb_keymap_num_layouts_for_key(keymap, keycode);
    for (xkb_layout_index_t g = 0; g < groups; ++g) {
        std::vector<XkbLevel>& levels = key.groups.emplace_back();
        const xkb_level_index_t count = xkb_keymap_num_levels_for_key(keymap, keycode, g);
        for (xkb_level_index_t l = 0; l < count; ++l) {
            XkbLevel& level = levels.emplace_back();
            const xkb_keysym_t* syms = nullptr;
            const int n = xkb_keymap_key_get_syms_by_level(keymap, keycode, g, l, &syms);
            level.keysyms.assign(syms, syms + std::max(n, 0));
            xkb_mod_mask_t masks[64];
            const std::size_t m = xkb_keymap_key_get_mods_for_level(keymap, keycode, g, l, masks, 64);
            level.masks.assign(masks, masks + m);
        }
    }
    return key;
}

// The real modifier a key with ISO_Level3_Shift sets: whatever the layout binds it to.
ModMask levelThreeOf(xkb_keymap* keymap, const std::vector<XkbKey>& keys) {
    for (const XkbKey& key : keys) {
        if (key.groups.empty() || key.groups[0].empty() || key.groups[0][0].keysyms.empty() ||
            key.groups[0][0].keysyms[0] != XKB_KEY_ISO_Level3_Shift)
            continue;
        std::unique_ptr<xkb_state, StateDeleter> state(xkb_state_new(keymap));
        if (!state)
            return 0;
        xkb_state_update_key(state.get(), key.keycode, XKB_KEY_DOWN);
        if (const ModMask mask = xkb_state_serialize_mods(state.get(), XKB_STATE_MODS_DEPRESSED))
            return mask;
    }
    return 0;
}

} // namespace

ModMask XkbKey::relevantMods(std::size_t group) const {
    ModMask all = 0;
    if (group < groups.size())
        for (const XkbLevel& level : groups[group])
            for (ModMask m : level.masks)
                all |= m;
    return all;
}

XkbLayout::XkbLayout(xkb_keymap* keymap) {
    if (!keymap)
        throw std::invalid_argument("No XKB keymap to take a snapshot of");
    minKeycode_ = xkb_keymap_min_keycode(keymap);
    maxKeycode_ = xkb_keymap_max_keycode(keymap);
    for (xkb_keycode_t k = minKeycode_; k <= maxKeycode_; ++k)
        keys_.push_back(snapshotKey(keymap, k));
    for (xkb_layout_index_t g = 0; g < xkb_keymap_num_layouts(keymap); ++g) {
        const char* name = xkb_keymap_layout_get_name(keymap, g);
        groupNames_.emplace_back(name ? name : "");
    }
    const xkb_mod_index_t shift = xkb_keymap_mod_get_index(keymap, XKB_MOD_NAME_SHIFT);
    shift_ = shift == XKB_MOD_INVALID ? 0 : ModMask(1) << shift;
    levelThree_ = levelThreeOf(keymap, keys_);
}

XkbLayout::XkbLayout(std::vector<XkbKey> keys, std::vector<std::string> groupNames, ModMask shift,
                     ModMask levelThree)
    : keys_(std::move(keys)), groupNames_(std::move(groupNames)), shift_(shift), levelThree_(levelThree) {
    std::sort(keys_.begin(), keys_.end(),
              [](const XkbKey& a, const XkbKey& b) { return a.keycode < b.keycode; });
    if (!keys_.empty()) {
        minKeycode_ = keys_.front().keycode;
        maxKeycode_ = keys_.back().keycode;
    }
}

XkbLayout XkbLayout::fromNames(const XkbRuleNames& names) {
    std::unique_ptr<xkb_context, ContextDeleter> context(xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES));
    if (!context)
        throw std::runtime_error("The XKB library could not be initialised");
    const xkb_rule_names rmlvo{names.rules.c_str(), names.model.c_str(), names.layout.c_str(),
                               names.variant.c_str(), names.options.c_str()};
    std::unique_ptr<xkb_keymap, KeymapDeleter> keymap(
        xkb_keymap_new_from_names(context.get(), &rmlvo, XKB_KEYMAP_COMPILE_NO_FLAGS));
    if (!keymap) {
        std::string layout = names.layout;
        if (!names.variant.empty())
            layout += "(" + names.variant + ")";
        throw std::runtime_error("The XKB keyboard layout \"" + layout + "\" could not be compiled");
    }
    return XkbLayout(keymap.get());
}

const XkbKey* XkbLayout::key(Keycode keycode) const noexcept {
    const auto it = std::lower_bound(keys_.begin(), keys_.end(), keycode,
                                     [](const XkbKey& k, Keycode c) { return k.keycode < c; });
    return it != keys_.end() && it->keycode == keycode ? &*it : nullptr;
}

Keysym XkbLayout::keysym(Keycode keycode, std::size_t group, ModMask mods) const noexcept {
    const XkbKey* k = key(keycode);
    if (!k || k->groups.empty())
        return 0;
    group %= k->groups.size();
    const std::vector<XkbLevel>& levels = k->groups[group];
    const ModMask wanted = mods & k->relevantMods(group);
    const XkbLevel* chosen = levels.empty() ? nullptr : &levels[0];
    for (const XkbLevel& level : levels)
        if (std::find(level.masks.begin(), level.masks.end(), wanted) != level.masks.end()) {
            chosen = &level;
            break;
        }
    return chosen && !chosen->keysyms.empty() ? chosen->keysyms[0] : 0;
}

std::optional<Keycode> XkbLayout::spareKeycode() const noexcept {
    // From the top down: the highest codes are the least likely to be in use.
    for (Keycode c = maxKeycode_; c >= minKeycode_ && c > 0; --c) {
        const XkbKey* k = key(c);
        const bool empty = !k || std::all_of(k->groups.begin(), k->groups.end(), [](const auto& levels) {
            return std::all_of(levels.begin(), levels.end(),
                               [](const XkbLevel& l) { return l.keysyms.empty(); });
        });
        if (empty)
            return c;
    }
    return std::nullopt;
}

char32_t keysymToUtf32(Keysym keysym) noexcept {
    return xkb_keysym_to_utf32(keysym);
}

Keysym utf32ToKeysym(char32_t c) noexcept {
    return xkb_utf32_to_keysym(c);
}

bool isDeadKeysym(Keysym keysym) noexcept {
    return keysym >= XKB_KEY_dead_grave && keysym <= XKB_KEY_dead_longsolidusoverlay;
}

Keysym keysymFromName(const char* name) noexcept {
    return xkb_keysym_from_name(name, XKB_KEYSYM_NO_FLAGS);
}

} // namespace tarovex::typing
