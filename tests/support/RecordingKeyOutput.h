#pragma once

#include "typing/KeyOutput.h"

#include <QString>

#include <set>

namespace tarovex_test {

// Records what would be typed as one transcript: characters as themselves, named keys in
// angle brackets ("12.5<Enter>"). For tests of the logic above the real outputs.
class RecordingKeyOutput : public tarovex::typing::KeyOutput {
public:
    // Characters in `refused` throw CannotTypeError, as on a layout that lacks them; with
    // `toldAhead` the output also says so before typing, as the uinput output does.
    explicit RecordingKeyOutput(std::set<char32_t> refused = {}, bool toldAhead = false)
        : refused_(std::move(refused)), toldAhead_(toldAhead) {}

    void type(const tarovex::typing::TypedKey& key) override;
    std::optional<std::string> cannotType(char32_t c) override {
        return toldAhead_ && refused_.count(c) ? std::optional<std::string>(refusal) : std::nullopt;
    }
    static constexpr const char* refusal = "The recording refuses this character";
    QString description() const override { return QStringLiteral("recording"); }

    const QString& transcript() const noexcept { return transcript_; }
    void clear() { transcript_.clear(); }

private:
    std::set<char32_t> refused_;
    bool toldAhead_;
    QString transcript_;
};

} // namespace tarovex_test
