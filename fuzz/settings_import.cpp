// A settings file to import: parsed as the preferences export document and imported into
// the file-backed store, which a bad file must leave as it was.
#include "tarovex/prefs/FilePreferences.h"
#include "tarovex/prefs/PreferencesXml.h"

#include <QTemporaryDir>

#include <cstdlib>

using namespace tarovex::prefs;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static QTemporaryDir dir;
    static int round = 0;
    const QByteArray xml(reinterpret_cast<const char*>(data), qsizetype(size));
    auto root = FilePreferences::createRoot(dir.filePath(QString::number(++round % 8) + ".properties"));
    Preferences& node = *root->node(QStringLiteral("/com/lumbrix/tarovex"));
    for (const QString& key : node.keys())
        node.remove(key);
    node.put(QStringLiteral("kept"), QStringLiteral("yes"));
    node.flush();
    int imported = -1;
    try {
        imported = importPreferences(node, xml);
    } catch (const std::exception&) {
        if (node.keys() != QStringList{QStringLiteral("kept")})
            std::abort(); // a refused file changed the settings
        return 0;
    }
    const PreferencesDocument doc = parsePreferencesXml(xml);
    const auto* entries = doc.find(QStringLiteral("/com/lumbrix/tarovex"));
    if (!entries || imported != entries->size())
        std::abort();
    for (auto it = entries->begin(); it != entries->end(); ++it)
        if (node.get(it.key(), QString()) != it.value())
            std::abort();
    return 0;
}
