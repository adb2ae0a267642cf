#include "config/Hotkey.h"
#include "config/ConfigHelper.h"

#include <gtest/gtest.h>

using namespace tarovex::config;

// Text → the combination written back (empty: refused), and the keysym grabbed.
TEST(Hotkey, ParsesValidatesAndWritesBack) {
    const struct {
        const char* text;
        const char* written;
        const char* keysym;
    } rows[] = {
        {"Ctrl+Alt+R", "Ctrl+Alt+R", "r"},
        {" alt + control + r ", "Ctrl+Alt+R", "r"},
        {"Super+Shift+7", "Shift+Super+7", "7"},
        {"Win+pageup", "Super+PageUp", "Prior"},
        {"F9", "F9", "F9"},
        {"Pause", "Pause", "Pause"},
        {"Ctrl+Space", "Ctrl+Space", "space"},
        {"R", "", ""},       // a typing key alone is everyone's
        {"Shift+R", "", ""}, // and with Shift alone
        {"Ctrl+Ctrl+R", "", ""},
        {"Ctrl+Alt", "", ""}, // no key
        {"Hyper+R", "", ""},
        {"Ctrl+F25", "", ""},
        {"Ctrl+ä", "", ""},
        {"", "", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        const auto parsed = parseHotkey(QString::fromUtf8(row.text));
        EXPECT_EQ(parsed ? parsed->text() : QString(), QString::fromUtf8(row.written));
        EXPECT_EQ(parsed ? parsed->keysymName : QString(), QString::fromUtf8(row.keysym));
        EXPECT_EQ(ConfigHelper::RequestHotkey::isValid(QString::fromUtf8(row.text)),
                  *row.written || !*row.text);
    }
}
