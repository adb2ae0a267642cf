#include "worker/Remover.h"

#include "config/Config.h"

#include "worker/CharacterFilter.h"

namespace tarovex::worker {

Remover::Remover(const QString& removeCharacters) : characters_(removeCharacters) {
    for (const QChar c : removeCharacters) {
        const char16_t u = c.unicode();
        if (u < 256)
            latin1_[u >> 6] |= std::uint64_t(1) << (u & 63);
    }
}

Remover::Remover(const config::Config& config) : Remover(config.getRemoveCharacters()) {}

bool Remover::contains(char16_t c) const {
    if (c < 256)
        return (latin1_[c >> 6] >> (c & 63)) & 1;
    return characters_.contains(QChar(c));
}

QString Remover::remove(const QString& value) const {
    if (characters_.isEmpty())
        return value;
    return removeCharacters(value, [this](char16_t c) { return contains(c); });
}

} // namespace tarovex::worker
