#pragma once

#include "config/Config.h"

#include <QList>
#include <QStringList>

#include <optional>

namespace tarovex {

// The port given as the first argument (arguments without the program name); nothing when
// there is none or it is empty, and the ports are then listed.
std::optional<QString> commandLinePort(const QStringList& arguments);

// What the program does once its window is up.
enum class AutoStart { None, Start, AbortPortGone };

// Connect mode AUTO starts, unless the abort option is on, the port did not come from the
// command line and the port differs from the one of the previous run.
AutoStart decideAutoStart(const config::Config& config, bool portGivenOnCommandLine);

// The update check runs on one start in four (draw 0 of 0..3) when it is switched on.
bool startsUpdateCheck(const config::Config& config, int draw);

// The tabs of the window, in their order.
enum class TabId { Start, Input, Processing, Output, Settings, Log, About };
QList<TabId> allTabs();

// Leaving these tabs reads the controls and saves when something changed.
bool autosavesOnLeaving(TabId tab);

// The tab operations of a window, for switchTabs.
class TabOps {
public:
    virtual ~TabOps() = default;
    virtual void removeTab(int index) = 0;
    virtual void insertTab(int index, TabId tab) = 0;
};

// Running: the input, processing, output and settings tabs go (four removals at position 1).
// Stopped: they come back, settings first, each at position 1, which restores the order.
void switchTabs(bool running, TabOps& ops);

} // namespace tarovex
