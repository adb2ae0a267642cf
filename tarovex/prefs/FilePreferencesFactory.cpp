#include "tarovex/prefs/FilePreferencesFactory.h"

#include "Tarolink/SystemProperties.h"
#include "tarovex/prefs/FilePreferences.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>

#include <memory>
#include <mutex>

namespace tarovex::prefs {
namespace {

Q_LOGGING_CATEGORY(lcFactory, "tarovex.prefs.FilePreferencesFactory")

std::mutex mutex;
QString preferencesFile;
std::unique_ptr<Preferences> rootPreferences;

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
        rootPreferences = FilePreferences::createRoot(resolveFileLocked());
    }
    return rootPreferences.get();
}

QString FilePreferencesFactory::getPreferencesFile() {
    const std::lock_guard guard(mutex);
    return resolveFileLocked();
}

void FilePreferencesFactory::reset() {
    const std::lock_guard guard(mutex);
    rootPreferences.reset();
    preferencesFile.clear();
}

} // namespace tarovex::prefs
