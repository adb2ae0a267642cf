#include "typing/UinputKeyOutput.h"
#include "typing/desktop/DesktopLayout.h"
#include "typing/UinputKeyOutput.h"
#include "typing/desktop/GnomeInputSources.h"
#include "typing/desktop/KdeLayouts.h"
#include "typing/desktop/LayoutCoverage.h"
#include "typing/desktop/LayoutFollowingOutput.h"
#include "typing/desktop/SwayInputs.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <linux/uinput.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace tarovex::typing;
using tarovex::config::ConfigHelper::KeyboardType;
using tarovex::config::ConfigHelper::KeyMapType;
using Source = LayoutChoice::Source;

namespace {

std::string fixture(const std::string& name, const std::string& text) {
    const std::string path = testing::TempDir() + "/desktop-layout-" + name;
    std::ofstream(path) << text;
    return path;
}

std::string nameOf(const std::optional<XkbRuleNames>& l) {
    if (!l)
        return "none";
    return l->variant.empty() ? l->layout : l->layout + "(" + l->variant + ")";
}

TEST(DesktopLayoutTest, GnomeActiveSourceIsTheMostRecentlyUsedXkbOne) {
    struct Row {
        std::string sources, mru, expected;
    } rows[] = {
        {"[('xkb', 'us'), ('xkb', 'de+nodeadkeys')]", "[('xkb', 'de+nodeadkeys'), ('xkb', 'us')]",
         "de(nodeadkeys)"},
        {"[('xkb', 'us'), ('xkb', 'de+nodeadkeys')]", "@a(ss) []", "us"},
        {"[('ibus', 'anthy'), ('xkb', 'fr')]", "[('ibus', 'anthy'), ('xkb', 'fr')]", "fr"},
        {"[('xkb', 'us')]", "[('xkb', 'ru'), ('xkb', 'us')]", "us"}, // ru is no longer configured
        {"@a(ss) []", "[('xkb', 'ru')]", "none"},                    // GNOME keeps the system's
        {"", "", "none"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(nameOf(gnomeActiveLayout(r.sources, r.mru)), r.expected) << r.sources << " / " << r.mru;
}

TEST(DesktopLayoutTest, KdeLayoutListOfItsSettingsFile) {
    struct Row {
        std::string text, expected;
    } rows[] = {
        {"[Layout]\nDisplayNames=,\nLayoutList=us,de\nUse=true\nVariantList=,nodeadkeys\n",
         "us de(nodeadkeys)"},
        {"[Layout]\nLayoutList=fr\nUse=true\n", "fr"},
        {"[Layout]\nLayoutList=us,de\nUse=false\n", ""}, // the user keeps the system's layout
        {"[Other]\nLayoutList=ru\nUse=true\n", ""},
    };
    for (const Row& r : rows) {
        std::string names;
        for (const auto& l : kdeLayouts(fixture("kxkbrc", r.text)))
            names += (names.empty() ? "" : " ") + nameOf(l);
        EXPECT_EQ(names, r.expected) << r.text;
    }
    EXPECT_TRUE(kdeLayouts("/nonexistent/kxkbrc").empty());
}

// The order of the sources, each read through its seam.
TEST(DesktopLayoutTest, ExplicitThenTheDesktopThenTheSystemFileThenUs) {
    const std::string kxkbrc =
        fixture("kxkbrc-chain", "[Layout]\nLayoutList=us,de\nUse=true\nVariantList=,nodeadkeys\n");
    const std::string keyboard =
        fixture("keyboard", "XKBMODEL=\"pc105\"\nXKBLAYOUT=\"fr,us\"\nXKBVARIANT=\"azerty,\"\n");
    const auto gnome = []() -> std::optional<std::string> {
        return "org.gnome.desktop.input-sources per-window false\n"
               "org.gnome.desktop.input-sources sources [('xkb', 'ch+fr'), ('xkb', 'ru')]\n"
               "org.gnome.desktop.input-sources mru-sources [('xkb', 'ru')]\n";
    };
    struct Row {
        std::string explicitLayout, desktop, keyboardFile;
        std::optional<unsigned> kdeIndex;
        std::string layout;
        Source source;
    } rows[] = {
        {"de(neo)", "GNOME", keyboard, {}, "de(neo)", Source::Explicit},
        {"", "ubuntu:GNOME", keyboard, {}, "ru", Source::Gnome},
        {"", "KDE", keyboard, 1u, "de(nodeadkeys)", Source::Kde},
        {"", "KDE", keyboard, {}, "us", Source::Kde}, // no answer on the bus: the first
        {"", "KDE", keyboard, 7u, "us", Source::Kde}, // an index beyond the list: the first
        {"", "XFCE", keyboard, {}, "fr(azerty)", Source::KeyboardFile},
        {"", "", "/nonexistent", {}, "us", Source::Default},
    };
    for (const Row& r : rows) {
        DesktopSources s;
        s.currentDesktop = r.desktop;
        s.kdeConfigFile = kxkbrc;
        s.keyboardFile = r.keyboardFile;
        s.gnomeSettings = gnome;
        s.kdeActiveLayout = [&r] { return r.kdeIndex; };
        const LayoutChoice c = desktopLayout(r.explicitLayout, s);
        EXPECT_EQ(c.layoutName(), r.layout) << r.desktop;
        EXPECT_EQ(c.source, r.source) << r.desktop;
    }
}

// The real gsettings, on a settings file of the test's own.
TEST(DesktopLayoutTest, GnomeSettingsThroughGsettings) {
    if (std::system("gsettings list-keys org.gnome.desktop.input-sources >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "gsettings or the GNOME desktop schemas are missing";
    const std::string home = testing::TempDir() + "/desktop-layout-gsettings";
    std::filesystem::remove_all(home);
    std::filesystem::create_directories(home);
    setenv("GSETTINGS_BACKEND", "keyfile", 1);
    setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    ASSERT_EQ(
        std::system(
            "gsettings set org.gnome.desktop.input-sources sources \"[('xkb', 'us'), ('xkb', 'de')]\" && "
            "gsettings set org.gnome.desktop.input-sources mru-sources \"[('xkb', 'de')]\""),
        0);
    DesktopSources s;
    s.currentDesktop = "GNOME";
    s.gnomeSettings = readGnomeInputSettings;
    const LayoutChoice c = desktopLayout({}, s);
    unsetenv("GSETTINGS_BACKEND");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(c.layoutName(), "de");
    EXPECT_EQ(c.source, Source::Gnome);
}

// Answers getLayout as KDE's keyboard service does.
class FakeKdeKeyboard : public QDBusVirtualObject {
public:
    unsigned index = 0;
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.interface() != u"org.kde.KeyboardLayouts" || message.member() != u"getLayout")
            return false;
        connection.send(message.createReply(QVariant::fromValue(index)));
        return true;
    }
};

// The service answers on this thread's event loop, so the question goes from another.
std::optional<unsigned> askWhileServing(const std::string& address) {
    auto answer = std::async(std::launch::async, [&] { return kdeActiveLayoutIndex(address); });
    while (answer.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready)
        QCoreApplication::processEvents();
    return answer.get();
}

// A session bus of the test's own, with our stand-in for the keyboard service on it.
TEST(DesktopLayoutTest, KdeActiveLayoutOverTheSessionBus) {
    if (::access("/usr/bin/dbus-daemon", X_OK) != 0)
        GTEST_SKIP() << "dbus-daemon is missing";
    int argc = 1;
    char name[] = "test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    const std::string socket = testing::TempDir() + "/desktop-layout-bus";
    std::filesystem::remove(socket);
    const std::string address = "unix:path=" + socket;
    const pid_t daemon = ::fork();
    if (daemon == 0) {
        ::execl("/usr/bin/dbus-daemon", "dbus-daemon", "--session", "--nofork", "--nopidfile",
                ("--address=" + address).c_str(), nullptr);
        ::_exit(127);
    }
    for (int i = 0; i < 200 && !std::filesystem::exists(socket); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    {
        EXPECT_EQ(kdeActiveLayoutIndex(address), std::nullopt); // nobody answers yet
        QDBusConnection service = QDBusConnection::connectToBus(QString::fromStdString(address), "fake-kde");
        ASSERT_TRUE(service.isConnected());
        FakeKdeKeyboard keyboard;
        keyboard.index = 2;
        ASSERT_TRUE(service.registerVirtualObject("/Layouts", &keyboard));
        ASSERT_TRUE(service.registerService("org.kde.keyboard"));
        EXPECT_EQ(askWhileServing(address), 2u);
        keyboard.index = 0;
        EXPECT_EQ(askWhileServing(address), 0u);
        service.unregisterObject("/Layouts");
    }
    QDBusConnection::disconnectFromBus("fake-kde");
    ::kill(daemon, SIGTERM);
    ::waitpid(daemon, nullptr, 0);
}

// Sway's IPC socket, answered by the test with a recorded get_inputs reply.
class FakeSway {
public:
    explicit FakeSway(std::string reply) : reply_(std::move(reply)) {
        path_ = testing::TempDir() + "/desktop-layout-sway.sock";
        std::filesystem::remove(path_);
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::strcpy(a.sun_path, path_.c_str());
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd_, 4) != 0)
            throw std::runtime_error("socket");
        thread_ = std::thread([this] { serve(); });
    }
    ~FakeSway() {
        ::shutdown(fd_, SHUT_RDWR);
        thread_.join();
        ::close(fd_);
    }
    const std::string& path() const { return path_; }
    std::uint32_t lastType = 0;

private:
    void serve() {
        for (int client; (client = ::accept(fd_, nullptr, nullptr)) >= 0; ::close(client)) {
            char header[14];
            if (::recv(client, header, sizeof header, MSG_WAITALL) != sizeof header)
                continue;
            std::memcpy(&lastType, header + 10, 4);
            const std::uint32_t size = std::uint32_t(reply_.size());
            std::memcpy(header + 6, &size, 4);
            ::send(client, header, sizeof header, MSG_NOSIGNAL);
            ::send(client, reply_.data(), reply_.size(), MSG_NOSIGNAL);
        }
    }
    std::string reply_, path_;
    int fd_ = -1;
    std::thread thread_;
};

TEST(DesktopLayoutTest, SwayLayoutOfOurKeyboardElseTheFirstKeyboard) {
    const std::string inputs = R"json([
        {"identifier": "1:1:Power_Button", "name": "Power Button", "type": "keyboard",
         "xkb_active_layout_name": "French (AZERTY)"},
        {"identifier": "0:0:mouse", "name": "Mouse", "type": "pointer"},
        {"identifier": "1:1:Tarovex_virtual_keyboard", "name": "Tarovex virtual keyboard", "type": "keyboard",
         "xkb_layout_names": ["English (US)", "German (no dead keys)"], "xkb_active_layout_index": 1,
         "xkb_active_layout_name": "German (no dead keys)"}])json";
    struct Row {
        std::string preferred, expected;
    } rows[] = {{"Tarovex virtual keyboard", "de(nodeadkeys)"}, {"", "fr(azerty)"}};
    for (const Row& r : rows)
        EXPECT_EQ(nameOf(swayActiveLayout(inputs, r.preferred)), r.expected);
    EXPECT_EQ(nameOf(swayActiveLayout("[]", "")), "none");
    EXPECT_EQ(nameOf(swayActiveLayout("not json", "")), "none");

    FakeSway sway(inputs);
    DesktopSources s;
    s.swaySocket = sway.path();
    s.currentDesktop = "sway";
    const LayoutChoice c = desktopLayout({}, s);
    EXPECT_EQ(sway.lastType, 100u); // get_inputs
    EXPECT_EQ(c.layoutName(), "de(nodeadkeys)");
    EXPECT_EQ(c.source, Source::Sway);
    s.swaySocket = "/nonexistent/sway.sock";
    EXPECT_EQ(desktopLayout({}, s).source, Source::Default);
}

TEST(DesktopLayoutTest, CharactersOfTheKeyboardTypeTheLayoutLacks) {
    struct Row {
        XkbRuleNames layout;
        KeyboardType type;
        KeyMapType coverage;
        std::u16string expected;
    } rows[] = {
        {{"de", ""}, KeyboardType::GERMAN, KeyMapType::ALPHANUMERIC_COMPLETE, u""},
        {{"us", ""}, KeyboardType::GERMAN, KeyMapType::ALPHANUMERIC_COMPLETE, u""},
        {{"ru", ""}, KeyboardType::QUERTY, KeyMapType::NUMERIC, u""},
        {{"ru", ""},
         KeyboardType::QUERTY,
         KeyMapType::ALPHANUMERIC_COMPLETE,
         u"#&'<>@ABCDEFGHIJKLMNOPQRSTUVWXYZ[]^`abcdefghijklmnopqrstuvwxyz{}~"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(untypableCharacters(XkbLayout::fromNames(r.layout), r.type, r.coverage).toStdU16String(),
                  r.expected)
            << r.layout.layout << " " << r.type.name().toStdString();
}

// Records the key codes written to the device.
class RecordingDevice : public Tarolink::PosixSyscalls {
public:
    int open(const char*, int) override { return 42; }
    int close(int) override { return 0; }
    int ioctl(int, unsigned long, void*) override { return 0; }
    ssize_t write(int, const void* buffer, size_t count) override {
        const auto* e = static_cast<const input_event*>(buffer);
        if (e->type == EV_KEY && e->value == 1)
            pressed.push_back(e->code);
        return ssize_t(count);
    }
    std::vector<int> pressed;
};

// A switch on the desktop is taken up by the next value: y is KEY_Y on us, KEY_Z on de.
TEST(DesktopLayoutTest, FollowsTheDesktopWhenTheUserSwitches) {
    RecordingDevice device;
    LayoutChoice current{{"us", ""}, Source::Gnome};
    int asked = 0;
    LayoutFollowingOutput output(
        std::make_unique<UinputKeyOutput>(UinputKeyOutput::Options{{"us", ""}, "/dev/uinput", {}, false},
                                          device),
        current,
        [&] {
            ++asked;
            return current;
        },
        "GNOME's input sources");
    const auto typeY = [&] { output.type(TypedKey{U'y'}); };
    typeY();
    current.layout = {"de", ""};
    typeY(); // within the value: not asked again
    std::this_thread::sleep_for(LayoutFollowingOutput::valuePause + std::chrono::milliseconds(20));
    typeY();
    EXPECT_EQ(device.pressed, (std::vector<int>{KEY_Y, KEY_Y, KEY_Z}));
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(output.layout().layoutName(), "de");
    // A source that stops answering (the default instead) leaves the layout as it was.
    current = {{"us", ""}, Source::Default};
    std::this_thread::sleep_for(LayoutFollowingOutput::valuePause + std::chrono::milliseconds(20));
    typeY();
    EXPECT_EQ(device.pressed.back(), KEY_Z);
}

} // namespace
