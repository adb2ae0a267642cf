#include "typing/desktop/GnomeInputSources.h"

#include <QProcess>
#include <QRegularExpression>

#include <algorithm>
#include <sstream>
#include <utility>
#include <vector>

namespace tarovex::typing {
namespace {

constexpr int gsettingsTimeoutMs = 2000;

// The XKB ids of an a(ss) value in order: ('xkb', 'de+nodeadkeys') gives "de+nodeadkeys";
// other kinds (input methods) are skipped.
std::vector<std::string> xkbIds(const std::string& text) {
    static const QRegularExpression pair(QStringLiteral(R"(\(\s*'([^']*)'\s*,\s*'([^']*)'\s*\))"));
    std::vector<std::string> ids;
    for (auto it = pair.globalMatch(QString::fromStdString(text)); it.hasNext();) {
        const auto m = it.next();
        if (m.captured(1) == u"xkb" && !m.captured(2).isEmpty())
            ids.push_back(m.captured(2).toStdString());
    }
    return ids;
}

// GNOME writes a variant after a plus: "de+nodeadkeys".
XkbRuleNames namesOf(const std::string& id) {
    const auto plus = id.find('+');
    if (plus == std::string::npos)
        return {id, ""};
    return {id.substr(0, plus), id.substr(plus + 1)};
}

} // namespace

std::optional<XkbRuleNames> gnomeActiveLayout(const std::string& sources, const std::string& mruSources) {
    const auto configured = xkbIds(sources);
    if (configured.empty())
        return std::nullopt;
    for (const std::string& id : xkbIds(mruSources))
        if (std::find(configured.begin(), configured.end(), id) != configured.end())
            return namesOf(id);
    return namesOf(configured.front());
}

std::optional<std::string> readGnomeInputSettings() {
    QProcess gsettings;
    gsettings.start(QStringLiteral("gsettings"),
                    {QStringLiteral("list-recursively"), QStringLiteral("org.gnome.desktop.input-sources")});
    if (!gsettings.waitForFinished(gsettingsTimeoutMs)) {
        gsettings.kill();
        gsettings.waitForFinished(gsettingsTimeoutMs);
        return std::nullopt;
    }
    if (gsettings.exitStatus() != QProcess::NormalExit || gsettings.exitCode() != 0)
        return std::nullopt;
    return gsettings.readAllStandardOutput().toStdString();
}

std::string gnomeSettingValue(const std::string& listing, const std::string& key) {
    std::istringstream in(listing);
    for (std::string line; std::getline(in, line);) {
        const auto first = line.find(' ');
        if (first != std::string::npos && line.compare(first + 1, key.size() + 1, key + " ") == 0)
            return line.substr(first + key.size() + 2);
    }
    return {};
}

} // namespace tarovex::typing
