#include "KeysTestSupport.h"

#include "tests/support/RecordingKeyOutput.h"
#include "typing/InterpretingSynthesizer.h"
#include "typing/KeySequenceInterpreter.h"
#include "typing/Keybot.h"

#include <gtest/gtest.h>

using namespace tarovex::typing;
using namespace tarovex::config::ConfigHelper;
using tarovex_test::RecordingKeyOutput;

namespace {

// Keybot's stream for one value, typed through the interpreter of that keyboard.
struct Typist {
    Typist(KeyboardType keyboard, KeyMapType coverage, int startWith = 0) {
        auto output = std::make_unique<RecordingKeyOutput>();
        recording = output.get();
        keybot = std::make_unique<Keybot>(
            0, startWith, 0, 0, 0, keyboard, coverage, view,
            std::make_unique<InterpretingSynthesizer>(keyboard, std::move(output)), queue);
    }
    KeystrokeQueue queue;
    keys_test::LogView view;
    RecordingKeyOutput* recording = nullptr;
    std::unique_ptr<Keybot> keybot;
};

// The key maps are checked against the XKB layouts, not against themselves: every character
// of every map types exactly that character, once, and nothing else.
TEST(KeySequenceInterpreterTest, EveryKeymapCharacterTypesItself) {
    for (const KeyboardType keyboard : KeyboardType::values())
        for (const KeyMapType coverage : KeyMapType::values()) {
            Typist typist(keyboard, coverage);
            const Keymap map = KeyboardType::getKeymap(keyboard, coverage);
            for (auto it = map.cbegin(); it != map.cend(); ++it) {
                typist.recording->clear();
                typist.keybot->typeString(QString(it.key()));
                EXPECT_EQ(typist.recording->transcript(), QString(it.key()))
                    << keyboard.name().toStdString() << " " << coverage.name().toStdString() << " '"
                    << QString(it.key()).toStdString() << "'";
            }
            EXPECT_EQ(typist.view.important(), QStringList{}) << keyboard.name().toStdString();
        }
}

TEST(KeySequenceInterpreterTest, EveryStartAndTerminatorKeyTypesItsNamedKey) {
    const QHash<QString, QString> expected = {
        {"ENTER", "<Enter>"}, {"TAB", "<Tab>"},       {"RIGHT", "<Right>"},
        {"DOWN", "<Down>"},   {"DELETE", "<Delete>"}, {"MULTIPLY", "*"},
    };
    auto check = [&](const QString& name, int code) {
        if (code == 0)
            return;
        const QString want = expected.value(name, "<" + name + ">"); // F1 .. F12
        for (const KeyboardType keyboard : KeyboardType::values()) {
            Typist typist(keyboard, KeyMapType::NUMERIC, code);
            typist.keybot->typeStart();
            EXPECT_EQ(typist.recording->transcript(), want) << keyboard.name().toStdString() << " " << code;
        }
    };
    for (const StartWith key : StartWith::values())
        check(key.name(), StartWith::getKeyCode(key));
    for (const OutputTerminator key : OutputTerminator::values())
        check(key.name(), OutputTerminator::getKeyCode(key));
}

// Streams the key maps do not produce, and the refusals.
struct StreamRow {
    KeyboardType keyboard;
    std::vector<int> stream; // positive: press, negative: release
    const char* typed;
    const char* error; // of the last event, or nullptr
};

TEST(KeySequenceInterpreterTest, StreamsAndRefusals) {
    const StreamRow rows[] = {
        {KeyboardType::US_INTERNATIONAL, {129, -129, 69, -69}, "é", nullptr}, // dead acute + e composes
        {KeyboardType::GERMAN, {130, -130, 81, -81}, "^q", nullptr},          // nothing to compose
        {KeyboardType::GERMAN, {16, 89, -89, -16, 90, -90}, "Yz", nullptr},   // by label, not position
        {KeyboardType::QUERTY, {18, 98, -98, 105, -105, 99, -99, -18}, "%", nullptr}, // 293 wraps to 37
        {KeyboardType::QUERTY, {18, 97, -97, -18}, "", "Alt code 1 is no character"},
        {KeyboardType::QUERTY, {17, 65}, "", "Control with key code 65 types nothing"},
        {KeyboardType::QUERTY, {129}, "", "Key code 129 names no key of the QUERTY keyboard"},
        {KeyboardType::ALL, {65}, "", "Key code 65 names no key of the ALL keyboard"},
        {KeyboardType::ALL, {999}, "", "Unknown key code 999"},
    };
    for (const StreamRow& row : rows) {
        KeySequenceInterpreter interpreter(row.keyboard);
        RecordingKeyOutput output;
        std::string error;
        for (int e : row.stream) {
            try {
                for (const TypedKey& k : e > 0 ? interpreter.press(e) : interpreter.release(-e))
                    output.type(k);
            } catch (const std::invalid_argument& x) {
                error = x.what();
            }
        }
        EXPECT_EQ(output.transcript(), QString::fromUtf8(row.typed)) << row.keyboard.name().toStdString();
        EXPECT_EQ(error, row.error ? row.error : "") << row.keyboard.name().toStdString();
    }
}

} // namespace
