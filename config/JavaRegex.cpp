#include "config/JavaRegex.h"

#include <QHash>

#include <algorithm>
#include <climits>
#include <stdexcept>
#include <vector>

// The translation reads the Java pattern the way java.util.regex.Pattern (no flags) reads
// it and writes a PCRE2 pattern that needs no compile option: every literal is written as
// \x{..}, every predefined class as explicit ranges, and '.', '$', \b and \R as the
// constructs that give Java's meaning. Whatever cannot be written that way is refused.

namespace tarovex::config {
namespace {

constexpr char32_t kMaxCodePoint = 0x10FFFF;
// PCRE2 limits counted repetition to this.
constexpr int kMaxRepeat = 65535;

struct Range {
    char32_t lo;
    char32_t hi;
};
using Ranges = std::vector<Range>;

Ranges normalized(Ranges r) {
    std::sort(r.begin(), r.end(), [](const Range& a, const Range& b) { return a.lo < b.lo; });
    Ranges out;
    for (const Range& x : r) {
        if (!out.empty() && x.lo <= out.back().hi + 1)
            out.back().hi = std::max(out.back().hi, x.hi);
        else
            out.push_back(x);
    }
    return out;
}

Ranges complement(const Ranges& r) {
    Ranges out;
    char32_t next = 0;
    for (const Range& x : normalized(r)) {
        if (x.lo > next)
            out.push_back({next, x.lo - 1});
        next = x.hi + 1;
    }
    if (next <= kMaxCodePoint)
        out.push_back({next, kMaxCodePoint});
    return out;
}

// Java's predefined classes without UNICODE_CHARACTER_CLASS.
const Ranges kDigit = {{'0', '9'}};
const Ranges kSpace = {{'\t', '\r'}, {' ', ' '}};
const Ranges kWord = {{'0', '9'}, {'A', 'Z'}, {'_', '_'}, {'a', 'z'}};
const Ranges kHorizontal = {{'\t', '\t'},     {' ', ' '},       {0xA0, 0xA0},
                            {0x1680, 0x1680}, {0x180E, 0x180E}, {0x2000, 0x200A},
                            {0x202F, 0x202F}, {0x205F, 0x205F}, {0x3000, 0x3000}};
const Ranges kVertical = {{'\n', '\r'}, {0x85, 0x85}, {0x2028, 0x2029}};

// Java's POSIX property names, US-ASCII only.
const QHash<QString, Ranges>& posixClasses() {
    static const QHash<QString, Ranges> table = {
        {"Lower", {{'a', 'z'}}},
        {"Upper", {{'A', 'Z'}}},
        {"ASCII", {{0, 0x7F}}},
        {"Alpha", {{'A', 'Z'}, {'a', 'z'}}},
        {"Digit", {{'0', '9'}}},
        {"Alnum", {{'0', '9'}, {'A', 'Z'}, {'a', 'z'}}},
        {"Punct", {{'!', '/'}, {':', '@'}, {'[', '`'}, {'{', '~'}}},
        {"Graph", {{'!', '~'}}},
        {"Print", {{' ', '~'}}},
        {"Blank", {{' ', ' '}, {'\t', '\t'}}},
        {"Cntrl", {{0, 0x1F}, {0x7F, 0x7F}}},
        {"XDigit", {{'0', '9'}, {'A', 'F'}, {'a', 'f'}}},
        {"Space", {{'\t', '\r'}, {' ', ' '}}},
        {"L1", {{0, 0xFF}}},
        {"all", {{0, kMaxCodePoint}}},
    };
    return table;
}

// Java general categories that PCRE2 knows under the same meaning.
const QHash<QString, QString>& categories() {
    static const QHash<QString, QString> table = [] {
        QHash<QString, QString> t;
        for (const char* c : {"Cn", "Lu", "Ll", "Lt", "Lm", "Lo", "Mn", "Me", "Mc", "Nd", "Nl", "No", "Zs",
                              "Zl", "Zp", "Cc", "Cf", "Co", "Cs", "Pd", "Ps", "Pe", "Pc", "Po", "Sm", "Sc",
                              "Sk", "So", "Pi", "Pf", "L",  "M",  "N",  "Z",  "C",  "P",  "S"})
            t.insert(QString::fromLatin1(c), QString::fromLatin1(c));
        t.insert(QStringLiteral("LC"), QStringLiteral("L&"));
        return t;
    }();
    return table;
}

void appendHex(QString& out, char32_t c) {
    out += QStringLiteral("\\x{");
    out += QString::number(static_cast<uint>(c), 16);
    out += u'}';
}

void appendLiteral(QString& out, char32_t c) {
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))
        out += QChar(static_cast<char16_t>(c));
    else
        appendHex(out, c);
}

void appendRanges(QString& out, const Ranges& ranges) {
    for (const Range& r : ranges) {
        appendHex(out, r.lo);
        if (r.hi > r.lo) {
            out += u'-';
            appendHex(out, r.hi);
        }
    }
}

// A class from ranges and PCRE2 property escapes. PCRE2 has no empty class, so an empty
// set becomes an assertion that always fails (or, negated, any character).
QString classOf(const Ranges& ranges, const QString& properties = QString(), bool negated = false) {
    const Ranges r = normalized(ranges);
    if (r.empty() && properties.isEmpty())
        return negated ? QStringLiteral("[\\x{0}-\\x{10ffff}]") : QStringLiteral("(?!)");
    QString out = negated ? QStringLiteral("[^") : QStringLiteral("[");
    appendRanges(out, r);
    out += properties;
    out += u']';
    return out;
}

// Java's word character for \b: a letter or a digit in the Unicode sense, or '_'. (Java
// also counts a non-spacing mark after a letter; no such mark is below U+0300, so no
// received byte is one.)
const QString kWordChar = QStringLiteral("[\\p{L}\\p{Nd}_]");
const QString kBoundary = QStringLiteral("(?:(?<=%1)(?!%1)|(?<!%1)(?=%1))").arg(kWordChar);
const QString kNonBoundary = QStringLiteral("(?:(?<=%1)(?=%1)|(?<!%1)(?!%1))").arg(kWordChar);
// Any character but a line terminator.
const QString kDot = QStringLiteral("[^\\x{a}\\x{d}\\x{85}\\x{2028}\\x{2029}]");
// End of input, or before one final line terminator (a CR LF counts as one, and the
// position between its CR and LF is not an end).
const QString kDollar =
    QStringLiteral("(?=(?:\\x{d}\\x{a}|(?<!\\x{d})\\x{a}|[\\x{d}\\x{85}\\x{2028}\\x{2029}])?\\z)");
// The same under (?d): only LF ends a line.
const QString kUnixDollar = QStringLiteral("(?=\\x{a}?\\z)");
// Under (?m): before any line terminator (not between CR and LF) or at the end.
const QString kMultilineDollar =
    QStringLiteral("(?=[\\x{d}\\x{85}\\x{2028}\\x{2029}]|(?<!\\x{d})\\x{a}|\\z)");
const QString kUnixMultilineDollar = QStringLiteral("(?=\\x{a}|\\z)");
// Under (?m): at the start or after a line terminator (not between CR and LF), but never
// at the end of the input.
const QString kMultilineCaret =
    QStringLiteral("(?!\\z)(?:\\A|(?<=[\\x{a}\\x{d}\\x{85}\\x{2028}\\x{2029}])(?!(?<=\\x{d})\\x{a}))");
const QString kUnixMultilineCaret = QStringLiteral("(?!\\z)(?:\\A|(?<=\\x{a}))");
const QString kAnyChar = QStringLiteral("[\\x{0}-\\x{10ffff}]");
const QString kUnixDot = QStringLiteral("[^\\x{a}]");

// Java's \R backtracks from CR LF to CR alone, PCRE2's does not.
const QString kLineBreak = QStringLiteral("(?:\\x{d}\\x{a}|[\\x{a}-\\x{d}\\x{85}\\x{2028}\\x{2029}])");

struct SyntaxError {
    QString description;
    qsizetype index;
};

bool isAsciiAlpha(char32_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
char32_t swapAsciiCase(char32_t c) {
    if (c >= 'a' && c <= 'z')
        return c - 32;
    if (c >= 'A' && c <= 'Z')
        return c + 32;
    return c;
}
bool isAsciiDigit(char32_t c) {
    return c >= '0' && c <= '9';
}
int hexValue(char32_t c) {
    if (c >= '0' && c <= '9')
        return int(c - '0');
    if (c >= 'a' && c <= 'f')
        return int(c - 'a' + 10);
    if (c >= 'A' && c <= 'F')
        return int(c - 'A' + 10);
    return -1;
}

// The pattern as code points; surrogate pairs are combined, lone surrogates kept.
std::vector<char32_t> codePoints(const QString& s) {
    std::vector<char32_t> out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        const char16_t c = s.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < s.size() && QChar::isLowSurrogate(s.at(i + 1).unicode())) {
            out.push_back(QChar::surrogateToUcs4(c, s.at(i + 1).unicode()));
            ++i;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

// \Q...\E quoting is removed before parsing, exactly as Java does it: quoted characters
// come out escaped, and a digit that opens a quote is written \x3N so that it cannot
// continue an escape in front of the quote.
std::vector<char32_t> removeQuoting(const std::vector<char32_t>& in) {
    const size_t n = in.size();
    size_t i = 0;
    while (i + 1 < n) {
        if (in[i] != '\\')
            i += 1;
        else if (in[i + 1] != 'Q')
            i += 2;
        else
            break;
    }
    if (i + 1 >= n)
        return in;
    std::vector<char32_t> out(in.begin(), in.begin() + i);
    i += 2;
    bool inQuote = true;
    bool beginQuote = true;
    auto at = [&](size_t k) -> char32_t { return k < n ? in[k] : 0; };
    while (i < n) {
        const char32_t c = in[i++];
        if (c > 0x7F || isAsciiAlpha(c)) {
            out.push_back(c);
        } else if (isAsciiDigit(c)) {
            if (beginQuote)
                out.insert(out.end(), {'\\', 'x', '3'});
            out.push_back(c);
        } else if (c != '\\') {
            if (inQuote)
                out.push_back('\\');
            out.push_back(c);
        } else if (inQuote) {
            if (at(i) == 'E') {
                ++i;
                inQuote = false;
            } else {
                out.insert(out.end(), {'\\', '\\'});
            }
        } else if (at(i) == 'Q') {
            ++i;
            inQuote = true;
            beginQuote = true;
            continue;
        } else {
            out.push_back(c);
            if (i != n)
                out.push_back(in[i++]);
        }
        beginQuote = false;
    }
    return out;
}

class Translator {
public:
    Translator(const std::vector<char32_t>& pattern, int totalGroups)
        : p_(pattern), totalGroups_(totalGroups) {}

    QString run();
    int groupCount() const { return groupsOpened_; }

private:
    // One set of characters of a class: explicit ranges plus PCRE2 property escapes.
    struct CharSet {
        Ranges ranges;
        QString properties;
    };

    char32_t peek(size_t k = 0) const { return i_ + k < p_.size() ? p_[i_ + k] : 0; }
    bool atEnd() const { return i_ >= p_.size(); }

    // The inline flags this translation follows: Java's (?i) (ASCII letters only), (?m),
    // (?s) and (?d).
    enum Flag { CaseInsensitive = 1, Multiline = 2, DotAll = 4, UnixLines = 8 };
    bool has(Flag f) const { return (flags_ & f) != 0; }
    QString dot() const { return has(DotAll) ? kAnyChar : has(UnixLines) ? kUnixDot : kDot; }
    QString caret() const {
        if (!has(Multiline))
            return QStringLiteral("\\A");
        return has(UnixLines) ? kUnixMultilineCaret : kMultilineCaret;
    }
    QString dollar(bool multiline) const {
        if (has(UnixLines))
            return multiline ? kUnixMultilineDollar : kUnixDollar;
        return multiline ? kMultilineDollar : kDollar;
    }
    // One literal character; under (?i) an ASCII letter matches either case (as in Java
    // without UNICODE_CASE: other letters match only themselves).
    void literal(char32_t c) {
        atomStart_ = out_.size();
        atomIsAssertion_ = false;
        const char32_t other = swapAsciiCase(c);
        if (has(CaseInsensitive) && other != c) {
            out_ += u'[';
            out_ += QChar(char16_t(c));
            out_ += QChar(char16_t(other));
            out_ += u']';
        } else {
            appendLiteral(out_, c);
        }
        canQuantify_ = true;
    }
    // Adds, under (?i), the other case of every ASCII letter whose case partner lies in
    // [lo, hi] (Java's single characters and CIRange).
    void addCaseVariants(Ranges& ranges, char32_t lo, char32_t hi) const {
        if (!has(CaseInsensitive))
            return;
        for (char32_t c : {U'A', U'a'})
            for (char32_t k = c; k < c + 26; ++k)
                if (swapAsciiCase(k) >= lo && swapAsciiCase(k) <= hi)
                    ranges.push_back({k, k});
    }
    int parseFlags();
    // Java points at the character just read.
    [[noreturn]] void fail(const QString& description) const {
        throw SyntaxError{description, qsizetype(std::min(i_, p_.size())) - (i_ > 0 ? 1 : 0)};
    }
    [[noreturn]] void unsupported(const QString& what) const {
        fail(what + QStringLiteral(" is not supported"));
    }

    void atom(const QString& text, bool assertion = false) {
        atomStart_ = out_.size();
        atomIsAssertion_ = assertion;
        out_ += text;
        canQuantify_ = true;
    }
    void escape();
    void group();
    void quantifier();
    QString characterClass();
    void classBody(CharSet& set);
    void classElement(CharSet& set);
    // An escape inside a class: the code point, or -1 after adding a predefined class.
    long classEscape(CharSet* set, bool isRange);
    long literalEscape(char32_t c);
    CharSet property(bool negated);
    int octal();
    int hex();
    int unicode();
    int readHex4();

    const std::vector<char32_t>& p_;
    const int totalGroups_;
    size_t i_ = 0;
    QString out_;
    int groupsOpened_ = 0;
    QHash<QString, int> groupNames_;
    // Where each open group starts in the output, and the flags to restore at its end.
    struct OpenGroup {
        qsizetype start;
        int savedFlags;
    };
    std::vector<OpenGroup> groupStarts_;
    int flags_ = 0;
    qsizetype atomStart_ = -1;
    bool atomIsAssertion_ = false;
    bool canQuantify_ = false;
};

QString Translator::run() {
    while (!atEnd()) {
        const char32_t c = peek();
        switch (c) {
        case '\\':
            ++i_;
            escape();
            break;
        case '[':
            ++i_;
            atom(characterClass());
            break;
        case '(':
            ++i_;
            group();
            break;
        case ')':
            if (groupStarts_.empty())
                fail(QStringLiteral("Unmatched closing ')'"));
            ++i_;
            out_ += u')';
            atomStart_ = groupStarts_.back().start;
            flags_ = groupStarts_.back().savedFlags;
            groupStarts_.pop_back();
            atomIsAssertion_ = false;
            canQuantify_ = true;
            break;
        case '|':
            ++i_;
            out_ += u'|';
            canQuantify_ = false;
            break;
        case '.':
            ++i_;
            atom(dot());
            break;
        case '^':
            ++i_;
            atom(caret(), true);
            break;
        case '$':
            ++i_;
            atom(dollar(has(Multiline)), true);
            break;
        case '*':
        case '+':
        case '?':
        case '{':
            quantifier();
            break;
        default:
            ++i_;
            literal(c);
            break;
        }
    }
    if (!groupStarts_.empty())
        throw SyntaxError{QStringLiteral("Unclosed group"), qsizetype(p_.size())};
    return out_;
}

void Translator::quantifier() {
    const char32_t q = peek();
    QString text;
    if (q == '{') {
        // Java quantifies an empty atom when nothing stands before the brace.
        if (!isAsciiDigit(peek(1)))
            fail(QStringLiteral("Illegal repetition"));
        ++i_;
        auto number = [this]() {
            long long v = 0;
            while (isAsciiDigit(peek())) {
                v = v * 10 + (peek() - '0');
                if (v > INT_MAX)
                    fail(QStringLiteral("Illegal repetition range"));
                ++i_;
            }
            return v;
        };
        const long long min = number();
        long long max = min;
        bool open = false;
        if (peek() == ',') {
            ++i_;
            if (peek() == '}')
                open = true;
            else
                max = number();
        }
        if (peek() != '}')
            fail(QStringLiteral("Unclosed counted closure"));
        ++i_;
        if (!open && max < min)
            fail(QStringLiteral("Illegal repetition range"));
        if (min > kMaxRepeat || (!open && max > kMaxRepeat))
            unsupported(QStringLiteral("A repetition count above %1").arg(kMaxRepeat));
        if (open)
            text = QStringLiteral("{%1,}").arg(min);
        else if (max == min)
            text = QStringLiteral("{%1}").arg(min);
        else
            text = QStringLiteral("{%1,%2}").arg(min).arg(max);
    } else {
        if (!canQuantify_)
            fail(QStringLiteral("Dangling meta character '%1'").arg(QChar(char16_t(q))));
        ++i_;
        text = QChar(char16_t(q));
    }
    if (peek() == '?' || peek() == '+') {
        text += QChar(char16_t(peek()));
        ++i_;
    }
    if (!canQuantify_)
        return; // the empty atom repeated is still empty
    if (atomIsAssertion_) {
        out_.insert(atomStart_, QStringLiteral("(?:"));
        out_ += u')';
    }
    out_ += text;
    canQuantify_ = false;
}

void Translator::group() {
    const qsizetype start = out_.size();
    if (peek() != '?') {
        ++groupsOpened_;
        out_ += u'(';
    } else {
        ++i_;
        const char32_t c = peek();
        ++i_;
        switch (c) {
        case ':':
        case '=':
        case '!':
        case '>':
            out_ += QStringLiteral("(?") + QChar(char16_t(c));
            break;
        case '<': {
            const char32_t d = peek();
            ++i_;
            if (d == '=' || d == '!') {
                out_ += QStringLiteral("(?<") + QChar(char16_t(d));
                break;
            }
            if (!isAsciiAlpha(d))
                fail(QStringLiteral("capturing group name does not start with a Latin letter"));
            QString name{QChar(char16_t(d))};
            while (isAsciiAlpha(peek()) || isAsciiDigit(peek()))
                name += QChar(char16_t(p_[i_++]));
            if (peek() != '>')
                fail(QStringLiteral("named capturing group is missing trailing '>'"));
            ++i_;
            if (groupNames_.contains(name))
                fail(QStringLiteral("Named capturing group <%1> is already defined").arg(name));
            groupNames_.insert(name, ++groupsOpened_);
            out_ += u'(';
            break;
        }
        case '$':
        case '@':
            fail(QStringLiteral("Unknown group type"));
        default: {
            --i_;
            const int flags = parseFlags();
            const char32_t end = peek();
            ++i_;
            if (end == ')') {
                // Holds to the end of the enclosing group; nothing to repeat.
                flags_ = flags;
                canQuantify_ = false;
                return;
            }
            if (end != ':')
                fail(QStringLiteral("Unknown inline modifier"));
            groupStarts_.push_back({start, flags_});
            flags_ = flags;
            out_ += QStringLiteral("(?:");
            canQuantify_ = false;
            return;
        }
        }
    }
    groupStarts_.push_back({start, flags_});
    canQuantify_ = false;
}

// The flags of "(?on-off" up to the ')' or ':' after them.
int Translator::parseFlags() {
    int flags = flags_;
    bool on = true;
    for (;; ++i_) {
        const char32_t c = peek();
        int flag = 0;
        switch (c) {
        case 'i':
            flag = CaseInsensitive;
            break;
        case 'm':
            flag = Multiline;
            break;
        case 's':
            flag = DotAll;
            break;
        case 'd':
            flag = UnixLines;
            break;
        case 'u':
        case 'U':
        case 'c':
        case 'x':
            // Never on, so turning them off changes nothing.
            if (on)
                unsupported(QStringLiteral("The inline flag %1").arg(QChar(char16_t(c))));
            continue;
        case '-':
            if (!on)
                return flags;
            on = false;
            continue;
        default:
            return flags;
        }
        flags = on ? (flags | flag) : (flags & ~flag);
    }
}

int Translator::octal() {
    auto isOct = [](char32_t c, char32_t top) { return c >= '0' && c <= top; };
    if (!isOct(peek(), '7'))
        fail(QStringLiteral("Illegal octal escape sequence"));
    int v = int(p_[i_++] - '0');
    if (isOct(peek(), '7')) {
        const bool three = v <= 3 && isOct(peek(1), '7');
        v = v * 8 + int(p_[i_++] - '0');
        if (three)
            v = v * 8 + int(p_[i_++] - '0');
    }
    return v;
}

int Translator::hex() {
    if (hexValue(peek()) >= 0 && hexValue(peek(1)) >= 0) {
        const int v = hexValue(peek()) * 16 + hexValue(peek(1));
        i_ += 2;
        return v;
    }
    if (peek() == '{' && hexValue(peek(1)) >= 0) {
        ++i_;
        long v = 0;
        while (hexValue(peek()) >= 0) {
            v = v * 16 + hexValue(p_[i_++]);
            if (v > long(kMaxCodePoint))
                fail(QStringLiteral("Hexadecimal codepoint is too big"));
        }
        if (peek() != '}')
            fail(QStringLiteral("Unclosed hexadecimal escape sequence"));
        ++i_;
        return int(v);
    }
    ++i_;
    fail(QStringLiteral("Illegal hexadecimal escape sequence"));
}

int Translator::readHex4() {
    int v = 0;
    for (int k = 0; k < 4; ++k) {
        const int h = hexValue(peek());
        ++i_;
        if (h < 0)
            fail(QStringLiteral("Illegal Unicode escape sequence"));
        v = v * 16 + h;
    }
    return v;
}

int Translator::unicode() {
    const int v = readHex4();
    if (QChar::isHighSurrogate(char32_t(v))) {
        const size_t save = i_;
        if (peek() == '\\' && peek(1) == 'u') {
            i_ += 2;
            bool ok = true;
            int low = 0;
            for (int k = 0; k < 4 && ok; ++k) {
                const int h = hexValue(peek());
                ok = h >= 0;
                low = low * 16 + h;
                ++i_;
            }
            if (ok && QChar::isLowSurrogate(char32_t(low)))
                return int(QChar::surrogateToUcs4(char16_t(v), char16_t(low)));
        }
        i_ = save;
    }
    return v;
}

// The escapes that stand for one character, wherever they appear; -2 for any other.
long Translator::literalEscape(char32_t c) {
    switch (c) {
    case '0':
        return octal();
    case 'x':
        return hex();
    case 'u':
        return unicode();
    case 'c':
        if (atEnd())
            fail(QStringLiteral("Illegal control escape sequence"));
        return long(p_[i_++] ^ 64);
    case 't':
        return '\t';
    case 'n':
        return '\n';
    case 'r':
        return '\r';
    case 'f':
        return '\f';
    case 'a':
        return 0x07;
    case 'e':
        return 0x1B;
    default:
        return -2;
    }
}

void Translator::escape() {
    if (atEnd())
        fail(QStringLiteral("Unexpected internal error"));
    const char32_t c = p_[i_++];
    if (const long v = literalEscape(c); v >= 0) {
        literal(char32_t(v));
        return;
    }
    switch (c) {
    case '1':
    case '2':
    case '3':
    case '4':
    case '5':
    case '6':
    case '7':
    case '8':
    case '9': {
        // PCRE2 would compare Latin-1 letters without case too.
        if (has(CaseInsensitive))
            unsupported(QStringLiteral("A back reference under (?i)"));
        // Further digits belong to the reference only while such a group is open already.
        int ref = int(c - '0');
        while (isAsciiDigit(peek()) && ref * 10 + int(peek() - '0') <= groupsOpened_) {
            ref = ref * 10 + int(peek() - '0');
            ++i_;
        }
        // Java lets a reference to a group that does not exist fail to match.
        atom(ref <= totalGroups_ ? QStringLiteral("\\g{%1}").arg(ref) : QStringLiteral("(?!)"));
        return;
    }
    case 'k': {
        if (peek() != '<')
            fail(QStringLiteral("\\k is not followed by '<' for named capturing group"));
        ++i_;
        if (!isAsciiAlpha(peek()))
            fail(QStringLiteral("capturing group name does not start with a Latin letter"));
        QString name;
        while (isAsciiAlpha(peek()) || isAsciiDigit(peek()))
            name += QChar(char16_t(p_[i_++]));
        if (peek() != '>')
            fail(QStringLiteral("named capturing group is missing trailing '>'"));
        ++i_;
        if (!groupNames_.contains(name))
            fail(QStringLiteral("named capturing group <%1> does not exist").arg(name));
        if (has(CaseInsensitive))
            unsupported(QStringLiteral("A back reference under (?i)"));
        atom(QStringLiteral("\\g{%1}").arg(groupNames_.value(name)));
        return;
    }
    case 'd':
        return atom(classOf(kDigit));
    case 'D':
        return atom(classOf(complement(kDigit)));
    case 's':
        return atom(classOf(kSpace));
    case 'S':
        return atom(classOf(complement(kSpace)));
    case 'w':
        return atom(classOf(kWord));
    case 'W':
        return atom(classOf(complement(kWord)));
    case 'h':
        return atom(classOf(kHorizontal));
    case 'H':
        return atom(classOf(complement(kHorizontal)));
    case 'v':
        return atom(classOf(kVertical));
    case 'V':
        return atom(classOf(complement(kVertical)));
    case 'p':
    case 'P': {
        const CharSet set = property(c == 'P');
        return atom(classOf(set.ranges, set.properties));
    }
    case 'b':
        if (peek() == '{' && peek(1) == 'g')
            unsupported(QStringLiteral("The grapheme boundary \\b{g}"));
        return atom(kBoundary, true);
    case 'B':
        return atom(kNonBoundary, true);
    case 'A':
        return atom(QStringLiteral("\\A"), true);
    case 'z':
        return atom(QStringLiteral("\\z"), true);
    case 'Z':
        return atom(dollar(false), true);
    case 'G':
        return atom(QStringLiteral("\\G"), true);
    case 'R':
        return atom(kLineBreak);
    case 'X':
        unsupported(QStringLiteral("The grapheme cluster \\X"));
    case 'N':
        unsupported(QStringLiteral("The named character \\N"));
    default:
        if (isAsciiAlpha(c) || isAsciiDigit(c))
            fail(QStringLiteral("Illegal/unsupported escape sequence"));
        literal(c);
    }
}

Translator::CharSet Translator::property(bool negated) {
    QString name;
    if (peek() == '{') {
        ++i_;
        while (!atEnd() && peek() != '}')
            name += QString::fromUcs4(&p_[i_++], 1);
        if (atEnd())
            fail(QStringLiteral("Unclosed character family"));
        ++i_;
        if (name.isEmpty())
            fail(QStringLiteral("Empty character family"));
    } else {
        if (atEnd())
            fail(QStringLiteral("Illegal/unsupported escape sequence"));
        name = QString::fromUcs4(&p_[i_++], 1);
    }
    QString key = name;
    if (const qsizetype eq = name.indexOf(u'='); eq >= 0) {
        const QString kind = name.left(eq).toLower();
        if (kind != QStringLiteral("gc") && kind != QStringLiteral("general_category"))
            unsupported(QStringLiteral("The character property {%1}").arg(name));
        key = name.mid(eq + 1);
        if (!categories().contains(key))
            unsupported(QStringLiteral("The character property {%1}").arg(name));
    } else if (key.startsWith(QStringLiteral("Is"))) {
        key = key.mid(2);
        // Java reads "Is" + a POSIX name (any case) as the Unicode property of that name.
        static const QStringList unicodePosix = {"ALPHA", "LOWER", "UPPER", "SPACE", "PUNCT", "XDIGIT",
                                                 "ALNUM", "CNTRL", "DIGIT", "BLANK", "GRAPH", "PRINT"};
        if (unicodePosix.contains(key.toUpper()))
            unsupported(QStringLiteral("The character property {%1}").arg(name));
    }
    // Under (?i) Java widens the cased categories to all cased letters.
    if (has(CaseInsensitive)) {
        if (key == QStringLiteral("Lu") || key == QStringLiteral("Ll") || key == QStringLiteral("Lt"))
            key = QStringLiteral("LC");
        else if (key == QStringLiteral("Lower") || key == QStringLiteral("Upper"))
            key = QStringLiteral("Alpha");
    }
    CharSet set;
    if (const auto it = posixClasses().constFind(key); it != posixClasses().constEnd()) {
        set.ranges = negated ? complement(*it) : *it;
    } else if (const auto cat = categories().constFind(key); cat != categories().constEnd()) {
        set.properties = (negated ? QStringLiteral("\\P{") : QStringLiteral("\\p{")) + *cat + u'}';
    } else if (key == QStringLiteral("LD") && !negated) {
        set.properties = QStringLiteral("\\p{L}\\p{Nd}");
    } else {
        unsupported(QStringLiteral("The character property {%1}").arg(name));
    }
    return set;
}

long Translator::classEscape(CharSet* set, bool isRange) {
    if (atEnd())
        fail(QStringLiteral("Unclosed character class"));
    const char32_t c = p_[i_++];
    if (const long v = literalEscape(c); v >= 0)
        return v;
    const Ranges* add = nullptr;
    bool negate = false;
    switch (c) {
    case 'd':
    case 'D':
        add = &kDigit;
        break;
    case 's':
    case 'S':
        add = &kSpace;
        break;
    case 'w':
    case 'W':
        add = &kWord;
        break;
    case 'h':
    case 'H':
        add = &kHorizontal;
        break;
    case 'v':
        // Java reads \v as VT where a range needs one character.
        if (isRange)
            return 0x0B;
        add = &kVertical;
        break;
    case 'V':
        add = &kVertical;
        break;
    default:
        if (isAsciiAlpha(c) || isAsciiDigit(c))
            fail(QStringLiteral("Illegal/unsupported escape sequence"));
        return long(c);
    }
    negate = c >= 'A' && c <= 'Z';
    if (set) {
        const Ranges r = negate ? complement(*add) : *add;
        set->ranges.insert(set->ranges.end(), r.begin(), r.end());
    }
    return -1;
}

void Translator::classElement(CharSet& set) {
    long ch;
    if (peek() == '\\') {
        ++i_;
        if (peek() == 'p' || peek() == 'P') {
            const bool negated = peek() == 'P';
            ++i_;
            const CharSet prop = property(negated);
            set.ranges.insert(set.ranges.end(), prop.ranges.begin(), prop.ranges.end());
            set.properties += prop.properties;
            return;
        }
        ch = classEscape(&set, peek(1) == '-');
        if (ch < 0)
            return;
    } else {
        ch = long(p_[i_++]);
    }
    if (peek() == '-' && peek(1) != '[' && peek(1) != ']') {
        ++i_;
        long end;
        if (peek() == '\\') {
            ++i_;
            end = classEscape(nullptr, true);
        } else {
            end = atEnd() ? -1 : long(p_[i_++]);
        }
        if (end < ch)
            fail(QStringLiteral("Illegal character range"));
        set.ranges.push_back({char32_t(ch), char32_t(end)});
        addCaseVariants(set.ranges, char32_t(ch), char32_t(end));
        return;
    }
    set.ranges.push_back({char32_t(ch), char32_t(ch)});
    addCaseVariants(set.ranges, char32_t(ch), char32_t(ch));
}

// Reads up to and including the closing ']'. A leading ']' is a literal, a nested class
// adds its characters (union), as in Java.
void Translator::classBody(CharSet& set) {
    bool any = false;
    for (;;) {
        if (atEnd())
            fail(QStringLiteral("Unclosed character class"));
        const char32_t c = peek();
        if (c == '[') {
            ++i_;
            if (peek() == '^')
                unsupported(QStringLiteral("A negated class inside a class"));
            classBody(set);
            any = true;
            continue;
        }
        if (c == '&' && peek(1) == '&')
            unsupported(QStringLiteral("Character class intersection (&&)"));
        if (c == ']' && any) {
            ++i_;
            return;
        }
        classElement(set);
        any = true;
    }
}

QString Translator::characterClass() {
    bool negated = false;
    if (peek() == '^') {
        negated = true;
        ++i_;
    }
    CharSet set;
    classBody(set);
    return classOf(set.ranges, set.properties, negated);
}

QString javaMessage(const SyntaxError& e, const QString& pattern) {
    QString msg = e.description;
    if (e.index >= 0)
        msg += QStringLiteral(" near index %1").arg(e.index);
    msg += u'\n' + pattern;
    if (e.index >= 0 && e.index < pattern.size())
        msg += u'\n' + QString(e.index, u' ') + u'^';
    return msg;
}

} // namespace

QString JavaRegex::translate(const QString& pattern) {
    const std::vector<char32_t> points = removeQuoting(codePoints(pattern));
    try {
        // The first pass counts the groups, which references to missing groups need.
        Translator counter(points, INT_MAX);
        counter.run();
        Translator translator(points, counter.groupCount());
        return translator.run();
    } catch (const SyntaxError& e) {
        throw std::invalid_argument(javaMessage(e, pattern).toStdString());
    }
}

QRegularExpression JavaRegex::compile(const QString& pattern) {
    QRegularExpression re(translate(pattern));
    if (!re.isValid())
        throw std::invalid_argument(
            QStringLiteral("Unsupported expression (%1)\n%2").arg(re.errorString(), pattern).toStdString());
    return re;
}

bool JavaRegex::isValid(const QString& pattern) noexcept {
    try {
        compile(pattern);
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace tarovex::config
