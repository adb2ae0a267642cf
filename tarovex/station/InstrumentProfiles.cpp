#include "tarovex/station/InstrumentProfiles.h"

#include "tarovex/prefs/ConfigStore.h"

#include <stdexcept>

namespace tarovex::profiles {
namespace {

const QString listKey = QStringLiteral("instruments");
constexpr qsizetype maxLabel = 64;

QString nodePath(const QString& label) {
    return listKey + u'/' + label;
}

void storeList(prefs::Preferences& settings, const QStringList& list) {
    if (list.isEmpty())
        settings.remove(listKey);
    else
        settings.put(listKey, list.join(u','));
    settings.flush();
}

bool containsLabel(const QStringList& list, const QString& label) {
    return list.contains(label, Qt::CaseInsensitive);
}

} // namespace

QString labelProblem(const QString& label, const QStringList& taken) {
    if (label.isEmpty())
        return QStringLiteral("An instrument needs a label");
    if (label.size() > maxLabel)
        return QStringLiteral("A label has at most %1 characters").arg(maxLabel);
    if (label.trimmed() != label)
        return QStringLiteral("A label does not begin or end with a space");
    for (const QChar c : label)
        if (c.category() == QChar::Other_Control || QStringView(u"/\\+#,").contains(c))
            return QStringLiteral("A label has no control character and none of / \\ + # ,");
    if (containsLabel(taken, label))
        return QStringLiteral("Another instrument is labelled %1").arg(label);
    return {};
}

QStringList labels(prefs::Preferences& settings) {
    QStringList valid;
    for (const QString& label : settings.get(listKey, {}).split(u',', Qt::SkipEmptyParts))
        if (labelProblem(label, valid).isEmpty())
            valid.append(label);
    return valid;
}

bool load(prefs::Preferences& settings, const QString& label, config::Config& config,
          QStringList* invalidKeys) {
    if (!containsLabel(labels(settings), label))
        return false;
    prefs::Preferences& node = *settings.node(nodePath(label));
    // Its own port, whether or not the system has it now: never another instrument's.
    const QString port = node.get(QStringLiteral("port"), {});
    const bool clean =
        prefs::loadConfig(node, config, port.isEmpty() ? QStringList() : QStringList{port}, invalidKeys);
    config.label = label;
    // The journal, the live CSV file and the publishing are the station's, not one instrument's:
    // one station name, one broker connection, one topic scheme for all of its readings.
    config::Config station;
    prefs::loadConfig(settings, station, {});
    config.record = station.record;
    return clean;
}

void save(prefs::Preferences& settings, const config::Config& config, std::ostream& console) {
    QStringList list = labels(settings);
    QStringList others = list;
    others.removeIf([&](const QString& l) { return l.compare(config.label, Qt::CaseInsensitive) == 0; });
    if (const QString why = labelProblem(config.label, others); !why.isEmpty())
        throw std::invalid_argument(why.toStdString());
    prefs::saveConfig(*settings.node(nodePath(config.label)), config, console);
    if (!containsLabel(list, config.label)) {
        list.append(config.label);
        storeList(settings, list);
    }
}

void remove(prefs::Preferences& settings, const QString& label) {
    QStringList list = labels(settings);
    if (list.removeIf([&](const QString& l) { return l.compare(label, Qt::CaseInsensitive) == 0; }) == 0)
        return;
    storeList(settings, list);
    // The store keeps the node; an empty one is no profile and reads as none.
    prefs::Preferences* node = settings.node(nodePath(label));
    for (const QString& key : node->keys())
        node->remove(key);
    node->flush();
}

void rename(prefs::Preferences& settings, const QString& from, const QString& to, std::ostream& console) {
    QStringList list = labels(settings);
    const qsizetype at = list.indexOf(from);
    if (at < 0)
        throw std::invalid_argument(QStringLiteral("No instrument is labelled %1").arg(from).toStdString());
    QStringList others = list;
    others.removeAt(at);
    if (const QString why = labelProblem(to, others); !why.isEmpty())
        throw std::invalid_argument(why.toStdString());
    config::Config config;
    load(settings, from, config);
    config.label = to;
    prefs::saveConfig(*settings.node(nodePath(to)), config, console);
    if (from.compare(to, Qt::CaseInsensitive) != 0) {
        prefs::Preferences* old = settings.node(nodePath(from));
        for (const QString& key : old->keys())
            old->remove(key);
        old->flush();
    }
    list[at] = to;
    storeList(settings, list);
}

} // namespace tarovex::profiles
