#pragma once

#include <QString>

#include <optional>

namespace tarovex::typing {

// The desktop's clipboard, as pasting uses it: a value is put there for the paste keys, and
// what the clipboard held before is put back once the application has read it. Called on the
// typing thread; an implementation never lets that thread wait long on another.
class Clipboard {
public:
    virtual ~Clipboard() = default;
    // Why nothing can be pasted here (said at Start); none when pasting works.
    virtual std::optional<QString> unavailable() const = 0;
    // Puts `text` on the clipboard, keeping what it held. The reason when it could not: the
    // clipboard then holds what it held.
    virtual std::optional<QString> put(const QString& text) = 0;
    // Puts back what the clipboard held before the last put().
    virtual void restore() = 0;
};

} // namespace tarovex::typing
