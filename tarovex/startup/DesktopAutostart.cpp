#include "tarovex/startup/DesktopAutostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace tarovex {

namespace {

// A desktop entry's Exec: the path quoted, with the characters quoting protects escaped.
QString execQuoted(const QString& program) {
    QString escaped = program;
    for (const char* c : {"\\", "\"", "`", "$"})
        escaped.replace(QLatin1String(c), QLatin1String("\\") + QLatin1String(c));
    escaped.replace(u'%', QStringLiteral("%%"));
    return u'"' + escaped + u'"';
}

} // namespace

QString autostartFile() {
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || QDir::isRelativePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/autostart/tarovex.desktop");
}

bool startsWithDesktop(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    while (!f.atEnd()) {
        const QByteArray line = f.readLine().trimmed();
        if (line.startsWith("Hidden=") && line.mid(7).trimmed() == "true")
            return false;
    }
    return true;
}

std::optional<QString> setStartWithDesktop(bool on, const QString& program, const QString& file) {
    if (!on) {
        if (!QFile::exists(file) || QFile::remove(file))
            return std::nullopt;
        return QStringLiteral("%1 cannot be removed").arg(file);
    }
    if (!QDir().mkpath(QFileInfo(file).absolutePath()))
        return QStringLiteral("the folder of %1 cannot be made").arg(file);
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly))
        return QStringLiteral("%1 cannot be written: %2").arg(file, out.errorString());
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=Tarovex\n"
                                         "Comment=Reads the instrument from login on and types its readings\n"
                                         "Exec=%1 %2\n"
                                         "Icon=tarovex\n"
                                         "Terminal=false\n"
                                         "X-GNOME-Autostart-enabled=true\n")
                              .arg(execQuoted(program), QLatin1String(withDesktopArgument));
    out.write(entry.toUtf8());
    if (!out.commit())
        return QStringLiteral("%1 cannot be written: %2").arg(file, out.errorString());
    return std::nullopt;
}

} // namespace tarovex
