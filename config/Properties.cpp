#include "config/Properties.h"

#include <QStringDecoder>

namespace tarovex::config {
namespace {

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\f';
}

// Splits into natural lines at \n, \r or \r\n.
QList<QStringView> naturalLines(QStringView text) {
    QList<QStringView> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\n' || c == u'\r') {
            lines.append(text.mid(start, i - start));
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            start = i + 1;
        }
    }
    if (start < text.size())
        lines.append(text.mid(start));
    return lines;
}

bool endsWithContinuation(QStringView line) {
    qsizetype n = 0;
    for (qsizetype i = line.size() - 1; i >= 0 && line[i] == u'\\'; --i)
        ++n;
    return n % 2 == 1;
}

int hexValue(QChar c) {
    if (c >= u'0' && c <= u'9')
        return c.unicode() - '0';
    if (c >= u'a' && c <= u'f')
        return c.unicode() - 'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c.unicode() - 'A' + 10;
    return -1;
}

// Resolves the escapes of one key or value; false on a malformed \u escape.
bool unescape(QStringView in, QString& out, QString& error) {
    out.clear();
    out.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        QChar c = in[i];
        if (c != u'\\') {
            out.append(c);
            continue;
        }
        if (++i >= in.size())
            break; // a lone trailing backslash stands for nothing
        c = in[i];
        switch (c.unicode()) {
        case 't':
            out.append(u'\t');
            break;
        case 'n':
            out.append(u'\n');
            break;
        case 'r':
            out.append(u'\r');
            break;
        case 'f':
            out.append(u'\f');
            break;
        case 'u': {
            if (i + 4 >= in.size()) {
                error = QStringLiteral("malformed \\uxxxx escape");
                return false;
            }
            int value = 0;
            for (int k = 1; k <= 4; ++k) {
                const int h = hexValue(in[i + k]);
                if (h < 0) {
                    error = QStringLiteral("malformed \\uxxxx escape");
                    return false;
                }
                value = value * 16 + h;
            }
            out.append(QChar(char16_t(value)));
            i += 4;
            break;
        }
        default:
            out.append(c);
            break;
        }
    }
    return true;
}

} // namespace

Properties::ParseResult Properties::parse(QStringView text) {
    ParseResult result;
    const QList<QStringView> lines = naturalLines(text);
    for (qsizetype n = 0; n < lines.size(); ++n) {
        const qsizetype firstLine = n + 1;
        QStringView line = lines[n];
        qsizetype p = 0;
        while (p < line.size() && isBlank(line[p]))
            ++p;
        if (p == line.size() || line[p] == u'#' || line[p] == u'!')
            continue;

        // Join continuation lines into one logical line.
        QString logical = line.mid(p).toString();
        while (endsWithContinuation(logical)) {
            logical.chop(1);
            if (++n >= lines.size())
                break;
            QStringView next = lines[n];
            qsizetype q = 0;
            while (q < next.size() && isBlank(next[q]))
                ++q;
            logical.append(next.mid(q));
        }

        // The key ends at the first unescaped separator or blank.
        qsizetype k = 0;
        bool escaped = false;
        for (; k < logical.size(); ++k) {
            const QChar c = logical[k];
            if (escaped) {
                escaped = false;
                continue;
            }
            if (c == u'\\')
                escaped = true;
            else if (c == u'=' || c == u':' || isBlank(c))
                break;
        }
        qsizetype v = k;
        while (v < logical.size() && isBlank(logical[v]))
            ++v;
        if (v < logical.size() && (logical[v] == u'=' || logical[v] == u':')) {
            ++v;
            while (v < logical.size() && isBlank(logical[v]))
                ++v;
        }

        QString key, value, error;
        if (!unescape(QStringView(logical).left(k), key, error) ||
            !unescape(QStringView(logical).mid(v), value, error)) {
            result.errors.append(QStringLiteral("line %1: %2").arg(firstLine).arg(error));
            QStringList raw;
            for (qsizetype i = firstLine - 1; i <= n && i < lines.size(); ++i)
                raw.append(lines[i].toString());
            result.rejected.append(raw.join(u'\n'));
            continue;
        }
        result.entries.append({key, value});
    }
    return result;
}

Properties::ParseResult Properties::parse(const QByteArray& bytes) {
    // The mark goes before decoding: read as Latin-1 it would become part of the first key.
    const QByteArrayView body =
        bytes.startsWith("\xEF\xBB\xBF") ? QByteArrayView(bytes).sliced(3) : QByteArrayView(bytes);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(body);
    const bool latin1 = utf8.hasError();
    if (latin1)
        text = QString::fromLatin1(body);
    ParseResult result = parse(QStringView(text));
    result.latin1 = latin1;
    return result;
}

namespace {

QString unicodeEscape(char16_t c) {
    return QStringLiteral("\\u") + QStringLiteral("%1").arg(unsigned(c), 4, 16, QChar(u'0')).toUpper();
}

QString escape(const QString& s, bool isKey) {
    QString out;
    out.reserve(s.size() + 8);
    for (qsizetype i = 0; i < s.size(); ++i) {
        const char16_t c = s[i].unicode();
        switch (c) {
        case u' ':
            if (isKey || i == 0)
                out.append(u'\\');
            out.append(u' ');
            break;
        case u'\t':
            out.append(u"\\t");
            break;
        case u'\n':
            out.append(u"\\n");
            break;
        case u'\r':
            out.append(u"\\r");
            break;
        case u'\f':
            out.append(u"\\f");
            break;
        case u'\\':
        case u'=':
        case u':':
        case u'#':
        case u'!':
            out.append(u'\\');
            out.append(QChar(c));
            break;
        default:
            if (c < 0x20 || c > 0x7E)
                out.append(unicodeEscape(c));
            else
                out.append(QChar(c));
        }
    }
    return out;
}

} // namespace

QString Properties::escapeKey(const QString& key) {
    return escape(key, true);
}
QString Properties::escapeValue(const QString& value) {
    return escape(value, false);
}

QByteArray Properties::write(const QList<Entry>& entries, const QString& comment) {
    QString text;
    if (!comment.isEmpty()) {
        for (const QStringView line : naturalLines(comment)) {
            text += u'#';
            for (const QChar c : line)
                text += (c.unicode() < 0x20 || c.unicode() > 0x7E) ? unicodeEscape(c.unicode()) : QString(c);
            text += u'\n';
        }
    }
    for (const Entry& e : entries)
        text += escapeKey(e.first) + u'=' + escapeValue(e.second) + u'\n';
    return text.toLatin1();
}

} // namespace tarovex::config
