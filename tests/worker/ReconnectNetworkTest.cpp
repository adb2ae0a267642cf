// Reconnect over the network: a run on a real ser2net (RFC 2217, 127.0.0.1) whose server
// is killed and started again.
#include "WorkerTestSupport.h"

#include "Tarolink/SerialPortLocal.h"
#include "tests/Ser2netServer.h"
#include "tests/Tarolink/TestSupport.h"
#include "worker/WeightWorkerFactory.h"

#include <gtest/gtest.h>

using namespace tarovex::worker;
using tarovex::config::Config;
using tarovex::config::ConfigHelper::Instrument;
using worker_test::RecordingView;
using worker_test::runUntil;
using Kind = RecordingView::Kind;

TEST(ReconnectNetwork, AKilledServerIsADisconnectAndItsReturnAReconnectWithReadingsAfterIt) {
    worker_test::application();
    tarolink_test::PropertyGuard os("TLK_OSNAME", "Linux");
    Tarolink::SerialPortLocal::reloadLibrary();
    tarolink_test::Pty pty;
    tarovex_test::Ser2netServer server(pty.slavePath(), true);

    RecordingView view;
    Config c = Config::defaultsOf(Instrument::GENERIC);
    c.setInstrument(Instrument::GENERIC);
    c.setPort(QString::fromStdString(server.url()));
    c.reconnect = true;
    auto created = createWeightWorker(view, c);
    ASSERT_TRUE(created.worker);
    WeightWorker& w = *created.worker;
    w.start();

    pty.write("1\r2\r");
    ASSERT_TRUE(runUntil([&] { return view.lines().size() == 2; }));
    server.stop();
    ASSERT_TRUE(runUntil(
        [&] { return !view.texts(Kind::Important).filter("waiting for it to come back").isEmpty(); }));
    server.start();
    ASSERT_TRUE(runUntil([&] { return !view.texts(Kind::Important).filter("reconnected").isEmpty(); }))
        << view.texts(Kind::Important).join('|').toStdString();
    pty.write("3\r");
    ASSERT_TRUE(runUntil([&] { return view.lines().size() == 3; }));
    EXPECT_EQ(view.lines().back().getProcessedData(), QStringLiteral("3"));
    w.cancel(true);
    ASSERT_TRUE(runUntil([&] { return w.isDone(); }, 5000));
}
