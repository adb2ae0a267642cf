#pragma once

#include "tarovex/prefs/Preferences.h"

#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <memory>

namespace prefs_test {

// The folder that stands in for HOME, XDG_CONFIG_HOME and ProgramData during the tests, so
// no test ever reaches the real user's settings. Set before the first test runs.
QString sandbox();

// Opens the backing store at a fixed place; each call gives a fresh root on the same data.
using StoreOpener = std::function<std::unique_ptr<tarovex::prefs::Preferences>()>;

struct StoreKind {
    const char* name;
    std::function<StoreOpener(const QString& dir)> make;
};

// The QSettings store on an INI file and the file-backed store.
const StoreKind& settingsStore();
const StoreKind& fileStore();

QByteArray readFile(const QString& path);
void writeFile(const QString& path, const QByteArray& bytes);

} // namespace prefs_test
