#pragma once

#include <QString>
#include <QStringView>

#include <array>
#include <chrono>
#include <cstdint>
#include <variant>
#include <vector>

namespace tarovex::reading {

// What a reading gives the fields of a template. Views: the caller keeps the texts alive
// while it renders.
struct TemplateContext {
    QStringView value; // the processed value
    QStringView raw;   // the line without its terminator
    QStringView unit;  // empty when the instrument gives none
    // Capture groups 1..9 of the value expression; a group that did not take part is empty.
    std::array<QStringView, 9> groups{};
    QStringView port;
    QStringView label;
    QStringView station;
    std::int64_t seq = 0;
    std::chrono::system_clock::time_point time{};
};

// One thing a typer does: type a run of text, press a key (by its key code or an X keysym),
// or wait.
struct OutputStep {
    enum class Kind : std::uint8_t { Text, Key, Keysym, Delay };
    Kind kind = Kind::Text;
    QString text;   // Text
    int number = 0; // Key: key code; Keysym: keysym; Delay: milliseconds
    friend bool operator==(const OutputStep&, const OutputStep&) = default;
};

// A refused template: the 1-based column of the field at fault and the whole message
// ("Column 7: unknown field {vlaue}").
struct TemplateError {
    int column = 0;
    QString message;
};

// Output text with fields in braces, parsed once per run and rendered per reading.
class OutputTemplate {
public:
    enum class Field : std::uint8_t { Value, Raw, Unit, Group, Port, Label, Station, Seq, Date, Time, Utc };

    // A compiled part: literal text, a field, a key or a delay.
    struct Part {
        enum class Kind : std::uint8_t { Text, Field, Key, Keysym, Delay };
        Kind kind = Kind::Text;
        Field field = Field::Value;
        int number = 0; // group 1..9, key code, keysym or milliseconds
        QString text;   // the literal, or the time format of Date, Time and Utc
        friend bool operator==(const Part&, const Part&) = default;
    };

    static std::variant<OutputTemplate, TemplateError> parse(QStringView text);
    // The parser's message for `text`; empty when it parses.
    static QString problem(QStringView text);

    // The X name of a keysym ("KP_Enter"), as {KEY:name} takes it.
    static QString keysymName(int keysym);

    // An empty template: nothing set, the start key and terminators go on as they are.
    bool isEmpty() const { return parts_.empty(); }
    const std::vector<Part>& parts() const { return parts_; }

    // The steps for one reading; adjacent text is one step.
    std::vector<OutputStep> render(const TemplateContext& context) const;

private:
    std::vector<Part> parts_;
    qsizetype literalSize_ = 0;
    bool local_ = false;
    bool utc_ = false;
};

// Rendered steps as template text with every field filled in ("12.5 kg{TAB}{DELAY:100}"): what
// a record keeps of the output.
QString describeSteps(const std::vector<OutputStep>& steps);

// The template the start key and terminators make (start TAB, terminator ENTER:
// "{TAB}{value}{ENTER}"): key codes, 0 for none.
QString keyedTemplate(int startKey, int terminator, int terminator2);

} // namespace tarovex::reading
