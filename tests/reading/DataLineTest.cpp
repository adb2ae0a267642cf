#include "reading/DataLine.h"

#include <gtest/gtest.h>

#include <type_traits>

using tarovex::reading::DataLine;

namespace {

DataLine::Instant at(std::int64_t msSinceEpoch) {
    return DataLine::Instant(std::chrono::milliseconds(msSinceEpoch));
}

} // namespace

TEST(DataLine, ReadableRendering) {
    struct Row {
        QString in;
        QString out;
    };
    const Row rows[] = {
        {QString::fromLatin1("\r\n"), "<13><10>"},
        {QString(QChar(0)), "<0>"},
        {QString::fromLatin1("\xB0"), "<176>"},
        {QString::fromLatin1("A\tB"), "A<9>B"},
        {QString::fromLatin1(" ~\x7F\x1F"), " ~<127><31>"},
        {QString::fromLatin1("\x80\xFF"), "<128><255>"},
        {"<13>", "<13>"}, // printable text is not escaped
        {QString(), QString()},
        {QString(QChar(0x2028)), "<8232>"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(DataLine::transformControlChars(r.in), r.out) << r.out.toStdString();
}

TEST(DataLine, FieldsCopyAndDelete) {
    const DataLine line(QString::fromLatin1("12.5 g\r\n"), "12.5", 7, at(1'700'000'000'123), true);
    EXPECT_EQ(line.getRawData(), QString::fromLatin1("12.5 g\r\n"));
    EXPECT_EQ(line.getReadable(), "12.5 g<13><10>");
    EXPECT_EQ(line.getProcessedData(), "12.5");
    EXPECT_EQ(line.getCount(), 7);
    EXPECT_EQ(line.getInstant(), at(1'700'000'000'123));
    EXPECT_TRUE(line.isError());
    EXPECT_TRUE(line.hasValue());

    DataLine copy = line.copy();
    EXPECT_EQ(copy, line);
    copy.deleteProcessedData();
    EXPECT_FALSE(copy.hasValue());
    EXPECT_EQ(copy.getProcessedData(), "");
    // The original keeps its value; everything else of the copy stays.
    EXPECT_TRUE(line.hasValue());
    EXPECT_EQ(copy.getRawData(), line.getRawData());
    EXPECT_EQ(copy.getCount(), 7);
    EXPECT_TRUE(copy.isError());
}

TEST(DataLine, HasValueOnlyForNonEmptyValue) {
    EXPECT_FALSE(DataLine("\r", QString(), 1, at(0), false).hasValue());
    EXPECT_FALSE(DataLine("\r", "", 1, at(0), false).hasValue());
    EXPECT_TRUE(DataLine("\r", "0", 1, at(0), false).hasValue());
}

TEST(DataLine, DateTimeIsTheInstantInLocalTime) {
    const DataLine line("x", "", 1, at(1'600'000'000'250), false);
    const QDateTime dt = line.getDateTime();
    EXPECT_EQ(dt.timeSpec(), Qt::LocalTime);
    EXPECT_EQ(dt.toMSecsSinceEpoch(), 1'600'000'000'250);
    EXPECT_EQ(dt.toUTC(), QDateTime(QDate(2020, 9, 13), QTime(12, 26, 40, 250), Qt::UTC));
}

static_assert(std::is_nothrow_move_constructible_v<DataLine>);
static_assert(std::is_copy_constructible_v<DataLine>);
