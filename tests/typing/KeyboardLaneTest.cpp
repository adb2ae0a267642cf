#include "KeysTestSupport.h"

#include "config/Config.h"
#include "typing/KeyboardLane.h"
#include "typing/TypingSession.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <thread>
#include <vector>

using namespace tarovex;
using namespace tarovex::typing;
namespace CH = config::ConfigHelper;

namespace {

// The characters pressed, in order.
QString pressed(const QString& stream) {
    QString out;
    for (const QString& e : stream.split(u' ', Qt::SkipEmptyParts))
        if (e.startsWith(u'+'))
            out += QChar(e.mid(1).toInt());
    return out;
}

// One run's typing on the shared keyboard, keeping the fates it is told.
struct Typer {
    Typer(keys_test::RecordingSynthesizer& keys, std::shared_ptr<KeyboardLane> lane) {
        config::Config config = config::Config::defaultsOf(CH::Instrument::GENERIC);
        config.setInstrument(CH::Instrument::GENERIC);
        config.setOutputTerminator(CH::OutputTerminator::NONE);
        config.setDelay(QStringLiteral("20"));
        session = std::make_unique<TypingSession>(
            config, log, std::move(lane), std::make_unique<keys_test::SlowKeys>(keys), QStringLiteral("shared"));
        session->start({}, [this](std::vector<TypingFate> told) {
            const std::lock_guard lock(mutex);
            fates.insert(fates.end(), told.begin(), told.end());
        });
    }
    std::vector<TypingFate> told() {
        const std::lock_guard lock(mutex);
        return fates;
    }
    keys_test::LogView log;
    std::mutex mutex;
    std::vector<TypingFate> fates;
    std::unique_ptr<TypingSession> session;
};

} // namespace

// Two runs on one lane: whole values, one at a time, each in its turn by the order the
// values came to the keyboard; a run whose next value is ready does not overtake the one
// that waited.
TEST(KeyboardLaneTest, RunsSharingALaneTypeWholeValuesInTurn) {
    keys_test::RecordingSynthesizer keys(20);
    const auto lane = std::make_shared<KeyboardLane>();
    Typer a(keys, lane), b(keys, lane);
    a.session->putString(QStringLiteral("111"), 1);
    ASSERT_TRUE(keys_test::waitFor([&] { return !keys.stream().isEmpty(); }));
    b.session->putString(QStringLiteral("222"), 2);
    a.session->putString(QStringLiteral("333"), 3);
    b.session->putString(QStringLiteral("444"), 4);
    ASSERT_TRUE(keys_test::waitFor([&] { return a.told().size() == 2 && b.told().size() == 2; }));
    EXPECT_EQ(pressed(keys.stream()), "111222333444");
    for (Typer* t : {&a, &b})
        for (const TypingFate& f : t->told())
            EXPECT_TRUE(f.typed()) << f.id << ": " << f.dropped.data();
}

// A run stopped while it waits for its turn gives the turn up: the runs behind it still
// get the keyboard, and its value is not typed.
TEST(KeyboardLaneTest, ARunStoppedWhileWaitingGivesUpItsTurn) {
    keys_test::RecordingSynthesizer keys(20);
    const auto lane = std::make_shared<KeyboardLane>();
    Typer a(keys, lane), b(keys, lane), c(keys, lane);
    // Each next key of a's value gives the one before time to queue up behind it.
    const auto keysOfA = [&](int n) {
        return keys_test::waitFor([&] { return pressed(keys.stream()).size() >= n; });
    };
    a.session->putString(QStringLiteral("111111"), 1);
    ASSERT_TRUE(keysOfA(1));
    b.session->putString(QStringLiteral("2"), 2);
    ASSERT_TRUE(keysOfA(2));
    c.session->putString(QStringLiteral("3"), 3);
    ASSERT_TRUE(keysOfA(3));
    b.session->stop();
    ASSERT_TRUE(keys_test::waitFor([&] { return b.told().size() == 1; })) << "b waited for its turn";
    EXPECT_EQ(b.told().front().dropped, tarovex::reading::DropReason::STOP);
    ASSERT_TRUE(keys_test::waitFor([&] { return c.told().size() == 1; }));
    EXPECT_TRUE(c.told().front().typed());
    EXPECT_EQ(pressed(keys.stream()), "1111113");
}
