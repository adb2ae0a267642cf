#include "tarovex/startup/StartupPlan.h"

#include "tarovex/ports/RecentAddresses.h"
#include "tarovex/prefs/ConfigStore.h"
#include "tarovex/prefs/PreferencesErrors.h"
#include "tarovex/settings/SettingsTransfer.h"
#include "tarovex/startup/StartupRules.h"
#include "tarovex/texts/ShellBundle.h"

namespace tarovex {

StartupPlan planPorts(const QStringList& arguments, const std::function<ports::PortListing()>& listPorts,
                      const QStringList& storedAddresses) {
    StartupPlan plan;
    if (const auto port = commandLinePort(arguments)) {
        plan.commandLinePort = port;
        plan.ports = {{*port, *port, true}};
        return plan;
    }
    const ports::PortListing listing = listPorts();
    if (listing.libraryMissing) {
        plan.messages.append({Notifier::Kind::Error, text("fatal.error"),
                              text("library.tlkwin.not.found.or.not.matching.your.system") + listing.system +
                                  text("program.will.now.exit")});
        plan.exitStatus = 2;
    } else if (listing.failure) {
        plan.messages.append(
            {Notifier::Kind::Error, text("error"), text("error.listing.available.ports") + *listing.failure});
    } else if (listing.ports.isEmpty() && storedAddresses.isEmpty()) {
        plan.messages.append({Notifier::Kind::Error, text("error"),
                              text("no.rs.232.port.found.on.your.system.program.will.now.exit")});
        plan.exitStatus = 1;
    }
    plan.ports = listing.ports;
    return plan;
}

QStringList storedAddresses(const prefs::Preferences* node) {
    if (!node)
        return {};
    QStringList out;
    try {
        if (const QString port = node->get(QStringLiteral("port"), QString()); ports::isNetworkPort(port))
            out.append(port);
        out += ports::parseAddresses(node->get(QStringLiteral("recentAddresses"), QString()))
                   .value_or(QStringList());
    } catch (const std::exception&) {
        // Unreadable: the loading of the settings reports it.
    }
    return out;
}

void loadSettings(StartupPlan& plan, SettingsSession& session, const std::optional<QString>& storeError) {
    if (storeError)
        plan.messages.append({Notifier::Kind::Error, text("error.while.loading.settings"),
                              QStringLiteral("The settings store cannot be opened, so nothing is loaded or "
                                             "saved in this run:\n") +
                                  *storeError});
    QStringList names = ports::choiceNames(plan.ports);
    prefs::Preferences* node = session.node();
    if (names.isEmpty() && node) // the listing failed: the stored port is still the one to offer
        names = {node->get(QStringLiteral("port"), QString())};
    names.removeAll(QString());
    QStringList invalid;
    try {
        if (!session.load(names, &invalid)) {
            QList<QPair<QString, QString>> refused;
            for (const QString& key : invalid)
                refused.append({key, node ? node->get(key, QString()) : QString()});
            plan.messages.append(
                {Notifier::Kind::Error, text("error.while.loading.settings"),
                 QStringLiteral("These stored settings are invalid and were replaced by their defaults:\n") +
                     refusedSettingsText(refused)});
        }
    } catch (const prefs::PreferencesAccessException&) {
        plan.messages.append({Notifier::Kind::Error, text("error.while.loading.settings"),
                              text("access.error.while.loading.settings")});
    }
    config::Config& c = session.config();
    if (!c.getInstrument())
        c.setInstrument(config::ConfigHelper::Instrument::getDefault());
    if (plan.commandLinePort)
        c.setPort(*plan.commandLinePort);
    session.keepAsSaved();
}

} // namespace tarovex
