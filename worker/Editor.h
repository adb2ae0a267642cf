#pragma once

#include "config/ConfigHelper.h"

#include <QString>

namespace tarovex::config {
class Config;
}

namespace tarovex::worker {

// Cuts a fixed number of characters from the start or the end of a value, or keeps only
// those. Built once per run; edit() is const and thread-safe.
class Editor {
public:
    Editor(config::ConfigHelper::EditOperation operation, config::ConfigHelper::EditPosition position,
           int numCharacters);
    // From `editOperation`, `editPosition` and `editNumCharacters` (0 when not a number).
    explicit Editor(const config::Config& config);

    // With L the length of the value and n the number of characters:
    // REMOVE FIRST/LAST drops the first/last n characters (everything when L < n);
    // KEEP FIRST/LAST keeps the first/last n characters (the whole value when L < n).
    // n <= 0 or an empty value returns the value unchanged.
    QString edit(const QString& value) const;

    int numCharacters() const { return n_; }

private:
    config::ConfigHelper::EditOperation operation_;
    config::ConfigHelper::EditPosition position_;
    int n_;
};

} // namespace tarovex::worker
