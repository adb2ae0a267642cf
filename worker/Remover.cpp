#include "worker/Remover.h"

#include "config/Config.h"

#include <algorithm>

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
    if (characters_.isEmpty() || value.isEmpty())
        return value;
    const qsizetype n = value.size();
    const QChar* in = value.constData();
    qsizetype first = 0;
    while (first < n && !contains(in[first].unicode()))
        ++first;
    if (first == n)
        return value; // nothing to remove: share, do not copy
    QString out(n - 1, Qt::Uninitialized);
    QChar* o = out.data();
    std::copy(in, in + first, o);
    qsizetype k = first;
    for (qsizetype i = first + 1; i < n; ++i) {
        if (!contains(in[i].unicode()))
            o[k++] = in[i];
    }
    out.truncate(k);
    return out;
}

} // namespace tarovex::worker
