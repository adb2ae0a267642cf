#pragma once

#include "tarovex/RunServices.h"
#include "tarovex/ports/PortList.h"
#include "tarovex/settings/SettingsSession.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace tarovex {

// A message dialog of the start-up, its texts resolved.
struct StartupMessage {
    Notifier::Kind kind = Notifier::Kind::Error;
    QString title;
    QString text;
    friend bool operator==(const StartupMessage&, const StartupMessage&) = default;
};

// What the start-up does before the window shows, decided without a display: the ports the
// port box offers, the dialogs to show (in order) and whether the program ends instead.
struct StartupPlan {
    QList<ports::PortChoice> ports;
    std::optional<QString> commandLinePort;
    QList<StartupMessage> messages;
    std::optional<int> exitStatus;
};

// The ports: the command-line port alone, else what `listPorts` finds. A driver that cannot
// be loaded ends the program (status 2); an empty list ends it (status 1) unless network
// ports are stored (`storedAddresses`); a listing that fails is reported and the start-up
// goes on with the configured port.
StartupPlan planPorts(const QStringList& arguments, const std::function<ports::PortListing()>& listPorts,
                      const QStringList& storedAddresses = {});

// The network ports `node` holds: the stored port when it is one, and the remembered ones.
QStringList storedAddresses(const prefs::Preferences* node);

// Loads the settings for the plan's ports and puts the command-line port in. An invalid
// stored value is named with its text in one message; a store that refuses access is
// reported; both let the start-up go on. `storeError` is why the store could not be opened
// at all (nothing is loaded then).
void loadSettings(StartupPlan& plan, SettingsSession& session, const std::optional<QString>& storeError);

} // namespace tarovex
