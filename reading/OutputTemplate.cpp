#include "reading/OutputTemplate.h"

#include "config/KeyCodes.h"

#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <ctime>
#include <optional>

namespace tarovex::reading {
namespace {

namespace K = config::KeyCodes;
using Field = OutputTemplate::Field;
using Part = OutputTemplate::Part;

struct NamedKey {
    QLatin1StringView name;
    int code;
};

constexpr NamedKey kNamedKeys[] = {
    {QLatin1StringView("TAB"), K::VK_TAB},
    {QLatin1StringView("ENTER"), K::VK_ENTER},
    {QLatin1StringView("ESC"), K::VK_ESCAPE},
    {QLatin1StringView("SPACE"), K::VK_SPACE},
    {QLatin1StringView("LEFT"), K::VK_LEFT},
    {QLatin1StringView("RIGHT"), K::VK_RIGHT},
    {QLatin1StringView("UP"), K::VK_UP},
    {QLatin1StringView("DOWN"), K::VK_DOWN},
    {QLatin1StringView("HOME"), K::VK_HOME},
    {QLatin1StringView("END"), K::VK_END},
    {QLatin1StringView("DELETE"), K::VK_DELETE},
    {QLatin1StringView("BACKSPACE"), K::VK_BACK_SPACE},
    {QLatin1StringView("F1"), K::functionKey(1)},
    {QLatin1StringView("F2"), K::functionKey(2)},
    {QLatin1StringView("F3"), K::functionKey(3)},
    {QLatin1StringView("F4"), K::functionKey(4)},
    {QLatin1StringView("F5"), K::functionKey(5)},
    {QLatin1StringView("F6"), K::functionKey(6)},
    {QLatin1StringView("F7"), K::functionKey(7)},
    {QLatin1StringView("F8"), K::functionKey(8)},
    {QLatin1StringView("F9"), K::functionKey(9)},
    {QLatin1StringView("F10"), K::functionKey(10)},
    {QLatin1StringView("F11"), K::functionKey(11)},
    {QLatin1StringView("F12"), K::functionKey(12)},
};

struct NamedField {
    QLatin1StringView name;
    Field field;
};

constexpr NamedField kNamedFields[] = {
    {QLatin1StringView("value"), Field::Value}, {QLatin1StringView("raw"), Field::Raw},
    {QLatin1StringView("unit"), Field::Unit},   {QLatin1StringView("port"), Field::Port},
    {QLatin1StringView("label"), Field::Label}, {QLatin1StringView("station"), Field::Station},
    {QLatin1StringView("seq"), Field::Seq},
};

// The time format's letter runs; anything else in it is written as it stands.
constexpr QLatin1StringView kTimeTokens[] = {
    QLatin1StringView("yyyy"), QLatin1StringView("zzz"), QLatin1StringView("MM"), QLatin1StringView("dd"),
    QLatin1StringView("HH"),   QLatin1StringView("mm"),  QLatin1StringView("ss")};

// The index in kTimeTokens of the token at `at`, or -1.
int timeToken(QStringView format, qsizetype at) {
    const QStringView rest = format.mid(at);
    for (int i = 0; i < int(std::size(kTimeTokens)); ++i)
        if (rest.startsWith(kTimeTokens[i]))
            return i;
    return -1;
}

bool validTimeFormat(QStringView format) {
    for (qsizetype i = 0; i < format.size();) {
        const int t = timeToken(format, i);
        if (t >= 0)
            i += kTimeTokens[t].size();
        else if (format[i].isLetter())
            return false;
        else
            ++i;
    }
    return true;
}

void appendNumber(QString& out, std::int64_t n, int width) {
    char buffer[24];
    char* end = buffer + sizeof buffer;
    char* p = end;
    const bool negative = n < 0;
    std::uint64_t u = negative ? 0 - std::uint64_t(n) : std::uint64_t(n);
    do {
        *--p = char('0' + u % 10);
        u /= 10;
    } while (u != 0);
    while (end - p < width)
        *--p = '0';
    if (negative)
        *--p = '-';
    out.append(QLatin1StringView(p, end - p));
}

struct Clock {
    std::tm tm;
    int millis;
};

Clock clockOf(std::chrono::system_clock::time_point time, bool local) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
    // Floor division: a time before the epoch still has 0..999 milliseconds.
    std::int64_t seconds = ms / 1000;
    int millis = int(ms % 1000);
    if (millis < 0) {
        millis += 1000;
        --seconds;
    }
    const std::time_t t = std::time_t(seconds);
    Clock c{};
    if (local)
        localtime_r(&t, &c.tm);
    else
        gmtime_r(&t, &c.tm);
    c.millis = millis;
    return c;
}

void appendTime(QString& out, QStringView format, const Clock& c) {
    const std::int64_t values[] = {c.tm.tm_year + 1900, c.millis,    c.tm.tm_mon + 1, c.tm.tm_mday,
                                   c.tm.tm_hour,        c.tm.tm_min, c.tm.tm_sec};
    constexpr int widths[] = {4, 3, 2, 2, 2, 2, 2};
    for (qsizetype i = 0; i < format.size();) {
        const int t = timeToken(format, i);
        if (t >= 0) {
            appendNumber(out, values[t], widths[t]);
            i += kTimeTokens[t].size();
        } else {
            out.append(format[i++]);
        }
    }
}

TemplateError error(qsizetype at, const QString& what) {
    return {int(at) + 1, QStringLiteral("Column %1: %2").arg(at + 1).arg(what)};
}

// The part of the field `name` (the text between the braces) at `at`, or its error.
std::variant<Part, TemplateError> fieldPart(QStringView name, qsizetype at) {
    const QString braced = u'{' + name.toString() + u'}';
    const qsizetype colon = name.indexOf(u':');
    const QStringView head = colon < 0 ? name : name.left(colon);
    const QStringView arg = colon < 0 ? QStringView() : name.mid(colon + 1);
    if (head == u"date" || head == u"time" || head == u"utc") {
        if (arg.isEmpty())
            return error(at, QStringLiteral("empty time format in %1").arg(braced));
        if (!validTimeFormat(arg))
            return error(at,
                         QStringLiteral("time format in %1 may hold only yyyy MM dd HH mm ss zzz as letters")
                             .arg(braced));
        const Field f = head == u"date" ? Field::Date : head == u"time" ? Field::Time : Field::Utc;
        return Part{Part::Kind::Field, f, 0, arg.toString()};
    }
    if (colon < 0) {
        for (const NamedField& f : kNamedFields)
            if (head == f.name)
                return Part{Part::Kind::Field, f.field, 0, {}};
        if (head.size() == 2 && head[0] == u'g' && head[1] >= u'1' && head[1] <= u'9')
            return Part{Part::Kind::Field, Field::Group, head[1].unicode() - u'0', {}};
        for (const NamedKey& k : kNamedKeys)
            if (head == k.name)
                return Part{Part::Kind::Key, Field::Value, k.code, {}};
    } else if (head == u"KEY") {
        const QByteArray keysymName = arg.toUtf8();
        const xkb_keysym_t sym = keysymName.isEmpty() || keysymName.contains('\0')
                                     ? XKB_KEY_NoSymbol
                                     : xkb_keysym_from_name(keysymName.constData(), XKB_KEYSYM_NO_FLAGS);
        if (sym == XKB_KEY_NoSymbol)
            return error(at, QStringLiteral("unknown key name in %1").arg(braced));
        return Part{Part::Kind::Keysym, Field::Value, int(sym), {}};
    } else if (head == u"DELAY") {
        bool digits = !arg.isEmpty() && arg.size() <= 5;
        for (QChar ch : arg)
            digits = digits && ch >= u'0' && ch <= u'9';
        const int ms = digits ? arg.toInt() : -1;
        if (ms < 0 || ms > 10000)
            return error(at, QStringLiteral("delay in %1 must be 0 to 10000 milliseconds").arg(braced));
        return Part{Part::Kind::Delay, Field::Value, ms, {}};
    }
    return error(at, QStringLiteral("unknown field %1").arg(braced));
}

} // namespace

std::variant<OutputTemplate, TemplateError> OutputTemplate::parse(QStringView text) {
    OutputTemplate result;
    auto& parts = result.parts_;
    auto literal = [&](QStringView piece) {
        if (parts.empty() || parts.back().kind != Part::Kind::Text)
            parts.push_back(Part{});
        parts.back().text.append(piece);
        result.literalSize_ += piece.size();
    };
    for (qsizetype i = 0; i < text.size();) {
        const QChar c = text[i];
        const bool doubled = i + 1 < text.size() && text[i + 1] == c;
        if (c == u'}') {
            if (!doubled)
                return error(i, QStringLiteral("lone } (write }} for a brace)"));
            literal(text.mid(i, 1));
            i += 2;
        } else if (c != u'{') {
            qsizetype end = i + 1;
            while (end < text.size() && text[end] != u'{' && text[end] != u'}')
                ++end;
            literal(text.mid(i, end - i));
            i = end;
        } else if (doubled) {
            literal(text.mid(i, 1));
            i += 2;
        } else {
            qsizetype close = i + 1;
            while (close < text.size() && text[close] != u'}' && text[close] != u'{')
                ++close;
            if (close == text.size() || text[close] == u'{')
                return error(i, QStringLiteral("unclosed field %1").arg(text.mid(i, close - i)));
            auto part = fieldPart(text.mid(i + 1, close - i - 1), i);
            if (auto* e = std::get_if<TemplateError>(&part))
                return std::move(*e);
            Part& p = std::get<Part>(part);
            result.local_ = result.local_ || p.field == Field::Date || p.field == Field::Time;
            result.utc_ = result.utc_ || p.field == Field::Utc;
            parts.push_back(std::move(p));
            i = close + 1;
        }
    }
    return result;
}

QString OutputTemplate::problem(QStringView text) {
    auto parsed = parse(text);
    if (auto* e = std::get_if<TemplateError>(&parsed))
        return e->message;
    return {};
}

std::vector<OutputStep> OutputTemplate::render(const TemplateContext& context) const {
    std::vector<OutputStep> out;
    out.reserve(parts_.size());
    std::optional<Clock> local, utc;
    if (local_)
        local = clockOf(context.time, true);
    if (utc_)
        utc = clockOf(context.time, false);
    // The text run being written; a new one only when something is written to it.
    auto run = [&]() -> QString& {
        if (out.empty() || out.back().kind != OutputStep::Kind::Text) {
            out.push_back(OutputStep{});
            out.back().text.reserve(literalSize_ + context.value.size() + 32);
        }
        return out.back().text;
    };
    auto put = [&](QStringView piece) {
        if (!piece.isEmpty())
            run().append(piece);
    };
    for (const Part& p : parts_) {
        switch (p.kind) {
        case Part::Kind::Text:
            put(p.text);
            break;
        case Part::Kind::Key:
            out.push_back({OutputStep::Kind::Key, {}, p.number});
            break;
        case Part::Kind::Keysym:
            out.push_back({OutputStep::Kind::Keysym, {}, p.number});
            break;
        case Part::Kind::Delay:
            out.push_back({OutputStep::Kind::Delay, {}, p.number});
            break;
        case Part::Kind::Field:
            switch (p.field) {
            case Field::Value:
                put(context.value);
                break;
            case Field::Raw:
                put(context.raw);
                break;
            case Field::Unit:
                put(context.unit);
                break;
            case Field::Group:
                put(context.groups[p.number - 1]);
                break;
            case Field::Port:
                put(context.port);
                break;
            case Field::Label:
                put(context.label);
                break;
            case Field::Station:
                put(context.station);
                break;
            case Field::Seq:
                appendNumber(run(), context.seq, 1);
                break;
            case Field::Date:
            case Field::Time:
                appendTime(run(), p.text, *local);
                break;
            case Field::Utc:
                appendTime(run(), p.text, *utc);
                break;
            }
            break;
        }
    }
    return out;
}

QString OutputTemplate::keysymName(int keysym) {
    char name[64];
    if (xkb_keysym_get_name(xkb_keysym_t(keysym), name, sizeof name) <= 0)
        return QString::number(keysym);
    return QString::fromLatin1(name);
}

QString describeSteps(const std::vector<OutputStep>& steps) {
    QString out;
    for (const OutputStep& step : steps) {
        switch (step.kind) {
        case OutputStep::Kind::Text:
            for (const QChar c : step.text) {
                out += c;
                if (c == u'{' || c == u'}')
                    out += c;
            }
            break;
        case OutputStep::Kind::Key: {
            const auto* k = std::find_if(std::begin(kNamedKeys), std::end(kNamedKeys),
                                         [&](const NamedKey& n) { return n.code == step.number; });
            out += k != std::end(kNamedKeys) ? u'{' + k->name + u'}'
                                             : QStringLiteral("{KEY %1}").arg(step.number);
            break;
        }
        case OutputStep::Kind::Keysym:
            out += QStringLiteral("{KEY:") + OutputTemplate::keysymName(step.number) + u'}';
            break;
        case OutputStep::Kind::Delay:
            out += QStringLiteral("{DELAY:%1}").arg(step.number);
            break;
        }
    }
    return out;
}

QString keyedTemplate(int startKey, int terminator, int terminator2) {
    auto keyField = [](int code) -> QString {
        if (code == 0)
            return {};
        if (code == K::VK_MULTIPLY)
            return QStringLiteral("{KEY:KP_Multiply}");
        for (const NamedKey& k : kNamedKeys)
            if (k.code == code)
                return QLatin1Char('{') + k.name + QLatin1Char('}');
        return {};
    };
    return keyField(startKey) + QStringLiteral("{value}") + keyField(terminator) + keyField(terminator2);
}

} // namespace tarovex::reading
