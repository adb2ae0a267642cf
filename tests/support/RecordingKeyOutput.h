#pragma once

#include "typing/KeyOutput.h"

#include <QString>

#include <set>

namespace tarovex_test {

// Records what would be typed as one transcript: characters as themselves, named keys in
// angle brackets ("12.5<Enter>"). For tests of the logic above the real outputs.
class RecordingKeyOutput : public tarovex::typing::KeyOutput {
public:
    // Characters in `refused` throw CannotTypeError, as on a layout that lacks them.
    explicit RecordingKeyOutput(std::set<char32_t> refused = {}) : refused_(std::move(refused)) {}

    void type(const tarovex::typing::TypedKey& key) override;
    QString description() const override { return QStringLiteral("recording"); }

    const QString& transcript() const noexcept { return transcript_; }
    void clear() { transcript_.clear(); }

private:
    std::set<char32_t> refused_;
    QString transcript_;
};

} // namespace tarovex_test
