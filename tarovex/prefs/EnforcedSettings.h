#pragma once

#include "config/Config.h"

#include <QMap>
#include <QString>
#include <QStringList>

namespace tarovex::prefs {

// Where an administrator fixes settings for every user of the computer.
inline constexpr const char* enforcedSettingsFile = "/etc/tarovex/enforced.conf";

// The settings an administrator locks: lines "key=value" with the keys of the settings file
// and their stored texts ("true", a constant's name, a number), "#" starting a comment. They
// win over the user's and the shared file's settings. Only a file that root owns and only
// root may change is taken: anyone else could otherwise lock settings for all.
class EnforcedSettings {
public:
    // Reads enforcedSettingsFile under `root` ("/" on a real system; a folder of fixtures in
    // tests). A missing file locks nothing and says nothing.
    static EnforcedSettings read(const QString& root = QStringLiteral("/"));

    // The locked settings, by key, as stored texts.
    const QMap<QString, QString>& values() const { return values_; }
    bool locks(const QString& key) const { return values_.contains(key); }
    // One line each for the log: a file not taken, a line not understood.
    const QStringList& problems() const { return problems_; }
    // The file the locks come from, for messages.
    const QString& path() const { return path_; }

    // Sets every locked setting of `config`.
    void applyTo(config::Config& config) const;
    // "delay=20, keyboardType=GERMAN", for the log at Start.
    QString summary() const;

private:
    QString path_;
    QMap<QString, QString> values_;
    QStringList problems_;
};

// The settings this computer's administrator locks, read once per process.
const EnforcedSettings& enforcedSettings();
// Reads them again under `root` from now on: for tests, which cannot write /etc. Call before
// anything else of the process asks for them.
void readEnforcedSettingsUnder(const QString& root);

} // namespace tarovex::prefs
