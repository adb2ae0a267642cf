#include "worker/WhiteSpace.h"

#include "worker/CharacterFilter.h"

namespace tarovex::worker {

QString WhiteSpace::remove(const QString& value) {
    return removeCharacters(value, [](char16_t c) { return isWhiteSpace(c); });
}

} // namespace tarovex::worker
