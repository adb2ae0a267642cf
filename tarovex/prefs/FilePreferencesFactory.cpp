#include "tarovex/prefs/FilePreferencesFactory.h"

#include "Tarolink/SystemProperties.h"
#include "tarovex/prefs/FilePreferences.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>

#include <memory>
#include <mutex>
#include <optional>

namespace tarovex::prefs {
namespace {

Q_LOGGING_CATEGORY(lcFactory, "tarovex.prefs.FilePreferencesFactory")

std::mutex mutex;
QString preferencesFile;
std::unique_ptr<Preferences> rootPreferences;
std::optional<QString> trustedGroup;

QString resolveFileLocked() {
    if (preferencesFile.isEmpty()) {
        QString path = QString::fromStdString(
            Tarolink::SystemProperties::get(FilePreferencesFactory::SYSTEM_PROPERTY_FILE, std::string()));
        if (path.isEmpty())
            path = QDir::homePath() + u'/' + QStringLiteral(".fileprefs");
        preferencesFile = QFileInfo(path).absoluteFilePath();
        qCInfo(lcFactory).noquote() << "Preferences file is" << preferencesFile;
    }
    return preferencesFile;
}

} // namespace

Preferences* FilePreferencesFactory::userRoot() {
    const std::lock_guard guard(mutex);
    if (!rootPreferences) {
        qCInfo(lcFactory) << "Instantiating root preferences";
        auto file = std::make_shared<SharedFile>(resolveFileLocked());
        if (trustedGroup)
            file->requireTrust(*trustedGroup);
        rootPreferences = FilePreferences::createRoot(std::move(file));
    }
    return rootPreferences.get();
}

void FilePreferencesFactory::requireTrust(const QString& group) {
    const std::lock_guard guard(mutex);
    trustedGroup = group;
}

QString FilePreferencesFactory::getPreferencesFile() {
    const std::lock_guard guard(mutex);
    return resolveFileLocked();
}

void FilePreferencesFactory::reset() {
    const std::lock_guard guard(mutex);
    rootPreferences.reset();
    preferencesFile.clear();
    trustedGroup.reset();
}

} // namespace tarovex::prefs
