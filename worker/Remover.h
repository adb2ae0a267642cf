#pragma once

#include <QString>

#include <array>
#include <cstdint>

namespace tarovex::config {
class Config;
}

namespace tarovex::worker {

// Deletes every occurrence of a set of characters from a value. The set is read from a
// text in which order and repetition do not matter; comparison is exact, one UTF-16 unit
// at a time. Built once per run; remove() is const and thread-safe.
class Remover {
public:
    explicit Remover(const QString& removeCharacters);
    // The set of the setting `removeCharacters`.
    explicit Remover(const config::Config& config);

    // The value without any character of the set; the others keep their order. An empty
    // set or value returns the value unchanged (without copying it).
    QString remove(const QString& value) const;

    bool isEmpty() const { return characters_.isEmpty(); }

private:
    bool contains(char16_t c) const;

    QString characters_;
    std::array<std::uint64_t, 4> latin1_{}; // membership bits of 0..255, the usual case
};

} // namespace tarovex::worker
