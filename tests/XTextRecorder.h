#pragma once

#include "tests/tools/ProcessSupport.h"

#include <stdexcept>
#include <string>

namespace tarovex_test {

// The test suite's X application (xrecorder): it has the keyboard focus from construction
// on, and collects what it receives as one transcript, text as it is and other keys as
// "<Return>", "<Tab>", ...
class XTextRecorder {
public:
    explicit XTextRecorder(const std::string& display)
        : process_(TAROVEX_BINARY_DIR "/tests/tarovex-test-xrecorder", {}, {{"DISPLAY", display}}) {
        if (process_.readLine(10000) != "ready")
            throw std::runtime_error("The X recorder did not get the focus: " + process_.errorText());
    }

    // What arrived, after waiting until it is at least `size` bytes long or nothing came
    // for `quietMs`.
    std::string transcript(std::size_t size, int quietMs = 1500) {
        while (text_.size() < size) {
            const auto line = process_.readLine(quietMs);
            if (!line)
                break;
            if (line->starts_with("T "))
                text_ += line->substr(2);
            else if (line->starts_with("K "))
                text_ += "<" + line->substr(2) + ">";
        }
        return text_;
    }

private:
    tools_test::Process process_;
    std::string text_;
};

} // namespace tarovex_test
