#include "tarovex/settings/SettingsTransfer.h"

#include "config/SettingsTable.h"
#include "tarovex/prefs/ConfigStore.h"
#include "tarovex/prefs/PreferencesXml.h"
#include "tarovex/texts/ShellBundle.h"

#include <QFileInfo>

namespace tarovex {

TransferResult exportSettings(prefs::Preferences& node, const QString& path,
                              const std::function<bool()>& confirmOverwrite,
                              const std::function<void()>& saveFirst) {
    try {
        if (QFileInfo::exists(path) && !confirmOverwrite())
            throw std::runtime_error(text("cancelled.by.user").toStdString());
        saveFirst();
        prefs::exportNodeToFile(node, path);
        return {true, text("export.successful"),
                text("configuration.exported.to.file.n") + QFileInfo(path).absoluteFilePath()};
    } catch (const std::exception& e) {
        return {false, text("error"), text("export.failed") + QString::fromUtf8(e.what())};
    }
}

QString refusedSettingsText(const QList<QPair<QString, QString>>& refused) {
    QStringList lines;
    for (const auto& [key, value] : refused) {
        const QString problem = config::settingProblem(key, value);
        lines.append(problem.isEmpty() ? QStringLiteral("%1 = %2").arg(key, value)
                                       : QStringLiteral("%1 = %2 (%3)").arg(key, value, problem));
    }
    return lines.join(u'\n');
}

TransferResult importSettings(prefs::Preferences& node, const QString& path) {
    try {
        prefs::importPreferencesFromFile(node, path);
        node.sync();
        // The next start replaces a refused value by its default: say so now, by name.
        const QMap<QString, QString> entries = node.entries();
        QList<QPair<QString, QString>> refused;
        for (const QString& key : prefs::settingKeys()) {
            config::Config probe;
            if (entries.contains(key) && !prefs::applySetting(probe, key, entries[key]))
                refused.append({key, entries[key]});
        }
        QString message = QString::fromLatin1(applyImportText);
        if (!refused.isEmpty())
            message = QStringLiteral("These imported settings are invalid and will get their defaults:\n") +
                      refusedSettingsText(refused) + QStringLiteral("\n\n") + message;
        return {true, QString::fromLatin1(applyImportTitle), message};
    } catch (const std::exception& e) {
        return {false, text("error"), QStringLiteral("Import failed\n") + QString::fromUtf8(e.what())};
    }
}

} // namespace tarovex
