#include "worker/WhiteSpace.h"

#include "worker/CharacterFilter.h"

namespace tarovex::worker {

QString WhiteSpace::remove(const QString& value) {
    return removeCharacters(value, [](char16_t c) { return isWhiteSpace(c); });
}

QStringView WhiteSpace::remove(QStringView value, QString& buffer) {
    return removeCharacters(value, [](char16_t c) { return isWhiteSpace(c); }, buffer);
}

} // namespace tarovex::worker
