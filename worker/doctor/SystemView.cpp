#include "worker/doctor/SystemView.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <pwd.h>
#include <sstream>
#include <sys/utsname.h>
#include <unistd.h>

namespace tarovex::worker::doctor {
namespace {

namespace fs = std::filesystem;

std::string environmentValue(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> items;
    std::istringstream in(text);
    for (std::string item; std::getline(in, item, separator);)
        items.push_back(item);
    return items;
}

// The numeric folders of /proc.
std::vector<pid_t> processIds(const SystemView& view) {
    std::vector<pid_t> pids;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(view.path("/proc"), ec)) {
        const std::string name = entry.path().filename().string();
        if (!name.empty() && name.find_first_not_of("0123456789") == std::string::npos)
            pids.push_back(pid_t(std::stol(name)));
    }
    return pids;
}

std::string commandOf(const SystemView& view, pid_t pid) {
    std::string command = view.read("/proc/" + std::to_string(pid) + "/comm");
    while (!command.empty() && command.back() == '\n')
        command.pop_back();
    return command;
}

} // namespace

SystemView SystemView::current() {
    SystemView v;
    v.sessionType = environmentValue("XDG_SESSION_TYPE");
    v.display = environmentValue("DISPLAY");
    v.waylandDisplay = environmentValue("WAYLAND_DISPLAY");
    v.runtimeDir = environmentValue("XDG_RUNTIME_DIR");
    if (utsname u{}; ::uname(&u) == 0)
        v.kernelRelease = u.release;
    v.uid = ::getuid();
    v.pid = ::getpid();
    if (const passwd* pw = ::getpwuid(v.uid))
        v.userName = pw->pw_name;
    v.groups.push_back(::getegid());
    const int count = ::getgroups(0, nullptr);
    if (count > 0) {
        std::vector<gid_t> more(static_cast<std::size_t>(count));
        more.resize(static_cast<std::size_t>(std::max(0, ::getgroups(count, more.data()))));
        v.groups.insert(v.groups.end(), more.begin(), more.end());
    }
    v.mayOpen = [](const std::string& path) { return ::access(path.c_str(), R_OK | W_OK) == 0; };
    const auto environment = typing::SessionEnvironment::current();
    v.session = typing::sessionFacts(typing::KeyBackend::Automatic, environment);
    v.desktop = environment.desktop;
    return v;
}

std::string SystemView::path(const std::string& absolute) const {
    if (root.empty() || root == "/")
        return absolute;
    return (root.back() == '/' ? root.substr(0, root.size() - 1) : root) + absolute;
}

bool SystemView::exists(const std::string& absolute) const {
    std::error_code ec;
    return fs::exists(path(absolute), ec);
}

std::string SystemView::read(const std::string& absolute) const {
    std::ifstream in(path(absolute), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::optional<GroupEntry> groupOf(const SystemView& view, gid_t gid) {
    std::istringstream in(view.read("/etc/group"));
    for (std::string line; std::getline(in, line);) {
        const auto fields = split(line, ':'); // name:password:gid:members
        if (fields.size() >= 3 && fields[2] == std::to_string(gid))
            return GroupEntry{fields[0],
                              fields.size() > 3 ? split(fields[3], ',') : std::vector<std::string>{}};
    }
    // Groups from a directory service are not in the file.
    if (view.path("/etc/group") == "/etc/group")
        if (const group* g = ::getgrgid(gid))
            return GroupEntry{g->gr_name, {}};
    return std::nullopt;
}

std::vector<Holder> processesHolding(const SystemView& view, const std::string& device) {
    // The device by its own name and by what it points to (/dev/serial/by-id/... -> ttyUSB0).
    std::error_code ec;
    const fs::path real = fs::weakly_canonical(view.path(device), ec);
    std::string target = real.string();
    if (view.path("/") != "/") {
        const std::string prefix = fs::weakly_canonical(view.root, ec).string();
        if (target.starts_with(prefix))
            target = target.substr(prefix.size());
    }
    std::vector<Holder> holders;
    for (const pid_t pid : processIds(view)) {
        if (pid == view.pid)
            continue;
        for (const auto& fd : fs::directory_iterator(view.path("/proc/" + std::to_string(pid) + "/fd"), ec)) {
            std::error_code linkError;
            const std::string link = fs::read_symlink(fd.path(), linkError).string();
            if (!linkError && (link == device || link == target)) {
                holders.push_back({pid, commandOf(view, pid)});
                break;
            }
        }
    }
    return holders;
}

std::vector<pid_t> processesNamed(const SystemView& view, const std::string& name) {
    std::vector<pid_t> found;
    for (const pid_t pid : processIds(view))
        if (commandOf(view, pid) == name)
            found.push_back(pid);
    return found;
}

} // namespace tarovex::worker::doctor
