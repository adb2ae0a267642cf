#include "journal/Attribution.h"

#include "config/SettingsTable.h"

#include <QDateTime>
#include <QSysInfo>

#include <pwd.h>
#include <sys/timex.h>
#include <unistd.h>

namespace tarovex::journal {
namespace {

QString osUser() {
    const uid_t uid = ::geteuid();
    // Not getlogin(): the user whose rights the program runs with, also under su or a service.
    if (const passwd* pw = ::getpwuid(uid))
        return QString::fromLocal8Bit(pw->pw_name);
    return QString::number(uid);
}

} // namespace

RecordEvent attributedEvent(RecordEvent::Kind kind) {
    RecordEvent e;
    e.kind = kind;
    e.timeMs = QDateTime::currentMSecsSinceEpoch();
    e.user = osUser();
    e.host = QSysInfo::machineHostName();
    e.version = QStringLiteral(TAROVEX_VERSION);
    return e;
}

std::optional<bool> clockSynchronised() {
    timex t{};
    if (::adjtimex(&t) < 0)
        return std::nullopt;
    // As timedated decides it: not flagged unsynchronised, and an error bound under 16 s.
    return (t.status & STA_UNSYNC) == 0 && t.maxerror < 16000000;
}

std::vector<RecordEvent> settingChanges(const config::Config& before, const config::Config& after) {
    std::vector<RecordEvent> changes;
    const auto change = [&](const QString& key, const QString& was, const QString& is) {
        if (was == is)
            return;
        RecordEvent e = attributedEvent(RecordEvent::Kind::Setting);
        e.setting = key;
        e.oldValue = was;
        e.newValue = is;
        changes.push_back(std::move(e));
    };
    change(QStringLiteral("port"), before.getPort(), after.getPort());
    for (const config::Setting& s : config::settingsTable())
        change(QString::fromLatin1(s.key), s.format(before), s.format(after));
    return changes;
}

QString journalSettingChanges(const config::Config& before, const config::Config& after,
                              const QString& journalPath) {
    if (!after.record.journal)
        return {};
    const std::vector<RecordEvent> changes = settingChanges(before, after);
    if (changes.empty())
        return {};
    try {
        JournalDb(journalPath).appendEvents(changes, after.record.stationName());
    } catch (const JournalError& e) {
        return QString::fromUtf8(e.what()) + QStringLiteral("; the settings changed are not journaled.");
    }
    return {};
}

} // namespace tarovex::journal
