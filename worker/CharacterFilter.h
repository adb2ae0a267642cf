#pragma once

#include <QString>

#include <algorithm>

namespace tarovex::worker {

// The value without the characters for which `drop` is true. Returns the value itself
// (shared, not copied) when nothing is dropped; otherwise writes the result in place in
// one allocation, since this runs for every line.
template <typename Drop>
QString removeCharacters(const QString& value, Drop drop) {
    const qsizetype n = value.size();
    const QChar* in = value.constData();
    qsizetype first = 0;
    while (first < n && !drop(in[first].unicode()))
        ++first;
    if (first == n)
        return value;
    QString out(n - 1, Qt::Uninitialized);
    QChar* o = out.data();
    std::copy(in, in + first, o);
    qsizetype k = first;
    for (qsizetype i = first + 1; i < n; ++i) {
        if (!drop(in[i].unicode()))
            o[k++] = in[i];
    }
    out.truncate(k);
    return out;
}

// The same for a view: the view itself when nothing is dropped, otherwise a view of
// `buffer`, which keeps its room from call to call (no allocation once it is large enough).
template <typename Drop>
QStringView removeCharacters(QStringView value, Drop drop, QString& buffer) {
    const auto first = std::find_if(value.begin(), value.end(), [&](QChar c) { return drop(c.unicode()); });
    if (first == value.end())
        return value;
    buffer.resize(0);
    for (auto it = value.begin(); it != value.end(); ++it)
        if (it < first || !drop(it->unicode()))
            buffer.append(*it);
    return buffer;
}

} // namespace tarovex::worker
