// KWin's fake input against the real compositor (KWin on its virtual backend) and a Wayland
// application of ours that records what it receives.
#include "config/ConfigHelper.h"
#include "tests/KwinServer.h"
#include "tests/ProvenOrSkipped.h"
#include "tests/XTextRecorder.h"
#ifdef TAROVEX_KWIN
#include "typing/KwinKeyOutput.h"
#endif

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

using namespace tarovex::typing;
using tarovex::config::ConfigHelper::KeyboardType;
using tarovex::config::ConfigHelper::KeyMapType;

namespace {

#ifdef TAROVEX_KWIN
class KwinKeyOutputTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { kwin_ = new tarovex_test::KwinServer(true); }
    static void TearDownTestSuite() {
        delete kwin_;
        kwin_ = nullptr;
    }
    void SetUp() override {
        if (!kwin_->available())
            TAROVEX_SKIP_OR_FAIL(kwin_->reason());
    }

    static tarovex_test::KwinServer* kwin_;
};
tarovex_test::KwinServer* KwinKeyOutputTest::kwin_ = nullptr;

// KWin's layout is us (the default, no kxkbrc): a fresh output types each keyboard type's
// complete coverage, first character included, refuses exactly what us has no key for (all
// but ASCII), and Enter and Tab arrive as the keys.
TEST_F(KwinKeyOutputTest, UsCoverageOfEachKeyboardTypeArrivesExactly) {
    for (const KeyboardType type : {KeyboardType::QUERTY, KeyboardType::GERMAN, KeyboardType::AZERTY}) {
        SCOPED_TRACE(type.name().toStdString());
        tarovex_test::WaylandTextRecorder recorder(kwin_->socket());
        KwinKeyOutput output({kwin_->socket(), {"us", ""}, {}});
        EXPECT_EQ(output.description().toStdString(), "KWin fake input on " + kwin_->socket() + ", layout us");
        std::string typed, lacking, expectedLacking;
        const auto start = std::chrono::steady_clock::now();
        for (const QChar c : KeyboardType::getKeymap(type, KeyMapType::ALPHANUMERIC_COMPLETE).keys()) {
            const std::string utf8 = QString(c).toStdString();
            if (c.unicode() >= 0x80)
                expectedLacking += utf8;
            try {
                output.type(TypedKey{char32_t(c.unicode())});
                typed += utf8;
            } catch (const CannotTypeError&) {
                lacking += utf8;
            }
        }
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        std::cout << typed.size() << " characters in " << took.count() << " s\n";
        ASSERT_GT(typed.size(), 90u);
        output.type(TypedKey{NamedKey::Enter});
        output.type(TypedKey{NamedKey::Tab});
        const std::string expected = typed + "<Return><Tab>";
        EXPECT_EQ(recorder.transcript(expected.size()), expected);
        EXPECT_EQ(lacking, expectedLacking);
    }
}

// Where KWin does not grant the interface, the output says so (and the choice goes on to the
// next backend); a KWin that goes away fails the next key instead of hanging it.
TEST_F(KwinKeyOutputTest, RefusedWithoutTheGrantAndFailsWhenKwinGoes) {
    {
        tarovex_test::KwinServer ungranted(false);
        ASSERT_TRUE(ungranted.available()) << ungranted.reason();
        try {
            KwinKeyOutput output({ungranted.socket(), {"us", ""}, {}});
            ADD_FAILURE() << "KWin granted fake input without the desktop file";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find("X-KDE-Wayland-Interfaces"), std::string::npos) << e.what();
        }
    }
    tarovex_test::KwinServer kwin(true);
    ASSERT_TRUE(kwin.available()) << kwin.reason();
    KwinKeyOutput output({kwin.socket(), {"us", ""}, {}});
    output.type(TypedKey{U'a'});
    kwin.stop();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(output.type(TypedKey{U'b'}), std::runtime_error);
    EXPECT_LT(std::chrono::steady_clock::now() - start, KwinKeyOutput::answerTimeout * 2);
}
#endif

} // namespace
