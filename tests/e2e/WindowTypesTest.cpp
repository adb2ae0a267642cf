// The window as a user meets it: the built program on a real X server, its settings in a
// temporary home, an instrument on a pseudo-terminal, another application holding the focus.
#include "tests/Tarolink/TestSupport.h"
#include "tests/XTextRecorder.h"
#include "tests/XvfbServer.h"
#include "tests/tools/ProcessSupport.h"

#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <termios.h>

namespace {

bool portOpened(const tarolink_test::Pty& pty, tools_test::Process& window) {
    for (int i = 0; i < 400; ++i) {
        termios t{};
        if (::tcgetattr(pty.master(), &t) == 0 && !(t.c_lflag & ICANON))
            return true;
        window.waitForError("\x01", 50); // reads its standard error meanwhile
    }
    return false;
}

// Connect mode AUTO with the port as argument starts at once; every reading written to the
// port arrives typed in the focused application, in order, none lost.
TEST(WindowTypes, ReadingsArriveTypedInTheFocusedApplication) {
    QTemporaryDir home;
    {
        QSettings store(home.path() + "/config/Lumbrix/tarovex.conf", QSettings::IniFormat);
        for (const auto& [key, value] :
             {std::pair{"connect", "AUTO"}, {"outputTerminator", "TAB"}, {"delay", "1"}})
            store.setValue(QStringLiteral("com/lumbrix/tarovex/") + key, value);
    }
    tarovex_test::XvfbServer server;
    tarolink_test::Pty pty;
    tools_test::Process window(TAROVEX_BINARY_DIR "/tarovex/tarovex", {pty.slavePath()},
                               {{"HOME", home.path().toStdString()},
                                {"XDG_CONFIG_HOME", home.path().toStdString() + "/config"},
                                {"XDG_RUNTIME_DIR", home.path().toStdString()},
                                {"DISPLAY", server.display()},
                                {"QT_QPA_PLATFORM", "xcb"},
                                {"PATH", "/usr/bin:/bin"},
                                {"LANG", "C.UTF-8"}});
    // The run has opened the port once the serial library made the line raw; then the other
    // application takes the focus.
    ASSERT_TRUE(portOpened(pty, window)) << window.errorText();
    tarovex_test::XTextRecorder recorder(server.display());

    std::string readings, expected;
    for (int i = 1; i <= 40; ++i) {
        const std::string value = std::to_string(i * 7) + "." + std::to_string(i % 10);
        readings += "ST,GS,+  " + value + " g\r";
        expected += value + "<Tab>";
    }
    pty.write(readings);
    EXPECT_EQ(recorder.transcript(expected.size(), 5000), expected) << window.errorText();
}

} // namespace
