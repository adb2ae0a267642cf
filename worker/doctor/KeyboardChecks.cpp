#include "worker/doctor/Doctor.h"

#include <QStringList>

#include <filesystem>
#include <sstream>

namespace tarovex::worker::doctor {
namespace {

using Severity = Finding::Severity;

// The folders udev reads rules from, the administrator's first.
constexpr const char* ruleFolders[] = {"/etc/udev/rules.d", "/run/udev/rules.d", "/usr/lib/udev/rules.d",
                                       "/lib/udev/rules.d"};
constexpr char ourRule[] = "70-tarovex-uinput.rules";
const QString installRule = QStringLiteral(
    "echo 'KERNEL==\"uinput\", SUBSYSTEM==\"misc\", TAG+=\"uaccess\", OPTIONS+=\"static_node=uinput\"' | "
    "sudo tee /etc/udev/rules.d/70-tarovex-uinput.rules && sudo udevadm control --reload-rules && "
    "sudo udevadm trigger --subsystem-match=misc --sysname-match=uinput");

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

// Where our rule is installed, or else another rule that opens uinput to users; empty if none.
std::string uinputRule(const SystemView& view) {
    std::string other;
    for (const char* folder : ruleFolders) {
        if (view.exists(std::string(folder) + "/" + ourRule))
            return std::string(folder) + "/" + ourRule;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(view.path(folder), ec)) {
            const std::string file = std::string(folder) + "/" + entry.path().filename().string();
            std::istringstream in(view.read(file));
            for (std::string line; other.empty() && std::getline(in, line);)
                if (!line.starts_with('#') && line.find("KERNEL==\"uinput\"") != std::string::npos &&
                    (line.find("uaccess") != std::string::npos || line.find("GROUP=") != std::string::npos ||
                     line.find("MODE=") != std::string::npos))
                    other = file;
        }
    }
    return other;
}

// The kernel can load uinput as a module or has it built in.
bool kernelHasUinput(const SystemView& view) {
    const std::string modules = "/lib/modules/" + view.kernelRelease;
    return view.read(modules + "/modules.dep").find("/uinput.ko") != std::string::npos ||
           view.read(modules + "/modules.builtin").find("/uinput.ko") != std::string::npos;
}

QString sessionSentence(const SystemView& view) {
    if (view.session.x11Session)
        return QStringLiteral("This is an X11 session (DISPLAY=%1)").arg(q(view.display));
    if (view.session.waylandSession)
        return QStringLiteral("This is a Wayland session (WAYLAND_DISPLAY=%1)").arg(q(view.waylandDisplay));
    if (view.sessionType == "tty")
        return QStringLiteral("This is a text console");
    return QStringLiteral("No desktop session was found (neither DISPLAY nor WAYLAND_DISPLAY is set)");
}

QString backendSentence(typing::KeyBackend backend) {
    switch (backend) {
    case typing::KeyBackend::X11:
        return QStringLiteral("values are typed through the X server's XTest extension on the layout active "
                              "there; no extra right is needed");
    case typing::KeyBackend::Wayland:
        return QStringLiteral("values are typed through the compositor's virtual keyboard with a keymap of "
                              "our own, so every character types whatever the layout, without /dev/uinput");
    case typing::KeyBackend::Gnome:
        return QStringLiteral("values are typed through a remote desktop session of GNOME's compositor "
                              "(Mutter) on the desktop's layout, without /dev/uinput");
    case typing::KeyBackend::Kde:
        return QStringLiteral("values are typed through KWin's fake input on the layout KDE applies, "
                              "without /dev/uinput; KWin grants it to the installed program");
    case typing::KeyBackend::Portal:
        return QStringLiteral("values are typed through the desktop portal's remote desktop, without "
                              "/dev/uinput, after a yes in the desktop's dialog: at each Start with a portal "
                              "of version 1 (Debian 12's), once with one that remembers it");
    case typing::KeyBackend::Uinput:
    case typing::KeyBackend::Automatic:
        break;
    }
    return QStringLiteral("values are typed through the kernel's virtual keyboard (uinput), the only way "
                          "there without a desktop service");
}

} // namespace

Findings checkKeyboard(const SystemView& view) {
    const auto choices = typing::chooseKeyBackends(view.session);
    const typing::KeyBackend backend = choices.empty() ? typing::KeyBackend::Uinput : choices.front().backend;
    const bool uinput = backend == typing::KeyBackend::Uinput;
    Findings f{{Severity::Ok,
                QStringLiteral("%1: %2 (rule: %3).")
                    .arg(sessionSentence(view), backendSentence(backend),
                         QString::fromUtf8(choices.empty() ? "none" : choices.front().rule)),
                {}}};
    QStringList others;
    for (const typing::PassedOverBackend& p : typing::passedOverBackends(view.session))
        others.append(
            QStringLiteral("%1: %2").arg(QString::fromUtf8(typing::keyBackendTitle(p.backend)), q(p.why)));
    f.push_back(
        {Severity::Ok, QStringLiteral("Other routes: %1.").arg(others.join(QStringLiteral("; "))), {}});
    // Another backend types without uinput: nothing about it is worth advice there.
    if (!uinput)
        return f;
    const bool device = view.exists("/dev/uinput");
    if (!device && !view.exists("/sys/module/uinput") && !kernelHasUinput(view)) {
        f.push_back({Severity::Problem,
                     QStringLiteral("This kernel (%1) has no uinput, neither as a module nor built in.")
                         .arg(q(view.kernelRelease)),
                     QStringLiteral("sudo apt install linux-image-amd64 && sudo reboot")});
    } else if (!device && !view.exists("/sys/module/uinput")) {
        f.push_back({Severity::Problem, QStringLiteral("The kernel's virtual input module (uinput) is not loaded."),
                     QStringLiteral(
                         "sudo modprobe uinput && echo uinput | sudo tee /etc/modules-load.d/uinput.conf")});
    } else if (!device) {
        f.push_back({Severity::Problem, QStringLiteral("The uinput module is loaded, but /dev/uinput is missing."),
                     QStringLiteral("sudo udevadm trigger --subsystem-match=misc --sysname-match=uinput")});
    } else if (view.mayOpen && !view.mayOpen(view.path("/dev/uinput"))) {
        f.push_back({Severity::Problem,
                     QStringLiteral("You may not open /dev/uinput, so the virtual keyboard cannot be made."),
                     installRule});
    } else {
        f.push_back({Severity::Ok,
                     QStringLiteral("You may open /dev/uinput: the virtual keyboard can be made."),
                     {}});
    }
    if (const std::string rule = uinputRule(view); !rule.empty())
        f.push_back(
            {Severity::Ok,
             QStringLiteral("The udev rule %1 lets the user at the seat use /dev/uinput.").arg(q(rule)),
             {}});
    else
        f.push_back(
            {Severity::Warning,
             QStringLiteral("No udev rule gives the user at the seat /dev/uinput (the package installs %1).")
                 .arg(QLatin1StringView(ourRule)),
             installRule});
    typing::DesktopSources sources = view.desktop;
    sources.keyboardFile = view.path(sources.keyboardFile);
    const typing::LayoutChoice choice = typing::desktopLayout({}, sources);
    f.push_back({Severity::Ok,
                 QStringLiteral("The virtual keyboard types on the layout %1 (source: %2)%3.")
                     .arg(q(choice.layoutName()), q(choice.sourceName(sources)),
                          choice.followsDesktop() ? QStringLiteral(", followed when you switch layouts")
                                                  : QString()),
                 {}});
    return f;
}

} // namespace tarovex::worker::doctor
