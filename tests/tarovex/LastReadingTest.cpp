// The last reading as the Start tab and the tray show it, without a display.
#include "tarovex/run/LastReading.h"
#include "tests/worker/WorkerTestSupport.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

using namespace tarovex;
namespace CH = tarovex::config::ConfigHelper;
using Clock = LastReading::Clock;

namespace {

struct Step {
    const char* raw;
    const char* value;
    ReadingOutcome outcome;
};

worker::DataLine line(const Step& s, int count, Clock::time_point at = Clock::now()) {
    return {QString::fromLatin1(s.raw), QString::fromLatin1(s.value), count, at, false};
}

config::Config configFor(const CH::Instrument& instrument, const QString& stableRegEx = {}) {
    config::Config c;
    c.setInstrument(instrument);
    c.setStableRegEx(stableRegEx);
    return c;
}

} // namespace

TEST(LastReading, ShowsTheLastValueItsStabilityAndTheLastLineWithoutValue) {
    worker_test::application();
    using O = ReadingOutcome;
    const struct {
        const char* name;
        config::Config config;
        std::vector<Step> steps;
        QString value, state;
        LogStyle valueStyle;
        bool noValueLine;
    } rows[] = {
        {"no marks",
         configFor(CH::Instrument::GENERIC),
         {{"12.5\r", "12.5", O::Value}},
         "12.5",
         "",
         LogStyle::Typed,
         false},
        {"stable",
         configFor(CH::Instrument::AND),
         {{"ST,GS,+12.50kg\r\n", "+12.50", O::Value}},
         "+12.50",
         "stable",
         LogStyle::Typed,
         false},
        {"unstable but typed",
         configFor(CH::Instrument::AND),
         {{"ST,GS,+12.50kg\r\n", "+12.50", O::Value}, {"US,GS,+12.60kg\r\n", "+12.60", O::Value}},
         "+12.60",
         "unstable",
         LogStyle::Typed,
         false},
        {"unstable, not typed",
         configFor(CH::Instrument::AND),
         {{"US,GS,+12.60kg\r\n", "+12.60", O::Unstable}},
         "+12.60",
         "unstable, not typed",
         LogStyle::Unstable,
         false},
        {"a repeat keeps the value it repeats",
         configFor(CH::Instrument::AND),
         {{"ST,GS,+12.50kg\r\n", "+12.50", O::Value}, {"ST,GS,+12.51kg\r\n", "+12.51", O::Repeat}},
         "+12.50",
         "stable",
         LogStyle::Typed,
         false},
        {"the user's expression",
         configFor(CH::Instrument::GENERIC, "^S"),
         {{"S 5\r", "5", O::Value}, {"D 6\r", "6", O::Value}},
         "6",
         "unstable",
         LogStyle::Typed,
         false},
        {"a line without value keeps the value",
         configFor(CH::Instrument::GENERIC),
         {{"7\r", "7", O::Value}, {"OVER\r", "", O::NoValue}},
         "7",
         "",
         LogStyle::Typed,
         true},
    };
    for (const auto& r : rows) {
        LastReading last;
        last.runStarted(r.config);
        int count = 0;
        for (const Step& s : r.steps)
            last.reading(line(s, ++count), s.outcome);
        const LastReading::Shown shown = last.shown();
        EXPECT_EQ(shown.value, r.value) << r.name;
        EXPECT_EQ(shown.state, r.state) << r.name;
        EXPECT_EQ(shown.valueStyle, r.valueStyle) << r.name;
        if (r.noValueLine) {
            EXPECT_TRUE(shown.noValueLine.endsWith(" OVER<13>")) << shown.noValueLine.toStdString();
            EXPECT_EQ(shown.noValueStyle, LogStyle::Ignored) << "as the log shows such lines";
        } else {
            EXPECT_EQ(shown.noValueLine, "") << r.name;
        }
        last.runStarted(r.config);
        EXPECT_EQ(last.shown(), LastReading::Shown{}) << "a new run starts empty: " << r.name;
    }
}

TEST(LastReading, AgeAndTrayTexts) {
    using std::chrono::milliseconds;
    const std::pair<milliseconds, QString> ages[] = {
        {milliseconds(-5000), "just now"},  {milliseconds(999), "just now"},
        {milliseconds(1000), "1 s ago"},    {milliseconds(59999), "59 s ago"},
        {milliseconds(60000), "1 min ago"}, {milliseconds(3599999), "59 min ago"},
        {milliseconds(3600000), "1 h ago"}, {milliseconds(7 * 3600000), "7 h ago"}};
    for (const auto& [age, shown] : ages)
        EXPECT_EQ(LastReading::ageText(age), shown) << age.count();

    LastReading last;
    last.runStarted(configFor(CH::Instrument::AND));
    EXPECT_EQ(last.details(), "No reading yet");
    EXPECT_EQ(last.summary(), "");
    const Clock::time_point at = Clock::now();
    const worker::DataLine l = line({"ST,GS,+12.50kg\r\n", "+12.50", ReadingOutcome::Value}, 1, at);
    last.reading(l, ReadingOutcome::Value);
    EXPECT_EQ(last.details(at + std::chrono::seconds(3)), "3 s ago · stable");
    EXPECT_EQ(last.summary(), "+12.50 at " + l.getTimeOfDay());
}

// Thousands of lines a second: the display hears of them a few times, and shows the newest.
TEST(LastReading, AFloodIsShownAtMostEveryUpdateInterval) {
    worker_test::application();
    LastReading last;
    last.runStarted(configFor(CH::Instrument::GENERIC));
    int changes = 0;
    QObject::connect(&last, &LastReading::changed, [&] { ++changes; });
    QElapsedTimer elapsed;
    elapsed.start();
    int count = 0;
    while (elapsed.elapsed() < 300) {
        for (int i = 0; i < 100; ++i, ++count)
            last.reading(line({"1\r", "1", ReadingOutcome::Value}, count), ReadingOutcome::Value);
        QCoreApplication::processEvents();
    }
    last.reading(line({"2\r", "2", ReadingOutcome::Value}, ++count), ReadingOutcome::Value);
    const int before = changes;
    ASSERT_TRUE(worker_test::runUntil([&] { return changes > before; }));
    EXPECT_LE(changes, int(elapsed.elapsed() / LastReading::kUpdateInterval.count()) + 1)
        << count << " lines";
    EXPECT_EQ(last.shown().value, "2");
}
