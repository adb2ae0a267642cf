#pragma once

#include <QRegularExpression>
#include <QString>

namespace tarovex::config {

// Regular expressions written in the Java syntax of the presets and of users' own
// expressions, compiled to PCRE2 with the meaning they have in Java.
class JavaRegex {
public:
    // Compiles the pattern; throws std::invalid_argument with a description when the
    // pattern is invalid or uses a construct this translation does not support.
    static QRegularExpression compile(const QString& pattern);

    // The PCRE2 pattern for a Java pattern; throws as compile() does.
    static QString translate(const QString& pattern);

    // True when compile() would succeed; never throws.
    static bool isValid(const QString& pattern) noexcept;
};

} // namespace tarovex::config
