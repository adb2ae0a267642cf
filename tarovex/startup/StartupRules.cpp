#include "tarovex/startup/StartupRules.h"

namespace tarovex {

namespace CH = config::ConfigHelper;

std::optional<QString> commandLinePort(const QStringList& arguments) {
    if (arguments.isEmpty() || arguments.first().isEmpty())
        return std::nullopt;
    return arguments.first();
}

AutoStart decideAutoStart(const config::Config& config, bool portGivenOnCommandLine) {
    if (config.getConnect() != CH::Connect::AUTO)
        return AutoStart::None;
    const auto& prev = config.getPrevPort();
    if (config.abortAutoStartWhenPrevPortNotAvailable && !portGivenOnCommandLine && prev &&
        *prev != config.getPort())
        return AutoStart::AbortPortGone;
    return AutoStart::Start;
}

bool startsUpdateCheck(const config::Config& config, int draw) {
    return config.checkForUpdates && draw == 0;
}

QList<TabId> allTabs() {
    return {TabId::Start,    TabId::Input, TabId::Processing, TabId::Output,
            TabId::Settings, TabId::Log,   TabId::About};
}

bool autosavesOnLeaving(TabId tab) {
    return tab == TabId::Input || tab == TabId::Processing || tab == TabId::Output || tab == TabId::About;
}

void switchTabs(bool running, TabOps& ops) {
    if (running) {
        for (int i = 0; i < 4; ++i)
            ops.removeTab(1);
        return;
    }
    for (TabId t : {TabId::Settings, TabId::Output, TabId::Processing, TabId::Input})
        ops.insertTab(1, t);
}

} // namespace tarovex
