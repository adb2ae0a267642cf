#pragma once

#include "tests/tools/ProcessSupport.h"

#include <stdexcept>
#include <string>

namespace tarovex_test {

// One of the test suite's recording applications (xrecorder, wrecorder): it has the keyboard
// focus from construction on, and collects what it receives as one transcript, text as it
// is and other keys as "<Return>", "<Tab>", ...
class TextRecorder {
public:
    TextRecorder(const std::string& program, const std::map<std::string, std::string>& env,
                 int readyMs = 10000)
        : process_(TAROVEX_BINARY_DIR "/tests/" + program, {}, env) {
        if (process_.readLine(readyMs) != "ready")
            throw std::runtime_error("The recorder did not get the focus: " + process_.errorText());
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
            else if (modifiers_ && (line->starts_with("D ") || line->starts_with("U ")))
                text_ += "<" + std::string(line->starts_with("D ") ? "+" : "-") + line->substr(2) + ">";
        }
        return text_;
    }
    // From now on the transcript also tells where a modifier went down ("<+Control_L>") and
    // up ("<-Control_L>"), where the recorder reports them (the Wayland one).
    void showModifiers() { modifiers_ = true; }

private:
    tools_test::Process process_;
    std::string text_;
    bool modifiers_ = false;
};

// The X application, on that display.
class XTextRecorder : public TextRecorder {
public:
    explicit XTextRecorder(const std::string& display)
        : TextRecorder("tarovex-test-xrecorder", {{"DISPLAY", display}}) {}
};

// The Wayland application, on the compositor of that socket (a path or a name).
class WaylandTextRecorder : public TextRecorder {
public:
    explicit WaylandTextRecorder(const std::string& socket, int readyMs = 10000)
        : TextRecorder("tarovex-test-wrecorder", {{"WAYLAND_DISPLAY", socket}}, readyMs) {}
};

} // namespace tarovex_test
