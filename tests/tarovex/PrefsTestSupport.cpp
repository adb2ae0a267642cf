#include "PrefsTestSupport.h"

#include "tarovex/prefs/FilePreferences.h"
#include "tarovex/prefs/SettingsPreferences.h"

#include <QFile>
#include <QSettings>

#include <gtest/gtest.h>

#include <cstdlib>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace prefs_test {
namespace {

QTemporaryDir* sandboxDir() {
    static QTemporaryDir dir;
    return &dir;
}

// Runs during static initialisation, before any test and before Qt first caches the
// XDG locations.
const bool sandboxReady = [] {
    const QByteArray path = QFile::encodeName(sandboxDir()->path());
    ::setenv("HOME", path.constData(), 1);
    ::setenv("XDG_CONFIG_HOME", (path + "/xdg-config").constData(), 1);
    ::setenv("ProgramData", (path + "/ProgramData").constData(), 1);
    return true;
}();

} // namespace

QString sandbox() {
    return sandboxReady ? sandboxDir()->path() : QString();
}

const StoreKind& settingsStore() {
    static const StoreKind kind{"QSettings", [](const QString& dir) -> StoreOpener {
                                    const QString path = dir + QStringLiteral("/settings.ini");
                                    return [path] {
                                        return tarovex::prefs::SettingsPreferences::createRoot(
                                            std::make_shared<QSettings>(path, QSettings::IniFormat));
                                    };
                                }};
    return kind;
}

const StoreKind& fileStore() {
    static const StoreKind kind{"File", [](const QString& dir) -> StoreOpener {
                                    const QString path = dir + QStringLiteral("/prefs.txt");
                                    return
                                        [path] { return tarovex::prefs::FilePreferences::createRoot(path); };
                                }};
    return kind;
}

pid_t forkAs(uid_t uid, const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setresgid(uid, uid, uid) != 0 ||
                                 ::setresuid(uid, uid, uid) != 0))
            ::_exit(100);
        ::_exit(body());
    }
    return pid;
}

int waitChild(pid_t pid) {
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

} // namespace prefs_test
