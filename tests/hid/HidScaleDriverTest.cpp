// The "hid:" driver above a device fed real scale reports: the lines it hands on, and an unplug.
#include "hid/HidScaleDriver.h"
#include "Tarolink/Diagnostics.h"
#include "Tarolink/DriverRegistry.h"
#include "Tarolink/SerialConfig.h"
#include "Tarolink/SerialPortLocal.h"
#include "config/Instrument.h"
#include "hid/ScaleLines.h"
#include "tests/Tarolink/TestSupport.h"
#include "worker/OpenedPort.h"
#include "worker/ValueExtractor.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

#include <cerrno>
#include <deque>

using namespace tarovex::hid;
using Tarolink::SerialDriver;

namespace {

// Report 3: status, unit, scaling (signed), 16-bit weight, the layout most scales declare.
const std::vector<std::uint8_t> kScale = {0x05, 0x8D, 0x09, 0x20, 0xA1, 0x01, 0x09, 0x32, 0xA1, 0x02, 0x85,
                                          0x03, 0x09, 0x70, 0x15, 0x00, 0x25, 0x08, 0x75, 0x08, 0x95, 0x01,
                                          0x81, 0x02, 0x09, 0x50, 0x25, 0x0C, 0x81, 0x02, 0x09, 0x41, 0x15,
                                          0x81, 0x25, 0x7F, 0x81, 0x02, 0x09, 0x40, 0x15, 0x00, 0x27, 0xFF,
                                          0xFF, 0x00, 0x00, 0x75, 0x10, 0x81, 0x02, 0xC0, 0xC0};
// A keyboard's application collection: generic desktop, keyboard.
const std::vector<std::uint8_t> kKeyboard = {0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x05, 0x07,
                                             0x19, 0xE0, 0x29, 0xE7, 0x15, 0x00, 0x25, 0x01,
                                             0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0xC0};

using Report = std::vector<std::uint8_t>;
const Report kStale = {0x03, 0x04, 0x0B, 0xFF, 0x00, 0x00};

// The reads a device gives, in order; then a read error `endError` (0: time-outs).
struct Script {
    std::vector<std::uint8_t> descriptor = kScale;
    std::deque<Report> reports;
    int endError = 0;
    std::vector<Report> written;
};
Script gScript;

class FakeDevice : public HidDevice {
public:
    std::vector<std::uint8_t> descriptor(int&) override { return gScript.descriptor; }
    Read read(int) override {
        if (gScript.reports.empty())
            return gScript.endError ? Read{Read::Kind::Failed, {}, gScript.endError} : Read{};
        Read r{Read::Kind::Report, gScript.reports.front(), 0};
        gScript.reports.pop_front();
        return r;
    }
    int write(std::span<const std::uint8_t> r) override {
        gScript.written.emplace_back(r.begin(), r.end());
        return 0;
    }
    void wake() override {}
};

std::unique_ptr<HidDevice> openFake(const std::string& node, int& error) {
    if (node != "/dev/hidraw7") {
        error = ENOENT;
        return nullptr;
    }
    return std::make_unique<FakeDevice>();
}

std::vector<HidScale> oneScale() {
    return {HidScale{"/dev/hidraw7", 0x1234, 0xABCD, "S1", "Bench scale", "Maker"}};
}

HidScaleDriver fakeDriver() {
    return HidScaleDriver({&openFake, &oneScale});
}

int openPort(HidScaleDriver& d, const std::string& name, int& port) {
    Tarolink::SerialConfig config;
    config.setPortName(name);
    const int code = d.SerOpenPort(config);
    port = config.getPort() - 1;
    return code;
}

// Everything the driver hands on until its device has no more to say.
std::string drain(HidScaleDriver& d, int port) {
    std::string text;
    while (d.SerWaitForData(port, 0) == SerialDriver::WAIT_DATA) {
        std::uint8_t buffer[64];
        const int n = d.SerGetData(port, buffer, sizeof buffer);
        text.append(reinterpret_cast<const char*>(buffer), std::size_t(n));
    }
    return text;
}

} // namespace

TEST(HidScaleDriver, EachReportBecomesItsLine) {
    const struct {
        Report report;
        std::string line;
    } cases[] = {
        {{0x03, 0x04, 0x0C, 0xFE, 0x11, 0x03}, "ST,+7.85 lb\r"},
        {{0x03, 0x04, 0x0B, 0xFF, 0x6F, 0x04}, "ST,+113.5 oz\r"},
        {{0x03, 0x02, 0x0B, 0xFF, 0x00, 0x00}, "ST,+0.0 oz\r"},
        {{0x03, 0x03, 0x0C, 0xFE, 0x11, 0x03}, "US,+7.85 lb\r"},
        {{0x03, 0x05, 0x0C, 0xFE, 0x32, 0x00}, "ST,-0.50 lb\r"},
        {{0x03, 0x06, 0x0C, 0xFE, 0x00, 0x00},
         "ER,Over weight: the load is more than the scale can weigh\r"},
        {{0x03, 0x01, 0x0C, 0xFE, 0x00, 0x00}, "ER,The scale reports a fault\r"},
        {{0x03, 0x07, 0x0C, 0xFE, 0x00, 0x00}, "ER,The scale needs calibrating\r"},
        {{0x03, 0x0A, 0x0C, 0xFE, 0x00, 0x00}, "ER,The scale reports a state this program does not know\r"},
    };
    for (const auto& c : cases) {
        gScript = {kScale, {kStale, c.report}, 0};
        HidScaleDriver d = fakeDriver();
        int port = -1;
        ASSERT_EQ(openPort(d, "hid:1234:abcd", port), SerialDriver::OK);
        EXPECT_EQ(drain(d, port), c.line);
    }
}

// The run's log of the opening: the scale and its node, none of a serial port's settings.
TEST(HidScaleDriver, OpeningNamesTheScaleAndItsNode) {
    tarolink_test::PropertyGuard os{"TLK_OSNAME", "Linux"};
    Tarolink::DriverRegistry::setScaleDriver([] {
        return std::make_shared<HidScaleDriver>(HidScaleDriver::Access{&openFake, &oneScale});
    });
    Tarolink::SerialPortLocal::reloadLibrary();
    for (const char* name : {"hid:/dev/hidraw7", "hid:1234:ABCD:S1"}) {
        gScript = {kScale, {kStale}, 0};
        tarovex::config::Config config;
        config.setPort(QString::fromLatin1(name));
        const tarovex::worker::OpenedPort opened = tarovex::worker::openPort(config);
        EXPECT_EQ(opened.messages,
                  QStringList{QStringLiteral("USB scale %1 (/dev/hidraw7) opened.").arg(name)});
    }
    Tarolink::DriverRegistry::setScaleDriver(nullptr);
    Tarolink::SerialPortLocal::reloadLibrary();
}

// Through the run's opening, so that the setting reaches the driver.
TEST(HidScaleDriver, ARepeatIsNoNewLineUnlessEveryReportIsWanted) {
    tarolink_test::PropertyGuard os{"TLK_OSNAME", "Linux"};
    Tarolink::DriverRegistry::setScaleDriver([] {
        return std::make_shared<HidScaleDriver>(HidScaleDriver::Access{&openFake, &oneScale});
    });
    Tarolink::SerialPortLocal::reloadLibrary();
    const Report a = {0x03, 0x04, 0x0C, 0xFE, 0x11, 0x03}, b = {0x03, 0x03, 0x0C, 0xFE, 0x11, 0x03};
    for (const bool every : {false, true}) {
        gScript = {kScale, {kStale, a, a, a, b, b, a}, 0};
        tarovex::config::Config config;
        config.setPort(QStringLiteral("hid:/dev/hidraw7"));
        config.scaleEveryReport = every;
        const tarovex::worker::OpenedPort opened = tarovex::worker::openPort(config);
        std::string text;
        std::uint8_t buffer[64];
        while (opened.source->waitForData(0) == tarovex::worker::ByteSource::Wait::DataReady) {
            const int n = opened.source->read(buffer);
            text.append(reinterpret_cast<const char*>(buffer), std::size_t(std::max(n, 0)));
        }
        EXPECT_EQ(text, every
                            ? "ST,+7.85 lb\rST,+7.85 lb\rST,+7.85 lb\rUS,+7.85 lb\rUS,+7.85 lb\rST,+7.85 lb\r"
                            : "ST,+7.85 lb\rUS,+7.85 lb\rST,+7.85 lb\r");
    }
    Tarolink::DriverRegistry::setScaleDriver(nullptr);
    Tarolink::SerialPortLocal::reloadLibrary();
}

TEST(HidScaleDriver, AnUnplugIsADeviceGone) {
    gScript = {kScale, {kStale, {0x03, 0x04, 0x0C, 0xFE, 0x11, 0x03}}, EIO};
    HidScaleDriver d = fakeDriver();
    int port = -1;
    ASSERT_EQ(openPort(d, "hid:1234:ABCD:S1", port), SerialDriver::OK);
    EXPECT_EQ(d.SerWaitForData(port, 0), SerialDriver::WAIT_DATA);
    EXPECT_EQ(d.SerIsGone(port), 0); // the line sent before the unplug comes first
    EXPECT_EQ(drain(d, port), "ST,+7.85 lb\r");
    EXPECT_EQ(d.SerWaitForData(port, 0), SerialDriver::WAIT_GONE);
    EXPECT_EQ(d.SerIsGone(port), 1);
    EXPECT_EQ(d.SerGetLastError(), EIO);
}

TEST(HidScaleDriver, RefusesWhatItCannotRead) {
    const struct {
        std::vector<std::uint8_t> descriptor;
        std::string name;
        int code;
    } cases[] = {
        {kKeyboard, "hid:/dev/hidraw7", SerialDriver::NOT_A_SCALE},
        {kScale, "hid:1234:abcd:other", SerialDriver::NO_SUCH_FILE},
        {kScale, "hid:/dev/hidraw9", SerialDriver::NO_SUCH_FILE},
        {kScale, "hid:12345:abcd", SerialDriver::NOT_VALID},
        {kScale, "hid:scale", SerialDriver::NOT_VALID},
    };
    for (const auto& c : cases) {
        gScript = {c.descriptor, {}, 0};
        HidScaleDriver d = fakeDriver();
        int port = -1;
        EXPECT_EQ(openPort(d, c.name, port), c.code) << c.name;
    }
}

bool gPlugged = false;
std::vector<HidScale> scaleWhenPlugged() {
    return gPlugged ? oneScale() : std::vector<HidScale>{};
}

// Reconnecting tries the port five times a second: the log says once that the scale is
// missing, and again only after it was found in between.
TEST(HidScaleDriver, SaysOnceThatAScaleIsMissing) {
    std::vector<std::string> lines;
    Tarolink::setDiagnosticHandler([&](const std::string& line) { lines.push_back(line); });
    gScript = {kScale, {}, 0};
    HidScaleDriver d({&openFake, &scaleWhenPlugged});
    int port = -1;
    for (const bool plugged : {false, false, false, true, false, false}) {
        gPlugged = plugged;
        if (openPort(d, "hid:1234:abcd", port) == SerialDriver::OK)
            d.SerClosePort(port);
    }
    Tarolink::setDiagnosticHandler({});
    EXPECT_EQ(lines,
              std::vector<std::string>(2, "hid:1234:abcd: no USB scale with these numbers is plugged in"));
}

// What the generic preset's expressions take from the lines, with "ST," as stable expression.
TEST(HidScaleDriver, TheGenericPresetReadsTheLines) {
    using tarovex::config::ConfigHelper::Instrument;
    const tarovex::worker::ValueExtractor value(Instrument::GENERIC.getRegEx(),
                                                Instrument::GENERIC.getCaptureGroup());
    const QRegularExpression unit(Instrument::GENERIC.getUnitRegEx());
    const QRegularExpression stable(QStringLiteral("ST,"));
    const struct {
        const char* line;
        const char* value;
        const char* unit;
        bool stable;
    } cases[] = {
        {"ST,+7.85 lb\r", "+7.85", "lb", true},
        {"US,+113.5 oz\r", "+113.5", "oz", false},
        {"ST,-0.50 lb\r", "-0.50", "lb", true},
        {"ER,Over weight: the load is more than the scale can weigh\r", "", "", false},
    };
    for (const auto& c : cases) {
        const QString line = QString::fromLatin1(c.line);
        EXPECT_EQ(value.extract(line).value_or(QStringLiteral("?")).toStdString(), c.value) << c.line;
        EXPECT_EQ(unit.match(line).captured(1).toStdString(), c.unit) << c.line;
        EXPECT_EQ(stable.match(line).hasMatch(), c.stable) << c.line;
    }
}

// Zero goes to the scale as its Zero Scale control (report 2 here), where it declares one;
// any other request, tare included, sends nothing.
TEST(HidScaleDriver, OnlyZeroIsSentAndOnlyAsTheScalesControl) {
    std::vector<std::uint8_t> withZero(kScale.begin(), kScale.end() - 1);
    withZero.insert(withZero.end(), {0x09, 0x31, 0xA1, 0x02, 0x85, 0x02, 0x09, 0x80, 0x15, 0x00, 0x25, 0x01,
                                     0x75, 0x01, 0x95, 0x01, 0x91, 0x02, 0x75, 0x07, 0x91, 0x03, 0xC0, 0xC0});
    const struct {
        const std::vector<std::uint8_t>* descriptor;
        const char* request;
        int answer;
        std::vector<Report> written;
    } cases[] = {
        {&withZero, "Z\r\n", 3, {{0x02, 0x01}}},
        {&withZero, "T\r\n", -1, {}},
        {&kScale, "Z\r\n", -1, {}},
    };
    for (const auto& c : cases) {
        gScript = {};
        gScript.descriptor = *c.descriptor;
        HidScaleDriver d = fakeDriver();
        int port = -1;
        ASSERT_EQ(openPort(d, "hid:/dev/hidraw7", port), SerialDriver::OK);
        const std::string request = c.request;
        EXPECT_EQ(
            d.SerPutData(port, reinterpret_cast<const std::uint8_t*>(request.data()), int(request.size())),
            c.answer)
            << c.request;
        EXPECT_EQ(gScript.written, c.written) << c.request;
    }
}
