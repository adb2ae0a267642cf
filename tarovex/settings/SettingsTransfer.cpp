#include "tarovex/settings/SettingsTransfer.h"

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

TransferResult importSettings(prefs::Preferences& node, const QString& path) {
    try {
        prefs::importPreferencesFromFile(node, path);
        node.sync();
        return {true, QString::fromLatin1(applyImportTitle), QString::fromLatin1(applyImportText)};
    } catch (const std::exception& e) {
        return {false, text("error"), QStringLiteral("Import failed\n") + QString::fromUtf8(e.what())};
    }
}

} // namespace tarovex
