#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace tarovex_test {

// What a program run as another user (nobody) needs, copied where that user can read it:
// the clone, and with it the built programs and the sanitizer suppressions, may sit in a
// folder only its owner may enter (a checkout under /root). The folder goes with the object.
class OtherUserFiles {
public:
    OtherUserFiles() {
        char name[] = "/tmp/tarovex-other-user-XXXXXX";
        if (!::mkdtemp(name) || ::chmod(name, 0755) != 0)
            throw std::runtime_error("no folder for another user");
        folder_ = name;
    }
    ~OtherUserFiles() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    OtherUserFiles(const OtherUserFiles&) = delete;
    OtherUserFiles& operator=(const OtherUserFiles&) = delete;

    const std::string& folder() const { return folder_; }

    // Copies `path` into the folder, readable by everybody and runnable when it was; the
    // copy's path. Files of one name overwrite each other.
    std::string copy(const std::string& path) {
        namespace fs = std::filesystem;
        const fs::path to = fs::path(folder_) / fs::path(path).filename();
        fs::copy_file(path, to, fs::copy_options::overwrite_existing);
        const bool runnable = ::access(path.c_str(), X_OK) == 0;
        if (::chmod(to.c_str(), runnable ? 0755 : 0644) != 0)
            throw std::runtime_error("cannot open " + to.string() + " to everybody");
        return to.string();
    }

    // This process's sanitizer options with each suppression file replaced by a readable
    // copy, for the other user's environment (a sanitizer that cannot read its
    // suppressions ends the program).
    std::map<std::string, std::string> sanitizerOptions() {
        std::map<std::string, std::string> options;
        for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS", "TSAN_OPTIONS"}) {
            const char* value = std::getenv(name);
            if (!value)
                continue;
            std::string rewritten, item;
            const std::string text = value;
            for (std::size_t start = 0; start <= text.size();) {
                const std::size_t end = std::min(text.find(':', start), text.size());
                item = text.substr(start, end - start);
                if (item.rfind("suppressions=", 0) == 0)
                    item = "suppressions=" + copy(item.substr(13));
                rewritten += (rewritten.empty() ? "" : ":") + item;
                start = end + 1;
            }
            options[name] = rewritten;
        }
        return options;
    }

private:
    std::string folder_;
};

} // namespace tarovex_test
