#pragma once

#include "typing/LayoutBoundOutput.h"

#include <QString>

#include <chrono>
#include <string>
#include <vector>

namespace tarovex::typing {

// Types through a remote desktop session of GNOME's compositor (Mutter's
// org.gnome.Mutter.RemoteDesktop on the session bus), for GNOME on Wayland without
// /dev/uinput. Keys go as keysyms that Mutter finds on its own layout, in its active group and
// at a level it can reach (none, Shift or AltGr); a keysym it does not find it drops while still
// answering success, so every character is checked first against the desktop's layout.
class MutterKeyOutput : public LayoutBoundOutput {
public:
    struct Options {
        // The session bus's address; empty for this process's session bus.
        std::string busAddress;
        // The layout the desktop applies: what Mutter looks the keysyms up in.
        XkbRuleNames layout;
        std::chrono::milliseconds timeout{3000};
    };

    // Creates and starts the session. Throws std::runtime_error when there is no session bus,
    // no Mutter on it, or Mutter refuses the session.
    explicit MutterKeyOutput(Options options);
    // Stops the session.
    ~MutterKeyOutput() override;
    MutterKeyOutput(const MutterKeyOutput&) = delete;
    MutterKeyOutput& operator=(const MutterKeyOutput&) = delete;

    // Throws std::runtime_error when Mutter or the bus went away or refused a key.
    void type(const TypedKey& key) override;
    std::optional<std::string> cannotType(char32_t c) override;
    QString description() const override;
    void setLayout(const XkbRuleNames& names) override;

    // Whether Mutter's remote desktop service is on that bus (empty: the session bus).
    static bool offeredOn(const std::string& busAddress);

private:
    // Sends the keys without waiting between them, then waits for every answer.
    void send(const std::vector<Keysym>& keysyms);
    // Calls the method and waits for its answer; throws std::runtime_error on an error.
    QList<QVariant> call(const QString& path, const QString& interface, const QString& method);

    Options options_;
    XkbLayout layout_;
    QString connectionName_; // our own connection to the bus, by its name in Qt
    QString session_;        // the session's object path, empty until it exists
};

} // namespace tarovex::typing
