// Typing through GNOME's remote desktop against a real Mutter (headless, on a bus of the test's
// own) and a terminal (foot) that writes what it receives to a file.
#include "typing/MutterKeyOutput.h"
#include "config/ConfigHelper.h"
#include "tests/MutterServer.h"
#include "tests/ProvenOrSkipped.h"
#include "tests/typing/KeysTestSupport.h"
#include "typing/InterpretingSynthesizer.h"
#include "typing/KeyOutputFactory.h"
#include "typing/Keybot.h"

#include <gtest/gtest.h>

#include <memory>

using namespace tarovex::typing;
using tarovex::config::ConfigHelper::KeyboardType;
using tarovex::config::ConfigHelper::KeyMapType;

namespace {

class MutterKeyOutputTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { mutter_ = new tarovex_test::MutterServer(); }
    static void TearDownTestSuite() {
        delete userKeyboard_;
        userKeyboard_ = nullptr;
        delete mutter_;
        mutter_ = nullptr;
    }
    void SetUp() override {
        if (!mutter_->available())
            TAROVEX_SKIP_OR_FAIL(mutter_->reason());
        if (mutter_->ready())
            return;
        // A headless Mutter has no keyboard, and its seat offers the applications none until a
        // session adds one, which they take up only after its first keys; a desktop has the
        // user's. The terminal has the focus once a key of that keyboard reaches it.
        ASSERT_TRUE(mutter_->openReceiver());
        userKeyboard_ = new MutterKeyOutput({mutter_->busAddress(), {"us"}});
        for (int i = 0; i < 40 && !mutter_->ready(); ++i) {
            userKeyboard_->type(TypedKey{U'.'});
            for (int j = 0; j < 25 && !mutter_->ready(); ++j)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (!mutter_->ready())
            TAROVEX_SKIP_OR_FAIL("the terminal foot did not get the keyboard focus");
    }

    static tarovex_test::MutterServer* mutter_;
    static MutterKeyOutput* userKeyboard_;
};
tarovex_test::MutterServer* MutterKeyOutputTest::mutter_ = nullptr;
MutterKeyOutput* MutterKeyOutputTest::userKeyboard_ = nullptr;

// What the program does, through the one place that makes outputs: each keyboard type's
// coverage, all of which the us layout has, arrives exactly from a new session's first key on,
// with Tab and Enter.
TEST_F(MutterKeyOutputTest, KeybotTypesEveryKeyboardTypesCoverageExactly) {
    std::string expected = mutter_->received(0, 0);
    for (const KeyboardType type : {KeyboardType::QUERTY, KeyboardType::US_INTERNATIONAL,
                                    KeyboardType::AZERTY, KeyboardType::GERMAN, KeyboardType::ALL}) {
        SCOPED_TRACE(type.name().toStdString());
        QString text;
        for (const QChar c : KeyboardType::getKeymap(type, KeyMapType::ALPHANUMERIC_COMPLETE).keys())
            text += c;
        ASSERT_GT(text.size(), 90);
        KeyOutputOptions options;
        options.backend = KeyBackend::Gnome;
        options.keyboardType = type;
        options.xkbLayout = "us";
        SessionEnvironment session;
        session.sessionBus = mutter_->busAddress();
        KeyOutputCreation created = createKeyOutput(options, session);
        ASSERT_TRUE(created.output) << created.error.toStdString();
        EXPECT_EQ(created.description.toStdString(),
                  "Keystroke output: GNOME remote desktop (Mutter), layout us (layout source: the keyboard "
                  "layout given explicitly) (rule: --keyboard-backend gnome)");
        EXPECT_TRUE(created.warnings.isEmpty()) << created.warnings.join(u'\n').toStdString();
        keys_test::LogView view;
        KeystrokeQueue queue;
        // Tab after the first value, Enter after the second.
        Keybot keybot(0, 0, tarovex::config::KeyCodes::VK_TAB, tarovex::config::KeyCodes::VK_ENTER, 2, type,
                      KeyMapType::ALPHANUMERIC_COMPLETE, view,
                      std::make_unique<InterpretingSynthesizer>(type, std::move(created.output)), queue);
        keybot.typeValue(text);
        expected += text.toStdString() + "\t";
        EXPECT_EQ(mutter_->received(expected.size()), expected);
        keybot.typeValue(QStringLiteral("3"));
        expected += "3\n"; // the terminal turns Return into a line feed
        EXPECT_EQ(mutter_->received(expected.size()), expected);
        EXPECT_TRUE(view.important().isEmpty()) << view.important().join(u'\n').toStdString();
    }
}

// Characters that us has no key for, which Mutter would drop while answering success: known
// before the value begins and refused, nothing of them sent; the next key arrives alone.
TEST_F(MutterKeyOutputTest, ACharacterTheLayoutLacksIsRefusedNotDropped) {
    MutterKeyOutput output({mutter_->busAddress(), {"us"}});
    std::string expected = mutter_->received(0, 0);
    for (const char32_t c : {U'°', U'µ', U'é', U'\u4e00'}) {
        EXPECT_EQ(output.cannotType(c), "No key of the layout types this character") << std::uint32_t(c);
        EXPECT_THROW(output.type(TypedKey{c}), CannotTypeError);
        output.type(TypedKey{U'x'});
        expected += "x";
        EXPECT_EQ(mutter_->received(expected.size()), expected);
    }
}

// A Mutter that went away fails the next key at once, as does its Stop at the end.
TEST_F(MutterKeyOutputTest, AVanishedMutterFailsTheKey) {
    tarovex_test::MutterServer own;
    if (!own.available())
        TAROVEX_SKIP_OR_FAIL(own.reason());
    MutterKeyOutput output({own.busAddress(), {"us"}});
    output.type(TypedKey{NamedKey::Tab});
    own.endCompositor();
    try {
        output.type(TypedKey{U'a'});
        ADD_FAILURE() << "typed without Mutter";
    } catch (const std::runtime_error& e) {
        EXPECT_TRUE(std::string(e.what()).starts_with("GNOME's remote desktop did not take the key: "))
            << e.what();
    }
}

} // namespace
