#pragma once

#include "typing/KeyOutputFactory.h"
#include "typing/desktop/DesktopLayout.h"

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tarovex::worker::doctor {

// What the check of this computer looks at, as a seam: every system path is read under
// `root` (tests give a folder of fixture files), the user and the session are values.
struct SystemView {
    std::string root = "/";
    // The session: $XDG_SESSION_TYPE, $DISPLAY, $WAYLAND_DISPLAY, $XDG_RUNTIME_DIR.
    std::string sessionType, display, waylandDisplay, runtimeDir;
    std::string kernelRelease;  // uname -r: where its modules are
    typing::SessionFacts session; // what the choice of the keyboard backend looks at
    uid_t uid = 0;
    pid_t pid = 0; // ours, not counted as holding a port
    std::string userName;
    std::vector<gid_t> groups; // of this process: what the current login may use
    // Whether this user may open the device for reading and writing (access rights, ACLs).
    std::function<bool(const std::string& path)> mayOpen;
    // Where the layout is read from; its keyboardFile is taken under `root`.
    typing::DesktopSources desktop;
    // How long a network port's name lookup and connection, and then its RFC 2217
    // agreement, may each take.
    int networkLimitMs = 3000;

    static SystemView current();

    // `absolute` ("/proc/modules") under the root.
    std::string path(const std::string& absolute) const;
    bool exists(const std::string& absolute) const;
    // The whole file, empty when unreadable.
    std::string read(const std::string& absolute) const;
};

// A group of the group file under the root.
struct GroupEntry {
    std::string name;
    std::vector<std::string> members;
};
std::optional<GroupEntry> groupOf(const SystemView& view, gid_t gid);

// A process that has `device` open.
struct Holder {
    pid_t pid = 0;
    std::string command;
};
// Scans /proc/*/fd; processes whose descriptors cannot be read are skipped.
std::vector<Holder> processesHolding(const SystemView& view, const std::string& device);
// The processes whose command is `name`.
std::vector<pid_t> processesNamed(const SystemView& view, const std::string& name);

} // namespace tarovex::worker::doctor
