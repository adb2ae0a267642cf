#pragma once

#include "typing/MutterKeyOutput.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace tarovex_test {

// GNOME's compositor of the test's own: Mutter headless, with a virtual monitor, on a session
// bus of its own, running until the object goes. Under root, the bus, Mutter and the terminal
// run as nobody, in a folder of their own under /tmp; the bus lets the test's user in too.
// When Mutter is missing or does not start, available() is false and reason() says why.
// With `portal`, the bus starts the desktop portal and its GNOME backend on demand, as GNOME's
// does, for a GNOME session on this Mutter.
class MutterServer {
public:
    explicit MutterServer(bool portal = false) {
        for (const char* program : {"mutter", "dbus-daemon", "foot"})
            if (::access((std::string("/usr/bin/") + program).c_str(), X_OK) != 0) {
                reason_ = std::string(program) + " is not installed (Debian package " +
                          (program == std::string("dbus-daemon") ? "dbus-daemon" : program) + ")";
                return;
            }
        std::string pattern = (std::filesystem::temp_directory_path() / "tarovex-mutter-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) {
            reason_ = "no temporary folder";
            return;
        }
        dir_ = pattern;
        const std::string run = dir_ + "/run";
        ::mkdir(run.c_str(), 0700);
        if (::geteuid() == 0) {
            const passwd* nobody = ::getpwnam("nobody");
            if (!nobody || ::chown(run.c_str(), nobody->pw_uid, nobody->pw_gid) != 0 ||
                ::chown(dir_.c_str(), nobody->pw_uid, nobody->pw_gid) != 0) {
                reason_ = "the user nobody cannot own the runtime folder";
                return;
            }
        }
        ::chmod(dir_.c_str(), 0755);
        // Any user may connect: the test's own, and Mutter's when the test runs as root.
        writeFile(dir_ + "/bus.conf",
                  "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\" "
                  "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n<busconfig>\n"
                  "<type>session</type><listen>unix:path=" +
                      dir_ +
                      "/bus</listen><auth>EXTERNAL</auth>\n"
                      "<policy context=\"default\"><allow user=\"*\"/><allow send_destination=\"*\"/><allow "
                      "receive_sender=\"*\"/>"
                      "<allow own=\"*\"/></policy>\n" +
                      (portal ? "<standard_session_servicedirs/>\n" : "") + "</busconfig>\n");
        busAddress_ = "unix:path=" + dir_ + "/bus";
        // What the bus starts gets the bus's environment: the portal picks its backend by the
        // desktop, and the backend shows its dialog on Mutter.
        const std::string busEnvironment =
            portal ? "XDG_CURRENT_DESKTOP=GNOME WAYLAND_DISPLAY=wayland-0 GSETTINGS_BACKEND=memory " : "";
        writeFile(dir_ + "/start.sh",
                  busEnvironment + "dbus-daemon --config-file=" + dir_ +
                      "/bus.conf --nofork --nopidfile &\n"
                      "while [ ! -S " +
                      dir_ +
                      "/bus ]; do sleep 0.01; done\n"
                      "export DBUS_SESSION_BUS_ADDRESS=" +
                      busAddress_ +
                      "\n"
                      "echo $$ > " +
                      dir_ +
                      "/mutter.pid\n"
                      "exec mutter --headless --wayland --no-x11 --virtual-monitor 1024x768\n");
        pid_ = spawn("sh " + dir_ + "/start.sh", dir_ + "/mutter.log");
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            if (std::filesystem::exists(run + "/wayland-0") &&
                tarovex::typing::MutterKeyOutput::offeredOn(busAddress_)) {
                // The portal serves only its own user's programs (it looks into their /proc
                // entries): it runs as the test's user, its backend as Mutter's.
                if (portal)
                    portal_ = spawn(
                        "XDG_CURRENT_DESKTOP=GNOME WAYLAND_DISPLAY=wayland-0 DBUS_SESSION_BUS_ADDRESS=" +
                            busAddress_ + " exec /usr/libexec/xdg-desktop-portal",
                        dir_ + "/portal.log", false);
                // Before anyone asks: a question would start another, as Mutter's user.
                for (int i = 0; portal && !registered("org.freedesktop.portal.Desktop"); ++i)
                    if (i == 1000 || ::waitpid(portal_, nullptr, WNOHANG) == portal_) {
                        busAddress_.clear();
                        reason_ = "the desktop portal did not start: " + lastLine(dir_ + "/portal.log");
                        return;
                    } else
                        std::this_thread::sleep_for(std::chrono::milliseconds(10));
                return;
            }
            if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
                pid_ = -1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        busAddress_.clear();
        reason_ = "mutter did not start: " + lastLine(dir_ + "/mutter.log");
    }
    ~MutterServer() {
        for (const pid_t pid : {receiver_, portal_, pid_})
            if (pid > 0) {
                ::kill(-pid, SIGTERM);
                ::waitpid(pid, nullptr, 0);
            }
        // The bus may still be removing its socket meanwhile, which fails one pass.
        std::error_code ec;
        for (int i = 0; i < 50 && !dir_.empty() && std::filesystem::exists(dir_); ++i) {
            std::filesystem::remove_all(dir_, ec);
            if (ec)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    MutterServer(const MutterServer&) = delete;
    MutterServer& operator=(const MutterServer&) = delete;

    bool available() const { return !busAddress_.empty(); }
    // Ends Mutter, leaving its bus, and returns once its name has gone from the bus.
    void endCompositor() {
        pid_t mutter = 0;
        std::ifstream(dir_ + "/mutter.pid") >> mutter;
        if (mutter > 0)
            ::kill(mutter, SIGKILL);
        for (int i = 0; i < 500 && tarovex::typing::MutterKeyOutput::offeredOn(busAddress_); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const std::string& reason() const { return reason_; }
    const std::string& busAddress() const { return busAddress_; }

    // Opens a terminal (foot) that gets the keyboard focus and writes every byte it receives,
    // unprocessed by a line editor, to a file that received() reads. Its first key (one the
    // caller types until ready() holds) only says that it has the focus.
    bool openReceiver() {
        writeFile(dir_ + "/receive.sh", "stty -icanon -echo min 1\n"
                                        "dd bs=1 count=1 of=/dev/null 2>/dev/null\n"
                                        ": > " +
                                            dir_ +
                                            "/ready\n"
                                            "exec cat > " +
                                            dir_ + "/received\n");
        receiver_ =
            spawn("WAYLAND_DISPLAY=wayland-0 exec foot -- sh " + dir_ + "/receive.sh", dir_ + "/foot.log");
        return receiver_ > 0;
    }
    bool ready() const { return std::filesystem::exists(dir_ + "/ready"); }
    // How many bytes the terminal received so far.
    std::uintmax_t receivedSize() const {
        std::error_code ec;
        const auto size = std::filesystem::file_size(dir_ + "/received", ec);
        return ec ? 0 : size;
    }
    // What the terminal received, once it is `size` bytes long or after `timeoutMs`.
    std::string received(std::size_t size, int timeoutMs = 10000) const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        std::string text;
        do {
            std::ifstream file(dir_ + "/received", std::ios::binary);
            std::stringstream all;
            all << file.rdbuf();
            text = all.str();
            if (text.size() >= size)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        } while (std::chrono::steady_clock::now() < deadline);
        return text;
    }

private:
    bool registered(const QString& name) const {
        bool found = false;
        {
            QDBusConnection bus = QDBusConnection::connectToBus(QString::fromStdString(busAddress_),
                                                                QStringLiteral("tarovex-test-probe"));
            found = bus.isConnected() && bus.interface()->isServiceRegistered(name).value();
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("tarovex-test-probe"));
        return found;
    }
    static void writeFile(const std::string& path, const std::string& text) {
        std::ofstream(path) << text;
        ::chmod(path.c_str(), 0644);
    }
    static std::string lastLine(const std::string& path) {
        std::ifstream log(path);
        std::string line, last = "no output";
        while (std::getline(log, line))
            if (!line.empty())
                last = line;
        return last;
    }
    // Runs the shell command as nobody under root (unless not `asNobody`), in a process group of
    // its own.
    pid_t spawn(const std::string& command, const std::string& log, bool asNobody = true) const {
        const pid_t pid = ::fork();
        if (pid != 0)
            return pid;
        ::setpgid(0, 0);
        // In our folder: nobody may not enter the test's own (a checkout in a private folder),
        // and the terminal starts its shell where it was started.
        if (::chdir(dir_.c_str()) != 0)
            ::_exit(127);
        const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        ::dup2(fd, STDOUT_FILENO);
        ::dup2(fd, STDERR_FILENO);
        std::vector<std::string> args;
        if (::geteuid() == 0 && asNobody)
            args = {"runuser", "-u", "nobody", "--"};
        for (const std::string& a :
             std::initializer_list<std::string>{"env", "-i", "XDG_RUNTIME_DIR=" + dir_ + "/run",
                                                "HOME=" + dir_, "PATH=/usr/bin:/bin", "sh", "-c", command})
            args.push_back(a);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }

    std::string dir_;
    std::string busAddress_;
    std::string reason_;
    pid_t pid_ = -1;
    pid_t receiver_ = -1;
    pid_t portal_ = -1;
};

// Runs `make`, which waits for the desktop portal's dialog, while the user's keyboard answers that
// dialog with `keys` once it has the focus: once a key no longer reaches the terminal within a
// second (a letter, which the dialog ignores). What reached the terminal meanwhile counts as
// received already.
template <typename Make>
auto answeringThePortalDialog(MutterServer& mutter, tarovex::typing::MutterKeyOutput& keyboard, Make make,
                              const std::vector<tarovex::typing::TypedKey>& keys) {
    auto made = std::async(std::launch::async, make);
    for (bool answered = false; made.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready;) {
        if (answered) {
            made.wait();
            break;
        }
        const auto size = mutter.receivedSize();
        keyboard.type(tarovex::typing::TypedKey{U'q'});
        if (mutter.received(size + 1, 1000).size() > size)
            continue;
        // Slowly: GTK's switch turns on at the end of its animation, and only then may Share
        // take the focus.
        for (const tarovex::typing::TypedKey& key : keys) {
            keyboard.type(key);
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
        }
        answered = true;
    }
    for (auto size = mutter.receivedSize();; size = mutter.receivedSize()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        if (mutter.receivedSize() == size)
            break;
    }
    return made.get();
}

// The portal's GNOME dialog opens with the focus on its switch "Allow remote interaction",
// which must be on for its button Share; three Tabs go there by Cancel.
inline const std::vector<tarovex::typing::TypedKey> portalAccept{
    tarovex::typing::TypedKey{U' '}, tarovex::typing::TypedKey{tarovex::typing::NamedKey::Tab},
    tarovex::typing::TypedKey{tarovex::typing::NamedKey::Tab},
    tarovex::typing::TypedKey{tarovex::typing::NamedKey::Tab},
    tarovex::typing::TypedKey{tarovex::typing::NamedKey::Enter}};

} // namespace tarovex_test
