// The Wayland virtual keyboard against a real compositor (headless sway) and a Wayland
// application of ours that records what it receives.
#include "config/ConfigHelper.h"
#include "tests/SwayServer.h"
#include "tests/XTextRecorder.h"
#include "tests/typing/KeysTestSupport.h"
#include "typing/InterpretingSynthesizer.h"
#include "typing/KeyOutputFactory.h"
#include "typing/Keybot.h"
#ifdef TAROVEX_WAYLAND
#include "typing/WaylandClipboard.h"
#include "typing/WaylandKeyOutput.h"
#endif

#include "tests/ProvenOrSkipped.h"

#include <gtest/gtest.h>

#include <memory>

using namespace tarovex::typing;
using tarovex::config::ConfigHelper::KeyboardType;
using tarovex::config::ConfigHelper::KeyMapType;

namespace {

class WaylandKeyOutputTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { sway_ = new tarovex_test::SwayServer(); }
    static void TearDownTestSuite() {
        delete userKeyboard_;
        userKeyboard_ = nullptr;
        delete sway_;
        sway_ = nullptr;
    }
    void SetUp() override {
#ifndef TAROVEX_WAYLAND
        GTEST_SKIP() << "built without the Wayland client library";
#else
        if (!sway_->available())
            TAROVEX_SKIP_OR_FAIL(sway_->reason());
        // A headless compositor has no keyboard; a desktop has the user's. Without one the
        // application gets no keyboard focus to start with.
        if (!userKeyboard_)
            userKeyboard_ = new WaylandKeyOutput({sway_->socket(), {}});
#endif
    }

    static tarovex_test::SwayServer* sway_;
    static KeyOutput* userKeyboard_;
};
tarovex_test::SwayServer* WaylandKeyOutputTest::sway_ = nullptr;
KeyOutput* WaylandKeyOutputTest::userKeyboard_ = nullptr;

// What the program does, through the one place that makes outputs: a fresh keyboard types
// the declared keyboard type's complete coverage, first character included.
TEST_F(WaylandKeyOutputTest, KeybotTypesEveryKeyboardTypesCoverageExactly) {
    for (const KeyboardType type : {KeyboardType::QUERTY, KeyboardType::US_INTERNATIONAL,
                                    KeyboardType::AZERTY, KeyboardType::GERMAN, KeyboardType::ALL}) {
        SCOPED_TRACE(type.name().toStdString());
        QString text;
        for (const QChar c : KeyboardType::getKeymap(type, KeyMapType::ALPHANUMERIC_COMPLETE).keys())
            text += c;
        ASSERT_GT(text.size(), 90);
        tarovex_test::WaylandTextRecorder recorder(sway_->socket());
        KeyOutputOptions options;
        options.backend = KeyBackend::Wayland;
        options.keyboardType = type;
        SessionEnvironment session;
        session.waylandDisplay = sway_->socket();
        KeyOutputCreation created = createKeyOutput(options, session);
        ASSERT_TRUE(created.output) << created.error.toStdString();
        EXPECT_EQ(created.description.toStdString(), "Keystroke output: Wayland virtual keyboard on " +
                                                         sway_->socket() +
                                                         ", own keymap (rule: --keyboard-backend wayland)");
        keys_test::LogView view;
        tarovex::typing::KeystrokeQueue queue;
        tarovex::typing::Keybot keybot(
            0, 0, tarovex::config::KeyCodes::VK_ENTER, 0, 0, type, KeyMapType::ALPHANUMERIC_COMPLETE, view,
            std::make_unique<InterpretingSynthesizer>(type, std::move(created.output)), queue);
        keybot.typeValue(text);
        const std::string expected = text.toStdString() + "<Return>";
        EXPECT_EQ(recorder.transcript(expected.size()), expected);
        EXPECT_TRUE(view.important().isEmpty()) << view.important().join(u'\n').toStdString();
    }
}

#ifdef TAROVEX_WAYLAND
// More characters than a keymap has keys: the keymap is sent again, and the key after it
// (the very first one included) is read with the new keymap, also for characters that had
// lost their key in between.
TEST_F(WaylandKeyOutputTest, CharactersBeyondOneKeymapArriveExactly) {
    std::u32string text;
    for (char32_t c = U'\u4e00'; c < U'\u4e00' + 300; ++c)
        text += c;
    text += U"\u4e00\u4e01ab\u00e9";
    tarovex_test::WaylandTextRecorder recorder(sway_->socket());
    WaylandKeyOutput output({sway_->socket(), {}});
    for (const char32_t c : text)
        output.type(TypedKey{c});
    output.type(TypedKey{NamedKey::Tab});
    const std::string expected =
        QString::fromUcs4(text.data(), qsizetype(text.size())).toStdString() + "<Tab>";
    EXPECT_EQ(recorder.transcript(expected.size()), expected);
    EXPECT_GE(output.keymapUploads(), 3);
}

// Characters the preload covers never change the keymap.
TEST_F(WaylandKeyOutputTest, PreloadedCharactersKeepTheFirstKeymap) {
    tarovex_test::WaylandTextRecorder recorder(sway_->socket());
    WaylandKeyOutput output({sway_->socket(), U"äöü€"});
    for (const char32_t c : std::u32string(U"€üöä"))
        output.type(TypedKey{c});
    EXPECT_EQ(recorder.transcript(8), "€üöä");
    EXPECT_EQ(output.keymapUploads(), 1);
}

// Automatic choice on a compositor that offers virtual keyboards, and control characters
// that are no character to type.
TEST_F(WaylandKeyOutputTest, ChosenInAWaylandSessionThatOffersIt) {
    SessionEnvironment session;
    session.waylandDisplay = sway_->socket();
    session.uinputPath = "/nonexistent/uinput";
    const SessionFacts facts = sessionFacts(KeyBackend::Automatic, session);
    EXPECT_TRUE(facts.waylandSession && facts.compositorOffersVirtualKeyboard);
    const KeyOutputCreation created = createKeyOutput({}, session);
    ASSERT_TRUE(created.output) << created.error.toStdString();
    EXPECT_TRUE(
        created.description.endsWith(" (rule: Wayland session, the compositor offers virtual keyboards)"))
        << created.description.toStdString();
    for (const char32_t c : {U'\n', U'\x7f', U'\x85'})
        EXPECT_THROW(created.output->type(TypedKey{c}), CannotTypeError);
}

// Another program's text on the clipboard gives way to a value, and comes back after it, as
// a third program reads them through the compositor.
TEST_F(WaylandKeyOutputTest, TheClipboardHoldsTheValueThenWhatItHeldBefore) {
    WaylandClipboard other(sway_->socket()), ours(sway_->socket()), reader(sway_->socket());
    other.put(QStringLiteral("copied before"));
    EXPECT_EQ(reader.text(), QStringLiteral("copied before"));
    ours.put(QStringLiteral("12,5 g \u03a9"));
    EXPECT_EQ(reader.text(), QStringLiteral("12,5 g \u03a9"));
    ours.restore();
    EXPECT_EQ(reader.text(), QStringLiteral("copied before"));
    ours.restore(); // nothing more to give back
    EXPECT_EQ(reader.text(), QStringLiteral("copied before"));
}
#endif

} // namespace
