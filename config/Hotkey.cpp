#include "config/Hotkey.h"

#include <QStringList>

#include <array>

namespace tarovex::config {
namespace {

struct NamedKey {
    const char* name;   // as the settings write it
    const char* keysym; // X keysym name
    bool alone;         // no application types it, so it may be grabbed without a modifier
};

constexpr std::array kNamedKeys{
    NamedKey{"Space", "space", false},
    NamedKey{"Tab", "Tab", false},
    NamedKey{"Enter", "Return", false},
    NamedKey{"Escape", "Escape", false},
    NamedKey{"Insert", "Insert", false},
    NamedKey{"Delete", "Delete", false},
    NamedKey{"Home", "Home", false},
    NamedKey{"End", "End", false},
    NamedKey{"PageUp", "Prior", false},
    NamedKey{"PageDown", "Next", false},
    NamedKey{"Up", "Up", false},
    NamedKey{"Down", "Down", false},
    NamedKey{"Left", "Left", false},
    NamedKey{"Right", "Right", false},
    NamedKey{"Pause", "Pause", true},
    NamedKey{"Print", "Print", true},
    NamedKey{"ScrollLock", "Scroll_Lock", true},
};

// The key's keysym name and whether it may stand alone; nothing for an unknown key.
std::optional<std::pair<QString, bool>> keyOf(const QString& part) {
    if (part.size() == 1 && part[0].isLetterOrNumber() && part[0].unicode() < 0x80)
        return std::pair{part.toLower(), false};
    if (part.size() >= 2 && part[0].toUpper() == u'F') {
        bool ok = false;
        const int n = part.mid(1).toInt(&ok);
        if (ok && n >= 1 && n <= 24 && !part[1].isSpace() && part[1] != u'+' && part[1] != u'0')
            return std::pair{QStringLiteral("F%1").arg(n), true};
    }
    for (const NamedKey& k : kNamedKeys)
        if (part.compare(QLatin1StringView(k.name), Qt::CaseInsensitive) == 0)
            return std::pair{QString::fromLatin1(k.keysym), k.alone};
    return std::nullopt;
}

} // namespace

std::optional<Hotkey> parseHotkey(const QString& text) {
    const QStringList parts = text.split(u'+');
    Hotkey h;
    for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
        const QString m = parts[i].trimmed().toLower();
        bool* flag = m == u"ctrl" || m == u"control"                ? &h.ctrl
                     : m == u"alt"                                  ? &h.alt
                     : m == u"shift"                                ? &h.shift
                     : m == u"super" || m == u"meta" || m == u"win" ? &h.super
                                                                    : nullptr;
        if (!flag || *flag)
            return std::nullopt;
        *flag = true;
    }
    const auto key = keyOf(parts.last().trimmed());
    if (!key || (!key->second && !h.ctrl && !h.alt && !h.super))
        return std::nullopt;
    h.keysymName = key->first;
    return h;
}

QString Hotkey::text() const {
    QStringList parts;
    if (ctrl)
        parts << QStringLiteral("Ctrl");
    if (alt)
        parts << QStringLiteral("Alt");
    if (shift)
        parts << QStringLiteral("Shift");
    if (super)
        parts << QStringLiteral("Super");
    QString key = keysymName.size() == 1 ? keysymName.toUpper() : keysymName;
    for (const NamedKey& k : kNamedKeys)
        if (keysymName == QLatin1StringView(k.keysym))
            key = QString::fromLatin1(k.name);
    parts << key;
    return parts.join(u'+');
}

} // namespace tarovex::config
