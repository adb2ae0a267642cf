#include "tarovex/update/VersionCompare.h"

#include "config/Decimal.h"

#include <QStringList>

namespace tarovex::update {
namespace {

std::optional<config::Decimal> decimal(const QString& text) {
    return config::Decimal::tryParse(QStringView(text));
}

// A field of digits only, as a number of any length: longer is larger once leading zeros go.
std::optional<QString> field(const QString& text) {
    if (text.isEmpty())
        return std::nullopt;
    for (const QChar c : text)
        if (c < u'0' || c > u'9')
            return std::nullopt;
    qsizetype first = 0;
    while (first + 1 < text.size() && text[first] == u'0')
        ++first;
    return text.mid(first);
}

int compareFields(const QString& a, const QString& b) {
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return QString::compare(a, b);
}

} // namespace

bool isNewerVersion(const QString& remote, const QString& local) {
    if (remote.isEmpty() || local.isEmpty() || remote == local)
        return false;
    if (remote.count(u'.') <= 1) {
        const auto r = decimal(remote);
        const auto l = decimal(local);
        return r && l && r->compareTo(*l) > 0;
    }
    if (local.count(u'.') <= 1)
        return true;
    const QStringList rs = remote.split(u'.');
    const QStringList ls = local.split(u'.');
    for (qsizetype i = 0; i < rs.size() && i < ls.size(); ++i) {
        const auto r = field(rs[i]);
        const auto l = field(ls[i]);
        if (!r || !l)
            return false;
        if (const int c = compareFields(*r, *l); c != 0)
            return c > 0;
    }
    return false;
}

} // namespace tarovex::update
