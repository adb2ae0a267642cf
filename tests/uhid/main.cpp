// A USB point-of-sale scale made by the kernel's uhid: the hidraw node, its sysfs entries and
// udev events are the kernel's own, only the reports come from here. Commands on standard
// input, one a line:
//   create              plug the scale in
//   destroy             unplug it
//   wait-open           wait (30 s at most) until a program has its hidraw node open, and
//                       print "opened N ms after create"
//   send S U E W        one weight report: status 1..8, unit 1..12, power of ten, weight
// With the argument "keyboard" it is a boot keyboard instead, for checks that must leave
// keyboards alone. Exits 1 at the first command that fails.
#include <linux/uhid.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <poll.h>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

// Usage page Scales (0x8D), Scale Device (0x20): an output report 2 to zero the scale and the
// input report 3 of the weight: status (0x70), unit (0x50), signed power of ten (0x41), and
// the weight (0x40) in 16 bits.
const std::uint8_t kScale[] = {
    0x05, 0x8D,                   // Usage Page (Scales)
    0x09, 0x20,                   // Usage (Scale Device)
    0xA1, 0x01,                   // Collection (Application)
    0x09, 0x31,                   //   Usage (Scale Control Report)
    0xA1, 0x02,                   //   Collection (Logical)
    0x85, 0x02,                   //     Report ID (2)
    0x09, 0x80,                   //     Usage (Zero Scale)
    0x09, 0x81,                   //     Usage (Enforced Zero Return)
    0x15, 0x00,                   //     Logical Minimum (0)
    0x25, 0x01,                   //     Logical Maximum (1)
    0x75, 0x01,                   //     Report Size (1)
    0x95, 0x02,                   //     Report Count (2)
    0x91, 0x02,                   //     Output (Data, Variable, Absolute)
    0x75, 0x06,                   //     Report Size (6)
    0x95, 0x01,                   //     Report Count (1)
    0x91, 0x03,                   //     Output (Constant)
    0xC0,                         //   End Collection
    0x09, 0x32,                   //   Usage (Scale Data Report)
    0xA1, 0x02,                   //   Collection (Logical)
    0x85, 0x03,                   //     Report ID (3)
    0x75, 0x08,                   //     Report Size (8)
    0x95, 0x01,                   //     Report Count (1)
    0x09, 0x70,                   //     Usage (Scale Status)
    0x15, 0x00,                   //     Logical Minimum (0)
    0x25, 0x08,                   //     Logical Maximum (8)
    0x81, 0x02,                   //     Input (Data, Variable, Absolute)
    0x09, 0x50,                   //     Usage (Weight Unit)
    0x25, 0x0C,                   //     Logical Maximum (12)
    0x81, 0x02,                   //     Input (Data, Variable, Absolute)
    0x09, 0x41,                   //     Usage (Data Scaling)
    0x15, 0x80,                   //     Logical Minimum (-128)
    0x25, 0x7F,                   //     Logical Maximum (127)
    0x81, 0x02,                   //     Input (Data, Variable, Absolute)
    0x09, 0x40,                   //     Usage (Data Weight)
    0x15, 0x00,                   //     Logical Minimum (0)
    0x27, 0xFF, 0xFF, 0x00, 0x00, //     Logical Maximum (65535)
    0x75, 0x10,                   //     Report Size (16)
    0x81, 0x02,                   //     Input (Data, Variable, Absolute)
    0xC0,                         //   End Collection
    0xC0,                         // End Collection
};

// Generic Desktop Keyboard: modifiers, a reserved byte and six keys.
const std::uint8_t kKeyboard[] = {
    0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15, 0x00, 0x25,
    0x01, 0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0x75, 0x08, 0x95, 0x01, 0x81, 0x03, 0x19, 0x00,
    0x29, 0x65, 0x15, 0x00, 0x25, 0x65, 0x75, 0x08, 0x95, 0x06, 0x81, 0x00, 0xC0,
};

using Clock = std::chrono::steady_clock;

int fd = -1;
bool keyboard = false;
bool opened = false;
Clock::time_point created;

bool send(const uhid_event& ev) {
    if (::write(fd, &ev, sizeof ev) == ssize_t(sizeof ev))
        return true;
    std::perror("tarovex-test-uhid: write /dev/uhid");
    return false;
}

// Takes the kernel's events waiting, up to `timeoutMs` for the first one.
bool takeEvents(int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    while (::poll(&p, 1, timeoutMs) > 0) {
        uhid_event ev{};
        if (::read(fd, &ev, sizeof ev) <= 0)
            return false;
        if (ev.type == UHID_OPEN)
            opened = true;
        else if (ev.type == UHID_CLOSE || ev.type == UHID_STOP)
            opened = false;
        else if (ev.type == UHID_GET_REPORT || ev.type == UHID_SET_REPORT) {
            // Unanswered, the reader would wait seconds for the kernel to give up.
            uhid_event reply{};
            reply.type = ev.type == UHID_GET_REPORT ? UHID_GET_REPORT_REPLY : UHID_SET_REPORT_REPLY;
            reply.u.get_report_reply.id = ev.u.get_report.id;
            reply.u.get_report_reply.err = EIO;
            if (!send(reply))
                return false;
        }
        timeoutMs = 0;
    }
    return true;
}

bool create() {
    uhid_event ev{};
    ev.type = UHID_CREATE2;
    auto& c = ev.u.create2;
    std::snprintf(reinterpret_cast<char*>(c.name), sizeof c.name, "%s",
                  keyboard ? "Tarovex test keyboard" : "Tarovex test scale");
    std::snprintf(reinterpret_cast<char*>(c.uniq), sizeof c.uniq, "%s", keyboard ? "KB1" : "TS0042");
    c.bus = BUS_USB;
    c.vendor = 0x7a10;
    c.product = keyboard ? 0x0001 : 0x0005;
    const auto* d = keyboard ? kKeyboard : kScale;
    c.rd_size = keyboard ? sizeof kKeyboard : sizeof kScale;
    std::memcpy(c.rd_data, d, c.rd_size);
    created = Clock::now();
    opened = false;
    return send(ev);
}

bool run(const std::string& line) {
    std::istringstream in(line);
    std::string command;
    in >> command;
    if (command.empty())
        return true;
    if (command == "create")
        return create();
    if (command == "destroy") {
        uhid_event ev{};
        ev.type = UHID_DESTROY;
        return send(ev);
    }
    if (command == "wait-open") {
        const auto deadline = Clock::now() + std::chrono::seconds(30);
        if (!takeEvents(0))
            return false;
        while (!opened && Clock::now() < deadline)
            if (!takeEvents(100))
                return false;
        if (!opened) {
            std::cerr << "tarovex-test-uhid: nobody opened the device in 30 s\n";
            return false;
        }
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - created);
        std::cout << "opened " << ms.count() << " ms after create" << std::endl;
        return true;
    }
    if (command == "send") {
        int status = 0, unit = 0, exponent = 0;
        unsigned weight = 0;
        if (!(in >> status >> unit >> exponent >> weight) || weight > 0xFFFF) {
            std::cerr << "tarovex-test-uhid: send STATUS UNIT EXPONENT WEIGHT, not '" << line << "'\n";
            return false;
        }
        uhid_event ev{};
        ev.type = UHID_INPUT2;
        const std::uint8_t report[] = {3,
                                       std::uint8_t(status),
                                       std::uint8_t(unit),
                                       std::uint8_t(std::int8_t(exponent)),
                                       std::uint8_t(weight & 0xFF),
                                       std::uint8_t(weight >> 8)};
        ev.u.input2.size = sizeof report;
        std::memcpy(ev.u.input2.data, report, sizeof report);
        return takeEvents(0) && send(ev);
    }
    std::cerr << "tarovex-test-uhid: unknown command '" << line << "'\n";
    return false;
}

} // namespace

int main(int argc, char* argv[]) {
    keyboard = argc > 1 && std::string(argv[1]) == "keyboard";
    fd = ::open("/dev/uhid", O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        std::perror("tarovex-test-uhid: /dev/uhid");
        return 1;
    }
    for (std::string line; std::getline(std::cin, line);)
        if (!run(line))
            return 1;
    return 0;
}
