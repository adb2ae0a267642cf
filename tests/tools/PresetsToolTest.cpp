// The preset lister's command line.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

const std::string kTool = std::string(TAROVEX_BINARY_DIR) + "/tools/tarovex-presets";

} // namespace

TEST(PresetsTool, HelpAndUnknownOptions) {
    if (!std::filesystem::exists(kTool))
        GTEST_SKIP() << "tool not built";
    const struct {
        std::string args;
        int status;
    } cases[] = {{"", 0}, {"--help", 0}, {"--bogus", 2}, {"extra", 2}};
    for (const auto& c : cases) {
        const int status = std::system((kTool + " " + c.args + " >/dev/null 2>&1").c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == c.status) << c.args;
    }
    const int status = std::system((kTool + " --help | grep -q '^Usage: tarovex-presets'").c_str());
    EXPECT_EQ(status, 0);
}
