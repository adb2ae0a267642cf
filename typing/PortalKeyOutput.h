#pragma once

#include "typing/LayoutBoundOutput.h"

#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace tarovex::typing {

// Types through the desktop portal's remote desktop (org.freedesktop.portal.RemoteDesktop on
// the session bus), which asks the user once in a dialog of the desktop. On GNOME its backend
// hands the keysyms to Mutter, which looks them up in the desktop's layout, so every character
// is checked against that layout first, as for Mutter's own remote desktop.
class PortalKeyOutput : public LayoutBoundOutput {
public:
    struct Options {
        // The session bus's address; empty for this process's session bus.
        std::string busAddress;
        // The layout the desktop applies.
        XkbRuleNames layout;
        // How long the user has to answer the desktop's dialog.
        std::chrono::milliseconds dialogTimeout{std::chrono::minutes(2)};
        std::chrono::milliseconds timeout{3000};
        // Where the portal's permission to skip the dialog next time is kept; empty for the
        // user's state folder.
        std::string tokenPath;
    };

    // Creates and starts the session, waiting for the user to answer the desktop's dialog.
    // Throws std::runtime_error when there is no portal, the user cancelled, or it failed.
    explicit PortalKeyOutput(Options options);
    // Closes the session.
    ~PortalKeyOutput() override;
    PortalKeyOutput(const PortalKeyOutput&) = delete;
    PortalKeyOutput& operator=(const PortalKeyOutput&) = delete;

    // Throws std::runtime_error when the portal or the bus went away or refused a key.
    void type(const TypedKey& key) override;
    std::optional<std::string> cannotType(char32_t c) override;
    QString description() const override;
    void setLayout(const XkbRuleNames& names) override;

    // The portal's interface version: from 2 on it remembers the user's permission.
    unsigned version() const { return version_; }
    // For the log at Start: that the desktop asks each time, or cannot store its permission.
    const QStringList& warnings() const { return warnings_; }

    // Whether the portal is on that bus or can be started there (empty: the session bus).
    static bool offeredOn(const std::string& busAddress);

    // $XDG_STATE_HOME/tarovex/portal-restore-token, else under ~/.local/state.
    static std::string defaultTokenPath();
    // The stored token; none when the file is missing, unreadable or not a token.
    static std::optional<std::string> readToken(const std::string& path);
    // Replaces the stored token, readable by the user alone. Throws std::runtime_error.
    static void writeToken(const std::string& path, const std::string& token);

private:
    // Calls a method that answers through a request object, and waits for that answer.
    QVariantMap request(const QString& method, const QList<QVariant>& arguments, const QString& token);
    void send(const std::vector<Keysym>& keysyms);

    Options options_;
    XkbLayout layout_;
    QString connectionName_;
    QString session_;
    unsigned version_ = 0;
    QStringList warnings_;
};

} // namespace tarovex::typing
