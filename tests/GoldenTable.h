#pragma once

// Reads the golden table of Java regular-expression results written by
// tools/regex-golden/GenerateGolden.java.

#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>

#include <string>

namespace golden {

inline QString unescape(const QString& s) {
    QString out;
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] == u'\\' && i + 1 < s.size() && s[i + 1] == u'\\') {
            out += u'\\';
            ++i;
        } else if (s[i] == u'\\' && i + 5 < s.size() && s[i + 1] == u'u') {
            out += QChar(char16_t(s.mid(i + 2, 4).toUShort(nullptr, 16)));
            i += 5;
        } else {
            out += s[i];
        }
    }
    return out;
}

inline std::string shown(const QString& s) {
    std::string out;
    for (const QChar c : s) {
        if (c.unicode() >= 0x20 && c.unicode() < 0x7F)
            out += char(c.unicode());
        else
            out += "\\u" + QString::number(c.unicode(), 16).rightJustified(4, u'0').toStdString();
    }
    return out;
}

struct Row {
    int line = 0;
    QString pattern;
    QString input;
    QString verdict; // invalid, nomatch or match
    int start = -1;
    int end = -1;
    QStringList groups; // "-" or "=" + text
};

inline QList<Row> readTable() {
    QFile file(QStringLiteral(TAROVEX_TEST_DATA_DIR "/java-regex-golden.tsv"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<Row> rows;
    int lineNo = 0;
    while (!file.atEnd()) {
        ++lineNo;
        QString line = QString::fromLatin1(file.readLine());
        if (line.endsWith(u'\n'))
            line.chop(1);
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const QStringList f = line.split(u'\t');
        Row r;
        r.line = lineNo;
        r.pattern = unescape(f.value(0));
        r.input = unescape(f.value(1));
        r.verdict = f.value(2);
        if (r.verdict == u"match") {
            r.start = f.value(3).toInt();
            r.end = f.value(4).toInt();
            const int count = f.value(5).toInt();
            for (int g = 0; g < count; ++g) {
                const QString field = f.value(6 + g);
                r.groups << (field == u"-" ? field : u'=' + unescape(field.mid(1)));
            }
        }
        rows << r;
    }
    return rows;
}

// Patterns Java accepts that the translation refuses on purpose, because PCRE2 would read
// them differently or cannot express them: the flags x, u, U and c, back references
// under (?i), intersection, graphemes, named
// characters, look-behind of varying length, Unicode POSIX properties, counts above
// PCRE2's limit.
inline const QStringList kRefused = {
    "[a&&b]",
    "[a-z&&[^aeiou]]",
    "\\p{javaLowerCase}",
    "(?x)a b",
    "(?u)a",
    "(?U)\\w",
    "(?c)a",
    "(?i)(a)\\1",
    "\\X",
    "\\N{LATIN SMALL LETTER A}",
    "\\b{g}",
    "(?<=a+)b",
    "(?<=ab?)c",
    "(\\p{IsPunct}+)",
    "a{0,65536}",
};

} // namespace golden
