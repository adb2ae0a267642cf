// The port detection over the simulated driver, whose modem lines are wired per case, and
// over real pseudo-terminals, also served on the network by ser2net.
#include "WorkerTestSupport.h"

#include "Tarolink/PosixSerialDriver.h"
#include "Tarolink/SerialPortLocal.h"
#include "tests/Ser2netServer.h"
#include "tests/Tarolink/TestSupport.h"
#include "tests/support/SimulatedDriver.h"
#include "worker/WorkerBundle.h"
#include "worker/WorkerMessages.h"
#include "worker/autoport/AutoPortWorker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

using namespace tarovex::worker;
using Tarolink::SimulatedDriver;
using worker_test::runUntil;
using Emphasis = AutoPortWorkerView::Emphasis;

namespace {

// The dialog as a transcript: "[cancel]", "[close]", "[select X]", messages as they are,
// the emphasised ones as "*text*" (bold) or "!text!" (the failure).
class TranscriptView : public AutoPortWorkerView {
public:
    void setButtonToCancel() override { lines << "[cancel]"; }
    void setButtonToClose() override { lines << "[close]"; }
    void selectBestPort(const QString& name) override { lines << "[select " + name + "]"; }
    void appendMessage(const QString& text, Emphasis e) override {
        lines << (e == Emphasis::None ? text : e == Emphasis::Bold ? "*" + text + "*" : "!" + text + "!");
    }
    QStringList lines;
};

QString bundle(QLatin1StringView key) {
    return workerBundle().getString(key);
}

class AutoPortDetection : public ::testing::Test {
protected:
    void SetUp() override {
        worker_test::application();
        Tarolink::SerialPortLocal::installDriver(sim);
    }

    // Runs the detection to its end and returns the transcript.
    QStringList detect(const QStringList& ports) {
        AutoPortWorker worker(view, ports);
        worker.start();
        EXPECT_TRUE(runUntil([&] { return worker.isDone(); }));
        return view.lines;
    }

    // What the transcript holds for one probed port with its score.
    static QStringList probed(const QString& name, int score) {
        return {bundle(WorkerMessages::TESTING_PORT_0).replace("{0}", name),
                bundle(WorkerMessages::CONFIDENCE) + " " + QString::number(score)};
    }
    static QStringList end(const QString& best) {
        if (best.isEmpty())
            return {"[close]", "!" + bundle(WorkerMessages::COULD_NOT_AUTO_DETECT_PORT) + "!"};
        return {"[close]", "[select " + best + "]",
                "*" + bundle(WorkerMessages::BEST_PORT) + " " + best + "*"};
    }

    tarolink_test::PropertyGuard os_{"TLK_OSNAME", "Linux"};
    std::shared_ptr<SimulatedDriver> sim = std::make_shared<SimulatedDriver>();
    TranscriptView view;
    const QString started = bundle(WorkerMessages::AUTO_PORT_DETECTION_STARTED);
};

} // namespace

TEST_F(AutoPortDetection, ScoresFollowTheModemLinesAndTheEarliestBestPortWins) {
    struct Wiring {
        const char* name;
        std::function<void(SimulatedDriver&, const std::string&)> wire;
        int score;
    };
    const Wiring ports[] = {
        {"NONE", [](SimulatedDriver&, const std::string&) {}, 0},
        {"RTSONLY", [](SimulatedDriver& s, const std::string& n) { s.setLoopback(n, true, false); }, 1},
        {"DTRONLY", [](SimulatedDriver& s, const std::string& n) { s.setLoopback(n, false, true); }, 1},
        {"LOOP", [](SimulatedDriver& s, const std::string& n) { s.setLoopback(n, true, true); }, 2},
        {"DSRONLY",
         [](SimulatedDriver& s, const std::string& n) { s.setInputLines(n, false, true, false, false); }, 1},
        {"COM3",
         [](SimulatedDriver& s, const std::string& n) { s.setInputLines(n, true, true, false, false); }, 1},
        {"BOTH",
         [](SimulatedDriver& s, const std::string& n) { s.setInputLines(n, true, true, false, false); }, 3},
        {"BOTH2",
         [](SimulatedDriver& s, const std::string& n) { s.setInputLines(n, true, true, false, false); }, 3},
        {"hid:7a10:0005", [](SimulatedDriver&, const std::string&) {}, 3}, // a scale, by opening
    };
    QStringList names;
    QStringList expected{"[cancel]", started};
    for (const Wiring& w : ports) {
        sim->addPort(w.name);
        w.wire(*sim, w.name);
        names << w.name;
        expected << probed(w.name, w.score);
    }
    expected << end("BOTH");
    EXPECT_EQ(detect(names), expected);
    for (const Wiring& w : ports) {
        EXPECT_FALSE(sim->isOpen(w.name)) << w.name;
        EXPECT_FALSE(sim->dtr(w.name) || sim->rts(w.name)) << w.name << ": outputs left on";
        const auto config = sim->lastConfig(w.name);
        ASSERT_TRUE(config) << w.name;
        EXPECT_EQ(config->getBitRate(), Tarolink::SerialConfig::BR_9600);
    }
}

TEST_F(AutoPortDetection, EmptyListAndUnanswered) {
    EXPECT_EQ(detect({}), QStringList({"[cancel]", started}) + end(""));
    view.lines.clear();
    sim->addPort("QUIET");
    EXPECT_EQ(detect({"QUIET"}), QStringList({"[cancel]", started}) + probed("QUIET", 0) + end(""))
        << "a port scoring 0 is never chosen";
}

TEST_F(AutoPortDetection, APortThatCannotBeOpenedIsListedAndSkipped) {
    sim->addPort("BUSY");
    sim->setHeldElsewhere("BUSY", true);
    sim->addPort("LOOP");
    sim->setLoopback("LOOP", true, true);
    const QStringList got = detect({"BUSY", "MISSING", "LOOP"});
    ASSERT_EQ(got.size(), 2 + 2 + 2 + 2 + 3);
    EXPECT_EQ(got[2], bundle(WorkerMessages::TESTING_PORT_0).replace("{0}", "BUSY"));
    EXPECT_TRUE(got[3].contains("in use", Qt::CaseInsensitive)) << got[3].toStdString();
    EXPECT_EQ(got[4], bundle(WorkerMessages::TESTING_PORT_0).replace("{0}", "MISSING"));
    EXPECT_FALSE(got[5].isEmpty());
    EXPECT_EQ(got.mid(6), probed("LOOP", 2) + end("LOOP"));
}

TEST_F(AutoPortDetection, CancelDuringAProbeClosesThePortAndSaysStopped) {
    sim->addPort("LOOP");
    sim->setLoopback("LOOP", true, true);
    AutoPortWorker worker(view, {"LOOP", "LOOP"});
    worker.start();
    ASSERT_TRUE(runUntil([&] { return sim->isOpen("LOOP"); }));
    EXPECT_TRUE(worker.cancel());
    ASSERT_TRUE(runUntil([&] { return worker.isDone(); }));
    EXPECT_FALSE(sim->isOpen("LOOP"));
    EXPECT_FALSE(worker.cancel()) << "a second press only closes the dialog";
    EXPECT_EQ(view.lines,
              QStringList({"[cancel]", started, bundle(WorkerMessages::TESTING_PORT_0).replace("{0}", "LOOP"),
                           "[close]", bundle(WorkerMessages::STOPPED)}) +
                  end("").mid(1));
}

TEST(AutoPortDetectionPty, APseudoTerminalIsOpenedProbedAndClosed) {
    worker_test::application();
    tarolink_test::PropertyGuard os{"TLK_OSNAME", "Linux"};
    Tarolink::SerialPortLocal::installDriver(std::make_shared<Tarolink::PosixSerialDriver>());
    tarolink_test::Pty a, b;
    TranscriptView view;
    const QString pa = QString::fromStdString(a.slavePath()), pb = QString::fromStdString(b.slavePath());
    AutoPortWorker worker(view, {pa, pb});
    worker.start();
    ASSERT_TRUE(runUntil([&] { return worker.isDone(); }));
    // A pseudo-terminal has no modem lines: nothing answers.
    EXPECT_EQ(view.lines.filter(bundle(WorkerMessages::CONFIDENCE) + " 0").size(), 2)
        << view.lines.join('\n').toStdString();
    EXPECT_EQ(view.lines.last(), "!" + bundle(WorkerMessages::COULD_NOT_AUTO_DETECT_PORT) + "!");
    // Closed again: another program can open it now.
    Tarolink::SerialPortLocal again(Tarolink::SerialConfig(a.slavePath()));
    again.close();
}

TEST(AutoPortDetectionNetwork, RawTcpScoresOnDataAndRfc2217OnItsModemLines) {
    worker_test::application();
    tarolink_test::PropertyGuard os{"TLK_OSNAME", "Linux"};
    Tarolink::SerialPortLocal::reloadLibrary();
    // A scale on a plain TCP port that streams, and one that keeps quiet.
    tarolink_test::Pty streaming, quiet, lines;
    tarovex_test::Ser2netServer streamingServer(streaming.slavePath(), false),
        quietServer(quiet.slavePath(), false);
    tarovex_test::Ser2netServer rfc2217(lines.slavePath(), true);
    std::atomic<bool> done{false};
    std::thread scale([&] {
        while (!done) {
            streaming.write("ST,GS,+1.5 g\r");
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    TranscriptView view;
    const QString a = QString::fromStdString(quietServer.url()),
                  b = QString::fromStdString(streamingServer.url()),
                  c = QString::fromStdString(rfc2217.url());
    AutoPortWorker worker(view, {a, b, c});
    worker.start();
    ASSERT_TRUE(runUntil([&] { return worker.isDone(); }, 20000));
    done = true;
    scale.join();
    const QString confidence = bundle(WorkerMessages::CONFIDENCE);
    // A pseudo-terminal behind ser2net has no modem lines either: the RFC 2217 port scores 0.
    EXPECT_EQ(view.lines.filter(confidence),
              QStringList({confidence + " 0", confidence + " 1", confidence + " 0"}))
        << view.lines.join('\n').toStdString();
    EXPECT_TRUE(view.lines.contains("[select " + b + "]"));
}
