// The acquisition workers over the simulated driver: what reaches the view, in which order,
// for the cases a real port cannot be made to show on demand (parity and framing errors,
// modem-line answers, read boundaries chosen by the test).
#include "WorkerTestSupport.h"

#include "Tarolink/SerialExceptions.h"
#include "Tarolink/SerialPort.h"
#include "Tarolink/SerialPortLocal.h"
#include "tests/Tarolink/TestSupport.h"
#include "tests/support/SimulatedDriver.h"
#include "worker/WeightWorkerAnd.h"
#include "worker/WeightWorkerBarcode.h"
#include "worker/WeightWorkerFactory.h"
#include "worker/WorkerBundle.h"
#include "worker/WorkerMessages.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace tarovex::worker;
using Tarolink::SimulatedDriver;
using tarovex::config::Config;
using tarovex::config::ConfigHelper::Instrument;
using worker_test::RecordingView;
using worker_test::runUntil;
using Kind = RecordingView::Kind;

namespace {

QString bundleText(QLatin1StringView key) {
    return workerBundle().getString(key);
}

class SimulatedWorker : public ::testing::Test {
protected:
    void SetUp() override {
        worker_test::application();
        Tarolink::SerialPortLocal::installDriver(sim);
        sim->addPort("SIM1");
    }

    Config configFor(const Instrument& instrument) const {
        Config c = Config::defaultsOf(instrument);
        c.setInstrument(instrument);
        c.setPort(QStringLiteral("SIM1"));
        return c;
    }

    std::unique_ptr<WeightWorker> started(const Config& c) {
        auto created = createWeightWorker(view, c);
        created.worker->start();
        return std::move(created.worker);
    }

    void send(const std::string& bytes, SimulatedDriver::ByteError error = SimulatedDriver::ByteError::None) {
        sim->receive("SIM1", std::vector<std::uint8_t>(bytes.begin(), bytes.end()), error);
    }

    bool linesArrived(std::size_t n) {
        return runUntil([&] { return view.lines().size() >= n; });
    }

    // Cancels and runs the completion step.
    void stop(WeightWorker& w) {
        w.cancel(true);
        ASSERT_TRUE(runUntil([&] { return w.isDone(); }));
    }

    tarolink_test::PropertyGuard os_{"TLK_OSNAME", "Linux"};
    std::shared_ptr<SimulatedDriver> sim = std::make_shared<SimulatedDriver>();
    RecordingView view;
};

} // namespace

TEST_F(SimulatedWorker, OpeningReportsThePortAndSetsTheControlLines) {
    Config c = configFor(Instrument::GENERIC);
    c.setBitRate(Tarolink::SerialConfig::BR_19200);
    c.setParity(Tarolink::SerialConfig::PY_EVEN);
    c.setDataBits(Tarolink::SerialConfig::LN_7BITS);
    c.setStopBits(Tarolink::SerialConfig::ST_2BITS);
    sim->setInputLines("SIM1", /*cts*/ true, /*dsr*/ false, false, false);
    WeightWorker w(view, c);

    ASSERT_EQ(view.events.size(), 3u);
    EXPECT_EQ(view.events[0].kind, Kind::Connected);
    EXPECT_TRUE(view.events[0].connected);
    EXPECT_EQ(view.events[1].text,
              QStringLiteral("Port SIM1 opened: 19200 bit/s, 7 data bits, 2 stop bits, parity EVEN."));
    EXPECT_EQ(view.events[2].text, QStringLiteral("RTS: off, DTR: on. DSR: off, CTS: on."));
    EXPECT_FALSE(sim->rts("SIM1"));
    EXPECT_TRUE(sim->dtr("SIM1"));
    EXPECT_TRUE(sim->isOpen("SIM1"));
}

TEST_F(SimulatedWorker, OpeningFailuresLeaveNothingConnected) {
    Config none = configFor(Instrument::GENERIC);
    none.setPort(QString());
    EXPECT_EQ(tarolink_test::errorText<std::invalid_argument>([&] { WeightWorker w(view, none); }),
              bundleText(WorkerMessages::NULL_PORT_ERROR).toStdString());

    Config missing = configFor(Instrument::GENERIC);
    missing.setPort(QStringLiteral("NOPE"));
    EXPECT_THROW(WeightWorker(view, missing), Tarolink::PortIOException);

    Config badRate = configFor(Instrument::GENERIC);
    badRate.setBitRate(-5);
    EXPECT_EQ(
        tarolink_test::errorText<Tarolink::PortArgumentException>([&] { WeightWorker w(view, badRate); }),
        "Invalid Serial Port Bit Rate");
    EXPECT_FALSE(view.connected);
    EXPECT_FALSE(sim->isOpen("SIM1"));
}

TEST_F(SimulatedWorker, LinesArriveInOrderWithCountsAndProcessedValues) {
    Config c = configFor(Instrument::GENERIC);
    c.setDecimalPlaces(QStringLiteral("1"));
    auto w = started(c);
    send("ST,GS,+  12.50 g\r\rno value here\r-0,04\r");
    ASSERT_TRUE(linesArrived(4));
    const auto lines = view.lines();
    const QStringList values = {"12.5", "", "", "0.0"};
    const QStringList raws = {"ST,GS,+  12.50 g\r", "\r", "no value here\r", "-0,04\r"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(lines[i].getCount(), i + 1);
        EXPECT_EQ(lines[i].getProcessedData(), values[i]) << i;
        EXPECT_EQ(lines[i].getRawData(), raws[i]) << i;
        EXPECT_FALSE(lines[i].isError());
    }
    stop(*w);
}

TEST_F(SimulatedWorker, LinesSplitAcrossReadBoundariesComeOutWhole) {
    auto w = started(configFor(Instrument::GENERIC));
    const int port = worker_test::serialPort(*w).getPortNum();
    // Each piece is handed over only once the worker has taken the one before.
    const std::vector<std::string> pieces = {"1", "2.", "5\r3", "\r", "", "4", "4", "\r5\r"};
    for (const std::string& piece : pieces) {
        send(piece);
        ASSERT_TRUE(runUntil([&] { return sim->SerRxReadyCount(port) == 0; }));
    }
    ASSERT_TRUE(linesArrived(4));
    const auto lines = view.lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].getProcessedData(), "12.5");
    EXPECT_EQ(lines[1].getProcessedData(), "3");
    EXPECT_EQ(lines[2].getProcessedData(), "44");
    EXPECT_EQ(lines[3].getProcessedData(), "5");
    stop(*w);
}

TEST_F(SimulatedWorker, ParityAndFramingErrorsMarkOnlyTheirLine) {
    auto w = started(configFor(Instrument::GENERIC));
    send("1");
    send("2", SimulatedDriver::ByteError::Parity);
    send("\r");
    send("3\r");
    send("4", SimulatedDriver::ByteError::Frame);
    send("\r");
    ASSERT_TRUE(linesArrived(3));
    const auto lines = view.lines();
    EXPECT_TRUE(lines[0].isError());
    EXPECT_EQ(lines[0].getProcessedData(), "12") << "an erroneous line is still processed";
    EXPECT_FALSE(lines[1].isError()) << "the flag is cleared for the next line";
    EXPECT_TRUE(lines[2].isError());
    EXPECT_EQ(view.texts(Kind::Important), QStringList({bundleText(WorkerMessages::PARITY_ERROR),
                                                        bundleText(WorkerMessages::FRAMING_ERROR)}));
    // The report comes before its line.
    const auto it = std::find_if(view.events.begin(), view.events.end(),
                                 [](auto& e) { return e.kind == Kind::Important; });
    ASSERT_NE(it, view.events.end());
    EXPECT_EQ((it + 1)->kind, Kind::Line);
    stop(*w);
}

TEST_F(SimulatedWorker, ParityErrorOnEveryByteOfALineIsReportedPerByte) {
    auto w = started(configFor(Instrument::GENERIC));
    send("12", SimulatedDriver::ByteError::Parity);
    send("\r");
    ASSERT_TRUE(linesArrived(1));
    EXPECT_EQ(view.texts(Kind::Important).size(), 2);
    stop(*w);
}

TEST_F(SimulatedWorker, BarcodeKeepsTextAndReportsErrorsWithFixedTexts) {
    Config c = configFor(Instrument::BARCODE_ALPHA_COMPLETE);
    c.setCustomRegEx(QStringLiteral("(.*)"));
    auto w = started(c);
    EXPECT_NE(dynamic_cast<WeightWorkerBarcode*>(w.get()), nullptr);
    send("ABC-1");
    send("2", SimulatedDriver::ByteError::Parity);
    send("3 x\r");
    send("Q", SimulatedDriver::ByteError::Frame);
    send("\r");
    ASSERT_TRUE(linesArrived(2));
    const auto lines = view.lines();
    EXPECT_EQ(lines[0].getProcessedData(), "ABC-123 x");
    EXPECT_TRUE(lines[0].isError());
    EXPECT_EQ(lines[1].getProcessedData(), "Q");
    EXPECT_EQ(view.texts(Kind::Important), QStringList({"Parity Error", "Framing Error"}));
    stop(*w);
}

TEST_F(SimulatedWorker, BarcodeRemovesConfiguredCharactersAndAlwaysTakesGroupOne) {
    Config c = configFor(Instrument::BARCODE_ALPHA_COMPLETE);
    c.setCustomRegEx(QStringLiteral("(.*) (.*)"));
    c.setRemoveCharacters(QStringLiteral("-"));
    auto w = started(c);
    send("ABC-123 x\r");
    ASSERT_TRUE(linesArrived(1));
    EXPECT_EQ(view.lines()[0].getProcessedData(), "ABC123");
    stop(*w);
}

TEST_F(SimulatedWorker, AFailedLineIsReportedAndDoesNotLeakIntoTheNext) {
    // Group 1 takes no part when the line has no "x": that line has no value at all.
    Config c = configFor(Instrument::BARCODE_ALPHA_COMPLETE);
    c.setCustomRegEx(QStringLiteral("(x)?y"));
    auto w = started(c);
    send("ay\rxy\r");
    ASSERT_TRUE(linesArrived(1));
    ASSERT_TRUE(runUntil([&] { return view.texts(Kind::Important).size() == 1; }));
    EXPECT_EQ(view.texts(Kind::Important)[0],
              "Error [WW]: No value in line 1: group 1 of the expression took no part in the match");
    const auto lines = view.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].getRawData(), "xy\r");
    EXPECT_EQ(lines[0].getProcessedData(), "x");
    EXPECT_EQ(lines[0].getCount(), 2) << "the failed line was counted";
    stop(*w);
    EXPECT_TRUE(view.texts(Kind::Important).filter("not processed").isEmpty());
}

TEST_F(SimulatedWorker, AValueTheFormatterRefusesIsReportedAndPublishesNoLine) {
    Config c = configFor(Instrument::GENERIC);
    c.setCustomRegEx(QStringLiteral("=(\\S+)"));
    c.setDecimalPlaces(QStringLiteral("1"));
    c.setMathOperation(tarovex::config::ConfigHelper::MathOperation::DIVIDE);
    c.setMathOperand(QStringLiteral("2"));
    auto w = started(c);
    send("=abc\r=1.2.3\r=-\r=5\r");
    ASSERT_TRUE(linesArrived(1));
    EXPECT_EQ(view.texts(Kind::Important), QStringList({"Error [WW]: Not a decimal number: \"abc\"",
                                                        "Error [WW]: Not a decimal number: \"1.2.3\"",
                                                        "Error [WW]: Not a decimal number: \"-\""}));
    const auto lines = view.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].getProcessedData(), "2.5");
    EXPECT_EQ(lines[0].getCount(), 4) << "refused lines are counted";
    EXPECT_EQ(lines[0].getRawData(), "=5\r") << "nothing of a refused line is carried over";
    stop(*w);
}

TEST_F(SimulatedWorker, ADivisionByZeroIsReportedForItsLine) {
    Config c = configFor(Instrument::GENERIC);
    c.setDecimalPlaces(QStringLiteral("2"));
    c.setMathOperation(tarovex::config::ConfigHelper::MathOperation::DIVIDE);
    c.setMathOperand(QStringLiteral("0.00"));
    auto w = started(c);
    send("12\r\r");
    ASSERT_TRUE(linesArrived(1));
    EXPECT_EQ(view.texts(Kind::Important), QStringList({"Error [WW]: Division by zero"}));
    EXPECT_EQ(view.lines()[0].getCount(), 2);
    EXPECT_FALSE(view.lines()[0].hasValue()) << "an empty value never reaches the division";
    stop(*w);
}

TEST_F(SimulatedWorker, ALineThatNeverEndsIsDroppedOnceAtTheLimit) {
    auto w = started(configFor(Instrument::GENERIC));
    std::string noise(WeightWorker::kMaxLineLength + 100, '\x01');
    noise.replace(0, 3, "AB\t");
    // The tail of the over-long line ends in what looks like a reading: it must not be
    // taken for one. The next whole line is.
    send(noise + "7\r" + "8\r");
    ASSERT_TRUE(linesArrived(1));
    const QStringList important = view.texts(Kind::Important);
    ASSERT_EQ(important.size(), 1);
    EXPECT_TRUE(important[0].contains(QString::number(WeightWorker::kMaxLineLength)));
    EXPECT_TRUE(important[0].contains("AB<9><1><1>"));
    const auto lines = view.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].getRawData(), "8\r");
    EXPECT_EQ(lines[0].getCount(), 2) << "the dropped line's terminator counted";
    stop(*w);
}

TEST_F(SimulatedWorker, DroppingWithoutATerminatorIsReportedAgainAndTotalledAtStop) {
    auto w = started(configFor(Instrument::GENERIC));
    const std::size_t noise = 2 * WeightWorker::kDropReminderBytes + 10;
    send(std::string(noise, 'x') + "\r8\r");
    ASSERT_TRUE(linesArrived(1));
    stop(*w);
    const QStringList important = view.texts(Kind::Important);
    ASSERT_EQ(important.size(), 4) << important.join('\n').toStdString();
    EXPECT_TRUE(important[0].contains(QString::number(WeightWorker::kMaxLineLength)));
    const auto text = [](QLatin1StringView key, std::uint64_t n) {
        return tarovex::config::ResourceBundle::formatPrintf(bundleText(key), {QString::number(n)});
    };
    EXPECT_EQ(important[1], text(WorkerMessages::STILL_NO_TERMINATOR, WeightWorker::kDropReminderBytes));
    EXPECT_EQ(important[2], text(WorkerMessages::STILL_NO_TERMINATOR, 2 * WeightWorker::kDropReminderBytes));
    EXPECT_EQ(important[3], text(WorkerMessages::DROPPED_BYTES, noise));
    EXPECT_EQ(view.lines()[0].getRawData(), "8\r");
}

TEST_F(SimulatedWorker, AnErrorInTheMiddleOfALineDropsTheWholeLine) {
    auto w = started(configFor(Instrument::GENERIC));
    // The error state of the "1" cannot be read: the line fails there, and its rest
    // ("2.50 g") must not be typed as a reading of its own.
    send("+  ");
    send("1", SimulatedDriver::ByteError::Unreadable);
    send("2.50 g\r+  3.75 g\r");
    ASSERT_TRUE(linesArrived(1));
    ASSERT_EQ(view.texts(Kind::Important).size(), 1);
    EXPECT_EQ(view.texts(Kind::Important)[0], "Error [WW]: sigFrameErr failed");
    const auto lines = view.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].getRawData(), "+  3.75 g\r");
    EXPECT_EQ(lines[0].getProcessedData(), "3.75");
    EXPECT_EQ(lines[0].getCount(), 2);
    stop(*w);
    EXPECT_TRUE(view.texts(Kind::Important).filter(bundleText(WorkerMessages::UNSENT_DATA)).isEmpty());
}

TEST_F(SimulatedWorker, StopReportsUnsentBytesClosesThePortAndDisconnects) {
    Config c = configFor(Instrument::GENERIC);
    c.setInputTerminator(10);
    auto w = started(c);
    send("1\n12.5\r");
    ASSERT_TRUE(linesArrived(1));
    ASSERT_TRUE(
        runUntil([&] { return sim->SerRxReadyCount(worker_test::serialPort(*w).getPortNum()) == 0; }));
    const std::size_t before = view.events.size();
    stop(*w);
    ASSERT_EQ(view.events.size(), before + 3);
    EXPECT_EQ(view.events[before].text, bundleText(WorkerMessages::STOPPED));
    EXPECT_EQ(view.events[before].kind, Kind::Log);
    EXPECT_EQ(view.events[before + 1].text, bundleText(WorkerMessages::UNSENT_DATA) + " 12.5<13>");
    EXPECT_EQ(view.events[before + 1].kind, Kind::Important);
    EXPECT_EQ(view.events[before + 2].kind, Kind::Connected);
    EXPECT_FALSE(view.connected);
    EXPECT_FALSE(sim->isOpen("SIM1"));
    EXPECT_EQ(w->outcome(), WeightWorker::Outcome::Cancelled);
    EXPECT_FALSE(w->cancel(true)) << "a finished worker cannot be cancelled again";
}

TEST_F(SimulatedWorker, CancelBeforeStartCompletesWithoutRunning) {
    auto created = createWeightWorker(view, configFor(Instrument::GENERIC));
    WeightWorker& w = *created.worker;
    EXPECT_TRUE(w.cancel(true));
    ASSERT_TRUE(runUntil([&] { return w.isDone(); }));
    w.start();
    EXPECT_EQ(view.texts(Kind::Log).last(), bundleText(WorkerMessages::STOPPED));
    EXPECT_FALSE(view.connected);
    EXPECT_FALSE(sim->isOpen("SIM1"));
}

TEST_F(SimulatedWorker, InterruptionAndFailureAreReportedAsSuch) {
    auto w = started(configFor(Instrument::GENERIC));
    w->interrupt();
    ASSERT_TRUE(runUntil([&] { return w->isDone(); }));
    EXPECT_EQ(w->outcome(), WeightWorker::Outcome::Interrupted);
    EXPECT_TRUE(view.texts(Kind::Log).contains(bundleText(WorkerMessages::INTERRUPTED)));

    RecordingView other;
    Config bad = configFor(Instrument::GENERIC);
    bad.setCustomRegEx(QStringLiteral("(unclosed"));
    WeightWorker failing(other, bad);
    failing.start();
    ASSERT_TRUE(runUntil([&] { return failing.isDone(); }));
    EXPECT_EQ(failing.outcome(), WeightWorker::Outcome::Failed);
    const QStringList important = other.texts(Kind::Important);
    ASSERT_EQ(important.size(), 1);
    EXPECT_TRUE(important[0].startsWith(bundleText(WorkerMessages::EXECUTION_EXCEPTION)))
        << important[0].toStdString();
    EXPECT_GT(important[0].size(), bundleText(WorkerMessages::EXECUTION_EXCEPTION).size());
    EXPECT_FALSE(other.connected);
}

TEST_F(SimulatedWorker, AVanishedDeviceEndsTheRunThroughItsCompletion) {
    auto w = started(configFor(Instrument::GENERIC));
    send("5\r6");
    ASSERT_TRUE(linesArrived(1));
    bool finishedSignal = false;
    QObject::connect(w.get(), &WeightWorker::finished, [&] { finishedSignal = true; });
    sim->vanish("SIM1");
    ASSERT_TRUE(runUntil([&] { return w->isDone(); }));
    EXPECT_TRUE(finishedSignal);
    EXPECT_EQ(w->outcome(), WeightWorker::Outcome::DeviceGone);
    EXPECT_EQ(w->result(), 1);
    const QStringList important = view.texts(Kind::Important);
    ASSERT_EQ(important.size(), 2) << important.join('|').toStdString();
    EXPECT_EQ(important[0], "The device on port SIM1 was disconnected. Reading ended.");
    EXPECT_EQ(important[1], bundleText(WorkerMessages::UNSENT_DATA) + " 6");
    EXPECT_FALSE(view.connected);
    EXPECT_EQ(view.events.back().kind, Kind::Connected);
}

TEST_F(SimulatedWorker, HandshakeWarningsForEveryAnswerOfTheBalance) {
    struct Row {
        bool dsr, cts;
        std::optional<QLatin1StringView> key;
    };
    const Row rows[] = {
        {true, true, std::nullopt},
        {true, false, WorkerMessages::AND_ERROR_UNUSUAL},
        {false, true, WorkerMessages::AND_ERROR_DATASET_NOT_READY},
        {false, false, WorkerMessages::AND_ERROR_NOT_CONNECTED},
    };
    for (const Instrument& preset : {Instrument::AND, Instrument::AND_EM}) {
        for (const Row& row : rows) {
            sim->setInputLines("SIM1", row.cts, row.dsr, false, false);
            auto created = createWeightWorker(view, configFor(preset));
            ASSERT_NE(dynamic_cast<WeightWorkerAnd*>(created.worker.get()), nullptr);
            EXPECT_TRUE(sim->rts("SIM1") && sim->dtr("SIM1")) << "both lines raised";
            if (row.key) {
                EXPECT_EQ(created.warning, bundleText(*row.key)) << row.dsr << row.cts;
            } else {
                EXPECT_EQ(created.warning, std::nullopt);
            }
        }
    }
    // A balance that follows the lines answers on both.
    sim->setLoopback("SIM1", true, true);
    EXPECT_EQ(createWeightWorker(view, configFor(Instrument::AND)).warning, std::nullopt);
}

// A driver whose modem-line requests fail on demand, as a port with trouble would.
class FailingLinesDriver : public SimulatedDriver {
public:
    std::atomic<bool> failSetRts{false};
    std::atomic<bool> failReads{false};
    int SerSetRTS(int port, bool on) override {
        return failSetRts ? -1 : SimulatedDriver::SerSetRTS(port, on);
    }
    int SerSigCTS(int port) override { return failReads ? -1 : SimulatedDriver::SerSigCTS(port); }
    int SerSigDSR(int port) override { return failReads ? -1 : SimulatedDriver::SerSigDSR(port); }
};

TEST_F(SimulatedWorker, AHandshakeLineThatFailsCountsAsNotAnswered) {
    auto failing = std::make_shared<FailingLinesDriver>();
    Tarolink::SerialPortLocal::installDriver(failing);
    failing->addPort("SIM1");
    failing->setLoopback("SIM1", true, true);
    WeightWorkerAnd w(view, configFor(Instrument::AND));
    EXPECT_EQ(w.checkHandshake(), std::nullopt) << "a balance that follows the lines answers on both";

    w.source().setLine(ByteSource::Control::RTS, false);
    failing->failSetRts = true;
    EXPECT_EQ(w.checkHandshake(), bundleText(WorkerMessages::AND_ERROR_UNUSUAL));
    failing->failReads = true;
    EXPECT_EQ(w.checkHandshake(), bundleText(WorkerMessages::AND_ERROR_NOT_CONNECTED));

    // The run still starts and ends as usual.
    w.start();
    failing->receiveText("SIM1", "+7 g\r\n");
    ASSERT_TRUE(linesArrived(1));
    EXPECT_EQ(view.lines()[0].getProcessedData(), "7");
    stop(w);
    EXPECT_FALSE(view.connected);
}

TEST_F(SimulatedWorker, ThePresetChoosesTheWorker) {
    for (const Instrument& preset : Instrument::values()) {
        auto created = createWeightWorker(view, configFor(preset));
        WeightWorker* w = created.worker.get();
        const bool text = preset.getInstrumentType() == tarovex::config::ConfigHelper::InstrumentType::TEXT;
        const bool handshake = preset == Instrument::AND || preset == Instrument::AND_EM;
        EXPECT_EQ(dynamic_cast<WeightWorkerBarcode*>(w) != nullptr, text) << preset.name().toStdString();
        EXPECT_EQ(dynamic_cast<WeightWorkerAnd*>(w) != nullptr, handshake) << preset.name().toStdString();
        if (!handshake) {
            EXPECT_EQ(created.warning, std::nullopt);
        }
    }
}
