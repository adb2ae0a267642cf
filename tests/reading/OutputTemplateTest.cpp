#include "reading/OutputTemplate.h"

#include "config/KeyCodes.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

using namespace tarovex::reading;
namespace K = tarovex::config::KeyCodes;

namespace {

using Kind = OutputStep::Kind;

OutputStep text(const char* t) {
    return {Kind::Text, QString::fromUtf8(t), 0};
}
OutputStep key(int code) {
    return {Kind::Key, {}, code};
}

OutputTemplate parsed(const QString& t) {
    auto result = OutputTemplate::parse(t);
    if (auto* e = std::get_if<TemplateError>(&result))
        ADD_FAILURE() << t.toStdString() << ": " << e->message.toStdString();
    return std::get_if<OutputTemplate>(&result) ? std::get<OutputTemplate>(result) : OutputTemplate();
}

} // namespace

TEST(OutputTemplate, RendersFieldsKeysAndDelays) {
    // Local time two hours east of UTC, so that the local date is a day after the UTC one.
    const char* before = std::getenv("TZ");
    const std::string saved = before ? before : "";
    setenv("TZ", "XYZ-2", 1);
    tzset();
    TemplateContext c;
    c.value = u"12.50";
    c.raw = u"ST,GS,+  12.50 g";
    c.unit = u"g";
    c.groups[0] = u"ST";
    c.groups[2] = u"12.50";
    c.port = u"/dev/ttyUSB0";
    c.label = u"Scale";
    c.station = u"Bench 3";
    c.seq = 42;
    c.time = std::chrono::system_clock::time_point(std::chrono::milliseconds(1796859005007)); // 23:30:05.007Z

    const std::vector<std::pair<QString, std::vector<OutputStep>>> rows = {
        {"", {}},
        {"{value}", {text("12.50")}},
        {"{TAB}{value}{ENTER}", {key(K::VK_TAB), text("12.50"), key(K::VK_ENTER)}},
        {"{value} {unit}{{x}}!", {text("12.50 g{x}!")}},
        {"{g1}|{g2}|{g3}|{g9}", {text("ST||12.50|")}},
        {"{g2}{F12}{KEY:KP_Enter}{DELAY:250}{DELAY:0}",
         {key(K::functionKey(12)), {Kind::Keysym, {}, 0xff8d}, {Kind::Delay, {}, 250}, {Kind::Delay, {}, 0}}},
        {"{port};{label};{station};{seq};{raw}", {text("/dev/ttyUSB0;Scale;Bench 3;42;ST,GS,+  12.50 g")}},
        {"{date:yyyy-MM-dd} {time:HH:mm:ss.zzz} {utc:dd HH} {utc:yyyyMMddHHmmsszzz}",
         {text("2026-12-10 01:30:05.007 09 23 20261209233005007")}},
        {"{ESC}{SPACE}{LEFT}{RIGHT}{UP}{DOWN}{HOME}{END}{DELETE}{BACKSPACE}{F1}",
         {key(K::VK_ESCAPE), key(K::VK_SPACE), key(K::VK_LEFT), key(K::VK_RIGHT), key(K::VK_UP),
          key(K::VK_DOWN), key(K::VK_HOME), key(K::VK_END), key(K::VK_DELETE), key(K::VK_BACK_SPACE),
          key(K::VK_F1)}},
        {"Gewicht: {value}\u00a0{unit}{TAB}", {text("Gewicht: 12.50\u00a0g"), key(K::VK_TAB)}},
    };
    for (const auto& [t, steps] : rows)
        EXPECT_EQ(parsed(t).render(c), steps) << t.toStdString();
    before ? setenv("TZ", saved.c_str(), 1) : unsetenv("TZ");
    tzset();
}

TEST(OutputTemplate, RefusesWithColumnAndField) {
    const std::vector<std::pair<QString, QString>> rows = {
        {"ab{vlaue}", "Column 3: unknown field {vlaue}"},
        {"{{{vlaue}", "Column 3: unknown field {vlaue}"},
        {"{value", "Column 1: unclosed field {value"},
        {"{value{TAB}", "Column 1: unclosed field {value"},
        {"12}", "Column 3: lone } (write }} for a brace)"},
        {"{{}}}", "Column 5: lone } (write }} for a brace)"},
        {"{}", "Column 1: unknown field {}"},
        {"{g0}", "Column 1: unknown field {g0}"},
        {"{g10}", "Column 1: unknown field {g10}"},
        {"{tab}", "Column 1: unknown field {tab}"},
        {"{value:x}", "Column 1: unknown field {value:x}"},
        {"{date:}", "Column 1: empty time format in {date:}"},
        {"{time}", "Column 1: empty time format in {time}"},
        {"{utc:hh:mm}",
         "Column 1: time format in {utc:hh:mm} may hold only yyyy MM dd HH mm ss zzz as letters"},
        {"{date:yyyy-MMM}",
         "Column 1: time format in {date:yyyy-MMM} may hold only yyyy MM dd HH mm ss zzz as letters"},
        {"{KEY:NoSuchKey}", "Column 1: unknown key name in {KEY:NoSuchKey}"},
        {"{KEY:}", "Column 1: unknown key name in {KEY:}"},
        {"{DELAY:10001}", "Column 1: delay in {DELAY:10001} must be 0 to 10000 milliseconds"},
        {"{DELAY:-1}", "Column 1: delay in {DELAY:-1} must be 0 to 10000 milliseconds"},
        {"{DELAY:}", "Column 1: delay in {DELAY:} must be 0 to 10000 milliseconds"},
    };
    for (const auto& [t, message] : rows) {
        auto result = OutputTemplate::parse(t);
        const auto* e = std::get_if<TemplateError>(&result);
        ASSERT_NE(e, nullptr) << t.toStdString();
        EXPECT_EQ(e->message, message) << t.toStdString();
        EXPECT_TRUE(e->message.startsWith(QStringLiteral("Column %1: ").arg(e->column))) << t.toStdString();
    }
}

TEST(OutputTemplate, TheStartKeyAndTerminatorsMakeATemplate) {
    EXPECT_EQ(keyedTemplate(K::VK_TAB, K::VK_ENTER, 0), "{TAB}{value}{ENTER}");
    EXPECT_EQ(keyedTemplate(0, 0, 0), "{value}");
    EXPECT_EQ(keyedTemplate(K::VK_MULTIPLY, K::VK_DOWN, K::VK_RIGHT),
              "{KEY:KP_Multiply}{value}{DOWN}{RIGHT}");
    EXPECT_EQ(keyedTemplate(K::functionKey(5), K::VK_ENTER, K::VK_TAB), "{F5}{value}{ENTER}{TAB}");
    EXPECT_TRUE(OutputTemplate::problem(keyedTemplate(K::VK_MULTIPLY, K::VK_DOWN, 0)).isEmpty());
}
