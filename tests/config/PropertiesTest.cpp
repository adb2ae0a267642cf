#include "config/Properties.h"
#include "config/ResourceBundle.h"

#include <gtest/gtest.h>

using tarovex::config::MissingResourceException;
using tarovex::config::Properties;
using tarovex::config::ResourceBundle;

namespace {

QHash<QString, QString> toHash(const Properties::ParseResult& r) {
    QHash<QString, QString> h;
    for (const auto& e : r.entries)
        h.insert(e.first, e.second);
    return h;
}

} // namespace

TEST(Properties, SeparatorsCommentsAndContinuations) {
    const auto r = Properties::parse(QByteArray("# comment\n"
                                                "! also a comment\n"
                                                "a=1\n"
                                                "b : 2\n"
                                                "c 3\n"
                                                "  d=   spaced value  \n"
                                                "e=first \\\n"
                                                "     second\n"
                                                "f\n"
                                                "g=x\\\\\n"
                                                "h=y\r\n"
                                                "k\\ ey\\:x=v\\=w\r"
                                                "m=1\\\r\n"
                                                "  2\r\n"
                                                "last=end"));
    EXPECT_TRUE(r.errors.isEmpty());
    const auto h = toHash(r);
    EXPECT_EQ(h.value("a"), "1");
    EXPECT_EQ(h.value("b"), "2");
    EXPECT_EQ(h.value("c"), "3");
    EXPECT_EQ(h.value("d"), "spaced value  ");
    EXPECT_EQ(h.value("e"), "first second");
    EXPECT_TRUE(h.contains("f"));
    EXPECT_EQ(h.value("f"), "");
    EXPECT_EQ(h.value("g"), "x\\"); // even number of backslashes: no continuation
    EXPECT_EQ(h.value("h"), "y");
    EXPECT_EQ(h.value("k ey:x"), "v=w");
    EXPECT_EQ(h.value("m"), "12"); // a continuation across CR LF line ends
    EXPECT_EQ(h.value("last"), "end");
}

TEST(Properties, EscapesAndMalformedEntries) {
    const auto r = Properties::parse(QByteArray("t=a\\tb\\nc\\rd\\fe\n"
                                                "u=\\u00e9\\u20AC\n"
                                                "bad=\\u12G4\n"
                                                "short=\\u12\n"
                                                "other=\\q\n"
                                                "after=still here\n"));
    const auto h = toHash(r);
    EXPECT_EQ(h.value("t"), "a\tb\nc\rd\fe");
    EXPECT_EQ(h.value("u"), QString::fromUtf8("é€"));
    EXPECT_FALSE(h.contains("bad"));
    EXPECT_FALSE(h.contains("short"));
    EXPECT_EQ(h.value("other"), "q");
    EXPECT_EQ(h.value("after"), "still here");
    ASSERT_EQ(r.errors.size(), 2);
    EXPECT_TRUE(r.errors[0].startsWith("line 3"));
    EXPECT_EQ(r.rejected, QStringList({"bad=\\u12G4", "short=\\u12"}));
}

TEST(Properties, EncodingFallsBackToLatin1) {
    struct Row {
        QByteArray bytes;
        bool latin1;
    } const rows[] = {
        {"k=caf\xc3\xa9", false},
        {"k=caf\xe9", true},
        {"\xEF\xBB\xBFk=caf\xc3\xa9", false},
        {"\xEF\xBB\xBFk=caf\xe9\nz=\xff", true}, // the mark is not part of the first key
    };
    for (const Row& r : rows) {
        const auto parsed = Properties::parse(r.bytes);
        EXPECT_EQ(parsed.entries.value(0), Properties::Entry("k", QString::fromUtf8("café")))
            << r.bytes.constData();
        EXPECT_EQ(parsed.latin1, r.latin1) << r.bytes.constData();
    }
    // Binary noise costs nothing but its own entry.
    static const char noisy[] = "a=1\n\xff\xfe\x00\x01=\\uZZZZ\nb=2\n";
    const auto r = Properties::parse(QByteArray(noisy, sizeof noisy - 1));
    EXPECT_EQ(toHash(r).value("a"), "1");
    EXPECT_EQ(toHash(r).value("b"), "2");
}

TEST(Properties, WriteReadsBackExactly) {
    const QList<Properties::Entry> entries = {
        {"plain", "value"},
        {"key with spaces", " leading and trailing "},
        {"sep=:#!", "=:#!\\"},
        {"ctl", QString("\t\n\r\f") + QChar(0) + QChar(0x7F)},
        {"uni", QString::fromUtf8("é€\u0085")},
        {"", "empty key"},
    };
    const QByteArray text = Properties::write(entries, QString::fromUtf8("Comment é\nsecond line"));
    for (char c : text)
        ASSERT_TRUE(static_cast<unsigned char>(c) < 0x80) << "non-ASCII byte written";
    EXPECT_TRUE(text.startsWith("#Comment \\u00E9\n#second line\n"));
    const auto r = Properties::parse(text);
    EXPECT_TRUE(r.errors.isEmpty());
    EXPECT_EQ(r.entries, entries);
}

TEST(ResourceBundle, LookupFormattingAndMissingKeys) {
    auto bundle = ResourceBundle::fromText("test.Bundle", "greeting=Hello {0}, {1}!\n"
                                                          "quoted=It''s '{0}' {0}\n"
                                                          "plain=x\n");
    EXPECT_EQ(bundle->getString("plain"), "x");
    EXPECT_EQ(bundle->format("greeting", {"A", "B"}), "Hello A, B!");
    EXPECT_EQ(bundle->format("greeting", {"A"}), "Hello A, {1}!");
    EXPECT_EQ(bundle->format("quoted", {"v"}), "It's {0} v");
    EXPECT_EQ(bundle->missingKeys({"plain", "nope", "greeting", "gone"}), QStringList({"nope", "gone"}));
    try {
        bundle->getString("nope");
        FAIL() << "no exception";
    } catch (const MissingResourceException& e) {
        EXPECT_EQ(e.key(), "nope");
        EXPECT_STREQ(e.what(), "Can't find resource for bundle test.Bundle, key nope");
    }
    EXPECT_THROW(ResourceBundle::getBundle("no.such.Bundle"), MissingResourceException);
}

TEST(ResourceBundle, PrintfStyle) {
    EXPECT_EQ(ResourceBundle::formatPrintf("%s of %d%n100%%", {"a", 5}), "a of 5\n100%");
    EXPECT_EQ(ResourceBundle::formatPrintf("%2$s %1$s %q", {"x", "y"}), "y x %q");
    EXPECT_EQ(ResourceBundle::formatPrintf("%s %s", {"only"}), "only null");
}

TEST(ResourceBundle, CompiledBundlesLoad) {
    auto config = ResourceBundle::getBundle("tarovex.config.ConfigBundle");
    EXPECT_TRUE(config->loadErrors().isEmpty()) << config->loadErrors().join("\n").toStdString();
    EXPECT_EQ(config->getString("manual"), "Manual");
    EXPECT_EQ(ResourceBundle::getBundle("tarovex.config.ConfigBundle").get(), config.get()); // cached
}
