// A second start of the built program while the first runs.
#include "tests/tools/ProcessSupport.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <thread>

TEST(SecondInstance, SaysOneIsRunningBringsItToTheFrontAndEnds) {
    QTemporaryDir home;
    const std::map<std::string, std::string> env{{"HOME", home.path().toStdString()},
                                                 {"XDG_CONFIG_HOME", home.path().toStdString() + "/config"},
                                                 {"XDG_RUNTIME_DIR", home.path().toStdString()},
                                                 {"QT_QPA_PLATFORM", "offscreen"},
                                                 {"PATH", "/usr/bin:/bin"},
                                                 {"LANG", "C.UTF-8"}};
    const std::string program = TAROVEX_BINARY_DIR "/tarovex/tarovex";
    tools_test::Process first(program, {}, env);
    // It listens once its socket is there.
    for (int i = 0; i < 200 && QDir(home.path()).entryList({"tarovex-*.socket"}, QDir::System).isEmpty(); ++i)
        first.waitForError("\x01", 50);
    tools_test::Process second(program, {}, env);
    EXPECT_EQ(second.wait(), 0) << second.errorText();
    EXPECT_EQ(second.remainingOutput(), "Tarovex is already running; its window is brought to the front.\n");
    EXPECT_EQ(first.wait(100), -1) << "the first one goes on";
}
