#pragma once

#include <QRegularExpression>
#include <QString>

namespace tarovex::config {

// Regular expressions written in the Java syntax of the presets and of users' own
// expressions, compiled to PCRE2 with the meaning they have in Java without flags:
// '.' matches anything but \n, \r, U+0085, U+2028, U+2029; '^' only the start of the
// input; '$' (and \Z) the end of the input or the place before one final line
// terminator (CR LF, LF, CR, U+0085, U+2028, U+2029); \d \s \w \h \v and the POSIX
// properties are the ASCII sets Java uses, \b counts Unicode letters and digits; a
// leading ']' and nested classes inside a class are members, as in Java. The inline
// flags (?i) (ASCII letters only, as Java without UNICODE_CASE), (?m), (?s) and (?d) keep
// their Java meaning, also in (?flags:...) groups.
//
// Refused as invalid, because PCRE2 would read them differently or cannot express them:
// class intersection (&&), a negated class nested in a class, the flags x, u, U and c,
// back references under (?i), \p{java...}, scripts, blocks and the Unicode forms of the
// POSIX properties (\p{IsAlpha}), \X, \N{...}, \b{g}, repetition counts above 65535 and
// look-behind of varying length.
class JavaRegex {
public:
    // Compiles the pattern; throws std::invalid_argument with a description when the
    // pattern is invalid or uses a construct this translation does not support. Java's
    // syntax errors are worded as Java words them ("Unclosed group near index 2 ...").
    static QRegularExpression compile(const QString& pattern);

    // The PCRE2 pattern for a Java pattern; throws as compile() does. The result needs no
    // pattern options.
    static QString translate(const QString& pattern);

    // True when compile() would succeed; never throws.
    static bool isValid(const QString& pattern) noexcept;
};

} // namespace tarovex::config
