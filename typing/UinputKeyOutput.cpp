#include "typing/UinputKeyOutput.h"

#include <fcntl.h>
#include <linux/uinput.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace tarovex::typing {
namespace {

// The device's name, as the desktop's input settings show it.
constexpr char deviceName[] = "Tarovex virtual keyboard";
constexpr auto usableTimeout = std::chrono::milliseconds(2000);
// The compositor opens the device after udev has announced it; give it that moment too.
constexpr auto settleTime = std::chrono::milliseconds(50);
// Events still unread by the compositor are lost when the device goes away.
constexpr auto drainTime = std::chrono::milliseconds(100);

std::string errorText(int error) {
    return std::strerror(error);
}

// The event node's "major:minor" under the device's sysfs folder, empty while there is none.
std::string eventNodeNumber(const std::string& sysname) {
    std::error_code ec;
    for (const auto& entry :
         std::filesystem::directory_iterator("/sys/devices/virtual/input/" + sysname, ec)) {
        if (!entry.path().filename().string().starts_with("event"))
            continue;
        std::ifstream dev(entry.path() / "dev");
        std::string number;
        if (std::getline(dev, number) && !number.empty())
            return number;
    }
    return {};
}

} // namespace

std::string UinputKeyOutput::accessMessage(const std::string& devicePath, int error) {
    return "Cannot open " + devicePath + " (" + errorText(error) +
           "). Typing without X11 needs the kernel's virtual input device: load its module with "
           "\"sudo modprobe uinput\" and give the logged-in user access with the udev rule "
           "KERNEL==\"uinput\", TAG+=\"uaccess\" (for example in /etc/udev/rules.d/70-uinput.rules, "
           "then \"sudo udevadm control --reload-rules && sudo udevadm trigger\"), or install the "
           "package, which sets both up.";
}

UinputKeyOutput::UinputKeyOutput(Options options, Tarolink::PosixSyscalls& sys)
    : EvdevKeyOutput(options.layout, options.capsLockOn), options_(std::move(options)), sys_(sys) {
    createDevice();
    if (options_.waitUntilUsable)
        waitUntilUsable();
}

UinputKeyOutput::~UinputKeyOutput() {
    const auto drained = lastEvent_ + drainTime;
    if (drained > std::chrono::steady_clock::now())
        std::this_thread::sleep_until(drained);
    sys_.ioctl(fd_, UI_DEV_DESTROY, nullptr);
    sys_.close(fd_);
}

void UinputKeyOutput::createDevice() {
    fd_ = sys_.open(options_.devicePath.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0)
        throw std::runtime_error(accessMessage(options_.devicePath, errno));
    auto set = [&](unsigned long request, unsigned long value) {
        if (sys_.ioctl(fd_, request, reinterpret_cast<void*>(value)) < 0) {
            const int error = errno;
            sys_.close(fd_);
            throw std::runtime_error("The virtual keyboard cannot be set up: " + errorText(error));
        }
    };
    set(UI_SET_EVBIT, EV_KEY);
    set(UI_SET_EVBIT, EV_SYN);
    for (const XkbKey& key : layout().keys())
        if (key.keycode > evdevOffset && key.keycode - evdevOffset <= KEY_MAX)
            set(UI_SET_KEYBIT, key.keycode - evdevOffset);
    uinput_setup setup{};
    setup.id.bustype = BUS_VIRTUAL;
    setup.id.vendor = 0x1;
    setup.id.product = 0x1;
    std::strncpy(setup.name, deviceName, UINPUT_MAX_NAME_SIZE - 1);
    set(UI_DEV_SETUP, reinterpret_cast<unsigned long>(&setup));
    set(UI_DEV_CREATE, 0);
}

void UinputKeyOutput::waitUntilUsable() {
    // Usable once udev has recorded the event node: that is when the compositor hears of it.
    const auto start = std::chrono::steady_clock::now();
    char sysname[64] = {};
    if (sys_.ioctl(fd_, UI_GET_SYSNAME(sizeof sysname), sysname) >= 0) {
        const bool udev = std::filesystem::exists("/run/udev/data");
        while (std::chrono::steady_clock::now() - start < usableTimeout) {
            const std::string node = eventNodeNumber(sysname);
            if (!node.empty() && (!udev || std::filesystem::exists("/run/udev/data/c" + node)))
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    std::this_thread::sleep_for(settleTime);
    readyAfter_ =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
}

void UinputKeyOutput::writeKey(Keycode keycode, bool down) {
    input_event events[2] = {};
    events[0].type = EV_KEY;
    events[0].code = std::uint16_t(keycode - evdevOffset);
    events[0].value = down ? 1 : 0;
    events[1].type = EV_SYN;
    events[1].code = SYN_REPORT;
    for (;;) {
        const ssize_t n = sys_.write(fd_, events, sizeof events);
        if (n == ssize_t(sizeof events))
            break;
        if (n < 0 && errno == EINTR)
            continue;
        throw std::runtime_error("The virtual keyboard refused a key event: " +
                                 (n < 0 ? errorText(errno) : std::string("short write")));
    }
    lastEvent_ = std::chrono::steady_clock::now();
}

QString UinputKeyOutput::description() const {
    return QStringLiteral("uinput (%1), layout %2, usable after %3 ms")
        .arg(QString::fromLatin1(deviceName), QString::fromStdString(layoutName()))
        .arg(readyAfter_.count());
}

} // namespace tarovex::typing
