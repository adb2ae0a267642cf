// Reconnect after a cable bump on real pseudo-terminals: a symlink plays the device's
// stable name, a new terminal behind it plays the device coming back.
#include "WorkerTestSupport.h"

#include "Tarolink/PosixSerialDriver.h"
#include "Tarolink/SerialPortLocal.h"
#include "tests/Tarolink/TestSupport.h"
#include "worker/Reconnector.h"
#include "worker/WeightWorkerFactory.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace tarovex::worker;
using tarovex::config::Config;
using tarovex::config::ConfigHelper::Instrument;
using worker_test::RecordingView;
using worker_test::runUntil;
using Kind = RecordingView::Kind;

namespace {

bool pointAt(const QString& link, const std::string& device) {
    QFile::remove(link);
    return ::symlink(device.c_str(), QFile::encodeName(link).constData()) == 0;
}

bool anyContains(const QStringList& texts, const QString& part, qsizetype times = 1) {
    return texts.filter(part).size() >= times;
}

QStringList values(const RecordingView& view) {
    QStringList out;
    for (const DataLine& line : view.lines())
        out.append(QStringLiteral("%1:%2").arg(line.getCount()).arg(line.getProcessedData()));
    return out;
}

} // namespace

TEST(Reconnect, ARunWaitsForItsDeviceAndGoesOnWithEveryReadingOnceAndStopEndsTheWait) {
    worker_test::application();
    tarolink_test::PropertyGuard os("TLK_OSNAME", "Linux");
    Tarolink::SerialPortLocal::installDriver(std::make_shared<Tarolink::PosixSerialDriver>());
    QTemporaryDir dir;
    const QString link = dir.path() + "/usb-Scale_Maker_0001-if00-port0";
    auto first = std::make_unique<tarolink_test::Pty>();
    ASSERT_TRUE(pointAt(link, first->slavePath()));

    RecordingView view;
    Config c = Config::defaultsOf(Instrument::GENERIC);
    c.setInstrument(Instrument::GENERIC);
    c.setPort(link);
    c.reconnect = true;
    auto created = createWeightWorker(view, c);
    WeightWorker& w = *created.worker;
    w.start();

    first->write("1\r2\r3");
    ASSERT_TRUE(runUntil([&] { return view.lines().size() == 2; }));
    first->closeMaster(); // the cable comes out with "3" half sent
    ASSERT_TRUE(
        runUntil([&] { return anyContains(view.texts(Kind::Important), "waiting for it to come back"); }));
    tarolink_test::Pty second;
    ASSERT_TRUE(pointAt(link, second.slavePath()));
    ASSERT_TRUE(runUntil([&] { return anyContains(view.texts(Kind::Important), "reconnected"); }))
        << view.texts(Kind::Important).join('|').toStdString();
    second.write("4\r5\r");
    ASSERT_TRUE(runUntil([&] { return view.lines().size() == 4; }));
    EXPECT_EQ(values(view), QStringList({"1:1", "2:2", "3:4", "4:5"}));
    EXPECT_TRUE(anyContains(view.texts(Kind::Important), "not processed: 3")) << "the half line is reported";

    // Gone again, and stopped while it waits.
    second.closeMaster();
    ASSERT_TRUE(runUntil([&] { return anyContains(view.texts(Kind::Important), "come back", 2); }));
    EXPECT_TRUE(view.connected) << "a waiting run is still a run";
    w.cancel(true);
    ASSERT_TRUE(runUntil([&] { return w.isDone(); }, 2000));
    EXPECT_EQ(w.outcome(), WeightWorker::Outcome::Cancelled);
    EXPECT_EQ(view.lines().size(), 4u) << "nothing typed twice";
    EXPECT_FALSE(view.connected);
}

TEST(Reconnect, TheStableNameIsTheByIdEntryOfTheDeviceElseThePortItself) {
    QTemporaryDir dir;
    const QString byId = dir.path() + "/by-id";
    ASSERT_TRUE(QDir().mkpath(byId));
    const QString device = dir.path() + "/ttyUSB0";
    const QString other = dir.path() + "/ttyUSB1";
    for (const QString& f : {device, other}) {
        QFile file(f);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(pointAt(byId + "/usb-A-if00", "../ttyUSB0"));
    const std::pair<QString, QString> rows[] = {
        {device, byId + "/usb-A-if00"},               // a by-id entry points at the port
        {byId + "/usb-A-if00", byId + "/usb-A-if00"}, // the port is one
        {byId + "/usb-gone", byId + "/usb-gone"},     // ... even while it is away
        {other, other},                               // none: the port's own path
        {dir.path() + "/ttyUSB9", dir.path() + "/ttyUSB9"},
        {"rfc2217://127.0.0.1:2217", "rfc2217://127.0.0.1:2217"}, // a server: its address
    };
    for (const auto& [port, stable] : rows)
        EXPECT_EQ(Reconnector::stableName(port, byId), stable) << port.toStdString();
}
