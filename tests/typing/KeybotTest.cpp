#include "KeysTestSupport.h"

#include "config/ResourceBundle.h"
#include "tests/support/RecordingKeyOutput.h"
#include "typing/InterpretingSynthesizer.h"
#include "typing/Keybot.h"
#include "worker/WorkerBundle.h"
#include "worker/WorkerMessages.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace tarovex::typing;
using namespace tarovex::config::ConfigHelper;
using keys_test::LogView;
using keys_test::RecordingSynthesizer;
using tarovex::config::ResourceBundle;

namespace {

QString cannotType(const QString& what) {
    return tarovex::worker::workerBundle().getString(tarovex::worker::WorkerMessages::CANNOT_TYPE) + what;
}

struct Settings {
    KeyboardType keyboard = KeyboardType::QUERTY;
    KeyMapType coverage = KeyMapType::NUMERIC;
    int startWith = 0, endWith = 0, endWith2 = 0, everyX = 0;
};

struct Rig {
    explicit Rig(const Settings& s, int keyDelay = 0) {
        auto recording = std::make_unique<RecordingSynthesizer>(keyDelay);
        synth = recording.get();
        keybot = std::make_unique<Keybot>(keyDelay, s.startWith, s.endWith, s.endWith2, s.everyX, s.keyboard,
                                          s.coverage, view, std::move(recording), queue);
    }
    KeystrokeQueue queue;
    LogView view;
    RecordingSynthesizer* synth = nullptr;
    std::unique_ptr<Keybot> keybot;
};

struct StreamRow {
    const char* name;
    Settings setup;
    QStringList values;
    const char* stream;
    QStringList important;
};

TEST(KeybotTest, KeyStreamsOfValues) {
    const StreamRow rows[] = {
        {"chords",
         {.endWith = 10},
         {"12.5"},
         "+49 d -49 d +50 d -50 d +46 d -46 d +53 d -53 d +10 d -10",
         {}},
        {"azerty",
         {.keyboard = KeyboardType::AZERTY, .endWith = 10},
         {"12.5"},
         "+16 d +49 d -49 d -16 d +16 d +50 d -50 d -16 d +16 d +59 d -59 d -16 d +16 d +53 d -53 d -16 d "
         "+10 d -10",
         {}},
        {"alt codes",
         {.keyboard = KeyboardType::ALL},
         {"-3"},
         "+18 d +100 d -100 d +101 d -101 d -18 d d +18 d +101 d -101 d +97 d -97 d -18 d d",
         {}},
        // Typed whole or not at all: "12" is not the value.
        {"not in the map",
         {},
         {"AB12"},
         "",
         {cannotType("A"), cannotType("B"), "The value AB12 was not typed: a key could not be typed."}},
        {"not printable",
         {},
         {QString(QChar(0xE9)) + "\t"},
         "",
         {cannotType("<233>"), cannotType("<9>"), "The value <233><9> was not typed: a key could not be typed."}},
        {"dead key",
         {.keyboard = KeyboardType::GERMAN, .coverage = KeyMapType::ALPHANUMERIC_COMPLETE},
         {"^"},
         "+130 d -130 d +32 d -32 d",
         {}},
        {"start key", {.startWith = 112, .endWith = 9}, {"7"}, "+112 d -112 +55 d -55 d +9 d -9", {}},
        {"every third value",
         {.endWith = 10, .endWith2 = 9, .everyX = 3},
         {"1", "2", "3", "4"},
         "+49 d -49 d +10 d -10 +50 d -50 d +10 d -10 +51 d -51 d +9 d -9 +52 d -52 d +10 d -10",
         {}},
        {"every third value without a second terminator",
         {.endWith = 10, .everyX = 3},
         {"1", "2", "3"},
         "+49 d -49 d +10 d -10 +50 d -50 d +10 d -10 +51 d -51 d",
         {}},
    };
    for (const StreamRow& row : rows) {
        Rig rig(row.setup, 5);
        for (const QString& v : row.values)
            rig.keybot->typeValue(v);
        EXPECT_EQ(rig.synth->stream(), QString::fromLatin1(row.stream)) << row.name;
        EXPECT_EQ(rig.view.important(), row.important) << row.name;
    }
}

struct ErrorRow {
    const char* name;
    Settings setup;
    std::set<int> refusePress, refuseRelease;
    const char* value;
    const char* stream;
    const char* message;
};

TEST(KeybotTest, ErrorsAreReportedAndNothingStaysDown) {
    const Settings basic{.coverage = KeyMapType::ALPHANUMERIC_BASIC};
    const Settings german{.keyboard = KeyboardType::GERMAN, .coverage = KeyMapType::ALPHANUMERIC_COMPLETE};
    const ErrorRow rows[] = {
        // The chord ends at the failed press, and so does the value: A alone, or B, would be
        // a wrong text.
        {"press",
         basic,
         {65},
         {},
         "AB",
         "+16 d +65 -16",
         "Error pressing key 65 on QUERTY keyboard: refused"},
        {"release",
         basic,
         {},
         {16},
         "A",
         "+16 d +65 d -65 d -16 d",
         "Error releasing key 16 on QUERTY keyboard: refused"},
        {"dead key space", german, {32}, {}, "^", "+130 d -130 d +32", "Deadkey error: refused"},
        {"alt code",
         {.keyboard = KeyboardType::ALL},
         {101},
         {},
         "5",
         "+18 d +101 -18",
         "Error pressing ALT key for 5 on ALL keyboard: refused"},
        {"terminator",
         {.endWith = 10},
         {10},
         {},
         "",
         "+10",
         "Error pressing key 10 on QUERTY keyboard: refused"},
    };
    for (const ErrorRow& row : rows) {
        Rig rig(row.setup);
        rig.synth->refusePress = row.refusePress;
        rig.synth->refuseRelease = row.refuseRelease;
        rig.keybot->typeString(QString::fromUtf8(row.value));
        if (QString::fromUtf8(row.value).isEmpty())
            rig.keybot->typeEnd();
        EXPECT_EQ(rig.synth->stream(), QString::fromLatin1(row.stream)) << row.name;
        EXPECT_EQ(rig.view.important(), QStringList{QString::fromLatin1(row.message)}) << row.name;
    }
}

// A character the output cannot produce is reported with its code: a value with one the
// output knows of in advance is not typed at all, with the reason; else the rest is not typed.
TEST(KeybotTest, OutputThatCannotTypeACharacter) {
    const struct {
        bool toldAhead;
        const char* transcript;
        QStringList messages;
    } rows[] = {
        {false,
         "b",
         {cannotType("a"), "The value bad was cut short after 1 of its characters: a key could not be typed. "
                           "The rest was not typed; check the receiving application."}},
        {true,
         "",
         {cannotType("a") + " (" + tarovex_test::RecordingKeyOutput::refusal + ")",
          "The value bad was not typed: a key could not be typed."}},
    };
    for (const auto& row : rows) {
        KeystrokeQueue queue;
        LogView view;
        auto output =
            std::make_unique<tarovex_test::RecordingKeyOutput>(std::set<char32_t>{U'a'}, row.toldAhead);
        auto* recording = output.get();
        Keybot keybot(
            0, 0, 10, 0, 0, KeyboardType::QUERTY, KeyMapType::ALPHANUMERIC_COMPLETE, view,
            std::make_unique<InterpretingSynthesizer>(KeyboardType::QUERTY, std::move(output)), queue);
        EXPECT_EQ(keybot.typeValue("bad"), tarovex::reading::DropReason::TYPING_FAILED) << row.toldAhead;
        EXPECT_EQ(recording->transcript(), row.transcript) << row.toldAhead;
        EXPECT_EQ(view.important(), row.messages) << row.toldAhead;
    }
}

// Before every key the value must still go where it began, with no stop and no key of the
// user held: else it ends there, its keys released, and says why.
TEST(KeybotTest, AValueIsTypedWholeIntoOneWindowOrSaysWhyNot) {
    namespace Drop = tarovex::reading::DropReason;
    struct Row {
        const char* name;
        const char* value;
        int focusMovesAfter;      // presses; -1: never
        bool ours = false;        // the focus moves to a window of ours
        int keysHeldPolls = 0;    // -1: for ever
        bool stopped = false;
        std::set<int> refusePress = {};
        const char* stream;
        QLatin1StringView reason;
    };
    const Row rows[] = {
        {"typed whole", "12", -1, false, 0, false, {}, "+49 d -49 d +50 d -50 d +10 d -10", {}},
        {"focus moves", "12", 1, false, 0, false, {}, "+49 d -49 d", Drop::FOCUS_CHANGED},
        {"our window takes the focus", "12", 2, true, 0, false, {}, "+49 d -49 d +50 d -50 d", Drop::FOCUS_CHANGED},
        {"a key held briefly", "1", -1, false, 3, false, {}, "+49 d -49 d +10 d -10", {}},
        {"a key held too long", "1", -1, false, -1, false, {}, "", Drop::KEYS_HELD},
        {"stopped", "1", -1, false, 0, true, {}, "", Drop::STOP},
        {"a refused press", "12", -1, false, 0, false, {50}, "+49 d -49 d +50", Drop::TYPING_FAILED},
        {"not in the map", "A1", -1, false, 0, false, {}, "", Drop::TYPING_FAILED},
    };
    for (const Row& row : rows) {
        Rig rig({.endWith = 10});
        // Only the row of a key held for ever meets the limit, however slow the machine.
        rig.keybot->setKeyWaitLimit(row.keysHeldPolls < 0 ? std::chrono::milliseconds(50) : std::chrono::minutes(1));
        RecordingSynthesizer& synth = *rig.synth;
        synth.refusePress = row.refusePress;
        synth.focus = [&] {
            const bool moved = row.focusMovesAfter >= 0 && synth.stream().count(u'+') >= row.focusMovesAfter;
            return std::optional<KeyTarget>(moved ? KeyTarget{2, row.ours} : KeyTarget{1, false});
        };
        int polls = 0;
        synth.held = [&] { return std::optional<bool>(row.keysHeldPolls < 0 || polls++ < row.keysHeldPolls); };
        if (row.stopped)
            rig.keybot->finishBy(std::chrono::steady_clock::now());
        EXPECT_EQ(rig.keybot->typeValue(row.value), row.reason) << row.name;
        EXPECT_EQ(synth.stream(), QString::fromLatin1(row.stream)) << row.name;
    }
    // Where the keyboard cannot be seen, a value asked for by a shortcut waits out its settle
    // time instead, and is typed.
    Rig rig({.endWith = 10});
    rig.keybot->settleUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(50));
    EXPECT_EQ(rig.keybot->typeValue("1"), QLatin1StringView());
    EXPECT_EQ(rig.synth->stream(), "+49 d -49 d +10 d -10");
    ASSERT_EQ(rig.view.events().size(), 1);
    EXPECT_TRUE(rig.view.events()[0].startsWith("Waited ")) << rig.view.events()[0].toStdString();
}

// A row: each part with its own start key and terminator (not the run's), into one window,
// whole or not at all across its parts.
TEST(KeybotTest, ARowIsTypedAsOneValue) {
    namespace Drop = tarovex::reading::DropReason;
    struct Row {
        const char* name;
        std::vector<RowPart> row;
        int focusMovesAfter; // presses; -1: never
        const char* stream;
        QLatin1StringView reason;
    };
    const Row rows[] = {
        {"typed whole",
         {{"1", 0, 9}, {"2", 112, 10}},
         -1,
         "+49 d -49 d +9 d -9 +112 d -112 +50 d -50 d +10 d -10",
         {}},
        {"a part the map lacks", {{"1", 0, 9}, {"A", 0, 10}}, -1, "", Drop::TYPING_FAILED},
        {"focus moves in the second part",
         {{"1", 0, 9}, {"23", 0, 10}},
         3,
         "+49 d -49 d +9 d -9 +50 d -50 d",
         Drop::FOCUS_CHANGED},
    };
    for (const Row& row : rows) {
        Rig rig({.startWith = 113, .endWith = 13});
        RecordingSynthesizer& synth = *rig.synth;
        synth.focus = [&] {
            const bool moved = row.focusMovesAfter >= 0 && synth.stream().count(u'+') >= row.focusMovesAfter;
            return std::optional<KeyTarget>(KeyTarget{std::uint64_t(moved ? 2 : 1), false});
        };
        EXPECT_EQ(rig.keybot->typeRow(row.row), row.reason) << row.name;
        EXPECT_EQ(synth.stream(), QString::fromLatin1(row.stream)) << row.name;
    }
}

// Every drop is reported when the interval allows it; within the interval only the first
// drop, and the final count once the queue takes a value again.
TEST(KeybotTest, QueueIsBoundedAndSaysHowManyItDropped) {
    const QString full =
        tarovex::worker::workerBundle().getString(tarovex::worker::WorkerMessages::KEYSTROKE_QUEUE_FULL);
    const auto message = [&](int dropped) { return ResourceBundle::formatPrintf(full, {2, dropped}); };
    for (const auto& [interval, expected] :
         {std::pair{std::chrono::milliseconds(0), QStringList{message(1), message(2), message(3)}},
          std::pair{std::chrono::milliseconds(std::chrono::hours(1)), QStringList{message(1), message(3)}}}) {
        KeystrokeQueue queue(2, interval);
        LogView view;
        Keybot keybot(0, 0, 0, 0, 0, KeyboardType::QUERTY, KeyMapType::NUMERIC, view,
                      std::make_unique<RecordingSynthesizer>(), queue);
        for (const char* v : {"1", "", "2", "3", "4", "5"})
            keybot.putString(v);
        EXPECT_EQ(queue.size(), 2u);
        queue.take({});
        keybot.putString("6");
        keybot.putString("7"); // a new run of drops starts over at 1
        EXPECT_EQ(view.important(), expected + QStringList{message(1)}) << interval.count();
    }
}

// Values queued while no Keybot runs are typed by the next one; a stop request ends the
// wait for the next value at once.
TEST(KeybotTest, QueueOutlivesARunAndStopWakesTheWait) {
    KeystrokeQueue queue;
    LogView view;
    auto first = std::make_unique<Keybot>(0, 0, 0, 0, 0, KeyboardType::QUERTY, KeyMapType::NUMERIC, view,
                                          std::make_unique<RecordingSynthesizer>(), queue);
    first->putString("1");
    first.reset();
    auto recording = std::make_unique<RecordingSynthesizer>();
    auto* synth = recording.get();
    Keybot second(0, 0, 0, 0, 0, KeyboardType::QUERTY, KeyMapType::NUMERIC, view, std::move(recording),
                  queue);
    std::jthread thread([&](std::stop_token stop) { second.run(stop); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (synth->stream().isEmpty() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_EQ(synth->stream(), "+49 d -49 d");
    thread.request_stop();
    thread.join(); // hangs if the request does not wake the wait
    EXPECT_EQ(queue.size(), 0u);
}

} // namespace

namespace {

// A value that waited longer than its bound, held back or behind a slow keyboard, is
// dropped when its turn comes and reported with the newest of its kind; a younger one is
// typed. A stop wakes a held wait too.
TEST(KeybotTest, ValuesTooOldToTypeAreDroppedAndReported) {
    KeystrokeQueue queue(10, std::chrono::milliseconds(0), std::chrono::milliseconds(200));
    queue.setHeld(true);
    queue.put("1");
    queue.put("2\r");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    queue.put("3");
    queue.setHeld(false);
    KeystrokeQueue::Taken taken = queue.take({});
    ASSERT_TRUE(taken.stale);
    EXPECT_EQ(taken.stale->count, 2u);
    EXPECT_EQ(taken.expired, (std::vector<std::uint64_t>{0, 0}));
    EXPECT_EQ(staleValuesMessage(*taken.stale, queue.maxAge()),
              "2 values waited longer than 0.2 s to be typed and were dropped, the newest: 2<13>");
    EXPECT_EQ(taken.text, "3");

    queue.setHeld(true);
    queue.put("4");
    std::stop_source stop;
    std::jthread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        stop.request_stop();
    });
    taken = queue.take(stop.get_token()); // hangs if a held wait ignores the stop
    EXPECT_FALSE(taken.text);
    EXPECT_EQ(queue.discard().waiting, 1u);
}

} // namespace

namespace {

// The clipboard's calls as one line: "put:TEXT", "restore"; a put fails while `refuse` holds.
class FakeClipboard : public Clipboard {
public:
    bool refuse = false;
    std::optional<QString> unavailable() const override { return std::nullopt; }
    std::optional<QString> put(const QString& text) override {
        calls.append("put:" + text);
        return refuse ? std::optional<QString>("no owner") : std::nullopt;
    }
    void restore() override { calls.append("restore"); }
    QStringList calls;
};

} // namespace

// What goes as keys and what through the clipboard, by mode. The start key and terminators stay
// keys; the clipboard is put back also when the paste keys fail.
TEST(KeybotTest, PastedOrTypedByTheOutputMode) {
    namespace Drop = tarovex::reading::DropReason;
    using Step = tarovex::reading::OutputStep;
    const QString paste = "^C+76 d";
    struct Row {
        const char* name;
        OutputMode mode;
        std::vector<RowPart> row;
        QString stream;
        QStringList calls;
        QLatin1StringView reason;
        bool refusePut = false;
        bool refuseShortcut = false;
    };
    const Row rows[] = {
        {"typed", OutputMode::TYPE, {{"12", 0, 10}}, "+49 d -49 d +50 d -50 d +10 d -10", {}, {}},
        {"typed, the map lacks a character", OutputMode::TYPE, {{"A1", 0, 10}}, "", {}, Drop::TYPING_FAILED},
        {"pasted", OutputMode::PASTE, {{"12", 0, 10}}, paste + " +10 d -10", {"put:12", "restore"}, {}},
        {"pasted, the map lacks a character",
         OutputMode::PASTE,
         {{"A1", 0, 10}},
         paste + " +10 d -10",
         {"put:A1", "restore"},
         {}},
        {"auto types what it can",
         OutputMode::AUTO,
         {{"12", 0, 10}},
         "+49 d -49 d +50 d -50 d +10 d -10",
         {},
         {}},
        {"auto pastes what it cannot",
         OutputMode::AUTO,
         {{"A1", 0, 10}},
         paste + " +10 d -10",
         {"put:A1", "restore"},
         {}},
        {"each text of a template",
         OutputMode::PASTE,
         {{"x", 0, 0, {{Step::Kind::Text, "A"}, {Step::Kind::Key, {}, 9}, {Step::Kind::Text, "1"}}}},
         paste + " +9 d -9 " + paste,
         {"put:A", "restore", "put:1", "restore"},
         {}},
        {"the clipboard refuses: nothing typed",
         OutputMode::PASTE,
         {{"12", 112, 10}},
         "",
         {"put:12"},
         Drop::TYPING_FAILED,
         true},
        {"the paste keys fail: the clipboard is put back",
         OutputMode::PASTE,
         {{"12", 0, 10}},
         "^C+76",
         {"put:12", "restore"},
         Drop::TYPING_FAILED,
         false,
         true},
    };
    for (const Row& row : rows) {
        Rig rig({}, 5);
        auto clipboard = std::make_shared<FakeClipboard>();
        clipboard->refuse = row.refusePut;
        rig.synth->refuseShortcuts = row.refuseShortcut;
        rig.keybot->setPaste(row.mode, Keybot::pasteKeys(PasteKey::CTRL_V), clipboard);
        EXPECT_EQ(rig.keybot->typeRow(row.row), row.reason) << row.name;
        EXPECT_EQ(rig.synth->stream(), row.stream) << row.name;
        EXPECT_EQ(clipboard->calls, row.calls) << row.name;
        EXPECT_EQ(rig.view.important().isEmpty(), row.reason.isEmpty())
            << row.name << rig.view.important().join('\n').toStdString();
    }
}
