#include "typing/DeadKeys.h"

#include <xkbcommon/xkbcommon-compose.h>

#include <memory>

namespace tarovex::typing {
namespace {

// Loaded once for the process: the table is large and never changes.
struct ComposeData {
    xkb_context* context = nullptr;
    xkb_compose_table* table = nullptr;

    ComposeData() {
        context = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
        if (context)
            table = xkb_compose_table_new_from_locale(context, "en_US.UTF-8", XKB_COMPOSE_COMPILE_NO_FLAGS);
    }
    ~ComposeData() {
        xkb_compose_table_unref(table);
        xkb_context_unref(context);
    }
};

const ComposeData& composeData() {
    static const ComposeData data;
    return data;
}

// One code point from UTF-8 text of exactly one character, else 0.
char32_t singleCodePoint(const char* s, int length) {
    const auto* u = reinterpret_cast<const unsigned char*>(s);
    if (length <= 0)
        return 0;
    int extra = u[0] < 0x80 ? 0 : (u[0] >> 5) == 6 ? 1 : (u[0] >> 4) == 14 ? 2 : (u[0] >> 3) == 30 ? 3 : -1;
    if (extra < 0 || extra + 1 != length)
        return 0;
    char32_t c = extra == 0 ? u[0] : u[0] & (0x3F >> extra);
    for (int i = 1; i <= extra; ++i)
        c = (c << 6) | (u[i] & 0x3F);
    return c;
}

} // namespace

bool hasComposeData() noexcept {
    return composeData().table != nullptr;
}

char32_t composeDeadKey(Keysym deadKey, Keysym next) noexcept {
    const ComposeData& data = composeData();
    if (!data.table)
        return 0;
    std::unique_ptr<xkb_compose_state, decltype(&xkb_compose_state_unref)> state(
        xkb_compose_state_new(data.table, XKB_COMPOSE_STATE_NO_FLAGS), &xkb_compose_state_unref);
    if (!state)
        return 0;
    xkb_compose_state_feed(state.get(), deadKey);
    xkb_compose_state_feed(state.get(), next);
    if (xkb_compose_state_get_status(state.get()) != XKB_COMPOSE_COMPOSED)
        return 0;
    char text[16];
    const int n = xkb_compose_state_get_utf8(state.get(), text, sizeof text);
    if (n >= int(sizeof text))
        return 0;
    return singleCodePoint(text, n);
}

} // namespace tarovex::typing
