// The last reading as the Start tab and the tray show it, without a display.
#include "tarovex/run/LastReading.h"
#include "tests/worker/WorkerTestSupport.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

using namespace tarovex;
namespace CH = tarovex::config::ConfigHelper;
using O = ReadingOutcome;

namespace {

struct Step {
    const char* raw;
    const char* value;
    O outcome;
};

void feed(LastReading& last, const CH::Instrument& instrument, const QString& stableRegEx,
          const std::vector<Step>& steps, LastReading::Clock::time_point at = LastReading::Clock::now()) {
    config::Config c;
    c.setInstrument(instrument);
    c.setStableRegEx(stableRegEx);
    last.runStarted(c);
    int count = 0;
    for (const Step& s : steps)
        last.reading({QString::fromLatin1(s.raw), QString::fromLatin1(s.value), ++count, at, false},
                     s.outcome);
}

} // namespace

TEST(LastReading, ShowsTheLastValueItsStabilityAndTheLastLineWithoutValue) {
    worker_test::application();
    const Step stable{"ST,GS,+12.50kg\r\n", "+12.50", O::Value},
        unstable{"US,GS,+12.60kg\r\n", "+12.60", O::Value};
    const struct {
        CH::Instrument instrument;
        QString stableRegEx;
        std::vector<Step> steps;
        QString value, state;
    } rows[] = {
        {CH::Instrument::GENERIC, "", {{"12.5\r", "12.5", O::Value}}, "12.5", ""}, // no marks: nothing said
        {CH::Instrument::AND, "", {stable}, "+12.50", "stable"},
        {CH::Instrument::AND, "", {stable, unstable}, "+12.60", "unstable"},
        {CH::Instrument::AND,
         "",
         {{"US,GS,+12.60kg\r\n", "+12.60", O::Unstable}},
         "+12.60",
         "unstable, not typed"},
        {CH::Instrument::AND, "", {stable, {"ST,GS,+12.51kg\r\n", "+12.51", O::Repeat}}, "+12.50", "stable"},
        {CH::Instrument::GENERIC,
         "^S",
         {{"S 5\r", "5", O::Value}, {"D 6\r", "6", O::Value}},
         "6",
         "unstable"},
        {CH::Instrument::GENERIC, "", {{"7\r", "7", O::Value}, {"OVER\r", "", O::NoValue}}, "7", ""},
    };
    for (const auto& r : rows) {
        LastReading last;
        feed(last, r.instrument, r.stableRegEx, r.steps);
        const LastReading::Shown shown = last.shown();
        const std::string name = r.value.toStdString() + " " + r.state.toStdString();
        EXPECT_EQ(shown.value, r.value) << name;
        EXPECT_EQ(shown.state, r.state) << name;
        EXPECT_EQ(shown.valueStyle,
                  r.steps.back().outcome == O::Unstable ? LogStyle::Unstable : LogStyle::Typed);
        const bool noValue = r.steps.back().outcome == O::NoValue;
        EXPECT_EQ(shown.noValueLine.endsWith(" OVER<13>"), noValue) << shown.noValueLine.toStdString();
        EXPECT_EQ(shown.noValueStyle, LogStyle::Ignored) << "the log's style for such lines";
        feed(last, r.instrument, r.stableRegEx, {});
        EXPECT_EQ(last.shown(), LastReading::Shown{}) << "a new run starts empty: " << name;
    }
}

TEST(LastReading, AgeAndTrayTexts) {
    using std::chrono::milliseconds;
    const std::pair<milliseconds, QString> ages[] = {
        {milliseconds(-5000), "just now"},  {milliseconds(999), "just now"},
        {milliseconds(1000), "1 s ago"},    {milliseconds(59999), "59 s ago"},
        {milliseconds(60000), "1 min ago"}, {milliseconds(7 * 3600000), "7 h ago"}};
    for (const auto& [age, shown] : ages)
        EXPECT_EQ(LastReading::ageText(age), shown) << age.count();

    LastReading last;
    feed(last, CH::Instrument::AND, "", {});
    EXPECT_EQ(last.details(), "No reading yet");
    EXPECT_EQ(last.summary(), "");
    const auto at = LastReading::Clock::now();
    feed(last, CH::Instrument::AND, "", {{"ST,GS,+12.50kg\r\n", "+12.50", O::Value}}, at);
    EXPECT_EQ(last.details(at + std::chrono::seconds(3)), "3 s ago · stable");
    EXPECT_EQ(last.summary(), "+12.50 at " + reading::DataLine("", "", 1, at, false).getTimeOfDay());
}

// Thousands of lines a second: the display hears of them a few times, and shows the newest.
TEST(LastReading, AFloodIsShownAtMostEveryUpdateInterval) {
    worker_test::application();
    LastReading last;
    feed(last, CH::Instrument::GENERIC, "", {});
    int changes = 0;
    QObject::connect(&last, &LastReading::changed, [&] { ++changes; });
    // However many lines come between two turns of the event loop, they are one change,
    // which shows the last of them; the next line is another.
    for (int count = 1; count <= 10000; ++count)
        last.reading({"1\r", QString::number(count), count, LastReading::Clock::now(), false}, O::Value);
    EXPECT_EQ(changes, 0);
    ASSERT_TRUE(worker_test::runUntil([&] { return changes > 0; }));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(last.shown().value, "10000");
    last.reading({"2\r", "2", 10001, LastReading::Clock::now(), false}, O::Value);
    ASSERT_TRUE(worker_test::runUntil([&] { return changes > 1; }));
    EXPECT_EQ(last.shown().value, "2");
}

// The value shown that the keyboard then dropped says so; the fate of an older one does not
// change what is shown.
TEST(LastReading, AValueTheKeyboardDroppedSaysWhy) {
    LastReading last;
    const auto at = LastReading::Clock::now();
    const reading::DataLine older("1\r", "1", 1, at, false), shown("2\r", "2", 2, at, false);
    last.reading(older, O::Value);
    last.reading(shown, O::Value);
    last.settled(older, Delivery::Dropped, QLatin1StringView("age"));
    EXPECT_EQ(last.shown().valueStyle, LogStyle::Typed);
    last.settled(shown, Delivery::Dropped, QLatin1StringView("focus changed"));
    EXPECT_EQ(last.shown().valueStyle, LogStyle::Unstable);
    EXPECT_EQ(last.details(at), "just now · not typed: focus changed");
}
