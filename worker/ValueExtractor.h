#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <array>
#include <memory>
#include <optional>

namespace tarovex::worker {

// Finds the value in a received line: the text of one capture group of the first match
// of an expression written in Java regular-expression syntax (config::JavaRegex gives
// the meaning). Built once per run; a line then costs no allocation but the value's own.
//
// extract() keeps its match buffers in the object, so one object serves one thread at a
// time (the worker's); a copy has buffers of its own and may serve another thread.
class ValueExtractor {
public:
    // The expression (Java syntax, no flags) and the number of the group that holds the
    // value. Throws std::invalid_argument with the text of config::JavaRegex::compile()
    // when the expression is not valid; a group the expression does not have is not an
    // error here (see extract()).
    ValueExtractor(const QString& expression, int group);
    ValueExtractor(const ValueExtractor& other);
    ValueExtractor& operator=(const ValueExtractor& other);
    ValueExtractor(ValueExtractor&&) noexcept;
    ValueExtractor& operator=(ValueExtractor&&) noexcept;
    ~ValueExtractor();

    // The value in a raw line (terminator included), searched from its start:
    // - no match: the empty string;
    // - a match whose group took no part in it, or an expression without that group:
    //   std::nullopt;
    // - otherwise the group's text (which may be empty).
    // Throws std::runtime_error when the engine gives up on the line (its backtracking or
    // stack limit is reached) rather than report a missing value.
    std::optional<QString> extract(QStringView rawLine) const;
    // The same as a view into `rawLine`, for a caller that needs no copy of its own.
    std::optional<QStringView> extractView(QStringView rawLine) const;
    std::optional<QString> extract(const QString& rawLine) const { return extract(QStringView(rawLine)); }

    // Capture groups 1..9 of the first match in `rawLine`, as views into it; a group that
    // took no part, or that the expression lacks, is empty. False when nothing matched.
    bool groups(QStringView rawLine, std::array<QStringView, 9>& out) const;

    // The expression and group as given.
    const QString& expression() const { return expression_; }
    int group() const { return group_; }

    // False when the expression has fewer capture groups than group(): every match then
    // yields no value.
    bool hasGroup() const { return hasGroup_; }

    // The expression of a run: the user's own when there is one, else the preset's. (The
    // group always comes from the preset.)
    static QString chooseExpression(const QString& customRegEx, const QString& presetRegEx) {
        return customRegEx.isEmpty() ? presetRegEx : customRegEx;
    }

    // A received byte becomes the character of the same value (Latin-1).
    static QString fromBytes(QByteArrayView bytes) { return QString::fromLatin1(bytes); }

private:
    struct Engine;

    QString expression_;
    int group_;
    bool hasGroup_;
    std::unique_ptr<Engine> engine_;
};

} // namespace tarovex::worker
