#pragma once

#include "tarovex/prefs/Preferences.h"

#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <sys/types.h>

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

// Two unprivileged users (they need no account).
constexpr uid_t nobody = 65534;
constexpr uid_t otherUser = 65533;

// Forks a child that, when the tests run as root, becomes `uid` (group of the same number,
// no supplementary groups), runs `body` and exits with its result.
pid_t forkAs(uid_t uid, const std::function<int()>& body);
// The exit status of a child of forkAs, or -1 when it did not exit normally.
int waitChild(pid_t pid);
inline int runAs(uid_t uid, const std::function<int()>& body) {
    return waitChild(forkAs(uid, body));
}

QByteArray readFile(const QString& path);
void writeFile(const QString& path, const QByteArray& bytes);

} // namespace prefs_test
