// The acquisition workers end to end on real pseudo-terminals: the test plays the
// instrument on the master side, the worker reads the slave as its serial port.
#include "WorkerTestSupport.h"

#include "Tarolink/PosixSerialDriver.h"
#include "Tarolink/SerialPortLocal.h"
#include "tests/Tarolink/TestSupport.h"
#include "worker/WeightWorkerFactory.h"
#include "worker/WorkerBundle.h"
#include "worker/WorkerMessages.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <thread>

using namespace tarovex::worker;
using tarovex::config::Config;
using tarovex::config::ConfigHelper::Instrument;
using tarovex::config::ConfigHelper::InstrumentType;
using worker_test::RecordingView;
using worker_test::runUntil;
using Kind = RecordingView::Kind;

namespace {

class PtyWorker : public ::testing::Test {
protected:
    void SetUp() override {
        worker_test::application();
        Tarolink::SerialPortLocal::installDriver(std::make_shared<Tarolink::PosixSerialDriver>());
    }

    Config configFor(const Instrument& instrument) const {
        Config c = Config::defaultsOf(instrument);
        c.setInstrument(instrument);
        c.setPort(QString::fromStdString(pty.slavePath()));
        return c;
    }

    tarolink_test::PropertyGuard os_{"TLK_OSNAME", "Linux"};
    tarolink_test::Pty pty;
    RecordingView view;
};

// What the value of a sample must become: the extraction result put through the same
// processing steps the run uses.
QString processedExpectation(const Config& c, const Instrument& preset, const QString& extracted) {
    ValueProcessor processor(c, preset.getInstrumentType() == InstrumentType::TEXT
                                    ? ValueProcessor::Kind::Text
                                    : ValueProcessor::Kind::Number);
    return processor.process(extracted);
}

} // namespace

TEST_F(PtyWorker, EverySampleOfEveryPresetGivesItsValue) {
    // A sample may hold several lines (a printed ticket): the worker cuts it at each
    // terminator, and exactly the line that holds the value must give it.
    int presetsTried = 0;
    for (const Instrument& preset : Instrument::values()) {
        RecordingView v;
        Config c = configFor(preset);
        const QChar terminator(char16_t(c.getInputTerminator()));
        QString bytes;
        std::vector<qsizetype> linesPerSample;
        QStringList expected;
        for (const auto& sample : preset.getTestStrings()) {
            if (sample.dataLine.isEmpty())
                continue;
            QString text = sample.dataLine;
            if (!text.endsWith(terminator))
                text += terminator;
            bytes += text;
            linesPerSample.push_back(text.count(terminator));
            expected.append(processedExpectation(c, preset, sample.expectedValue));
        }
        if (expected.isEmpty())
            continue;
        ++presetsTried;
        const std::size_t total = std::size_t(bytes.count(terminator));
        auto created = createWeightWorker(v, c);
        created.worker->start();
        pty.write(bytes.toLatin1().toStdString());
        ASSERT_TRUE(runUntil([&] { return v.lines().size() >= total; }))
            << preset.name().toStdString() << ": " << v.lines().size() << " of " << total;
        const auto lines = v.lines();
        ASSERT_EQ(lines.size(), total) << preset.name().toStdString();
        std::size_t next = 0;
        for (qsizetype s = 0; s < expected.size(); ++s) {
            QStringList values;
            QString raw;
            for (qsizetype i = 0; i < linesPerSample[s]; ++i, ++next) {
                raw += lines[next].getReadable();
                if (lines[next].hasValue())
                    values.append(lines[next].getProcessedData());
            }
            const QStringList want = expected[s].isEmpty() ? QStringList() : QStringList{expected[s]};
            EXPECT_EQ(values, want) << preset.name().toStdString() << " sample " << raw.toStdString();
        }
        EXPECT_TRUE(v.texts(Kind::Important).isEmpty())
            << preset.name().toStdString() << ": " << v.texts(Kind::Important).join('|').toStdString();
        created.worker->cancel(true);
        ASSERT_TRUE(runUntil([&] { return created.worker->isDone(); }));
    }
    EXPECT_GE(presetsTried, 15) << "the presets with sample lines";
}

TEST_F(PtyWorker, UnsentBytesAfterTheLastTerminatorAreReportedAtStop) {
    Config c = configFor(Instrument::GENERIC);
    c.setInputTerminator(10);
    auto created = createWeightWorker(view, c);
    WeightWorker& w = *created.worker;
    w.start();
    pty.write("1.5\n12.5\r");
    ASSERT_TRUE(runUntil([&] { return view.lines().size() == 1; }));
    EXPECT_EQ(view.lines()[0].getProcessedData(), "1.5");
    // The rest is in the worker's line buffer once the terminal holds nothing more (asked of
    // the driver, which any thread may ask; the port belongs to the worker's thread).
    const int portNum = worker_test::serialPort(w).getPortNum();
    ASSERT_TRUE(runUntil([&] { return Tarolink::SerialPortLocal::driver()->SerRxReadyCount(portNum) == 0; }));
    w.cancel(true);
    ASSERT_TRUE(runUntil([&] { return w.isDone(); }));
    EXPECT_TRUE(view.texts(Kind::Important)
                    .contains(workerBundle().getString(WorkerMessages::UNSENT_DATA) + " 12.5<13>"))
        << view.texts(Kind::Important).join('|').toStdString();
}

TEST_F(PtyWorker, AClosedTerminalEndsTheRunWithOneMessage) {
    auto created = createWeightWorker(view, configFor(Instrument::GENERIC));
    WeightWorker& w = *created.worker;
    w.start();
    pty.write("42\r");
    ASSERT_TRUE(runUntil([&] { return view.lines().size() == 1; }));
    pty.closeMaster();
    ASSERT_TRUE(runUntil([&] { return w.isDone(); }));
    EXPECT_EQ(w.outcome(), WeightWorker::Outcome::DeviceGone);
    const QStringList important = view.texts(Kind::Important);
    ASSERT_EQ(important.size(), 1) << important.join('|').toStdString();
    EXPECT_TRUE(important[0].contains("disconnected"));
    EXPECT_TRUE(important[0].contains(QString::fromStdString(pty.slavePath())));
    EXPECT_FALSE(view.connected);
    EXPECT_LE(w.idleWakeUps(), 5u) << "the wait did not spin";
}

namespace {

// Checks each line as it comes, so a million of them need no memory.
class CheckingView : public WeightWorkerView {
public:
    void logEvent(const QString&) override {}
    void logImportantEvent(const QString& text) override { important.append(text); }
    void setConnectedInGUI(bool) override {}
    void dataLineReceived(DataLine line) override {
        ++received;
        if (line.getCount() != received || line.getProcessedData() != valueOf(received)) {
            if (wrong++ == 0)
                firstWrong = QStringLiteral("line %1: count %2, value %3")
                                 .arg(received)
                                 .arg(line.getCount())
                                 .arg(line.getProcessedData());
        }
    }

    static QString valueOf(int n) { return QStringLiteral("%1.%2").arg(n).arg(n % 100, 2, 10, QChar(u'0')); }

    int received = 0;
    int wrong = 0;
    QString firstWrong;
    QStringList important;
};

} // namespace

TEST_F(PtyWorker, AMillionLinesArriveWholeInOrderAndOnce) {
    constexpr int kLines = 1'000'000;
    CheckingView v;
    auto created = createWeightWorker(v, configFor(Instrument::GENERIC));
    WeightWorker& w = *created.worker;
    w.start();
    std::thread instrument([&] {
        std::string chunk;
        char line[32];
        for (int n = 1; n <= kLines; ++n) {
            chunk.append(line, std::snprintf(line, sizeof line, "%d.%02d\r", n, n % 100));
            if (chunk.size() > 60000 || n == kLines) {
                pty.write(chunk);
                chunk.clear();
            }
        }
    });
    const bool all = runUntil([&] { return v.received >= kLines; }, 120000);
    instrument.join();
    EXPECT_TRUE(all) << v.received;
    EXPECT_EQ(v.received, kLines);
    EXPECT_EQ(v.wrong, 0) << v.firstWrong.toStdString();
    EXPECT_TRUE(v.important.isEmpty()) << v.important.join('|').toStdString();
    w.cancel(true);
    ASSERT_TRUE(runUntil([&] { return w.isDone(); }));
}
