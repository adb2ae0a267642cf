#include "ConsoleTyping.h"

#include "worker/WorkerBundle.h"
#include "worker/WorkerMessages.h"

namespace tarovex::console {
namespace {

namespace WM = worker::WorkerMessages;
using worker::keys::KeyBackend;

QString workerText(QLatin1StringView key) {
    return worker::workerBundle().getString(key);
}

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
        else if (error.isEmpty())
            error = QStringLiteral("--keyboard-backend is x11, wayland or uinput, not '%1'").arg(*backend);
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

std::unique_ptr<worker::keys::TypingSession>
createTyping(const TypingChoice& choice, const config::Config& config, worker::WeightWorkerView& view) {
    if (!choice.enabled)
        return nullptr;
    try {
        return std::make_unique<worker::keys::TypingSession>(config, view, choice.output);
    } catch (const std::exception& e) {
        view.logImportantEvent(workerText(WM::ERROR_INITIALIZING_KEYBOARD_OUTPUT) +
                               QString::fromStdString(e.what()));
        return nullptr;
    }
}

void startTyping(worker::keys::TypingSession& typing, const config::Config& config,
                 worker::WeightWorkerView& view) {
    typing.start();
    view.logEvent(typing.description());
    for (const QString& warning : typing.warnings())
        view.logImportantEvent(workerText(WM::WARNING) + QStringLiteral(": ") + warning);
    view.logEvent(workerText(WM::KEYBOARD_OUTPUT_STARTED_TYPE) + u' ' + config.getKeyboardType().toString());
    if (worker::keys::capsLockState() == worker::keys::CapsLockState::On)
        view.logImportantEvent(workerText(WM::WARNING) + QStringLiteral(": ") +
                               workerText(WM::PLEASE_TURN_OFF_CAPS_LOCK));
}

void stopTyping(worker::keys::TypingSession& typing, worker::WeightWorkerView& view) {
    typing.stop();
    if (const std::size_t left = worker::KeystrokeQueue::processQueue().size(); left > 0)
        view.logImportantEvent(QStringLiteral("%1 values were not typed.").arg(left));
}

} // namespace tarovex::console
