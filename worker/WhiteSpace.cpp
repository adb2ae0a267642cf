#include "worker/WhiteSpace.h"

#include <algorithm>

namespace tarovex::worker {

QString WhiteSpace::remove(const QString& value) {
    const qsizetype n = value.size();
    const QChar* in = value.constData();
    qsizetype first = 0;
    while (first < n && !isWhiteSpace(in[first].unicode()))
        ++first;
    if (first == n)
        return value;
    // One allocation, written in place: QString::append per character costs a capacity
    // check each time, and this runs for every line.
    QString out(n - 1, Qt::Uninitialized);
    QChar* o = out.data();
    std::copy(in, in + first, o);
    qsizetype k = first;
    for (qsizetype i = first + 1; i < n; ++i) {
        if (!isWhiteSpace(in[i].unicode()))
            o[k++] = in[i];
    }
    out.truncate(k);
    return out;
}

} // namespace tarovex::worker
