// A recording read as a source: the bounds of a read into part of a buffer.
#include "worker/RecordedStream.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <array>
#include <span>

using tarovex::worker::RecordedStream;

TEST(RecordedStream, AReadIntoPartOfABufferMayEndAtItsEndButNotPastIt) {
    QTemporaryDir dir;
    const QString path = dir.filePath("capture.bin");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("0123456789");
    file.close();
    // The part is a slice of the buffer; what lies around it must stay as it was.
    const struct {
        std::size_t offset, count;
        int read;
    } rows[] = {{2, 6, 6}, {0, 8, 8}, {3, 5, 5}, {7, 1, 1}, {4, 0, 0}};
    for (const auto& row : rows) {
        auto stream = RecordedStream::open(path);
        std::array<std::uint8_t, 8> buffer;
        buffer.fill('#');
        EXPECT_EQ(stream->read(std::span(buffer).subspan(row.offset, row.count)), row.read)
            << row.offset << "+" << row.count;
        for (std::size_t i = 0; i < buffer.size(); ++i) {
            const bool inside = i >= row.offset && i < row.offset + std::size_t(row.read);
            EXPECT_EQ(buffer[i], inside ? std::uint8_t('0' + (i - row.offset)) : std::uint8_t('#'))
                << row.offset << "+" << row.count << " at " << i;
        }
    }
}
