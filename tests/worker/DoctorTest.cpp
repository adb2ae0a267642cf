#include "worker/doctor/Doctor.h"
#include "worker/openhint/OpenFailureHint.h"

#include "tests/Ser2netServer.h"
#include "tests/Tarolink/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tarovex::worker::doctor;
using Severity = Finding::Severity;
using tarovex::typing::KeyBackend;
using tarovex::typing::SessionFacts;
namespace fs = std::filesystem;

namespace {

// A folder standing for the system's root, filled by each test.
class FixtureRoot {
public:
    // One folder per test: ctest runs them side by side.
    FixtureRoot()
        : root_(testing::TempDir() + "/doctor-root-" +
                testing::UnitTest::GetInstance()->current_test_info()->name()) {
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    void file(const std::string& path, const std::string& text = {}) const {
        fs::create_directories(fs::path(root_ + path).parent_path());
        std::ofstream(root_ + path) << text;
    }
    void link(const std::string& path, const std::string& target) const {
        fs::create_directories(fs::path(root_ + path).parent_path());
        fs::create_symlink(target, root_ + path);
    }
    SystemView view() const {
        SystemView v;
        v.root = root_;
        v.uid = 1000;
        v.pid = 1;
        v.userName = "alice";
        v.mayOpen = [](const std::string&) { return true; };
        v.desktop.keyboardFile = "/etc/default/keyboard";
        return v;
    }
    const std::string& path() const { return root_; }

private:
    std::string root_;
};

// The finding whose sentence contains `part`; a Problem "missing" one when there is none.
Finding find(const Findings& findings, const std::string& part) {
    for (const Finding& f : findings)
        if (f.sentence.contains(QString::fromStdString(part)))
            return f;
    return {Severity::Problem, QStringLiteral("missing: ") + QString::fromStdString(part), {}};
}

TEST(DoctorTest, KeyboardBackendUinputAndLayout) {
    const SessionFacts x11{KeyBackend::Automatic, true, false, false, false};
    const SessionFacts sway{KeyBackend::Automatic, false, true, true, false};
    const SessionFacts gnome{KeyBackend::Automatic, false, true, false, false};
    const SessionFacts console{};
    const SessionFacts gnomeWithoutMutter{KeyBackend::Automatic, false, true, false, true,
                                          "ubuntu:GNOME",        false};
    struct Row {
        SessionFacts session;
        std::vector<std::string> files; // made under the root
        bool mayOpen;
        std::string part;
        Severity severity;
        std::string fix;
    } rows[] = {
        {x11,
         {},
         true,
         "X11 session (DISPLAY=:0): values are typed through the X server's XTest",
         Severity::Ok,
         ""},
        {sway, {}, true, "compositor's virtual keyboard with a keymap of our own", Severity::Ok, ""},
        {gnome,
         {},
         true,
         "(uinput), the only way there without a desktop service (rule: Wayland session, "
         "the compositor offers no virtual keyboard)",
         Severity::Ok,
         ""},
        {x11, {}, true, "the compositor's virtual keyboard: this is not a Wayland session", Severity::Ok, ""},
        {sway, {}, true, "the kernel's uinput: tried only when the routes before it fail", Severity::Ok, ""},
        {gnomeWithoutMutter,
         {},
         true,
         "GNOME's remote desktop (Mutter): Mutter's remote desktop is not on the session bus; KWin's fake "
         "input: this is not a KDE Plasma Wayland session (XDG_CURRENT_DESKTOP=ubuntu:GNOME)",
         Severity::Ok,
         ""},
        {gnome,
         {},
         true,
         "has no uinput",
         Severity::Problem,
         "sudo apt install linux-image-amd64 && sudo reboot"},
        {console,
         {"/lib/modules/6.1.0/modules.dep"},
         true,
         "not loaded",
         Severity::Problem,
         "sudo modprobe uinput && echo uinput | sudo tee /etc/modules-load.d/uinput.conf"},
        {console,
         {"/sys/module/uinput/refcnt"},
         true,
         "/dev/uinput is missing",
         Severity::Problem,
         "sudo udevadm trigger --subsystem-match=misc --sysname-match=uinput"},
        {console, {"/dev/uinput"}, false, "You may not open /dev/uinput", Severity::Problem, "udevadm"},
        {console, {"/dev/uinput"}, true, "You may open /dev/uinput", Severity::Ok, ""},
        {console, {}, true, "No udev rule", Severity::Warning, "70-tarovex-uinput.rules"},
        {console,
         {"/usr/lib/udev/rules.d/70-tarovex-uinput.rules"},
         true,
         "rule /usr/lib/udev/rules.d/70-tarovex-uinput.rules",
         Severity::Ok,
         ""},
        {console,
         {"/etc/udev/rules.d/99-input.rules"},
         true,
         "rule /etc/udev/rules.d/99-input.rules",
         Severity::Ok,
         ""},
        {console,
         {"/etc/default/keyboard"},
         true,
         "layout de(nodeadkeys) (source: the system keyboard configuration",
         Severity::Ok,
         ""},
    };
    for (const Row& r : rows) {
        FixtureRoot root;
        for (const std::string& f : r.files)
            root.file(f, f.ends_with("modules.dep") ? "kernel/drivers/input/misc/uinput.ko.xz:\n"
                         : f.ends_with("99-input.rules")
                             ? "KERNEL==\"uinput\", GROUP=\"input\", MODE=\"0660\"\n"
                         : f.ends_with("keyboard") ? "XKBLAYOUT=\"de\"\nXKBVARIANT=\"nodeadkeys\"\n"
                                                   : "");
        SystemView v = root.view();
        v.session = r.session;
        v.display = ":0";
        v.waylandDisplay = "wayland-1";
        v.kernelRelease = "6.1.0";
        v.mayOpen = [&r](const std::string&) { return r.mayOpen; };
        const Finding f = find(checkKeyboard(v), r.part);
        EXPECT_EQ(f.severity, r.severity) << f.sentence.toStdString();
        EXPECT_TRUE(r.fix.empty() ? f.fix.isEmpty() : f.fix.contains(QString::fromStdString(r.fix)))
            << r.part << ": " << f.fix.toStdString();
    }
}

TEST(DoctorTest, PortGroupsAndTheProcessThatHoldsIt) {
    // The fixture device's group: ours, or a made-up one where we are the superuser.
    FixtureRoot probe;
    probe.file("/dev/ttyUSB0");
    const gid_t dialout = ::getegid() != 0 ? ::getegid() : 20;
    struct Row {
        uid_t uid;
        std::vector<gid_t> groups;
        std::string members;
        mode_t mode;
        std::string part;
        std::string fix;
    } rows[] = {
        {1000, {dialout}, "", 0660, "you are in it", ""},
        {0, {}, "", 0660, "superuser", ""},
        {1000, {}, "bob,alice", 0660, "You were added to it", "newgrp dialout"},
        {1000,
         {},
         "bob",
         0660,
         tarovex::worker::groupJoinHint("/dev/ttyUSB0", "dialout").toStdString(),
         "sudo usermod -aG dialout $USER"},
        {1000, {}, "", 0600, "may not read and write it", "sudo chmod g+rw /dev/ttyUSB0"},
    };
    for (const Row& r : rows) {
        FixtureRoot root;
        root.file("/dev/ttyUSB0");
        ASSERT_EQ(::chown((root.path() + "/dev/ttyUSB0").c_str(), uid_t(-1), dialout), 0);
        ::chmod((root.path() + "/dev/ttyUSB0").c_str(), r.mode);
        root.file("/etc/group", "root:x:0:\ndialout:x:" + std::to_string(dialout) + ":" + r.members + "\n");
        SystemView v = root.view();
        v.uid = r.uid == 0 ? 0 : (::getuid() == 1000 ? 1001 : 1000); // never the owner
        v.groups = r.groups;
        const Finding f = find(checkPort(v, "/dev/ttyUSB0"), r.part);
        const bool ok = r.fix.empty();
        EXPECT_EQ(f.severity, ok ? Severity::Ok : Severity::Problem) << f.sentence.toStdString();
        EXPECT_EQ(f.fix.toStdString(), r.fix) << r.part;
    }

    FixtureRoot root;
    root.file("/dev/ttyUSB0");
    root.link("/dev/serial/by-id/usb-1a86_USB_Serial-if00-port0", "../../ttyUSB0");
    root.file("/proc/4321/comm", "minicom\n");
    root.link("/proc/4321/fd/3", "/dev/ttyUSB0");
    root.file("/proc/55/comm", "bash\n");
    root.link("/proc/55/fd/0", "/dev/pts/1");
    SystemView v = root.view();
    v.uid = 0;
    for (const char* port : {"/dev/ttyUSB0", "/dev/serial/by-id/usb-1a86_USB_Serial-if00-port0"}) {
        const Findings f = checkPort(v, port);
        ASSERT_EQ(f.size(), 2u) << port;
        EXPECT_EQ(
            f[1],
            (Finding{
                Severity::Problem,
                QStringLiteral("%1 is in use by process 4321 (minicom): close that program first.").arg(port),
                QStringLiteral("kill 4321")}));
    }
    const Findings missing = checkPort(v, "/dev/ttyACM0");
    ASSERT_EQ(missing.size(), 1u);
    EXPECT_EQ(missing[0].severity, Severity::Problem);
    EXPECT_EQ(missing[0].fix, "ls -l /dev/serial/by-id/");
}

TEST(DoctorTest, ScalesByTheirDescriptorAndBothWaysToThem) {
    // Application collections: a scale (usage page 0x8D, usage 0x20) and a keyboard.
    const std::string scale = "\x05\x8D\x09\x20\xA1\x01\xC0", keyboard = "\x05\x01\x09\x06\xA1\x01\xC0";
    FixtureRoot root;
    root.file("/sys/class/hidraw/hidraw3/device/report_descriptor", scale);
    root.file("/sys/class/hidraw/hidraw3/device/uevent",
              "HID_ID=0003:00007A10:00000005\nHID_NAME=Bench scale\nHID_UNIQ=TS0042\n");
    root.file("/sys/class/hidraw/hidraw4/device/report_descriptor", keyboard);
    root.file("/sys/class/hidraw/hidraw4/device/uevent", "HID_ID=0003:00007A10:00000001\nHID_UNIQ=KB1\n");
    const QString name = QStringLiteral("USB scale Bench scale (/dev/hidraw3, hid:7a10:0005:TS0042)");
    for (const bool mayOpen : {true, false}) {
        SystemView v = root.view();
        v.mayOpen = [&](const std::string& node) { return mayOpen && node == "/dev/hidraw3"; };
        const Findings f = checkScales(v);
        ASSERT_EQ(f.size(), 1u) << "the keyboard is no scale";
        EXPECT_TRUE(f[0].sentence.startsWith(name)) << f[0].sentence.toStdString();
        if (mayOpen) {
            EXPECT_EQ(f[0], (Finding{Severity::Ok, name + QStringLiteral(": this user can read it."), {}}));
            continue;
        }
        EXPECT_EQ(f[0].severity, Severity::Problem);
        EXPECT_TRUE(f[0].sentence.contains(QStringLiteral("log in again"))) << f[0].sentence.toStdString();
        // The seat's user once the rule applies; a user without a seat through the group.
        for (const char* way :
             {"sudo udevadm trigger --subsystem-match=hidraw", "sudo adduser alice plugdev"})
            EXPECT_TRUE(f[0].fix.contains(QLatin1StringView(way))) << f[0].fix.toStdString();
    }
}

TEST(DoctorTest, ServicesThatGrabNewPorts) {
    const std::string brlttyRules =
        "ENV{PRODUCT}==\"1a86/7523/*\", ENV{BRLTTY_BRAILLE_DRIVER}=\"bm\", GOTO=\"brltty_usb_run\"\n"
        "ENV{PRODUCT}==\"10c4/ea60/*\", ENV{BRLTTY_BRAILLE_DRIVER}=\"sk\", GOTO=\"brltty_usb_run\"\n";
    struct Row {
        bool brltty, rules, modemManager;
        std::vector<std::string> fixes;
    } rows[] = {
        {false, false, false, {}},
        {false, true, false, {}}, // rules left behind without the program
        {true, true, false, {"sudo apt remove brltty"}},
        {false, false, true, {"sudo systemctl disable --now ModemManager"}},
    };
    for (const Row& r : rows) {
        FixtureRoot root;
        if (r.brltty)
            root.file("/usr/bin/brltty");
        if (r.rules)
            root.file("/usr/lib/udev/rules.d/85-brltty.rules", brlttyRules);
        root.file("/proc/77/comm", r.modemManager ? "ModemManager\n" : "systemd\n");
        std::vector<std::string> fixes;
        for (const Finding& f : checkPortServices(root.view())) {
            EXPECT_EQ(f.severity, Severity::Warning);
            fixes.push_back(f.fix.toStdString());
        }
        EXPECT_EQ(fixes, r.fixes);
    }
    FixtureRoot root;
    root.file("/usr/bin/brltty");
    root.file("/usr/lib/udev/rules.d/85-brltty.rules", brlttyRules);
    EXPECT_TRUE(checkPortServices(root.view()).at(0).sentence.contains(u"CH340 and CP210x"));
}

TEST(DoctorTest, SoundfontAndAudioOutput) {
    struct Row {
        bool soundfont;
        std::string runtimeFile, cards;
        std::vector<Severity> severities;
    } rows[] = {
        {true, "pulse/native", "", {Severity::Ok, Severity::Ok}},
        {true, "pipewire-0", "", {Severity::Ok, Severity::Ok}},
        {true, "", " 0 [PCH ]: HDA-Intel - HDA Intel PCH\n", {Severity::Ok, Severity::Ok}},
        {false, "", "--- no soundcards ---\n", {Severity::Warning, Severity::Warning}},
    };
    for (const Row& r : rows) {
        FixtureRoot root;
        if (r.soundfont)
            root.file("/usr/share/sounds/sf2/TimGM6mb.sf2");
        SystemView v = root.view();
        v.runtimeDir = "/run/user/1000";
        if (!r.runtimeFile.empty())
            root.file(v.runtimeDir + "/" + r.runtimeFile);
        if (!r.cards.empty())
            root.file("/proc/asound/cards", r.cards);
        std::vector<Severity> severities;
        for (const Finding& f : checkSound(v))
            severities.push_back(f.severity);
        EXPECT_EQ(severities, r.severities) << r.runtimeFile << r.cards;
    }
}

// A problem anywhere makes the whole check fail; the report puts each fix under its finding.
TEST(DoctorTest, ReportAndItsVerdict) {
    FixtureRoot root;
    root.file("/dev/uinput");
    root.file("/usr/lib/udev/rules.d/70-tarovex-uinput.rules");
    root.file("/usr/share/sounds/sf2/TimGM6mb.sf2");
    root.file("/dev/ttyS0");
    root.file("/proc/asound/cards", " 0 [PCH ]: HDA-Intel\n");
    SystemView v = root.view();
    v.uid = 0;
    EXPECT_FALSE(blocksReadingOrTyping(checkThisComputer(v, {"/dev/ttyS0"})));
    const Findings noPort = checkThisComputer(v, {});
    EXPECT_TRUE(blocksReadingOrTyping(noPort));
    const QString report = formatReport(noPort);
    EXPECT_TRUE(
        report.contains(u"PROBLEM  No serial port was found: connect the instrument, or name its port.\n"
                        u"         fix: ls -l /dev/serial/by-id/\n"))
        << report.toStdString();
    EXPECT_TRUE(report.endsWith(u"1 problem(s) stop reading or typing; 0 warning(s).\n"))
        << report.toStdString();
}

// Advice about uinput only where uinput is what types: here it is missing altogether.
TEST(DoctorTest, UinputAdviceOnlyWhereUinputTypes) {
    struct Row {
        const char* session;
        SessionFacts facts;
        bool advised;
    } rows[] = {
        {"X11 with XTest", {KeyBackend::Automatic, true, false, false, false}, false},
        {"Wayland with the virtual keyboard", {KeyBackend::Automatic, false, true, true, false}, false},
        {"Wayland without it", {KeyBackend::Automatic, false, true, false, false}, true},
        {"text console", {}, true},
        {"uinput chosen in an X11 session", {KeyBackend::Uinput, true, false, false, false}, true},
    };
    for (const Row& r : rows) {
        FixtureRoot root;
        SystemView v = root.view();
        v.session = r.facts;
        v.kernelRelease = "6.1.0";
        const Findings f = checkKeyboard(v);
        const bool advised = std::any_of(f.begin(), f.end(), [](const Finding& x) { return !x.fix.isEmpty(); });
        EXPECT_EQ(advised, r.advised) << r.session;
        EXPECT_EQ(blocksReadingOrTyping(f), r.advised) << r.session;
    }
}

// A TCP server on 127.0.0.1 that runs `behave` on each connection it accepts.
class LoopbackServer {
public:
    LoopbackServer(std::function<void(int)> behave, int backlog = 4) {
        fd_ = tarovex_test::loopbackSocket(port_, backlog);
        if (behave)
            thread_ = std::jthread([this, behave](std::stop_token stop) {
                while (!stop.stop_requested()) {
                    pollfd p{fd_, POLLIN, 0};
                    if (::poll(&p, 1, 50) > 0)
                        if (const int c = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC); c >= 0)
                            behave(c);
                }
            });
    }
    ~LoopbackServer() {
        thread_ = {};
        ::close(fd_);
    }
    std::string url(const char* scheme) const {
        return std::string(scheme) + "://127.0.0.1:" + std::to_string(port_);
    }
    int port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
    std::jthread thread_;
};

// What a network port answers, against real servers: ser2net serving a terminal, a port
// nothing listens on, a server whose accept queue is full, and one that accepts and stays
// silent.
TEST(DoctorTest, NetworkPortsSayWhatAnswered) {
    tarolink_test::Pty pty;
    tarovex_test::Ser2netServer rfc2217(pty.slavePath(), true);
    tarovex_test::Ser2netServer raw(pty.slavePath(), false);
    const std::string refused = "tcp://127.0.0.1:" + std::to_string(tarovex_test::freeLoopbackPort());
    LoopbackServer full(nullptr, 0);
    std::vector<int> queued;
    for (int i = 0; i < 3; ++i)
        queued.push_back(tarovex_test::connectLoopback(full.port(), false));
    LoopbackServer silent([](int c) {
        std::this_thread::sleep_for(std::chrono::milliseconds(800));
        ::close(c);
    });
    struct Row {
        std::string port;
        Severity severity;
        std::string part;
    } rows[] = {
        {rfc2217.url(), Severity::Ok, "accepted the connection and agreed to RFC 2217"},
        {raw.url(), Severity::Ok, "accepted the connection; the bytes pass as they are"},
        {refused, Severity::Problem, "refused the connection: nothing listens at that port"},
        {full.url("rfc2217"), Severity::Problem, "no answer from 127.0.0.1:" + std::to_string(full.port()) +
                                                     " within 0.5 s"},
        {silent.url("rfc2217"), Severity::Problem, "did not agree to RFC 2217 within 0.5 s: it does not speak"},
        {"rfc2217://127.0.0.1", Severity::Problem, "is not a network address one can open: no port after"},
    };
    FixtureRoot root;
    SystemView v = root.view();
    v.networkLimitMs = 500;
    for (const Row& r : rows) {
        const Findings f = checkPort(v, QString::fromStdString(r.port));
        ASSERT_EQ(f.size(), 1u) << r.port;
        EXPECT_EQ(f[0].severity, r.severity) << f[0].sentence.toStdString();
        EXPECT_TRUE(f[0].sentence.startsWith(QString::fromStdString(r.port + ": ")) ||
                    f[0].sentence.startsWith(QString::fromStdString(r.port + " ")))
            << f[0].sentence.toStdString();
        EXPECT_TRUE(f[0].sentence.contains(QString::fromStdString(r.part))) << f[0].sentence.toStdString();
    }
    for (int fd : queued)
        ::close(fd);
}

} // namespace
