// The shared settings file as another program or user may have left it: read through the
// file-backed store, then one entry written back, which must keep what was there.
#include "config/Properties.h"
#include "tarovex/prefs/FilePreferences.h"

#include <QDebug>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>

using tarovex::config::Properties;
using tarovex::prefs::FilePreferences;
using tarovex::prefs::Preferences;

namespace {

void walk(Preferences& node, int depth) {
    for (const QString& key : node.keys())
        (void)node.get(key, QString());
    if (depth < 4)
        for (const QString& name : node.childrenNames())
            walk(*node.node(name), depth + 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static QTemporaryDir dir;
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString path = dir.filePath(QStringLiteral("shared.properties"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        f.write(bytes);
    }
    const Properties::ParseResult before = Properties::parse(bytes);
    try {
        auto root = FilePreferences::createRoot(path);
        walk(*root, 0);
        Preferences& node = *root->node(QStringLiteral("/com/lumbrix/tarovex"));
        node.put(QStringLiteral("port"), QStringLiteral("/dev/ttyS0"));
        node.flush();
    } catch (const std::exception&) {
        return 0; // reported to the user; nothing is lost, checked below
    }
    // The rewrite keeps every other entry and every line it could not parse.
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        std::abort();
    const Properties::ParseResult after = Properties::parse(f.readAll());
    QMap<QString, QString> was, is;
    for (const auto& e : before.entries)
        was.insert(e.first, e.second);
    for (const auto& e : after.entries)
        is.insert(e.first, e.second);
    was.insert(QStringLiteral("com.lumbrix.tarovex.port"), QStringLiteral("/dev/ttyS0"));
    if (was != is)
        std::abort();
    // Byte for byte: once the rest is ASCII, kept Latin-1 bytes may read as UTF-8.
    const auto bytesOf = [](const Properties::ParseResult& p, const QString& line) {
        return p.latin1 ? line.toLatin1() : line.toUtf8();
    };
    QList<QByteArray> kept;
    for (const QString& r : after.rejected)
        kept.append(bytesOf(after, r));
    for (const QString& r : before.rejected)
        if (!kept.contains(bytesOf(before, r))) {
            qWarning() << "lost" << r << "now" << after.rejected;
            std::abort();
        }
    return 0;
}
