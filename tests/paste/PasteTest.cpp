#include "config/Config.h"
#include "tarovex/run/KeyboardService.h"
#include "tarovex/ui/QtClipboard.h"
#ifdef TAROVEX_WAYLAND
#include "typing/WaylandClipboard.h"
#endif
#include "tests/ProvenOrSkipped.h"
#include "tests/SwayServer.h"
#include "tests/XvfbServer.h"
#include "tests/tools/ProcessSupport.h"

#include <QClipboard>
#include <QGuiApplication>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

namespace CH = tarovex::config::ConfigHelper;
using Clock = std::chrono::steady_clock;

struct Log : tarovex::reading::EventLog {
    void logEvent(const QString& text) override { lines.append(text); }
    void logImportantEvent(const QString& text) override { lines.append(text); }
    QStringList lines;
};

// Spins the event loop (the field reads the clipboard from this process) until `done` holds
// or `limit` passed.
template <typename Done> bool spinUntil(Done done, std::chrono::milliseconds limit) {
    const auto until = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > until)
            return false;
        QGuiApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

} // namespace

// A value the layout cannot type, pasted into a Qt field on an X server through a run's typer
// in paste mode; what the clipboard held is back soon after.
TEST(PasteTest, AValueIsPastedWholeAndTheClipboardPutBack) {
    std::unique_ptr<tarovex_test::XvfbServer> server;
    try {
        server = std::make_unique<tarovex_test::XvfbServer>();
    } catch (const std::exception& e) {
        TAROVEX_SKIP_OR_FAIL(std::string("No X server: ") + e.what());
    }
    ::setenv("DISPLAY", server->display().c_str(), 1);
    ::unsetenv("WAYLAND_DISPLAY");
    qputenv("QT_QPA_PLATFORM", "xcb");
    int argc = 1;
    char name[] = "paste_tests";
    char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);
    auto clipboard = std::make_shared<tarovex::ui::QtClipboard>();
    ASSERT_EQ(clipboard->unavailable(), std::nullopt);
    QGuiApplication::clipboard()->setText(QStringLiteral("kept"));

    tools_test::Process field(TAROVEX_BINARY_DIR "/tests/tarovex-test-qfield", {},
                              {{"DISPLAY", server->display()}, {"QT_QPA_PLATFORM", "xcb"}});
    std::string line;
    ASSERT_TRUE(spinUntil(
        [&] {
            line = field.readLine(5).value_or(line);
            return line == "ready";
        },
        std::chrono::seconds(10)))
        << field.errorText();

    tarovex::config::Config config = tarovex::config::Config::defaultsOf(CH::Instrument::GENERIC);
    config.setOutputMode(CH::OutputMode::PASTE);
    Log log;
    auto typer =
        tarovex::makeKeyboardTyper(config, log, std::make_shared<tarovex::typing::KeyboardLane>(),
                                   {.backend = tarovex::typing::KeyBackend::X11, .clipboard = clipboard});
    std::atomic<bool> typed = false;
    typer->start({}, [&](std::vector<tarovex::typing::TypingFate> fates) {
        typed = !fates.empty() && fates.front().typed();
    });
    const QString value = QStringLiteral("Ωmega 12,5 g");
    ASSERT_TRUE(typer->putString(value, 1));
    const std::string expected = "T " + value.toStdString();
    ASSERT_TRUE(spinUntil(
        [&] {
            line = field.readLine(5).value_or(line);
            return line == expected;
        },
        std::chrono::seconds(10)))
        << line << "\n"
        << log.lines.join('\n').toStdString();
    EXPECT_TRUE(spinUntil([&] { return QGuiApplication::clipboard()->text() == "kept"; },
                          std::chrono::milliseconds(500)))
        << QGuiApplication::clipboard()->text().toStdString();
    EXPECT_TRUE(spinUntil([&] { return typed.load(); }, std::chrono::seconds(2)))
        << log.lines.join('\n').toStdString();
    // Nothing more came: the field's text is the value, once.
    EXPECT_FALSE(field.readLine(300).has_value());
    typer->stop();
}

#ifdef TAROVEX_WAYLAND
// The same on Wayland (sway), where the window's clipboard is out of reach: the compositor's
// clipboard takes the value, the virtual keyboard presses Control+V, and what another
// program had copied is back soon after.
TEST(PasteTest, OnWaylandTheCompositorsClipboardCarriesTheValue) {
    tarovex_test::SwayServer sway;
    if (!sway.available())
        TAROVEX_SKIP_OR_FAIL(sway.reason());
    ::setenv("WAYLAND_DISPLAY", sway.socket().c_str(), 1);
    ::unsetenv("DISPLAY");
    tarovex::typing::WaylandClipboard other(sway.socket()), reader(sway.socket());
    other.put(QStringLiteral("kept"));

    tarovex::config::Config config = tarovex::config::Config::defaultsOf(CH::Instrument::GENERIC);
    config.setOutputMode(CH::OutputMode::PASTE);
    Log log;
    // The typer's virtual keyboard first: a headless compositor gives the focus only to a
    // window of a seat that has a keyboard.
    auto typer = tarovex::makeKeyboardTyper(config, log, std::make_shared<tarovex::typing::KeyboardLane>(),
                                            {.backend = tarovex::typing::KeyBackend::Wayland});
    tools_test::Process field(TAROVEX_BINARY_DIR "/tests/tarovex-test-qfield", {},
                              {{"WAYLAND_DISPLAY", sway.socket()},
                               {"QT_QPA_PLATFORM", "wayland"},
                               {"XDG_RUNTIME_DIR", ::testing::TempDir()}});
    ASSERT_EQ(field.readLine(15000), "ready") << field.errorText();

    std::atomic<bool> typed = false;
    typer->start({}, [&](std::vector<tarovex::typing::TypingFate> fates) {
        typed = !fates.empty() && fates.front().typed();
    });
    const QString value = QStringLiteral("\u03a9mega 12,5 g");
    ASSERT_TRUE(typer->putString(value, 1));
    std::optional<std::string> line;
    for (const auto until = Clock::now() + std::chrono::seconds(10); Clock::now() < until;)
        if ((line = field.readLine(100)) && *line == "T " + value.toStdString())
            break;
    EXPECT_EQ(line, "T " + value.toStdString()) << log.lines.join('\n').toStdString();
    const auto until = Clock::now() + std::chrono::milliseconds(500);
    while (reader.text() != QStringLiteral("kept") && Clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(reader.text(), QStringLiteral("kept"));
    typer->stop();
    EXPECT_TRUE(typed.load()) << log.lines.join('\n').toStdString();
    EXPECT_FALSE(field.readLine(300).has_value());
}
#endif
