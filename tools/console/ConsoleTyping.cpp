#include "ConsoleTyping.h"

namespace tarovex::console {
namespace {

using typing::KeyBackend;

// The value of `--name VALUE` or `--name=VALUE` at args[i]; none when args[i] is not it.
std::optional<QString> optionValue(const QStringList& args, qsizetype& i, QStringView name, QString& error) {
    const QString& a = args[i];
    if (a.startsWith(name) && a.size() > name.size() && a[name.size()] == u'=')
        return a.mid(name.size() + 1);
    if (a != name)
        return std::nullopt;
    if (i + 1 >= args.size()) {
        error = QStringLiteral("%1 needs a value").arg(name);
        return QString();
    }
    return args[++i];
}

} // namespace

bool takeTypingOption(const QStringList& args, qsizetype& i, TypingChoice& choice, QString& error) {
    if (args[i] == u"--type") {
        choice.enabled = true;
        return true;
    }
    if (const auto backend = optionValue(args, i, u"--keyboard-backend", error)) {
        choice.backendNamed = true;
        if (*backend == u"x11")
            choice.output.backend = KeyBackend::X11;
        else if (*backend == u"wayland")
            choice.output.backend = KeyBackend::Wayland;
        else if (*backend == u"uinput")
            choice.output.backend = KeyBackend::Uinput;
        else if (*backend == u"gnome")
            choice.output.backend = KeyBackend::Gnome;
        else if (*backend == u"kde")
            choice.output.backend = KeyBackend::Kde;
        else if (*backend == u"portal")
            choice.output.backend = KeyBackend::Portal;
        else if (error.isEmpty())
            error =
                QStringLiteral("--keyboard-backend is x11, wayland, uinput, gnome, kde or portal, not '%1'")
                    .arg(*backend);
        return true;
    }
    if (const auto layout = optionValue(args, i, u"--keyboard-layout", error)) {
        choice.backendNamed = true;
        if (layout->isEmpty() && error.isEmpty())
            error = QStringLiteral("--keyboard-layout needs an XKB layout such as de or us(intl)");
        choice.output.xkbLayout = layout->toStdString();
        return true;
    }
    return false;
}

} // namespace tarovex::console
