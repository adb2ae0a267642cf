// The X screen saver as the sign of a locked screen, on a real X server whose saver xset turns
// on and off.
#include "tarovex/run/XScreenSaverWatch.h"
#include "tests/ProvenOrSkipped.h"
#include "tests/XvfbServer.h"
#include "tests/worker/WorkerTestSupport.h"

#include <gtest/gtest.h>

#include <unistd.h>

using tarovex::XScreenSaverWatch;

// A saver already on counts from the start; each change is told once, as it happens.
TEST(XScreenSaverWatch, ReportsTheSaverOnAsLockedAndOffAsUnlocked) {
    if (::access("/usr/bin/xset", X_OK) != 0)
        TAROVEX_SKIP_OR_FAIL("xset is missing (x11-xserver-utils)");
    worker_test::application();
    tarovex_test::XvfbServer server;
    const auto saver = [&](const char* how) {
        return tarovex_test::runProgram({"xset", "-display", server.display(), "s", how}) == 0;
    };
    ASSERT_TRUE(saver("activate"));
    XScreenSaverWatch watch(server.display());
    ASSERT_TRUE(watch.available()) << watch.why().toStdString();
    EXPECT_TRUE(watch.locked());
    QList<bool> told;
    QObject::connect(&watch, &XScreenSaverWatch::lockedChanged, [&](bool locked) { told.append(locked); });
    ASSERT_TRUE(saver("reset"));
    ASSERT_TRUE(worker_test::runUntil([&] { return !watch.locked(); }));
    ASSERT_TRUE(saver("activate"));
    ASSERT_TRUE(worker_test::runUntil([&] { return watch.locked(); }));
    EXPECT_EQ(told, QList<bool>({false, true}));
}
