#include "tests/support/RecordingKeyOutput.h"

namespace tarovex_test {

using namespace tarovex::typing;

void RecordingKeyOutput::type(const TypedKey& key) {
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
