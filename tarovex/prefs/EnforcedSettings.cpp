#include "tarovex/prefs/EnforcedSettings.h"

#include "tarovex/prefs/ConfigStore.h"

#include <QFile>
#include <QTextStream>

#include <sys/stat.h>

namespace tarovex::prefs {

EnforcedSettings EnforcedSettings::read(const QString& root) {
    EnforcedSettings e;
    e.path_ = (root.endsWith(u'/') ? root.chopped(1) : root) + QString::fromLatin1(enforcedSettingsFile);
    QFile file(e.path_);
    if (!file.open(QIODevice::ReadOnly)) {
        if (file.exists())
            e.problems_ << QStringLiteral("The administrator's settings %1 cannot be read: %2")
                               .arg(e.path_, file.errorString());
        return e;
    }
    // Checked on the file opened, so that it cannot be swapped between check and read.
    struct stat st {};
    if (::fstat(file.handle(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != 0 ||
        (st.st_mode & (S_IWGRP | S_IWOTH))) {
        e.problems_ << QStringLiteral(
                           "The administrator's settings %1 are ignored: only a file that root owns "
                           "and only root may change is taken (owner %2, mode %3)")
                           .arg(e.path_)
                           .arg(st.st_uid)
                           .arg(st.st_mode & 07777, 4, 8, QLatin1Char('0'));
        return e;
    }
    const QStringList keys = settingKeys();
    QTextStream in(&file);
    int number = 0;
    config::Config probe;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        ++number;
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const qsizetype eq = line.indexOf(u'=');
        const QString key = line.left(eq).trimmed(), value = eq < 0 ? QString() : line.mid(eq + 1).trimmed();
        if (eq < 0 || !keys.contains(key) || !applySetting(probe, key, value)) {
            e.problems_ << QStringLiteral(
                               "%1, line %2: \"%3\" is not a setting and its value; it locks nothing")
                               .arg(e.path_)
                               .arg(number)
                               .arg(line);
            continue;
        }
        e.values_[key] = value;
    }
    return e;
}

void EnforcedSettings::applyTo(config::Config& config) const {
    for (auto it = values_.begin(); it != values_.end(); ++it)
        applySetting(config, it.key(), it.value());
}

QString EnforcedSettings::summary() const {
    QStringList parts;
    for (auto it = values_.begin(); it != values_.end(); ++it)
        parts << it.key() + u'=' + it.value();
    return parts.join(QStringLiteral(", "));
}

namespace {

EnforcedSettings& held() {
    static EnforcedSettings settings = EnforcedSettings::read();
    return settings;
}

} // namespace

const EnforcedSettings& enforcedSettings() {
    return held();
}

void readEnforcedSettingsUnder(const QString& root) {
    held() = EnforcedSettings::read(root);
}

} // namespace tarovex::prefs
