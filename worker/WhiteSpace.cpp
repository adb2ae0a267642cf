#include "worker/WhiteSpace.h"

namespace tarovex::worker {

QString WhiteSpace::remove(const QString& value) {
    const qsizetype n = value.size();
    const QChar* in = value.constData();
    qsizetype first = 0;
    while (first < n && !isWhiteSpace(in[first].unicode()))
        ++first;
    if (first == n)
        return value;
    QString out;
    out.reserve(n - 1);
    out.append(in, first);
    for (qsizetype i = first + 1; i < n; ++i) {
        if (!isWhiteSpace(in[i].unicode()))
            out.append(in[i]);
    }
    return out;
}

} // namespace tarovex::worker
