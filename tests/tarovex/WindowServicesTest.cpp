// The window's platform parts: the run's sound through the sound start, and the update
// check as the window starts it (never reaching the network).
#include "tarovex/run/PlatformServices.h"
#include "tarovex/texts/ShellBundle.h"
#include "tarovex/update/UpdateCheck.h"
#include "tests/support/RecordingSound.h"
#include "tests/worker/WorkerTestSupport.h"

#include <gtest/gtest.h>

using namespace tarovex;

TEST(WindowServices, TheSoundPlaysTheNoteThroughTheBackendAndFailsWithItsMessage) {
    int note = 0;
    tarovex_test::RecordingSound* output = nullptr;
    RunServices s = platformServices([&](int n) {
        note = n;
        auto o = std::make_unique<tarovex_test::RecordingSound>();
        output = o.get();
        return o;
    });
    auto sound = s.makeSound(config::ConfigHelper::Sound::CLAVES.getPercussionNumber());
    EXPECT_EQ(note, 75);
    sound->play();
    sound->play();
    EXPECT_EQ(output->plays, 2);
    sound->close();
    EXPECT_TRUE(output->closed);

    RunServices failing = platformServices(
        [](int) -> std::unique_ptr<worker::SoundOutput> { throw std::runtime_error("no audio device"); });
    try {
        failing.makeSound(56);
        ADD_FAILURE() << "a sound that cannot start must throw";
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "no audio device");
    }
    EXPECT_THROW(failing.makeSound(1), std::invalid_argument); // no sound has that note
}

TEST(WindowServices, TheUpdateCheckAsksOnlyWhenTheBuildHasALocation) {
    worker_test::application();
    const struct {
        std::optional<QString> location;
        QStringList statuses;
    } rows[] = {
        {std::nullopt, {}},
        // Nothing listens on port 1: the check fails at once, off the network.
        {"https://127.0.0.1:1/version.xml", {text("checking.for.update"), text("update.check.failed")}},
    };
    for (const auto& r : rows) {
        update::UpdateCheck check(r.location, "2017.1.3.2");
        EXPECT_EQ(check.isAvailable(), r.location.has_value());
        QStringList shown;
        check.start([&](const QString& s) { shown.append(s); });
        if (r.location) {
            EXPECT_TRUE(worker_test::runUntil([&] { return check.isDone(); }));
        }
        EXPECT_EQ(shown, r.statuses) << r.location.value_or("none").toStdString();
    }
}
