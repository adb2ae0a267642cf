#pragma once

#include <QString>

#include <vector>

namespace tarovex::worker::doctor {

// One plain sentence of the check of this computer, with the command that fixes it.
struct Finding {
    enum class Severity {
        Ok,      // what will happen
        Warning, // may get in the way (sound, a service that grabs new ports)
        Problem, // stops reading or typing
    };
    Severity severity = Severity::Ok;
    QString sentence;
    QString fix; // a command to run; empty when there is nothing to do
    friend bool operator==(const Finding&, const Finding&) = default;
};

using Findings = std::vector<Finding>;

} // namespace tarovex::worker::doctor
