// Typing through the desktop portal's remote desktop against the real thing: a headless Mutter,
// the portal and its GNOME backend on a bus of the test's own, whose dialog the test answers
// with keys of a Mutter session, as the user would; a terminal (foot) writes what it receives.
#include "typing/PortalKeyOutput.h"
#include "config/ConfigHelper.h"
#include "tests/MutterServer.h"
#include "tests/ProvenOrSkipped.h"
#include "tests/typing/KeysTestSupport.h"
#include "typing/InterpretingSynthesizer.h"
#include "typing/KeyOutputFactory.h"
#include "typing/Keybot.h"
#include "typing/MutterKeyOutput.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>

using namespace tarovex::typing;
using tarovex::config::ConfigHelper::KeyboardType;
using tarovex::config::ConfigHelper::KeyMapType;

namespace {

class PortalKeyOutputTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "test";
        static char* argv[] = {name, nullptr};
        app_ = new QCoreApplication(argc, argv);
        mutter_ = new tarovex_test::MutterServer(true);
    }
    static void TearDownTestSuite() {
        delete userKeyboard_;
        userKeyboard_ = nullptr;
        delete mutter_;
        mutter_ = nullptr;
        delete app_;
        app_ = nullptr;
    }
    void SetUp() override {
        for (const char* program :
             {"/usr/libexec/xdg-desktop-portal", "/usr/libexec/xdg-desktop-portal-gnome"})
            if (::access(program, X_OK) != 0)
                TAROVEX_SKIP_OR_FAIL(std::string(program) +
                                     " is not installed (Debian package xdg-desktop-portal-gnome)");
        if (!mutter_->available())
            TAROVEX_SKIP_OR_FAIL(mutter_->reason());
        if (mutter_->ready())
            return;
        // As in Mutter's test: the terminal has the focus once a key of a session reaches it.
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

    static PortalKeyOutput::Options options() {
        return {mutter_->busAddress(),
                {"us"},
                std::chrono::seconds(20),
                std::chrono::seconds(3),
                testing::TempDir() + "/portal-token"};
    }

    static QCoreApplication* app_;
    static tarovex_test::MutterServer* mutter_;
    static MutterKeyOutput* userKeyboard_;
};
QCoreApplication* PortalKeyOutputTest::app_ = nullptr;
tarovex_test::MutterServer* PortalKeyOutputTest::mutter_ = nullptr;
MutterKeyOutput* PortalKeyOutputTest::userKeyboard_ = nullptr;

// Through the one place that makes outputs: each keyboard type's coverage arrives exactly, from
// the session's first key on, with Tab and Enter; the log says that the desktop asks each time.
TEST_F(PortalKeyOutputTest, KeybotTypesEveryKeyboardTypesCoverageExactly) {
    ::setenv("XDG_STATE_HOME", (testing::TempDir() + "/state").c_str(), 1);
    for (const KeyboardType type : {KeyboardType::QUERTY, KeyboardType::US_INTERNATIONAL,
                                    KeyboardType::AZERTY, KeyboardType::GERMAN, KeyboardType::ALL}) {
        SCOPED_TRACE(type.name().toStdString());
        QString text;
        for (const QChar c : KeyboardType::getKeymap(type, KeyMapType::ALPHANUMERIC_COMPLETE).keys())
            text += c;
        KeyOutputOptions options;
        options.backend = KeyBackend::Portal;
        options.keyboardType = type;
        options.xkbLayout = "us";
        SessionEnvironment session;
        session.sessionBus = mutter_->busAddress();
        KeyOutputCreation created = tarovex_test::answeringThePortalDialog(
            *mutter_, *userKeyboard_, [&] { return createKeyOutput(options, session); },
            tarovex_test::portalAccept);
        ASSERT_TRUE(created.output) << created.error.toStdString();
        EXPECT_EQ(
            created.description.toStdString(),
            "Keystroke output: desktop portal remote desktop (version 1), layout us (layout source: the "
            "keyboard layout given explicitly) (rule: --keyboard-backend portal)");
        EXPECT_EQ(created.warnings,
                  QStringList{QStringLiteral("The desktop portal asks for permission at each "
                                             "Start (its version 1 cannot remember it)")});
        std::string expected = mutter_->received(0, 0);
        keys_test::LogView view;
        KeystrokeQueue queue;
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

// A character us has no key for, which Mutter behind the portal would drop: refused, nothing
// of it sent; the next key arrives alone.
TEST_F(PortalKeyOutputTest, ACharacterTheLayoutLacksIsRefusedNotDropped) {
    auto output = tarovex_test::answeringThePortalDialog(
        *mutter_, *userKeyboard_, [] { return std::make_unique<PortalKeyOutput>(options()); },
        tarovex_test::portalAccept);
    std::string expected = mutter_->received(0, 0);
    for (const char32_t c : {U'°', U'é'}) {
        EXPECT_EQ(output->cannotType(c), "No key of the layout types this character") << std::uint32_t(c);
        EXPECT_THROW(output->type(TypedKey{c}), CannotTypeError);
        output->type(TypedKey{U'x'});
        expected += "x";
        EXPECT_EQ(mutter_->received(expected.size()), expected);
    }
}

// The user says no: the output is not made, and says why.
TEST_F(PortalKeyOutputTest, ACancelledDialogFailsTheOutput) {
    try {
        tarovex_test::answeringThePortalDialog(*mutter_, *userKeyboard_,
                                               [] { return std::make_unique<PortalKeyOutput>(options()); },
                                               {TypedKey{NamedKey::Escape}});
        ADD_FAILURE() << "made without the user's yes";
    } catch (const std::runtime_error& e) {
        EXPECT_TRUE(std::string(e.what()).starts_with("The desktop's dialog was cancelled: ")) << e.what();
    }
}

// The portal's permission for the next Start: kept for the user alone, replaced by the next,
// and a file that holds none is no token.
TEST(PortalTokenTest, StoredReplacedAndPrivate) {
    const std::string path = testing::TempDir() + "/portal-token-test/state/tarovex/token";
    std::filesystem::remove_all(testing::TempDir() + "/portal-token-test");
    EXPECT_EQ(PortalKeyOutput::readToken(path), std::nullopt);
    for (const std::string token : {"4f1c2a9e-3b7d-4e1a-9c55-0d2e8f6a7b10", "b2"}) {
        PortalKeyOutput::writeToken(path, token);
        EXPECT_EQ(PortalKeyOutput::readToken(path), token);
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
    }
    for (const std::string& corrupt : {std::string(), std::string("\n"), std::string("a b\n"),
                                       std::string("\x01\xff", 2), std::string(300, 'a')}) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << corrupt;
        EXPECT_EQ(PortalKeyOutput::readToken(path), std::nullopt) << corrupt;
    }
}

} // namespace
