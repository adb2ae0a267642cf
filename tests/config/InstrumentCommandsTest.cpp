// What is sent to instruments and what their lines say about stability.
#include "config/InstrumentCommands.h"
#include "config/StabilityMarks.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace tarovex::config;
using I = ConfigHelper::Instrument;

TEST(CommandText, EscapesBecomeBytesAndBack) {
    const struct {
        const char* text;
        QByteArray bytes;
    } rows[] = {
        {"", ""},          {"1\\r", "1\r"},    {"SI\\r\\n", "SI\r\n"},
        {"\\eP", "\x1bP"}, {"a\\\\b", "a\\b"}, {"\\x00\\xff\\x7F", QByteArray("\0\xff\x7f", 3)},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(parseCommandText(QString::fromLatin1(row.text)), row.bytes) << row.text;
        EXPECT_EQ(parseCommandText(commandText(row.bytes)), row.bytes) << row.text;
    }
}

TEST(CommandText, RefusesWhatIsNotTheNotation) {
    for (const char16_t* raw : {u"\\", u"x\\q", u"\\x4", u"\\xG0", u"\\x+1", u"tab\there", u"é", u"\\R"}) {
        const QString text = QString::fromUtf16(raw);
        EXPECT_FALSE(parseCommandText(text)) << text.toStdString();
    }
    EXPECT_TRUE(ConfigHelper::RequestCommand::isValid(QStringLiteral("\\eT")));
    EXPECT_FALSE(ConfigHelper::RequestCommand::isValid(QStringLiteral("\\x1")));
    EXPECT_TRUE(ConfigHelper::RequestInterval::isValid(QStringLiteral("0")));
    EXPECT_FALSE(ConfigHelper::RequestInterval::isValid(QStringLiteral("-5")));
}

TEST(InstrumentCommands, PresetsWithDocumentedCommandsOnly) {
    const struct {
        I preset;
        QByteArray data, tare, zero;
    } rows[] = {
        {I::AND, "Q\r\n", "T\r\n", "Z\r\n"},
        {I::AND_EM, "Q\r\n", "T\r\n", "Z\r\n"},
        {I::METTLER_DIALOG, "SI\r\n", "T\r\n", "Z\r\n"},
        {I::OHAUS, "IP\r\n", "T\r\n", "Z\r\n"},
        {I::SARTORIUS, "\x1bP\r\n", "\x1bT\r\n", ""},
        {I::KERN_572, "w", "t", ""},
        {I::PRECISA, "PRT\r\n", "TARE\r\n", ""},
        {I::MITUTOYO, "1\r", "", ""},
        {I::METTLER_PRINT, "", "", ""},
        {I::GENERIC, "", "", ""},
        {I::BARCODE, "", "", ""},
    };
    for (const auto& row : rows) {
        const InstrumentCommands c = commandsOf(row.preset);
        EXPECT_EQ(c.data, row.data) << row.preset.name().toStdString();
        EXPECT_EQ(c.tare, row.tare) << row.preset.name().toStdString();
        EXPECT_EQ(c.zero, row.zero) << row.preset.name().toStdString();
    }
}

// Sample lines as the manuals print them.
TEST(StabilityMarks, PerPreset) {
    using S = Stability;
    const struct {
        I preset;
        const char* line;
        S expected;
    } rows[] = {
        {I::AND, "ST,+00012.34 kg", S::Stable},
        {I::AND, "US,-00012,45 g", S::Unstable},
        {I::AND_SIMPLE, "QT,+00000101 PC", S::Stable},
        {I::AND_EM, "OL,+9999999E+19", S::Unstable},
        {I::METTLER_DIALOG, "S S     100.00 g", S::Stable},
        {I::METTLER_DIALOG, "S D     100.01 g", S::Unstable},
        {I::METTLER_DIALOG, "S I", S::Unstable},
        {I::OHAUS, "    12.34 g  ", S::Stable},
        {I::OHAUSSPU, "    12.34 g ?", S::Unstable},
        {I::SARTORIUS, "N     +     12.34 g  ", S::Stable},
        {I::SARTORIUS, "N     +     12.34    ", S::Unstable},
        {I::KERN_FKB, " *      0.0 g  ", S::Stable},
        {I::KERN_FKB, " *      0.0    ", S::Unstable},
        {I::GENERIC, "ST,+00012.34 kg", S::Unmarked},
        {I::MITUTOYO, "01A+001.1920", S::Unmarked},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(stabilityOf(row.preset, QString::fromLatin1(row.line)), row.expected) << row.line;
        EXPECT_EQ(marksStability(row.preset), row.expected != S::Unmarked) << row.line;
    }
}

TEST(StabilityMarks, AnExpressionOfTheUserDecidesForAnyPreset) {
    const StabilityReader reader(I::GENERIC, QStringLiteral("^\\s*S\\b"));
    EXPECT_TRUE(reader.marks());
    EXPECT_EQ(reader(u"S  12.5"), Stability::Stable);
    EXPECT_EQ(reader(u"D  12.5"), Stability::Unstable);
    EXPECT_FALSE(StabilityReader(I::GENERIC, {}).marks());
    EXPECT_THROW(StabilityReader(I::GENERIC, QStringLiteral("(")), std::invalid_argument);
}
