#include "tests/support/RecordingKeyOutput.h"

#include <xkbcommon/xkbcommon.h>

namespace tarovex_test {

using namespace tarovex::typing;

void RecordingKeyOutput::type(const TypedKey& key) {
    if (key.isKeysym()) {
        char name[64];
        xkb_keysym_get_name(std::get<KeysymKey>(key.value).keysym, name, sizeof name);
        transcript_ += QLatin1Char('<') + QLatin1String(name) + QLatin1Char('>');
        return;
    }
    if (!key.isCharacter()) {
        transcript_ += QLatin1Char('<') + QLatin1String(namedKeyName(key.namedKey())) + QLatin1Char('>');
        return;
    }
    const char32_t c = key.character();
    if (refused_.count(c))
        throw CannotTypeError(c, refusal);
    transcript_ += QString::fromUcs4(&c, 1);
}

} // namespace tarovex_test
